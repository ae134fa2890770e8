// The C interface's port functions: the listing of the machine's serial ports and discovery of
// the scales on them. Both write a tab-separated table into the caller's buffer.
#include "driver/api/ponderix.h"

#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/device/port-discovery.hpp"
#include "driver/interface/call-frame.hpp"
#include "platform/serial-ports.hpp"

using namespace Korvalt::Ponderix::Driver;

namespace {

// The whole table and its NUL, or nothing (as every text output of the C interface).
int TableCall(const char* name, char* buffer, size_t size, size_t* needed, const std::function<std::string()>& make) {
  if (needed) *needed = 0;
  ErrorCase result = ErrorCase::Correct;
  std::string table;
  RunFunction(name, result, [&] {
    table = make();
    return result;
  });
  if (result != ErrorCase::Correct) return static_cast<int>(result);
  if (needed) *needed = table.size() + 1;
  if (buffer == nullptr || size < table.size() + 1) return PDX_BUFFER_TOO_SMALL;
  std::memcpy(buffer, table.data(), table.size() + 1);
  return PDX_OK;
}

std::vector<std::string> Lines(const char* text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

extern "C" {

PDX_API int PDX_CALL pdx_list_ports(char* buffer, size_t size, size_t* needed) {
  return TableCall("pdx_list_ports", buffer, size, needed,
                   [] { return PortTable(Korvalt::Ponderix::Platform::ListSerialPorts()); });
}

PDX_API int PDX_CALL pdx_discover(const char* ports, int timeout_ms, char* buffer, size_t size, size_t* needed) {
  if (timeout_ms < 0) return PDX_INCORRECT_ARGUMENTS;
  return TableCall("pdx_discover", buffer, size, needed, [&] {
    const auto listed = Korvalt::Ponderix::Platform::ListSerialPorts();
    std::vector<std::string> endPoints;
    if (ports == nullptr) {
      // Every free port: the others are reported as they are, never opened.
      endPoints = ResolveEndPoints({}, listed);
    } else {
      // An empty list probes nothing (not everything).
      const auto patterns = Lines(ports);
      if (!patterns.empty()) endPoints = ResolveEndPoints(patterns, listed);
    }
    return DiscoveryTable(Discover(endPoints, std::chrono::milliseconds(timeout_ms)), &pdx_result_name);
  });
}

}  // extern "C"
