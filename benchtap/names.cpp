#include "benchtap/names.hpp"

#include <array>
#include <map>
#include <stdexcept>

namespace Korvalt::Ponderix::Benchtap {
namespace {

const std::array<const char*, 39> kErrorCaseNames = {
    "Correct", "Unset", "ErrorCaseUnknown", "IncorrectArgumnts", "ConnectionError", "UnableToOpenSerialPort",
    "BoostErrorUnknown", "BoostTimeOut", "HandleNull", "HandleInvalid", "HandleDoesNotExist",
    "ParamTypeUnknown", "ParamTypeUnsupported", "ParamTypeIsNotSetToGet", "OptionUnknown",
    "OptionUnsupported", "OptionIsNotSetToGet", "ParamValueUnknown", "ParamValueUnsupported",
    "ParamValueUnset", "CommandUnknown", "CommandUnsupported", "DeviceResponseIncorrectFormat",
    "DeviceUnexpectedResponse", "DeviceReturnsError", "DeviceIsNotStabilized", "UnknownExceptionWasCaught",
    "OpenCheckValuesIsNotEq", "JSONKeyMissing", "JSONAnotherFileExtension", "JSONFileDoesNotExist",
    "JSONFileParsingProblem", "CommandLineIncorrectArgument", "UnableToOpenFile", "WrongModelChosen",
    "EscapeClicked", "LogicDeviceJSONerror", "LogicDeviceNotFound", "NotAllParamsAreSetInLogicDevice",
};

const std::array<const char*, 26> kParamTypeNames = {
    "Unset", "ScalesModel", "FirmwareVersion1", "FirmwareVersion2", "ProtocolVersion", "SerialNumber",
    "MaxWeight", "Discret", "ValueOfAutoSetToZero", "TimeOfAutoSetToZero", "RangeOfAutoSetToZero",
    "RangeOfKeyToZero", "RangeOfTare", "RangeOfOverloads", "AutoOff", "LightLevel", "WeightCalibration",
    "WeightScaleCalibrationParameters", "ModeOfCalibration", "CountOfCalibration", "UnitOfMeasure",
    "PowerSavingMode", "WeightState", "Weight", "Tare", "Cell",
};

const std::array<const char*, 66> kCommandNames = {
    "Unset", "SetScalesModel", "GetScalesModel", "SetFirmwareVersion1", "GetFirmwareVersion1",
    "GetFirmwareVersion2", "SetProtocolVersion", "GetProtocolVersion", "SetSerialNumber", "GetSerialNumber",
    "SetMaxWeight", "GetMaxWeight", "SetDiscret", "GetDiscret", "SetValueOfAutoSetToZero",
    "GetValueOfAutoSetToZero", "SetTimeOfAutoSetToZero", "GetTimeOfAutoSetToZero", "SetRangeOfAutoSetToZero",
    "GetRangeOfAutoSetToZero", "SetRangeOfKeyToZero", "GetRangeOfKeyToZero", "SetRangeOfTare", "GetRangeOfTare",
    "SetRangeOfOverloads", "GetRangeOfOverloads", "SetAutoOff", "GetAutoOff", "SetLightLevel", "GetLightLevel",
    "SetWeightCalibration", "GetWeightCalibration", "ZeroScaleCalibration", "WeightScaleCalibration",
    "SetWeightScaleCalibrationParameters", "Reboot", "SetCountOfCalibration", "GetCountOfCalibration",
    "SetModeOfCalibration", "GetModeOfCalibration", "SetUnitOfMeasure", "GetUnitOfMeasure",
    "SetUnitOfMeasure2", "GetUnitOfMeasure2", "SetPowerSavingMode", "GetPowerSavingMode", "Init", "SetCell1",
    "SetCell2", "GetProtocolAuto", "StatusOfWeightChannelAuto", "StatusOfWeightChannel", "SetZero", "SetTare",
    "SpecifyTare", "POSStatusOfWeightChannel", "CASStatusOfWeightChannel", "CASActiveStatusOfWeightChannel",
    "POSSetZero", "POSSetTare", "POSSpecifyTare", "CASSetZero", "CASSetTare", "OKASetZero",
    "OKAStatusOfWeightChannel", "OKASpecifyTare",
};

// Scripts name the generic commands only (up to SpecifyTare); the protocol-specific ones after
// it are what the driver turns a generic command into, and have no parameter list here.
constexpr std::size_t kScriptCommandCount = static_cast<std::size_t>(Command::SpecifyTare) + 1;

template <typename Enum, std::size_t N>
std::map<std::string, Enum> ReverseTable(const std::array<const char*, N>& names, std::size_t count = N) {
  std::map<std::string, Enum> table;
  for (std::size_t i = 0; i < count && i < N; ++i) table.emplace(names[i], static_cast<Enum>(i));
  return table;
}

// Set/Get followed by a parameter name list that parameter; the rest are listed here.
std::map<Command, std::vector<ParamType>> MakeParamTypeTable() {
  std::map<Command, std::vector<ParamType>> table;
  const auto& params = ReverseTable<ParamType>(kParamTypeNames);
  for (std::size_t i = 1; i < kCommandNames.size(); ++i) {
    std::string name = kCommandNames[i];
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

std::string ToString(ErrorCase ecase) {
  auto index = static_cast<std::int32_t>(ecase);
  if (index < 0 || index >= static_cast<std::int32_t>(kErrorCaseNames.size())) {
    throw std::logic_error("Func ToString(ErrorCase ecase), ecase is not valid.");
  }
  return kErrorCaseNames[static_cast<std::size_t>(index)];
}

std::string ToString(ParamType value) {
  auto index = static_cast<std::int32_t>(value);
  if (index < 0 || index >= static_cast<std::int32_t>(kParamTypeNames.size())) {
    throw std::logic_error("Func ToString(ParamType value), value is not valid.");
  }
  return kParamTypeNames[static_cast<std::size_t>(index)];
}

std::string ToString(Command value) {
  auto index = static_cast<std::int32_t>(value);
  if (index < 0 || index >= static_cast<std::int32_t>(kCommandNames.size())) {
    throw std::logic_error("Func ToString(Command value), value is not valid.");
  }
  return kCommandNames[static_cast<std::size_t>(index)];
}

Command StringToEnumCommand(const std::string& name) {
  static const auto table = ReverseTable<Command>(kCommandNames, kScriptCommandCount);
  auto found = table.find(name);
  if (found == table.end()) {
    throw std::logic_error("Func StringToEnumCommand(strvalue: " + name + "), strvalue is not valid.");
  }
  return found->second;
}

ParamType StringToEnumParamType(const std::string& name) {
  static const auto table = ReverseTable<ParamType>(kParamTypeNames);
  auto found = table.find(name);
  if (found == table.end()) {
    throw std::logic_error("Func StringToEnumParamType(strvalue: " + name + "), strvalue is not valid.");
  }
  return found->second;
}

bool IsCommandName(const std::string& name) {
  static const auto table = ReverseTable<Command>(kCommandNames, kScriptCommandCount);
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
