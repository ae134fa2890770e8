// The values a command read from the scale, by slot: what an executor returns, what the device
// stores, and what the interfaces turn into a weight reading.
#pragma once

#include <map>
#include <string>

#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// In ascending ParamType order.
using OutputValues = std::map<ParamType, std::string>;

}  // namespace Korvalt::Ponderix::Driver
