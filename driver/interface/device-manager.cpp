#include "driver/interface/device-manager.hpp"

#include <stdexcept>

#include "driver/interface/defines.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {
const Logging::UnitLog kLog("device-manager");
}

struct DeviceManager::Lease::Slot {
  std::mutex mutex;
  std::unique_ptr<Device> device;  // reset by DestroyDevice under `mutex`
};

DeviceManager& DeviceManager::Instance() {
  Logging::Prepare();  // the devices' destructors log when the library unloads
  static DeviceManager manager;
  return manager;
}

DeviceManager::~DeviceManager() = default;

DeviceHandle DeviceManager::CreateDevice(ErrorCase& result) {
  kLog.Trace("DeviceManager::CreateDevice()");
  auto slot = std::make_shared<Lease::Slot>();
  try {
    slot->device = std::make_unique<Device>();  // may throw: nothing is registered then
  } catch (const LogicDeviceStoreError& e) {
    throw DriverError(ErrorCase::LogicDeviceJSONError, e.what());
  }
  std::lock_guard<std::mutex> guard(mutex_);
  auto key = ++lastHandle_;
  devices_.emplace(key, std::move(slot));
  result = ErrorCase::Correct;
  return reinterpret_cast<DeviceHandle>(key);
}

std::shared_ptr<DeviceManager::Lease::Slot> DeviceManager::Find(DeviceHandle handle) {
  const bool logging = Logging::IsSetUp();
  if (logging) kLog.Trace("DeviceManager::GetDevicePosition()");
  if (handle == nullptr) {
    if (logging) kLog.Warning("DeviceManager::GetDevicePosition(), dhandle is nullptr.");
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(mutex_);
  auto it = devices_.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == devices_.end()) {
    if (logging) kLog.Warning("DeviceManager::GetDevicePosition(), dhandle was not found.");
    return nullptr;
  }
  return it->second;
}

void DeviceManager::DestroyDevice(DeviceHandle& handle, ErrorCase& result) {
  if (handle == nullptr) {
    result = ErrorCase::HandleNull;
    return;
  }
  if (!Find(handle)) {
    result = ErrorCase::HandleDoesNotExist;
    return;
  }
  std::shared_ptr<Lease::Slot> slot;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = devices_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == devices_.end()) {  // destroyed by another thread meanwhile
      result = ErrorCase::HandleDoesNotExist;
      return;
    }
    slot = std::move(it->second);
    devices_.erase(it);
  }
  // Waits for a call in progress on this device, then destroys it; later calls find no device.
  std::unique_ptr<Device> device;
  {
    std::lock_guard<std::mutex> guard(slot->mutex);
    device = std::move(slot->device);
  }
  device.reset();
  handle = nullptr;
  result = ErrorCase::Correct;
}

DeviceManager::Lease DeviceManager::Acquire(DeviceHandle handle) {
  Lease lease;
  auto slot = Find(handle);
  if (slot) {
    lease.lock_ = std::unique_lock<std::mutex>(slot->mutex);
    lease.device_ = slot->device.get();  // null when destroyed while we waited
    lease.slot_ = std::move(slot);
  }
  kLog.Trace(std::string("DeviceManager::CheckHandle():") + (lease.device_ ? "ok" : "error"));
  if (!lease.device_) lease.lock_ = {};
  return lease;
}

}  // namespace Korvalt::Ponderix::Driver
