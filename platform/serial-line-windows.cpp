#include "platform/serial-line.hpp"

namespace Korvalt::Ponderix::Platform {

// Overlapped I/O through Asio needs nothing more here.
void EnsureNonBlocking(LineHandle) {}
std::size_t WriteWithoutWaiting(LineHandle, const std::uint8_t*, std::size_t) { return 0; }
bool MayHaveInput(LineHandle) { return true; }

}  // namespace Korvalt::Ponderix::Platform
