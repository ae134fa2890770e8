// The few things the serial connection asks of the operating system beyond Boost.Asio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace Korvalt::Ponderix::Platform {

// An open serial line's native handle: a file descriptor on POSIX, a HANDLE on Windows.
using LineHandle = std::intptr_t;

template <typename Native>
LineHandle ToLineHandle(Native native) {
  if constexpr (std::is_pointer_v<Native>) {
    return reinterpret_cast<LineHandle>(native);
  } else {
    return static_cast<LineHandle>(native);
  }
}

// Asio's own reads and writes on the line rely on non-blocking mode; so does WriteWithoutWaiting.
void EnsureNonBlocking(LineHandle line);
// Writes what the line's output queue takes at once; 0 when it takes nothing now, or when the
// platform has no such write (the caller then writes through Asio with its time-out).
std::size_t WriteWithoutWaiting(LineHandle line, const std::uint8_t* data, std::size_t size);
// False only when the line surely holds no unread input.
bool MayHaveInput(LineHandle line);
// True for the system's own error values (GetLastError() on Windows) that mean the port went
// away or was held elsewhere for a moment, beyond the portable conditions (end of file, EIO,
// ENODEV, access denied) the connection checks itself: an unplugged USB adapter's
// ERROR_GEN_FAILURE, ERROR_BAD_COMMAND, ERROR_DEVICE_NOT_CONNECTED or ERROR_DEVICE_REMOVED, and
// ERROR_ACCESS_DENIED. Always false on POSIX, whose values the portable conditions cover.
bool IsLineLostSystemError(int value);

}  // namespace Korvalt::Ponderix::Platform
