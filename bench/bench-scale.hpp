// What the device benches share: a data folder of their own, and a logic device for a simulated
// scale on a pseudo-terminal, saved the way a caller saves one.
#pragma once

#include <stdlib.h>

#include <string>
#include <utility>

#include "driver/device/device.hpp"
#include "driver/vocabulary/connection-names.hpp"

namespace Korvalt::Ponderix::Driver::Bench {

// Points APPDATA at a fresh folder under /tmp once per process, so the store and the log of a
// bench never touch the user's.
inline void UseTemporaryAppData() {
  static const bool done = [] {
    char folder[] = "/tmp/ponderix-bench-XXXXXX";
    if (::mkdtemp(folder) != nullptr) ::setenv("APPDATA", folder, 1);
    return true;
  }();
  (void)done;
}

// Saves a logic device for the serial line `path` at 9600 baud, any model, and returns its id.
inline int SaveSerialScale(Device& device, const std::string& path, const std::string& protocol) {
  ErrorCase result = ErrorCase::Correct;
  const int id = device.AddLogicDevice(result);
  const std::pair<LogicDeviceParamType, std::string> settings[] = {
      {LogicDeviceParamType::Name, "bench"},      {LogicDeviceParamType::ConnectionType, kSerialPortConnection},
      {LogicDeviceParamType::EndPoint, path},     {LogicDeviceParamType::BaudRate, "9600"},
      {LogicDeviceParamType::Model, kAutomatic},  {LogicDeviceParamType::Protocol, protocol},
  };
  for (const auto& [type, value] : settings) device.SetLogicDeviceParam(id, type, value, result);
  return id;
}

}  // namespace Korvalt::Ponderix::Driver::Bench
