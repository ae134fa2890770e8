// The service's settings, from the command line or a JSON file with the same keys.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/api/ponderix.h"

namespace ScaleService {

// NAME=SPEC: tcp:HOST:PORT or serial:DEVICE, then ",protocol=P" and ",baud=N"; or profile:NAME
// for a logic device saved in the library's store.
struct ScaleSpec {
  std::string name;
  std::string text;  // SPEC as given
  // Usb: the serial adapter with this USB serial number, on whatever port it has when opened.
  enum class Kind { Tcp, Serial, Profile, Usb } kind = Kind::Tcp;
  std::string endPoint;  // "HOST:PORT", the device, the profile's name, or the USB serial number
  std::string protocol = PDX_AUTO;
  std::string baud = "9600";
};

struct ServiceSettings {
  std::vector<ScaleSpec> scales;
  std::string listenAddress = "127.0.0.1";
  std::uint16_t listenPort = 8731;
  std::vector<std::string> allowedOrigins;
  std::string token;  // empty: no authorisation (loopback only)
  int pollMs = 0;        // pause between exchanges while a stream is open [ms]
  int idlePollMs = 1000; // pause between exchanges with nobody waiting [ms]; 0: no idle reads
  // Connections served at once (HTTP and streams); past it the oldest one still sending its
  // request is closed. Lowered at start to what the descriptor limit allows.
  int maxConnections = 1024;
  int logLevel = 2;      // the library's log mode (PDX_LOG_*): warning
};

// The connection cap that `descriptors` open files allow beside the scales' lines, the log and
// the service's own (0: no limit known); at least 16.
int ConnectionCap(const ServiceSettings& settings, long descriptors);

// A setting that cannot be used; what() is the one line printed at start.
struct ConfigError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

ScaleSpec ParseScale(const std::string& nameEqualsSpec);
// Throws ConfigError. `help` is set when --help was asked for.
ServiceSettings ParseCommandLine(int argc, const char* const* argv, bool& help);
const char* Usage();

}  // namespace ScaleService
