#include "driver/protocols/auto-detection.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/text-template.hpp"
#include "driver/connections/connection.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/native-protocol.hpp"
#include "driver/protocols/protocol-families.hpp"
#include "driver/protocols/protocol-table.hpp"
#include "driver/vocabulary/connection-names.hpp"
#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kDetectionLog("get-protocol-version-auto-executable");
const Logging::UnitLog kStatusLog("status-of-weight-channel-auto-executor");

const ProtocolRow& AutoRow() { return *FindProtocol(kAutomatic); }

// While the protocol is still unknown each attempt needs the line its protocol uses at the
// configured speed. A line that was set for "auto" at this speed (4800 and 9600 baud) gets each
// protocol's own; one left as the system set it, and the line of a fixed protocol, stay as
// the device opened them.
class LineSwitcher {
 public:
  explicit LineSwitcher(ProtocolContext& context) {
    auto connection = context.GetConnection();
    if (!connection || !connection->IsOptionSupported(Option::BaudRate)) return;
    ErrorCase ignored = ErrorCase::Correct;
    speed_ = connection->GetOption(Option::BaudRate, ignored);
    if (context.GetProtocol() != kAutomatic) return;
    current_ = LineFor(AutoRow(), speed_);
    if (current_) connection_ = connection;
  }

  const std::string& Speed() const { return speed_; }

  void Apply(const ProtocolRow& row, ErrorCase& code) {
    if (!connection_) return;
    const auto line = LineFor(row, speed_);
    if (!line || line == current_) return;
    ApplySerialLine(*connection_, *line, code);
    if (code == ErrorCase::Correct) current_ = line;
  }

 private:
  std::shared_ptr<Connection> connection_;
  std::string speed_;
  std::optional<SerialLine> current_;
};

// One detection step: the status command that finds the rows sharing it, a plain one and its
// "ProV1" twin that also answers the native serial-number question (either may be missing).
struct Probe {
  DetectionProbe probe;
  const ProtocolRow* plain = nullptr;
  const ProtocolRow* pro = nullptr;

  const ProtocolRow& AnyRow() const { return plain ? *plain : *pro; }
};

std::vector<Probe> MakeProbes() {
  std::vector<Probe> probes;
  for (const auto& row : ProtocolTable()) {
    if (!row.probe) continue;
    auto same = std::find_if(probes.begin(), probes.end(),
                             [&](const Probe& p) { return p.probe.command == row.probe->command; });
    if (same == probes.end()) same = probes.insert(probes.end(), Probe{*row.probe});
    (row.probe->native == NativeAnswer::Answered ? same->pro : same->plain) = &row;
  }
  std::stable_sort(probes.begin(), probes.end(),
                   [](const Probe& a, const Probe& b) { return a.probe.order < b.probe.order; });
  return probes;
}

const std::vector<Probe>& Probes() {
  static const std::vector<Probe> probes = MakeProbes();
  return probes;
}

// What the automatic status read tries, in the table's order: each protocol's own status
// command once (with the first row that has it, for its line), of the scales that answer a request.
struct StatusAttempt {
  Command command;
  const ProtocolRow* row;
};

std::vector<StatusAttempt> MakeStatusAttempts() {
  std::vector<StatusAttempt> attempts;
  for (const auto& row : ProtocolTable()) {
    if (!row.probe || row.sending != StatusSending::OnRequest) continue;
    const Command command = MapToProtocol(Command::StatusOfWeightChannel, row.name);
    auto same = std::find_if(attempts.begin(), attempts.end(),
                             [&](const StatusAttempt& a) { return a.command == command; });
    if (same == attempts.end()) attempts.push_back({command, &row});
  }
  return attempts;
}

const std::vector<StatusAttempt>& StatusAttempts() {
  static const std::vector<StatusAttempt> attempts = MakeStatusAttempts();
  return attempts;
}

// One attempt on a fresh code: the line for its protocol, then the command with the device's checks.
OutputValues Attempt(ProtocolContext& context, LineSwitcher& line, const ProtocolRow& row, Command command,
                     ErrorCase& code) {
  code = ErrorCase::Correct;
  line.Apply(row, code);
  if (code != ErrorCase::Correct) return {};
  return context.RunOtherCommand(command, code);
}

// Any whole line in reply to the serial-number question counts, "ERROR" included: the scale
// speaks the native protocol even if it keeps that value to itself.
bool AnswersNativeProtocol(ProtocolContext& context, LineSwitcher& line, const ProtocolRow& row) {
  ErrorCase code = ErrorCase::Correct;
  Attempt(context, line, row, Command::GetSerialNumber, code);
  return IsNativeLineAnswer(code);
}

// Runs the probes in order: the name of the protocol found, or nothing with the last probe's
// failure in `code`. With `quick` each probe's reads wait only its quick wait.
std::string RunProbes(ProtocolContext& context, LineSwitcher& line, Connection* quick, ErrorCase& code) {
  for (const Probe& probe : Probes()) {
    if (quick) quick->SetQuickWait(QuickWait(probe.probe.quickWaitMs, line.Speed()));
    Attempt(context, line, probe.AnyRow(), probe.probe.command, code);
    if (code != ErrorCase::Correct) continue;
    if (!probe.pro || !probe.plain) return probe.AnyRow().name;
    return AnswersNativeProtocol(context, line, *probe.pro) ? probe.pro->name : probe.plain->name;
  }
  return {};
}

