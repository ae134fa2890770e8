#include "platform/console.hpp"

#ifndef NOMINMAX
#  define NOMINMAX
#endif
#include <windows.h>

namespace Korvalt::Ponderix::Platform {

// Without a console (output to a file or a pipe) there is nothing to switch: the bytes go out as
// they are, and GetConsoleOutputCP() answers 0.
unsigned UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  return GetConsoleOutputCP();
}

}  // namespace Korvalt::Ponderix::Platform
