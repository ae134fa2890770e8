// What the service tells the service manager that started it: systemd's notification socket on
// Linux (sd_notify); nothing elsewhere or when no manager listens.
#pragma once

#include <chrono>

namespace ScaleService::Supervisor {

// Listening: the unit (Type=notify) counts as started.
void Ready();
// Stopping: the manager waits for the exit rather than reporting a failure.
void Stopping();
// The I/O loop is alive; send at least every WatchdogInterval().
void Alive();
// Half the watchdog time-out the manager set (WatchdogSec=), or zero when it set none.
std::chrono::milliseconds WatchdogInterval();

}  // namespace ScaleService::Supervisor
