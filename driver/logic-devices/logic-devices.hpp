// The JSON store of saved connection profiles ("logic devices") and the current one.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/interface/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// The settings of one logic device.
class LogicDeviceParameters {
 public:
  void SetParam(const LogicDeviceParamType& type, std::string value, ErrorCase& result);
  std::string GetParam(const LogicDeviceParamType& type, ErrorCase& result) const;

 private:
  std::map<LogicDeviceParamType, std::string> params_;
};

// None of the operations resets `result` to Correct.
class LogicDeviceManager {
 public:
  // Locates, creates (with the default device) or loads the store; throws on failure.
  LogicDeviceManager();
  ~LogicDeviceManager();
  LogicDeviceManager(const LogicDeviceManager&) = delete;
  LogicDeviceManager& operator=(const LogicDeviceManager&) = delete;

  int AddLogicDevice(ErrorCase& result);
  void DeleteLogicDevice(int id, ErrorCase& result);
  std::vector<int> GetAllSortedID(ErrorCase& result);
  std::shared_ptr<LogicDeviceParameters> GetLogicDevice(int id, ErrorCase& result);
  std::string GetLogicDeviceParam(int id, const LogicDeviceParamType& type, ErrorCase& result);
  void SetLogicDeviceParam(int id, const LogicDeviceParamType& type, std::string value, ErrorCase& result);

  int GetCurrentLogicDeviceID(ErrorCase& result);
  void SetCurrentLogicDevice(int id, ErrorCase& result);
  void AreAllParametersSet(int id, ErrorCase& result);
  void CheckIfParamIsSet(int id, const LogicDeviceParamType& type, ErrorCase& result);

  // Full path of the JSON file.
  const std::string& JsonPath() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace Korvalt::Ponderix::Driver
