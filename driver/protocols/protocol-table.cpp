#include "driver/protocols/protocol-table.hpp"

#include "driver/connections/connection.hpp"
#include "driver/protocols/protocol-families.hpp"
#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

// The commands of a protocol: its own, the two automatic ones every protocol takes, and the
// native text protocol's commands (1 to 48) where its scales answer them. (The ProV1 rows list
// command 0 as well: it is let through and then runs nothing.)
enum class NativeCommands { No, Yes };

CommandSet Accepts(std::initializer_list<Command> own, NativeCommands native = NativeCommands::No) {
  CommandSet set{false, {Command::GetProtocolAuto, Command::StatusOfWeightChannelAuto}};
  set.commands.insert(own.begin(), own.end());
  if (native == NativeCommands::Yes) {
    for (int n = static_cast<int>(Command::SetScalesModel); n <= static_cast<int>(Command::SetCell2); ++n) {
      set.commands.insert(static_cast<Command>(n));
    }
  }
  return set;
}

const CommandSet kEveryCommand{true, {}};

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
      {"POS2M", {CreatePOSExecutor, CreateAutoExecutor},
       Accepts({C::POSStatusOfWeightChannel, C::POSSetZero, C::POSSetTare}),
       {{C::StatusOfWeightChannel, C::POSStatusOfWeightChannel}, {C::SetZero, C::POSSetZero},
        {C::SetTare, C::POSSetTare}},
       kPlainLines, ModelOnOpen::NotRead,
       DetectionProbe{C::POSStatusOfWeightChannel, 1, NativeAnswer::None, kAnswerWaitMs}},
      {"POS2MProV1", {CreatePOSExecutor, CreateNativeExecutor, CreateAutoExecutor},
       Accepts({C::Unset, C::POSStatusOfWeightChannel, C::POSSetZero, C::POSSetTare, C::POSSpecifyTare},
               NativeCommands::Yes),
       {{C::StatusOfWeightChannel, C::POSStatusOfWeightChannel}, {C::SetZero, C::POSSetZero},
        {C::SetTare, C::POSSetTare}, {C::SpecifyTare, C::POSSpecifyTare}},
       kPlainLines, ModelOnOpen::Read,
       DetectionProbe{C::POSStatusOfWeightChannel, 1, NativeAnswer::Answered, kAnswerWaitMs}},
      {"CAS-M", {CreateCASExecutor, CreateAutoExecutor},
       Accepts({C::CASStatusOfWeightChannel, C::CASSetZero, C::CASSetTare}),
       {{C::StatusOfWeightChannel, C::CASStatusOfWeightChannel}, {C::SetZero, C::CASSetZero},
        {C::SetTare, C::CASSetTare}},
       kPlainLines, ModelOnOpen::NotRead,
       DetectionProbe{C::CASStatusOfWeightChannel, 4, NativeAnswer::None, kAnswerWaitMs}},
      {"CAS-M ProV1", {CreateCASExecutor, CreateNativeExecutor, CreateAutoExecutor},
       Accepts({C::Unset, C::CASStatusOfWeightChannel, C::CASSetZero, C::CASSetTare}, NativeCommands::Yes),
       {{C::StatusOfWeightChannel, C::CASStatusOfWeightChannel}, {C::SetZero, C::CASSetZero},
        {C::SetTare, C::CASSetTare}},
       kPlainLines, ModelOnOpen::Read,
       DetectionProbe{C::CASStatusOfWeightChannel, 4, NativeAnswer::Answered, kAnswerWaitMs}},
      {"CAS-M-Active", {CreateCASExecutor, CreateAutoExecutor},
       Accepts({C::CASActiveStatusOfWeightChannel}),
       {{C::StatusOfWeightChannel, C::CASActiveStatusOfWeightChannel}},
       kPlainLines, ModelOnOpen::NotRead,
       DetectionProbe{C::CASActiveStatusOfWeightChannel, 3, NativeAnswer::None, kFrameWaitMs},
       StatusSending::OnItsOwn},
      {"OKA", {CreateOKAExecutor, CreateNativeExecutor, CreateAutoExecutor},
       Accepts({C::OKASetZero, C::OKAStatusOfWeightChannel, C::OKASpecifyTare}, NativeCommands::Yes),
       {{C::StatusOfWeightChannel, C::OKAStatusOfWeightChannel}, {C::SetZero, C::OKASetZero},
        {C::SpecifyTare, C::OKASpecifyTare}},
       kOkaLines, ModelOnOpen::NotRead,
       DetectionProbe{C::OKAStatusOfWeightChannel, 2, NativeAnswer::None, kAnswerWaitMs}},
      {kAutomatic,
       {CreatePOSExecutor, CreateCASExecutor, CreateOKAExecutor, CreateNativeExecutor, CreateAutoExecutor},
       kEveryCommand, {}, kOkaLines, ModelOnOpen::NotRead, std::nullopt},
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
  if (row->accepts.every) return IsKnown(command);
  return row->accepts.commands.count(command) != 0;
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

bool AnswersNative(const ProtocolRow& row) { return row.probe && row.probe->native == NativeAnswer::Answered; }

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
