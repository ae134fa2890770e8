// The driver's enumerations and export signatures, for a program that loads the library at run
// time (the export declarations themselves are never needed here).
#pragma once

#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Benchtap {
using Driver::Command;
using Driver::ErrorCase;
using Driver::LogicDeviceParamType;
using Driver::ParamType;
}  // namespace Korvalt::Ponderix::Benchtap
