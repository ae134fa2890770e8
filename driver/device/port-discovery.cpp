#include "driver/device/port-discovery.hpp"

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>
#include <tuple>

#include "common/text-template.hpp"
#include "driver/connections/connection.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/command-executor.hpp"
#include "driver/protocols/protocol-table.hpp"
#include "driver/vocabulary/connection-names.hpp"
#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("port-discovery");

using Clock = std::chrono::steady_clock;
using Text::Fill;

// Detection runs at the speed most scales are set to; a 4800-baud scale is found by opening it
// with that speed and the protocol "auto".
const char* const kProbeSpeed = "9600";
// A bare host is reached on this port, as `open` reaches it.
const char* const kDefaultTCPPort = "77";

bool IsTCPEndPoint(const std::string& endPoint) {
  if (endPoint.rfind("tcp:", 0) == 0) return true;
  if (endPoint.empty() || endPoint.front() == '/' || endPoint.front() == '\\') return false;
  return endPoint.find(':') != std::string::npos;
}

std::string TCPAddress(const std::string& endPoint) {
  return endPoint.rfind("tcp:", 0) == 0 ? endPoint.substr(4) : endPoint;
}

// What detection needs of a device: the line, the protocol in force, and commands run with the
// protocol's checks. Nothing is stored; no logic device is involved. After `deadline` no
// command starts.
class LineProbe : public ProtocolContext {
 public:
  LineProbe(std::shared_ptr<Connection> connection, std::optional<Clock::time_point> deadline)
      : connection_(std::move(connection)), deadline_(deadline) {}

  std::shared_ptr<Connection> GetConnection() override { return connection_; }
  std::string GetInputParam(ParamType, ErrorCase& result) override {
    result = ErrorCase::ParamTypeIsNotSetToGet;
    return {};
  }
  std::string GetProtocol() const override { return protocol_; }
  OutputValues RunOtherCommand(Command command, ErrorCase& result) override {
    command = MapToProtocol(command, protocol_);
    if (!IsCommandAllowed(command, protocol_)) {
      result = ErrorCase::CommandUnsupported;
      return {};
    }
    if (deadline_ && Clock::now() >= *deadline_) {
      result = ErrorCase::BoostTimeOut;
      return {};
    }
    auto executor = CreateExecutor(command, result);
    if (result != ErrorCase::Correct) return {};
    return executor->ExecuteCommand(*this, result);
  }

  void SetProtocol(const std::string& protocol) { protocol_ = protocol; }

 private:
  std::shared_ptr<Connection> connection_;
  std::optional<Clock::time_point> deadline_;
  std::string protocol_ = kAutomatic;
};

// Opens the line as `open` does for the protocol "auto": serial at the probe speed with the
// line "auto" uses there, TCP on the end point's port.
std::shared_ptr<Connection> OpenLine(const std::string& endPoint, ErrorCase& result) {
  if (IsTCPEndPoint(endPoint)) {
    auto connection = MakeTCPConnection(TCPAddress(endPoint), kDefaultTCPPort);
    connection->Open(result);
    return connection;
  }
  auto connection = MakeSerialPortConnection(endPoint);
  connection->Open(result);
  if (result != ErrorCase::Correct) return connection;
  if (auto line = LineFor(*FindProtocol(kAutomatic), kProbeSpeed)) ApplySerialLine(*connection, *line, result);
  return connection;
}

// The port is not touched when another program holds it or this user may not open it.
bool MayProbe(const std::string& endPoint, DiscoveryRow& row) {
  if (IsTCPEndPoint(endPoint)) return true;
  const auto access = Platform::CheckPortAccess(endPoint);
  if (access == Platform::PortAccess::Free) return true;
  row.result = ErrorCase::UnableToOpenSerialPort;
  if (access == Platform::PortAccess::Busy) {
    const std::string holders = Platform::DescribeHolders(Platform::FindPortHolders(endPoint));
    row.note = "busy" + (holders.empty() ? std::string() : ": " + holders);
  } else {
    const std::string advice = Platform::AccessAdvice(endPoint);
    row.note = "denied" + (advice.empty() ? std::string() : ": " + advice);
  }
  return false;
}

