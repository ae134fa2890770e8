// The calendar time of this machine's time zone.
#pragma once

#include <ctime>

namespace Korvalt::Ponderix::Platform {

// Thread-safe local time of `when`.
std::tm LocalTime(std::time_t when);

}  // namespace Korvalt::Ponderix::Platform
