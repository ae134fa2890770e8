// The frame every export runs in, the C++ ones and the C ones alike: no failure crosses the
// library boundary, and a device is held for the length of one call.
#pragma once

#include <functional>

#include "driver/interface/device-manager.hpp"
#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// Runs `work`; a failure thrown by it is logged and never reported as success: a result still
// Correct becomes UnknownExceptionWasCaught, a DriverError gives its own code.
ErrorCase RunFunction(const char* exportName, ErrorCase& result, const std::function<ErrorCase()>& work);

// Runs `work` on the device behind `handle`, holding the device for the call; HandleInvalid
// when the handle names no device.
template <typename Work>
ErrorCase WithDevice(DeviceHandle handle, ErrorCase& result, Work&& work) {
  auto device = DeviceManager::Instance().Acquire(handle);
  if (!device) {
    result = ErrorCase::HandleInvalid;
    return result;
  }
  work(*device);
  return result;
}

}  // namespace Korvalt::Ponderix::Driver
