#include "driver/protocols/protocol-table.hpp"

#include "driver/connections/connection.hpp"
#include "driver/protocols/protocol-families.hpp"
#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

std::set<int> Range(int from, int to) {
  std::set<int> numbers;
  for (int n = from; n <= to; ++n) numbers.insert(n);
  return numbers;
}

std::set<int> Union(std::set<int> a, const std::set<int>& b) {
  a.insert(b.begin(), b.end());
  return a;
}

const SerialLine kDefaults{true, {}};
// The other scales at 4800 baud: 8N1 at the lower speed.
const SerialLine kDefaultsAt4800{true, {{Option::BaudRate, "4800"}}};
// OKA scales at 4800 baud run 8 data bits, two stop bits, even parity.
const SerialLine kOkaAt4800{false,
                            {{Option::BaudRate, "4800"},
                             {Option::CharacterSize, "8"},
                             {Option::StopBits, "2"},
                             {Option::Parity, "2"},
                             {Option::FlowControl, "0"}}};

// 4800 baud as asked, the defaults at any other speed.
const SerialLines kPlainLines{{{"4800", kDefaultsAt4800}}, kDefaults};
// OKA's framing at 4800, the defaults at 9600; any other speed is left as the system set it.
// A line opened for "auto" is set the same way until detection knows the protocol.
const SerialLines kOkaLines{{{"4800", kOkaAt4800}, {"9600", kDefaults}}, std::nullopt};

// Quick-pass waits: a status reply is at most 24 bytes (25 ms at 9600 baud) behind the scale's
// own delay of a few tens of milliseconds; a self-transmitting scale sends a frame at least
// every ~130 ms.
constexpr int kAnswerWaitMs = 100;
constexpr int kFrameWaitMs = 150;

}  // namespace

const std::vector<ProtocolRow>& ProtocolTable() {
  using C = Command;
  static const std::vector<ProtocolRow> table{
      {"POS2M", {CreatePOSExecutor, CreateAutoExecutor}, false, {49, 50, 55, 58, 59},
       {{C::StatusOfWeightChannel, C::POSStatusOfWeightChannel}, {C::SetZero, C::POSSetZero},
        {C::SetTare, C::POSSetTare}},
       kPlainLines, false, DetectionProbe{C::POSStatusOfWeightChannel, 1, false, kAnswerWaitMs}},
      {"POS2MProV1", {CreatePOSExecutor, CreateNativeExecutor, CreateAutoExecutor}, false,
       Union(Range(0, 50), {55, 58, 59, 60}),
       {{C::StatusOfWeightChannel, C::POSStatusOfWeightChannel}, {C::SetZero, C::POSSetZero},
        {C::SetTare, C::POSSetTare}, {C::SpecifyTare, C::POSSpecifyTare}},
       kPlainLines, true, DetectionProbe{C::POSStatusOfWeightChannel, 1, true, kAnswerWaitMs}},
      {"CAS-M", {CreateCASExecutor, CreateAutoExecutor}, false, {49, 50, 56, 61, 62},
       {{C::StatusOfWeightChannel, C::CASStatusOfWeightChannel}, {C::SetZero, C::CASSetZero},
        {C::SetTare, C::CASSetTare}},
       kPlainLines, false, DetectionProbe{C::CASStatusOfWeightChannel, 4, false, kAnswerWaitMs}},
      {"CAS-M ProV1", {CreateCASExecutor, CreateNativeExecutor, CreateAutoExecutor}, false,
       Union(Range(0, 50), {56, 61, 62}),
       {{C::StatusOfWeightChannel, C::CASStatusOfWeightChannel}, {C::SetZero, C::CASSetZero},
        {C::SetTare, C::CASSetTare}},
       kPlainLines, true, DetectionProbe{C::CASStatusOfWeightChannel, 4, true, kAnswerWaitMs}},
      {"CAS-M-Active", {CreateCASExecutor, CreateAutoExecutor}, false, {49, 50, 57},
       {{C::StatusOfWeightChannel, C::CASActiveStatusOfWeightChannel}},
       kPlainLines, false, DetectionProbe{C::CASActiveStatusOfWeightChannel, 3, false, kFrameWaitMs}},
      {"OKA", {CreateOKAExecutor, CreateNativeExecutor, CreateAutoExecutor}, false, Union(Range(1, 50), {63, 64, 65}),
       {{C::StatusOfWeightChannel, C::OKAStatusOfWeightChannel}, {C::SetZero, C::OKASetZero},
        {C::SpecifyTare, C::OKASpecifyTare}},
       kOkaLines, false, DetectionProbe{C::OKAStatusOfWeightChannel, 2, false, kAnswerWaitMs}},
      {"auto",
       {CreatePOSExecutor, CreateCASExecutor, CreateOKAExecutor, CreateNativeExecutor, CreateAutoExecutor},
       true, {}, {}, kOkaLines, false, std::nullopt},
  };
  return table;
}

const ProtocolRow* FindProtocol(const std::string& name) {
  for (const auto& row : ProtocolTable()) {
    if (row.name == name) return &row;
  }
  return nullptr;
}

Command MapToProtocol(Command command, const std::string& protocol) {
  const ProtocolRow* row = FindProtocol(protocol);
  if (row == nullptr) return command;
  for (const auto& [generic, own] : row->mapping) {
    if (generic == command) return own;
  }
  return command;
}

bool IsCommandAllowed(Command command, const std::string& protocol) {
  const ProtocolRow* row = FindProtocol(protocol);
  if (row == nullptr) return false;
  if (row->acceptsEveryCommand) return IsKnown(command);
  return row->commands.count(static_cast<int>(command)) != 0;
}

std::optional<SerialLine> LineFor(const ProtocolRow& row, const std::string& speed) {
  for (const auto& [rowSpeed, line] : row.lines.bySpeed) {
    if (rowSpeed == speed) return line;
  }
  return row.lines.otherSpeeds;
}

StatusReports ReportsOf(const ProtocolRow& row) {
  switch (MapToProtocol(Command::StatusOfWeightChannel, row.name)) {
    case Command::POSStatusOfWeightChannel:  // a stability bit and the tare
      return {true, false, true, true};
    case Command::CASStatusOfWeightChannel:  // stable, unstable or overload; no tare
    case Command::CASActiveStatusOfWeightChannel:
      return {true, true, false, false};
    case Command::OKAStatusOfWeightChannel:  // a flag byte and weight plus tare
      return {true, true, true, true};
    default:
      return {};
  }
}

bool AnswersNative(const ProtocolRow& row) { return row.probe && row.probe->answersNative; }

bool Maps(const ProtocolRow& row, Command generic) {
  for (const auto& [from, own] : row.mapping) {
    if (from == generic) return true;
  }
  return false;
}

void ApplySerialLine(Connection& connection, const SerialLine& line, ErrorCase& result) {
  if (line.defaults) {
    connection.SetDefaultOptions(result);
    if (result != ErrorCase::Correct) return;
  }
  for (const auto& [option, value] : line.options) {
    connection.SetOption(option, value, result);
    if (result != ErrorCase::Correct) return;
  }
}

}  // namespace Korvalt::Ponderix::Driver
