// A program that is also a Windows service. Elsewhere (systemd starts the Linux build) nothing
// happens here.
#pragma once

#include <optional>

namespace Korvalt::Ponderix::Platform {

struct ServiceIdentity {
  const char* name;         // service name and Event Log source, "scale-service"
  const char* displayName;  // as the Services console lists it
  const char* description;
};

// Called first in main. On Windows:
//  - `--install-service [--config FILE]` registers this program as the service (automatic start,
//    LocalService, restart after 5 s on the first two failures, a non-zero exit counting as one)
//    `--uninstall-service` stops and removes it, `--start-service` starts it; their exit status is
//    returned (1 without administrator rights, with a message saying so);
//  - when the Service Control Manager started the process, the host reports start pending,
//    routes standard output and error to the Event Log, reports running at the program's first
//    line on standard output (its "listening on" line), turns stop and shutdown into SIGTERM (the
//    program's own clean stop), and reports stopped when the program exits; it returns nothing
//    and main goes on as the service;
//  - a console start returns nothing at once.
// Elsewhere it always returns nothing.
std::optional<int> HostService(int argc, char** argv, const ServiceIdentity& identity);

}  // namespace Korvalt::Ponderix::Platform
