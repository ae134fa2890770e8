#include "tools/reference/reference.hpp"

#include <map>
#include <sstream>

#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/interface/c-names.hpp"
#include "driver/interface/defines.hpp"
#include "driver/protocols/native-protocol.hpp"
#include "driver/protocols/protocol-table.hpp"

namespace Korvalt::Ponderix::Reference {
namespace {

using Driver::Command;
using Driver::ErrorCase;
using Driver::ParamType;

constexpr int kLastCommand = static_cast<int>(Command::OKASpecifyTare);
constexpr int kLastErrorCase = static_cast<int>(ErrorCase::NotAllParamsAreSetInLogicDevice);

struct WeighingCommand {
  const char* inputs;
  const char* outputs;
};

// Inputs and outputs of the commands outside the native keyword table. The weight texts differ
// per protocol; the weighing section of reference.md describes them.
const std::map<Command, WeighingCommand>& WeighingCommands() {
  using C = Command;
  static const std::map<Command, WeighingCommand> table{
      {C::GetProtocolAuto, {"", "ProtocolVersion (the protocol's name)"}},
      {C::StatusOfWeightChannelAuto, {"", "those of the status command that answered"}},
      {C::StatusOfWeightChannel, {"", "those of the protocol's status command"}},
      {C::SetZero, {"", ""}},
      {C::SetTare, {"", ""}},
      {C::SpecifyTare, {"Tare", ""}},
      {C::POSStatusOfWeightChannel, {"", "WeightState, Weight [g], Tare [g], UnitOfMeasure \"gr\""}},
      {C::CASStatusOfWeightChannel, {"", "Weight, WeightState, UnitOfMeasure (\"kg\", \"lb\" or \"g\")"}},
      {C::CASActiveStatusOfWeightChannel, {"", "Weight, WeightState, UnitOfMeasure (\"kg\", \"lb\" or \"g\")"}},
      {C::POSSetZero, {"", ""}},
      {C::POSSetTare, {"", ""}},
      {C::POSSpecifyTare, {"Tare [g]", ""}},
      {C::CASSetZero, {"", ""}},
      {C::CASSetTare, {"", ""}},
      {C::OKASetZero, {"", ""}},
      {C::OKAStatusOfWeightChannel, {"", "Weight [kg], WeightState, Tare [kg]"}},
      {C::OKASpecifyTare, {"Tare [kg]", ""}},
  };
  return table;
}

// What a caller does about each result code.
const std::map<ErrorCase, const char*>& Advice() {
  using E = ErrorCase;
  static const std::map<ErrorCase, const char*> table{
      {E::Correct, "Nothing: the call did its work."},
      {E::Unset, "An end point without host or port: set the logic device's EndPoint."},
      {E::ErrorCaseUnknown, "Not returned by the library."},
      {E::IncorrectArgumnts, "A value the scale cannot take (tare too large, wrong format): check the input."},
      {E::ConnectionError, "The line is down or the scale went away: check cable and power, then open again."},
      {E::UnableToOpenSerialPort, "The port does not exist: check the EndPoint (for example /dev/ttyUSB0, COM3)."},
      {E::BoostErrorUnknown, "A system error on the line: see the log, then close and open again."},
      {E::BoostTimeOut, "No complete answer in time: check protocol, baud rate and that the scale is on."},
      {E::HandleNull, "Call create first; pass the handle it gave."},
      {E::HandleInvalid, "The handle is not one of this library's: pass the one create gave."},
      {E::HandleDoesNotExist, "The handle was destroyed: create a new device."},
      {E::ParamTypeUnknown, "A ParamType number outside the list: fix the caller."},
      {E::ParamTypeUnsupported, "Not returned by the library."},
      {E::ParamTypeIsNotSetToGet, "No value yet: run the command that produces it, or set it first."},
      {E::OptionUnknown, "An Option number outside the list: fix the caller."},
      {E::OptionUnsupported, "The connection has no such option (TCP has none): leave it out."},
      {E::OptionIsNotSetToGet, "Not returned by the library."},
      {E::ParamValueUnknown, "Not returned by the library."},
      {E::ParamValueUnsupported, "The value cannot be sent (a line break in a text, a number out of range)."},
      {E::ParamValueUnset, "Not returned by the library."},
      {E::CommandUnknown, "A Command number outside the list: fix the caller."},
      {E::CommandUnsupported,
       "The protocol in use has no such command: see the Protocols column of commands.md, or the device is not "
       "open."},
      {E::DeviceResponseIncorrectFormat, "The scale's answer was garbled: retry; if it stays, check the protocol."},
      {E::DeviceUnexpectedResponse, "The scale answered something else: check the protocol; retry."},
      {E::DeviceReturnsError, "The scale refused the command (\"ERROR\"): check the value and the scale's mode."},
      {E::DeviceIsNotStabilized, "The weight did not settle: keep the platform still and retry."},
      {E::UnknownExceptionWasCaught, "An internal failure, stopped at the library's boundary: see the log."},
      {E::OpenCheckValuesIsNotEq, "Not returned by the library."},
      {E::JSONKeyMissing, "A script entry lacks a key (Benchtap): fix the script."},
      {E::JSONAnotherFileExtension, "The script is not a .json file (Benchtap)."},
      {E::JSONFileDoesNotExist, "The script file does not exist (Benchtap)."},
      {E::JSONFileParsingProblem, "The script is not valid JSON (Benchtap)."},
      {E::CommandLineIncorrectArgument, "A wrong Benchtap command line: see Benchtap --help."},
      {E::UnableToOpenFile, "config.ini cannot be read or written: check the logs folder's rights."},
      {E::WrongModelChosen,
       "The logic device's Model does not match the scale's: set the right model or \"auto\"."},
      {E::EscapeClicked, "The operator ended a Benchtap dialog with Escape (or input ended)."},
      {E::LogicDeviceJSONError,
       "The logic-device file cannot be read or written: check logic-devices-connection-config.json."},
      {E::LogicDeviceNotFound, "No logic device of that identifier: add_logic_device first."},
      {E::NotAllParamsAreSetInLogicDevice,
       "Set Name, ConnectionType, EndPoint, BaudRate, Model and Protocol before open."},
  };
  return table;
}

std::string Join(const std::vector<std::string>& items, const char* separator = ", ") {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : separator) + item;
  return text;
}

std::string Code(const std::string& text) { return text.empty() ? text : "`" + text + "`"; }

// UTF-8 of a description text.
std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t w : text) {
    auto c = static_cast<unsigned long>(w);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// "POS2M, POS2MProV1: POSSetZero; ..." for a generic command that each protocol replaces.
std::string RunsAs(Command command) {
  std::map<Command, std::vector<std::string>> byCommand;
  for (const auto& protocol : ProtocolNames()) {
    Command own = Driver::MapToProtocol(command, protocol);
    if (own != command) byCommand[own].push_back(protocol);
  }
  std::vector<std::string> parts;
  for (const auto& [own, protocols] : byCommand) parts.push_back(Join(protocols) + ": " + Driver::ToString(own));
  return Join(parts, "; ");
}

// The keyword on the wire of a native command: "Gmax", "Smax@" (the value in place of "@").
std::string NativeRequest(const Driver::NativeCommand& row) {
  std::string request = row.request;
  auto end = request.find("\r\n");
  return end == std::string::npos ? request : request.substr(0, end);
}

std::string NativeNote(Command command) {
  switch (command) {
    case Command::GetScalesModel:
      return "asks Gmode, Gmax, Gdiv and Gprov; ScalesModel is the assembled name (\"T-QZ 510-15.2 III(средний)\")";
    case Command::SetWeightScaleCalibrationParameters:
      return "waits for a stable weight first (at most 10 status polls, then DeviceIsNotStabilized)";
    case Command::SetCountOfCalibration:
    case Command::Init:
      return "sends no value";
    default:
      return "";
  }
}

std::string TypeName(ParamType type) { return type == ParamType::Unset ? "" : Driver::ToString(type); }

}  // namespace

