#include "benchtap/names.hpp"

#include <cstdint>
#include <map>
#include <stdexcept>

#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Benchtap {
namespace {

// Scripts name the generic commands only (up to SpecifyTare); the protocol-specific ones after
// it are what the driver turns a generic command into, and have no parameter list here.
constexpr std::size_t kScriptCommandCount = static_cast<std::size_t>(Command::SpecifyTare) + 1;

// The names of the values from 0 up to the first unknown one (or `count`).
template <typename Enum>
std::map<std::string, Enum> ReverseTable(std::size_t count = SIZE_MAX) {
  std::map<std::string, Enum> table;
  for (std::size_t i = 0; i < count && Driver::IsKnown(static_cast<Enum>(i)); ++i) {
    table.emplace(Driver::ToString(static_cast<Enum>(i)), static_cast<Enum>(i));
  }
  return table;
}

// Set/Get followed by a parameter name list that parameter; the rest are listed here.
std::map<Command, std::vector<ParamType>> MakeParamTypeTable() {
  std::map<Command, std::vector<ParamType>> table;
  const auto params = ReverseTable<ParamType>();
  for (int i = 1; Driver::IsKnown(static_cast<Command>(i)); ++i) {
    const std::string name = Driver::ToString(static_cast<Command>(i));
    if (name.rfind("Set", 0) != 0 && name.rfind("Get", 0) != 0) continue;
    auto param = params.find(name.substr(3));
    if (param != params.end() && param->second != ParamType::Unset) {
      table[static_cast<Command>(i)] = {param->second};
    }
  }
  for (auto command : {Command::SetUnitOfMeasure, Command::GetUnitOfMeasure, Command::SetUnitOfMeasure2,
                       Command::GetUnitOfMeasure2}) {
    table[command] = {ParamType::UnitOfMeasure};
  }
  table[Command::SetCell1] = {ParamType::Cell};
  table[Command::SetCell2] = {ParamType::Cell};
  table[Command::GetProtocolAuto] = {ParamType::ProtocolVersion};
  table[Command::StatusOfWeightChannel] = {ParamType::Weight, ParamType::WeightState};
  table[Command::StatusOfWeightChannelAuto] = {ParamType::Weight, ParamType::WeightState};
  table[Command::SetTare] = {ParamType::Tare};
  table[Command::SpecifyTare] = {ParamType::Tare};
  for (auto command : {Command::ZeroScaleCalibration, Command::WeightScaleCalibration, Command::Reboot,
                       Command::Init, Command::SetZero}) {
    table[command] = {};
  }
  return table;
}

}  // namespace

// This program spells code 36 with a lower-case "e"; every other name is the library's.
std::string ToString(ErrorCase ecase) {
  if (ecase == ErrorCase::LogicDeviceJSONError) return "LogicDeviceJSONerror";
  return Driver::ToString(ecase);
}

std::string ToString(ParamType value) { return Driver::ToString(value); }

// The library's message for an unknown command names ParamType; this program's names Command.
std::string ToString(Command value) {
  if (!Driver::IsKnown(value)) throw std::logic_error("Func ToString(Command value), value is not valid.");
  return Driver::ToString(value);
}

Command StringToEnumCommand(const std::string& name) {
  static const auto table = ReverseTable<Command>(kScriptCommandCount);
  auto found = table.find(name);
  if (found == table.end()) {
    throw std::logic_error("Func StringToEnumCommand(strvalue: " + name + "), strvalue is not valid.");
  }
  return found->second;
}

ParamType StringToEnumParamType(const std::string& name) {
  static const auto table = ReverseTable<ParamType>();
  auto found = table.find(name);
  if (found == table.end()) {
    throw std::logic_error("Func StringToEnumParamType(strvalue: " + name + "), strvalue is not valid.");
  }
  return found->second;
}

bool IsCommandName(const std::string& name) {
  static const auto table = ReverseTable<Command>(kScriptCommandCount);
  return table.count(name) != 0;
}

const std::vector<ParamType>& ToParamTypeVector(Command command) {
  static const auto table = MakeParamTypeTable();
  auto found = table.find(command);
  if (found == table.end()) {
    throw std::logic_error("Func ToParamTypeVector(Command value), value is not valid.");
  }
  return found->second;
}

}  // namespace Korvalt::Ponderix::Benchtap
