// Text names of the shared enumerations (as written in logs and in Benchtap scripts).
#pragma once

#include <string>

#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// Each throws std::logic_error for a number outside its enumeration.
std::string ToString(ErrorCase value);
std::string ToString(Command value);
std::string ToString(ParamType value);
std::string ToString(Option value);
std::string ToString(LogicDeviceParamType value);
// JSON key of a logic-device setting; ID and unknown numbers throw std::logic_error.
std::string ToJsonString(LogicDeviceParamType value);

bool IsKnown(ErrorCase value);
bool IsKnown(Command value);
bool IsKnown(ParamType value);
bool IsKnown(Option value);
bool IsKnown(LogicDeviceParamType value);

}  // namespace Korvalt::Ponderix::Driver