const std::vector<std::string>& ProtocolNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> fixed;
    for (const auto& row : Driver::ProtocolTable()) {
      if (!row.accepts.every) fixed.push_back(row.name);
    }
    return fixed;
  }();
  return names;
}

std::vector<std::string> ProtocolsOf(Command command) {
  std::vector<std::string> protocols;
  for (const auto& protocol : ProtocolNames()) {
    if (Driver::IsCommandAllowed(Driver::MapToProtocol(command, protocol), protocol)) {
      protocols.push_back(protocol);
    }
  }
  return protocols;
}

std::string MarkdownRow(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const auto& cell : cells) {
    row += ' ';
    for (char c : cell) {
      if (c == '|') {
        row += "\\|";
      } else if (c == '\n' || c == '\r') {
        row += ' ';
      } else {
        row += c;
      }
    }
    row += " |";
  }
  return row + "\n";
}

std::string CommandsPage() {
  std::ostringstream page;
  page << "# Commands\n\n"
          "Generated by `ponderix-reference commands` from the library's tables; do not edit.\n\n"
          "A command runs with `execute_command(handle, command)` on an open device. Inputs are set before with\n"
          "`set_param`, outputs read after with `get_param`; every value is text. A command that the protocol\n"
          "in use does not list gives `CommandUnsupported`. The generic weighing commands (51 to 54) run as the\n"
          "protocol's own command. Native commands (1 to 48) travel as a text line: `G<keyword>` reads,\n"
          "`S<keyword><value>` writes (answer `OK` or `ERROR`). See reference.md for the weight and state texts.\n\n";
  page << MarkdownRow({"Number", "Name", "Protocols", "Runs as", "Request", "Inputs", "Outputs", "Notes"});
  page << MarkdownRow({"---", "---", "---", "---", "---", "---", "---", "---"});
  for (int n = 1; n <= kLastCommand; ++n) {
    const auto command = static_cast<Command>(n);
    std::string request, inputs, outputs, notes;
    if (const auto* native = Driver::FindNativeCommand(command)) {
      request = Code(NativeRequest(*native));
      inputs = TypeName(native->input);
      outputs = TypeName(native->output);
      notes = NativeNote(command);
    } else if (auto weighing = WeighingCommands().find(command); weighing != WeighingCommands().end()) {
      inputs = weighing->second.inputs;
      outputs = weighing->second.outputs;
    }
    page << MarkdownRow({std::to_string(n), Code(Driver::ToString(command)), Join(ProtocolsOf(command)),
                         RunsAs(command), request, inputs, outputs, notes});
  }
  return page.str();
}

