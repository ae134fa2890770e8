// POSIX: RLIMIT_NOFILE.
#include "platform/descriptor-limit.hpp"

#include <sys/resource.h>

#include <limits>

namespace Korvalt::Ponderix::Platform {

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    // Refused under a system-call filter, or above the kernel's nr_open: the old limit stays.
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  constexpr auto kMost = static_cast<rlim_t>(std::numeric_limits<long>::max());
  return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kMost ? std::numeric_limits<long>::max()
                                                                    : static_cast<long>(limit.rlim_cur);
}

}  // namespace Korvalt::Ponderix::Platform
