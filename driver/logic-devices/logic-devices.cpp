// Placeholder until the logic-device store lands.
#include "driver/logic-devices/logic-devices.hpp"

namespace Korvalt::Ponderix::Driver {
struct LogicDeviceManager::Impl {};
void LogicDeviceParameters::SetParam(const LogicDeviceParamType& type, std::string value, ErrorCase&) {
  params_[type] = std::move(value);
}
std::string LogicDeviceParameters::GetParam(const LogicDeviceParamType& type, ErrorCase& result) const {
  auto it = params_.find(type);
  if (it == params_.end() || it->second.empty()) {
    result = ErrorCase::ParamTypeIsNotSetToGet;
    return {};
  }
  return it->second;
}
LogicDeviceManager::LogicDeviceManager() : impl_(std::make_unique<Impl>()) {}
LogicDeviceManager::~LogicDeviceManager() = default;
int LogicDeviceManager::AddLogicDevice(ErrorCase& result) { result = ErrorCase::LogicDeviceJSONError; return -1; }
void LogicDeviceManager::DeleteLogicDevice(int, ErrorCase& result) { result = ErrorCase::LogicDeviceNotFound; }
std::vector<int> LogicDeviceManager::GetAllSortedID(ErrorCase&) { return {}; }
std::shared_ptr<LogicDeviceParameters> LogicDeviceManager::GetLogicDevice(int, ErrorCase& result) {
  result = ErrorCase::LogicDeviceNotFound;
  return nullptr;
}
std::string LogicDeviceManager::GetLogicDeviceParam(int, const LogicDeviceParamType&, ErrorCase& result) {
  result = ErrorCase::LogicDeviceNotFound;
  return {};
}
void LogicDeviceManager::SetLogicDeviceParam(int, const LogicDeviceParamType&, std::string, ErrorCase& result) {
  result = ErrorCase::LogicDeviceNotFound;
}
int LogicDeviceManager::GetCurrentLogicDeviceID(ErrorCase& result) { result = ErrorCase::LogicDeviceNotFound; return -1; }
void LogicDeviceManager::SetCurrentLogicDevice(int, ErrorCase& result) { result = ErrorCase::LogicDeviceNotFound; }
void LogicDeviceManager::AreAllParametersSet(int, ErrorCase& result) { result = ErrorCase::LogicDeviceNotFound; }
void LogicDeviceManager::CheckIfParamIsSet(int, const LogicDeviceParamType&, ErrorCase& result) {
  result = ErrorCase::LogicDeviceNotFound;
}
const std::string& LogicDeviceManager::JsonPath() const { static const std::string none; return none; }
}  // namespace Korvalt::Ponderix::Driver
