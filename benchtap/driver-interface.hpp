// The driver's public enumerations and export signatures, for a program that loads the library
// at run time. The exports "open" and "close" share their names with the POSIX functions that
// many system headers declare; only their types are needed here, so their declarations are
// moved to other names and this header mixes with any system header.
#pragma once

#define open ponderix_driver_export_open
#define close ponderix_driver_export_close
#include "driver/interface/driver-api.hpp"
#undef open
#undef close

namespace Korvalt::Ponderix::Benchtap {
using Driver::Command;
using Driver::ErrorCase;
using Driver::LogicDeviceParamType;
using Driver::ParamType;
}  // namespace Korvalt::Ponderix::Benchtap
