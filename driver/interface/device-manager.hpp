// Owns every Device created through the interface and turns handles back into devices.
//
// A handle is an opaque number, never reused within the process, so a stale handle can never
// reach a device created later. The registry is guarded by a mutex, and every call on a device
// holds that device's own mutex, so applications may call from several threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "driver/device/device.hpp"
#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

class DeviceManager {
 public:
  // A device locked for one call; empty when the handle is not registered.
  class Lease {
   public:
    Device* operator->() const { return device_; }
    Device& operator*() const { return *device_; }
    explicit operator bool() const { return device_ != nullptr; }

   private:
    friend class DeviceManager;
    struct Slot;
    std::shared_ptr<Slot> slot_;
    std::unique_lock<std::mutex> lock_;
    Device* device_ = nullptr;
  };

  static DeviceManager& Instance();

  // Leaves `handle` alone when the device cannot be built (the failure is thrown).
  DeviceHandle CreateDevice(ErrorCase& result);
  void DestroyDevice(DeviceHandle& handle, ErrorCase& result);
  // Checks the handle and locks the device for the length of one call.
  Lease Acquire(DeviceHandle handle);

  ~DeviceManager();

 private:
  DeviceManager() = default;
  std::shared_ptr<Lease::Slot> Find(DeviceHandle handle);

  std::mutex mutex_;
  std::uintptr_t lastHandle_ = 0;
  std::map<std::uintptr_t, std::shared_ptr<Lease::Slot>> devices_;
};

}  // namespace Korvalt::Ponderix::Driver
