#include "service/supervisor.hpp"

#include <cstdint>

#if defined(PONDERIX_HAVE_LIBSYSTEMD)
#include <systemd/sd-daemon.h>
#endif

namespace ScaleService::Supervisor {

#if defined(PONDERIX_HAVE_LIBSYSTEMD)

// Without NOTIFY_SOCKET (started by hand) sd_notify does nothing and returns 0.
void Ready() { sd_notify(0, "READY=1\nSTATUS=listening"); }
void Stopping() { sd_notify(0, "STOPPING=1"); }
void Alive() { sd_notify(0, "WATCHDOG=1"); }

std::chrono::milliseconds WatchdogInterval() {
  uint64_t microseconds = 0;
  if (sd_watchdog_enabled(0, &microseconds) <= 0) return std::chrono::milliseconds(0);
  return std::chrono::milliseconds(microseconds / 2000);
}

#else

void Ready() {}
void Stopping() {}
void Alive() {}
std::chrono::milliseconds WatchdogInterval() { return std::chrono::milliseconds(0); }

#endif

}  // namespace ScaleService::Supervisor
