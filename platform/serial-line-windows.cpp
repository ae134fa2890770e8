#include "platform/serial-line.hpp"

#ifndef NOMINMAX
#  define NOMINMAX
#endif
#include <windows.h>

namespace Korvalt::Ponderix::Platform {

// Overlapped I/O through Asio needs nothing more here.
void EnsureNonBlocking(LineHandle) {}
std::size_t WriteWithoutWaiting(LineHandle, const std::uint8_t*, std::size_t) { return 0; }
bool MayHaveInput(LineHandle) { return true; }

bool IsLineLostSystemError(int value) {
  switch (static_cast<DWORD>(value)) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

}  // namespace Korvalt::Ponderix::Platform
