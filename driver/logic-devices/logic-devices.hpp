// The JSON store of saved connection profiles ("logic devices") and the current one.
//
// The file "logic-devices-connection-config.json" in the platform's data folder is shared by every
// device handle of every process. Each operation works on the file's current content: it takes an
// advisory lock on "<file>.lock" (shared to read, exclusive to change), re-reads the file when it
// changed, and writes a change atomically before releasing the lock. What a manager holds in
// memory is therefore never older than the file at the start of its latest operation.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/api/driver-types.hpp"
#include "driver/logic-devices/store-file.hpp"

namespace Korvalt::Ponderix::Driver {

// The settings of one logic device.
class LogicDeviceParameters {
 public:
  LogicDeviceParameters() = default;
  explicit LogicDeviceParameters(std::map<LogicDeviceParamType, std::string> params) : params_(std::move(params)) {}

  void SetParam(const LogicDeviceParamType& type, std::string value, ErrorCase& result);
  // An empty text counts as not set: ParamTypeIsNotSetToGet.
  std::string GetParam(const LogicDeviceParamType& type, ErrorCase& result) const;

 private:
  std::map<LogicDeviceParamType, std::string> params_;
};

// None of the operations resets `result` to Correct.
class LogicDeviceManager {
 public:
  // Locates, creates (with the default device) or loads the store; throws LogicDeviceStoreError.
  LogicDeviceManager();
  ~LogicDeviceManager();
  LogicDeviceManager(const LogicDeviceManager&) = delete;
  LogicDeviceManager& operator=(const LogicDeviceManager&) = delete;

  // The lowest free identifier (1 or more); at most 101 devices.
  int AddLogicDevice(ErrorCase& result);
  // The last device is never deleted. Deleting the current device leaves no device current.
  void DeleteLogicDevice(int id, ErrorCase& result);
  std::vector<int> GetAllSortedID(ErrorCase& result);
  // A snapshot of the device's settings as the file held them.
  std::shared_ptr<LogicDeviceParameters> GetLogicDevice(int id, ErrorCase& result);
  std::string GetLogicDeviceParam(int id, const LogicDeviceParamType& type, ErrorCase& result);
  void SetLogicDeviceParam(int id, const LogicDeviceParamType& type, std::string value, ErrorCase& result);

  // The device whose "is-current" is "true" in the file; -1 with LogicDeviceNotFound when none.
  int GetCurrentLogicDeviceID(ErrorCase& result);
  // Makes `id` the only current device; an unknown id gives LogicDeviceNotFound and changes nothing.
  void SetCurrentLogicDevice(int id, ErrorCase& result);
  // NotAllParamsAreSetInLogicDevice when a setting is empty or the device is unknown.
  void AreAllParametersSet(int id, ErrorCase& result);
  void CheckIfParamIsSet(int id, const LogicDeviceParamType& type, ErrorCase& result);

  // Full path of the JSON file.
  const std::string& JsonPath() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace Korvalt::Ponderix::Driver
