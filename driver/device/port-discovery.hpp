// Finding scales: the machine's serial ports as a table, and protocol detection on many ports
// at once. Detection is the one `open` runs for the protocol "auto"; each port gets a thread
// that is started and joined inside the call.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "driver/api/driver-types.hpp"
#include "platform/serial-ports.hpp"

namespace Korvalt::Ponderix::Driver {

struct DiscoveryRow {
  std::string endPoint;
  ErrorCase result = ErrorCase::Correct;
  std::string protocol;  // found; empty on failure
  std::string model;     // where the protocol reports them
  std::string serialNumber;
  long long elapsedMs = 0;
  // Why a port was not probed: "busy: process 4711 (minicom)", "denied: ...".
  std::string note;
};

// One line per port, columns separated by tabs: name, stable name, bus, USB vendor id, USB
// product id, USB serial number, manufacturer, product, access ("free", "busy", "denied").
std::string PortTable(const std::vector<Platform::SerialPortInfo>& ports);

// The end points `patterns` stands for: each line a serial port name, a glob pattern matched
// against the listed names and stable names ("/dev/ttyUSB*", "COM*"), or a TCP end point
// ("tcp:HOST:PORT", "HOST:PORT", "HOST" for port 77). Without patterns: every listed port.
std::vector<std::string> ResolveEndPoints(const std::vector<std::string>& patterns,
                                          const std::vector<Platform::SerialPortInfo>& listed);

// Detects the protocol on every end point concurrently; rows in the order given. A serial port
// another program holds is reported and left alone. `timeout` above zero bounds each port: no
// exchange starts after it (one under way still ends within its transfer time-out).
std::vector<DiscoveryRow> Discover(const std::vector<std::string>& endPoints, std::chrono::milliseconds timeout);

// One line per row: end point, protocol found or the result code's name, model, serial number,
// time taken [ms], note; tab-separated.
std::string DiscoveryTable(const std::vector<DiscoveryRow>& rows, const char* (*resultName)(int));

// Whether `text` matches the glob `pattern` (*, ? and [...]).
bool GlobMatches(const std::string& pattern, const std::string& text);

}  // namespace Korvalt::Ponderix::Driver