void Probe(const std::string& endPoint, std::chrono::milliseconds timeout, DiscoveryRow& row) {
  const auto start = Clock::now();
  row.endPoint = endPoint;
  try {
    if (!MayProbe(endPoint, row)) return;
    ErrorCase result = ErrorCase::Correct;
    auto connection = OpenLine(endPoint, result);
    if (result == ErrorCase::UnableToOpenSerialPort && Platform::CheckPortAccess(endPoint) == Platform::PortAccess::Busy) {
      const std::string holders = Platform::DescribeHolders(Platform::FindPortHolders(endPoint));
      row.note = "busy" + (holders.empty() ? std::string() : ": " + holders);
    }
    std::optional<Clock::time_point> deadline;
    if (timeout.count() > 0) deadline = start + timeout;
    LineProbe probe(connection, deadline);
    OutputValues found;
    if (result == ErrorCase::Correct) found = probe.RunOtherCommand(Command::GetProtocolAuto, result);
    if (result == ErrorCase::Correct) {
      row.protocol = found[ParamType::ProtocolVersion];
      probe.SetProtocol(row.protocol);
      // Model and serial number where the protocol has them; their failure leaves them out.
      if (FindProtocol(row.protocol)->model == ModelOnOpen::Read) {
        for (const auto& [command, type, field] :
             {std::tuple{Command::GetScalesModel, ParamType::ScalesModel, &row.model},
              std::tuple{Command::GetSerialNumber, ParamType::SerialNumber, &row.serialNumber}}) {
          ErrorCase asked = ErrorCase::Correct;
          auto outputs = probe.RunOtherCommand(command, asked);
          if (asked == ErrorCase::Correct) *field = outputs[type];
        }
      }
    }
    row.result = result;
    if (connection->IsOpen()) connection->Close();
  } catch (const std::exception& error) {
    kLog.Error(Fill("Discover(), @: @", endPoint, error.what()));
    row.result = ErrorCase::UnknownExceptionWasCaught;
  }
  row.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  kLog.Info(Fill("Discover(), @: @ in @ ms", endPoint, row.protocol.empty() ? ToString(row.result) : row.protocol,
                 row.elapsedMs));
}

// Tabs and line breaks inside a field would break the table.
std::string Field(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return text;
}

bool HasGlob(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

}  // namespace

bool GlobMatches(const std::string& pattern, const std::string& text) {
  std::size_t p = 0, t = 0, starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    bool advanced = false;
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '[') {
      const auto close = pattern.find(']', p + 1);
      if (close != std::string::npos) {
        bool negate = p + 1 < close && (pattern[p + 1] == '!' || pattern[p + 1] == '^');
        bool inSet = false;
        for (std::size_t i = p + 1 + (negate ? 1 : 0); i < close; ++i) {
          if (i + 2 < close && pattern[i + 1] == '-') {
            inSet = inSet || (text[t] >= pattern[i] && text[t] <= pattern[i + 2]);
            i += 2;
          } else {
            inSet = inSet || text[t] == pattern[i];
          }
        }
        if (inSet != negate) {
          p = close + 1;
          ++t;
          advanced = true;
        }
      }
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
      advanced = true;
    }
    if (advanced) continue;
    if (starP == std::string::npos) return false;
    p = starP + 1;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string PortTable(const std::vector<Platform::SerialPortInfo>& ports) {
  std::string table;
  for (const auto& port : ports) {
    for (const std::string& field : {port.name, port.stableName, port.bus, port.vendorId, port.productId,
                                     port.serialNumber, port.manufacturer, port.product}) {
      table += Field(field) + "\t";
    }
    table += std::string(Platform::PortAccessName(port.access)) + "\n";
  }
  return table;
}

std::vector<std::string> ResolveEndPoints(const std::vector<std::string>& patterns,
                                          const std::vector<Platform::SerialPortInfo>& listed) {
  std::vector<std::string> endPoints;
  auto add = [&endPoints](const std::string& endPoint) {
    if (std::find(endPoints.begin(), endPoints.end(), endPoint) == endPoints.end()) endPoints.push_back(endPoint);
  };
  if (patterns.empty()) {
    for (const auto& port : listed) add(port.name);
    return endPoints;
  }
  for (const auto& pattern : patterns) {
    if (pattern.empty()) continue;
    if (!HasGlob(pattern) || IsTCPEndPoint(pattern)) {
      add(pattern);
      continue;
    }
    for (const auto& port : listed) {
      if (GlobMatches(pattern, port.name) || (!port.stableName.empty() && GlobMatches(pattern, port.stableName))) {
        add(port.name);
      }
    }
  }
  return endPoints;
}

std::vector<DiscoveryRow> Discover(const std::vector<std::string>& endPoints, std::chrono::milliseconds timeout) {
  std::vector<DiscoveryRow> rows(endPoints.size());
  std::vector<std::thread> probes;
  probes.reserve(endPoints.size());
  try {
    for (std::size_t i = 0; i < endPoints.size(); ++i) {
      probes.emplace_back([&endPoints, &rows, timeout, i] { Probe(endPoints[i], timeout, rows[i]); });
    }
  } catch (...) {
    // No thread could be started: those started still end before the call does.
    for (auto& probe : probes) probe.join();
    throw;
  }
  for (auto& probe : probes) probe.join();
  return rows;
}

std::string DiscoveryTable(const std::vector<DiscoveryRow>& rows, const char* (*resultName)(int)) {
  std::string table;
  for (const auto& row : rows) {
    const char* name = resultName(static_cast<int>(row.result));
    const std::string outcome = row.result == ErrorCase::Correct ? row.protocol : (name ? name : ToString(row.result));
    table += Field(row.endPoint) + "\t" + Field(outcome) + "\t" + Field(row.model) + "\t" + Field(row.serialNumber) +
             "\t" + std::to_string(row.elapsedMs) + "\t" + Field(row.note) + "\n";
  }
  return table;
}

}  // namespace Korvalt::Ponderix::Driver