// The line gets its own time-outs back however the quick pass ends.
class QuickWaitGuard {
 public:
  explicit QuickWaitGuard(Connection& connection) : connection_(connection) {}
  ~QuickWaitGuard() { connection_.SetQuickWait(std::chrono::milliseconds(0)); }
  QuickWaitGuard(const QuickWaitGuard&) = delete;
  QuickWaitGuard& operator=(const QuickWaitGuard&) = delete;

 private:
  Connection& connection_;
};

// The quick pass: the name found, or nothing with the last probe's failure in `code`.
std::string QuickPass(ProtocolContext& context, LineSwitcher& line, Connection& connection, ErrorCase& code) {
  QuickWaitGuard guard(connection);
  return RunProbes(context, line, &connection, code);
}

// Listens with the line's own time-out until one whole time-out passes without a byte (or
// kSettleLimit is over): a slow scale's late replies to the quick pass's requests are let go, so
// that none is taken for an answer in the full pass. True when not one byte came.
constexpr std::chrono::seconds kSettleLimit{3};
bool LetLineSettle(Connection& connection) {
  // A listen of its own: nothing of the last request is sent again should the line be reopened.
  connection.DiscardInput();
  const auto heardBefore = connection.BytesReceived();
  const auto limit = std::chrono::steady_clock::now() + kSettleLimit;
  for (;;) {
    ByteVector heard;
    ErrorCase listened = ErrorCase::Correct;
    connection.ReadData(heard, [](const ByteVector& bytes) { return !bytes.empty(); }, listened);
    if (heard.empty() || listened != ErrorCase::Correct || std::chrono::steady_clock::now() >= limit) break;
  }
  return connection.BytesReceived() == heardBefore;
}

// Runs the quick pass, and the full pass when that found nothing on a line that was not silent.
// Silent: every probe timed out and not one byte came from the line, during the quick pass nor
// in one whole time-out after it, so every probe had at least a full time-out for its answer.
std::string Detect(ProtocolContext& context, LineSwitcher& line, ErrorCase& code) {
  auto connection = context.GetConnection();
  if (!connection) return RunProbes(context, line, nullptr, code);
  const auto heardBefore = connection->BytesReceived();
  std::string name = QuickPass(context, line, *connection, code);
  if (!name.empty()) return name;
  const bool silentPass = code == ErrorCase::BoostTimeOut && connection->BytesReceived() == heardBefore;
  if (LetLineSettle(*connection) && silentPass) return {};
  return RunProbes(context, line, nullptr, code);
}

}  // namespace

std::chrono::milliseconds QuickWait(int quickWaitMs, const std::string& speed) {
  return std::chrono::milliseconds(speed == "4800" ? 2 * quickWaitMs : quickWaitMs);
}

OutputValues GetProtocolVersionAutoExecutor::ExecuteCommand(ProtocolContext& context, ErrorCase& code) {
  kDetectionLog.Trace(Text::Fill("GetProtocolVersionAutoExecutor::ExecuteCommand(command: @, code [@])",
                                 ToString(command_), static_cast<int>(command_)));
  if (code != ErrorCase::Correct) return {};
  LineSwitcher line(context);
  const std::string name = Detect(context, line, code);
  if (name.empty()) {
    // Leave the line as the device opened it for the still unknown protocol.
    ErrorCase restore = ErrorCase::Correct;
    line.Apply(AutoRow(), restore);
    kDetectionLog.Error(
        Text::Fill("GetProtocolVersionAutoExecutor::ExecuteCommand, no protocol answered, ecase [@]", ToString(code)));
    return {};
  }
  // The line stays set for the protocol found.
  code = ErrorCase::Correct;
  line.Apply(*FindProtocol(name), code);
  if (code != ErrorCase::Correct) return {};
  kDetectionLog.Info("GetProtocolVersionAutoExecutor::ExecuteCommand, protocol found: " + name);
  return {{ParamType::ProtocolVersion, name}};
}

OutputValues StatusOfWeightChannelAutoExecutor::ExecuteCommand(ProtocolContext& context, ErrorCase& code) {
  kStatusLog.Trace(Text::Fill("StatusOfWeightChannelAutoExecutor::ExecuteCommand(command: @, code [@])",
                              ToString(command_), static_cast<int>(command_)));
  LineSwitcher line(context);
  for (const auto& [command, row] : StatusAttempts()) {
    OutputValues outputs = Attempt(context, line, *row, command, code);
    if (code == ErrorCase::Correct) return outputs;
  }
  return {};
}

std::unique_ptr<ICommandExecutor> CreateAutoExecutor(Command command) {
  switch (command) {
    case Command::GetProtocolAuto:
      return std::make_unique<GetProtocolVersionAutoExecutor>(command);
    case Command::StatusOfWeightChannelAuto:
      return std::make_unique<StatusOfWeightChannelAutoExecutor>(command);
    default:
      return nullptr;
  }
}

}  // namespace Korvalt::Ponderix::Driver
