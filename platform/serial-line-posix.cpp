#include "platform/serial-line.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Korvalt::Ponderix::Platform {

void EnsureNonBlocking(LineHandle line) {
  const int fd = static_cast<int>(line);
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) == 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::size_t WriteWithoutWaiting(LineHandle line, const std::uint8_t* data, std::size_t size) {
  ssize_t written = ::write(static_cast<int>(line), data, size);
  return written > 0 ? static_cast<std::size_t>(written) : 0;
}

bool MayHaveInput(LineHandle line) {
#if defined(FIONREAD)
  // The count of bytes in the driver's input queue: one call instead of a read attempt.
  int waiting = 0;
  if (::ioctl(static_cast<int>(line), FIONREAD, &waiting) == 0) return waiting > 0;
#endif
  (void)line;
  return true;
}

bool IsLineLostSystemError(int) { return false; }

}  // namespace Korvalt::Ponderix::Platform
