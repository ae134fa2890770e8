#include "platform/service-host.hpp"

namespace Korvalt::Ponderix::Platform {

// systemd runs the program as it is; its notices are the program's own.
std::optional<int> HostService(int, char**, const ServiceIdentity&) { return std::nullopt; }

}  // namespace Korvalt::Ponderix::Platform
