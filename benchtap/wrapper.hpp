// The driver library loaded at run time: its 25 exports bound by name, and one device handle of
// the library whose calls are serialised by a mutex.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "benchtap/driver-interface.hpp"
#include "platform/dynamic-library.hpp"

namespace Korvalt::Ponderix::Wrapper {

using Benchtap::Command;
using Benchtap::ErrorCase;
using Benchtap::LogicDeviceParamType;
using Benchtap::ParamType;

class Library {
 public:
  // Finds an export by name; null when the library has none.
  using Lookup = std::function<void*(const std::string& name)>;

  // Binds the exports of a loaded module and owns it (unloaded on destruction).
  explicit Library(Platform::LibraryHandle module);
  // Binds the exports through `lookup` (no module is owned); lets tests stand in for the driver.
  explicit Library(const Lookup& lookup);
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library();

  // Bound in this order; the first missing name throws std::runtime_error
  // "[wrapper]: Library::Library(), method <name>() not found".
  Driver::CreateFn create = nullptr;
  Driver::DestroyFn destroy = nullptr;
  Driver::OpenFn open = nullptr;
  Driver::IsOpenFn is_open = nullptr;
  Driver::CloseFn close = nullptr;
  Driver::SetParamFn set_param = nullptr;
  Driver::GetParamFn get_param = nullptr;
  Driver::GetInputParamFn get_input_param = nullptr;
  Driver::SetOptionFn set_option = nullptr;
  Driver::GetOptionFn get_option = nullptr;
  Driver::ExecuteCommandFn execute_command = nullptr;
  Driver::GetErrorCaseDescriptionFn get_error_case_description = nullptr;
  Driver::ChangeLoggingConfigFileFn change_logging_config_file = nullptr;
  Driver::GetDataFromLogConfigFileFn get_data_from_log_config_file = nullptr;
  Driver::LoggingSetModeFn LoggingSetMode = nullptr;
  Driver::GetLoggingPathFn GetLoggingPath = nullptr;
  Driver::GetCurrentVersionFn GetCurrentVersion = nullptr;
  Driver::AddLogicDeviceFn add_logic_device = nullptr;
  Driver::DeleteLogicDeviceFn delete_logic_device = nullptr;
  Driver::SetLogicDeviceParamFn set_logic_device_param = nullptr;
  Driver::GetLogicDeviceParamFn get_logic_device_param = nullptr;
  Driver::GetCurrentLogicDeviceIdFn get_current_logic_device_id = nullptr;
  Driver::SetCurrentLogicDeviceFn set_current_logic_device = nullptr;
  Driver::GetAllSortedLogicDeviceIdFn get_all_sorted_logic_device_id = nullptr;
  Driver::GetProtocolFn get_protocol = nullptr;

  // An export beyond the 25 (the C interface's pdx_... functions); null when the library has none.
  void* FindExport(const std::string& name) const { return lookup_ ? lookup_(name) : nullptr; }

 private:
  void Bind(const Lookup& lookup);

  Lookup lookup_;

  Platform::LibraryHandle module_ = nullptr;
};

// Loads the library file and binds it. A library file name without a folder is looked for
// beside the program first, then on the system's search path. Throws std::logic_error when the
// process-wide library already exists or the file cannot be loaded (the text carries the
// system's reason), std::runtime_error when an export is missing.
std::unique_ptr<Library> Open(const std::string& path);

// The process-wide library: loaded and bound on first use, kept until the process ends.
Library& GetLibrary();

// One device handle of the library. Every call takes the mutex for that one call only, so the
// live weight display's thread and the main thread never call the library on it at once.
class Device {
 public:
  explicit Device(const Library& library);
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  // Deletes the logic device this run added (if still there), then destroys the handle.
  virtual ~Device();

  void Create(ErrorCase& ecase);
  void Open(int logicDeviceId, ErrorCase& ecase);
  int AddLogicDevice(ErrorCase& ecase);
  void SetCurrentLogicDevice(int id, ErrorCase& ecase);
  void SetLogicDeviceParam(int id, LogicDeviceParamType type, const std::string& value, ErrorCase& ecase);
  void DeleteLogicDevice(int id, ErrorCase& ecase);

  void SetParam(ParamType type, const std::string& value, ErrorCase& ecase);
  std::string GetParam(ParamType type, ErrorCase& ecase);
  void ExecuteCommand(Command command, ErrorCase& ecase);
  std::string GetProtocol(ErrorCase& ecase);

  // The logic device added for this run: remembered so that it is deleted however the run ends.
  void RememberAddedLogicDevice(int id);
  std::optional<int> AddedLogicDevice() const { return addedLogicDevice_; }
  // Deletes the remembered logic device; its result goes to `ecase`. Nothing to do gives Correct.
  void DeleteAddedLogicDevice(ErrorCase& ecase);

  Driver::DeviceHandle Handle() const { return handle_; }

 private:
  friend void ReleaseOnInterrupt();
  // With mutex_ held.
  void DeleteAddedLogicDeviceLocked(ErrorCase& ecase);

  Driver::DeviceHandle handle_ = nullptr;
  std::mutex mutex_;
  const Library& library_;
  std::optional<int> addedLogicDevice_;
};

void ReleaseOnInterrupt();

// Option name ("portname", "ip", "script") to its text, from the command line.
using ArgumentMap = std::map<std::string, std::string>;

// Creates a device, adds a logic device for the connection named by `arguments` (serial port
// "portname", else TCP end point "ip"), makes it current, describes it and opens it. The code
// left in `ecase` is that of `open`; the device is returned also when `open` failed.
std::unique_ptr<Device> CreateDevice(const ArgumentMap& arguments, ErrorCase& ecase,
                                     const Library& library = GetLibrary());

// Set when the library refused to destroy a device handle; the program then ends with status 1.
bool DestroyFailed();

// For a run cut short (Ctrl-C, a termination request): deletes the logic device that the live
// device added, waiting for a library call in progress to end. The device and the registry stay
// locked afterwards, so no further library call starts; the caller ends the process next.
void ReleaseOnInterrupt();

}  // namespace Korvalt::Ponderix::Wrapper
