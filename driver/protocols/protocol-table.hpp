// Everything the driver knows about each protocol name, one row per name: the executor families
// that build its commands, the commands it accepts, how the generic weighing commands map onto
// its own, its serial line per speed, whether `open` reads its model, and how detection finds
// it. `Device`, the executor factory and detection read this table; nothing else keeps a list
// of protocol names.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "driver/api/driver-types.hpp"
#include "driver/protocols/command-executor.hpp"
#include "driver/vocabulary/connection-names.hpp"

namespace Korvalt::Ponderix::Driver {

// Builds the executor of one of its family's commands; nullptr for any other command.
using ExecutorFamily = std::unique_ptr<ICommandExecutor> (*)(Command);

// How a serial line is set for a protocol at one speed: the connection's defaults (9600 baud,
// 8 data bits, one stop bit, no parity, no flow control) first or not, then these options in
// order.
struct SerialLine {
  bool defaults = false;
  std::vector<std::pair<Option, std::string>> options;

  bool operator==(const SerialLine& other) const {
    return defaults == other.defaults && options == other.options;
  }
};

// The line per configured speed ("4800", "9600"); `otherSpeeds` for any other text, empty when
// such a line is left as the system set it.
struct SerialLines {
  std::vector<std::pair<std::string, SerialLine>> bySpeed;
  std::optional<SerialLine> otherSpeeds;
};

// Whether the scale of a protocol also answers the native text protocol's serial-number
// question: detection tells rows with the same probe apart by it.
enum class NativeAnswer { None, Answered };

// Detection finds a protocol when its probe (a status command) succeeds. Rows sharing a probe
// are told apart by whether the scale also answers the native serial-number question.
struct DetectionProbe {
  Command command;
  int order;  // probes run in ascending order; the first that succeeds decides
  NativeAnswer native;
  // How long a read of the probe waits in the quick pass, at 9600 baud [ms]: an answering scale
  // sends its whole reply within it (a self-transmitting one at least one whole frame).
  int quickWaitMs;
};

// The commands a protocol accepts: a list, or every known command (the row of "auto").
struct CommandSet {
  bool every = false;
  std::set<Command> commands;
};

// Whether `open` asks the scale for its model.
enum class ModelOnOpen { NotRead, Read };

// Whether the scale sends its status when asked, or on its own (it is then only listened to,
// and the automatic status read does not poll it).
enum class StatusSending { OnRequest, OnItsOwn };

struct ProtocolRow {
  std::string name;
  std::vector<ExecutorFamily> families;
  CommandSet accepts;
  // Generic weighing command -> this protocol's own.
  std::vector<std::pair<Command, Command>> mapping;
  SerialLines lines;
  ModelOnOpen model = ModelOnOpen::NotRead;
  std::optional<DetectionProbe> probe;
  StatusSending sending = StatusSending::OnRequest;
};

const std::vector<ProtocolRow>& ProtocolTable();
// nullptr for a name that is not exactly one of the table's.
const ProtocolRow* FindProtocol(const std::string& name);

// The protocol's own command for a generic one; any other pair unchanged.
Command MapToProtocol(Command command, const std::string& protocol);
// Whether the protocol accepts the (mapped) command; false for an unknown protocol.
bool IsCommandAllowed(Command command, const std::string& protocol);
// The line the protocol runs at `speed`; nothing when the line is left as it is.
std::optional<SerialLine> LineFor(const ProtocolRow& row, const std::string& speed);
// What the protocol's status reply says besides the weight (the family's codec decides).
struct StatusReports {
  bool stable = false;
  bool overload = false;
  bool net = false;
  bool tare = false;
};
StatusReports ReportsOf(const ProtocolRow& row);
// Whether the scale also answers the native text protocol (its maximum, division, model).
bool AnswersNative(const ProtocolRow& row);
// Whether the protocol maps the generic command onto one of its own.
bool Maps(const ProtocolRow& row, Command generic);

// Sets `line` on the connection: the defaults first when asked, then each option.
void ApplySerialLine(Connection& connection, const SerialLine& line, ErrorCase& result);

}  // namespace Korvalt::Ponderix::Driver