std::string ResultCodesPage() {
  std::ostringstream page;
  page << "# Result codes\n\n"
          "Generated by `ponderix-reference result-codes` from the library's tables; do not edit.\n\n"
          "Every export returns one of these (`ErrorCase`). `get_error_case_description(code, 2, text)` gives the\n"
          "English text, language 1 the Russian one; a code without a text leaves `text` as it was.\n"
          "The C interface returns the same numbers and names each as its constant in `ponderix.h` reads\n"
          "(`pdx_result_name`): the column \"C name\".\n\n";
  page << MarkdownRow({"Number", "Name", "C name", "English text", "What to do"});
  page << MarkdownRow({"---", "---", "---", "---", "---"});
  for (int n = 0; n <= kLastErrorCase; ++n) {
    const auto ecase = static_cast<ErrorCase>(n);
    const bool hasText = Driver::HasDescription(ecase, Driver::kLanguageEnglish);
    page << MarkdownRow({std::to_string(n), Code(Driver::ToString(ecase)), Code(Driver::CCalls::ResultName(n)),
                         hasText ? Narrow(Driver::Description(ecase, Driver::kLanguageEnglish)) : "(none)",
                         Advice().at(ecase)});
  }
  page << "\n## Codes of the C interface only\n\n"
          "`pdx_get_error_description` describes these as well, in English and Russian.\n\n";
  page << MarkdownRow({"Number", "C name", "English text"});
  page << MarkdownRow({"---", "---", "---"});
  int count = 0;
  const int* codes = Driver::CCalls::ResultCodes(count);
  for (int i = 0; i < count; ++i) {
    if (codes[i] <= kLastErrorCase) continue;
    std::string text;
    Driver::CCalls::ResultDescription(codes[i], Driver::kLanguageEnglish, text);
    page << MarkdownRow({std::to_string(codes[i]), Code(Driver::CCalls::ResultName(codes[i])), text});
  }
  return page.str();
}

}  // namespace Korvalt::Ponderix::Reference
