#include "benchtap/wrapper.hpp"

#include <atomic>
#include <iostream>
#include <stdexcept>

#include <boost/filesystem.hpp>

#include "benchtap/names.hpp"
#include "driver/vocabulary/connection-names.hpp"
#include "platform/dynamic-library.hpp"

namespace Korvalt::Ponderix::Wrapper {
namespace {

const char* const kPrefix = "Korvalt::Ponderix::Wrapper::wrapper, ";

std::atomic<bool> g_destroyFailed{false};
// Set while the process-wide library is being created or exists, so a second Open is refused.
std::atomic<bool> g_libraryOpen{false};
// The device whose logic device is deleted when the run is interrupted.
std::mutex g_liveMutex;
Device* g_liveDevice = nullptr;

template <typename Fn>
void BindOne(const Library::Lookup& lookup, const char* name, Fn& function) {
  void* address = lookup(name);
  if (address == nullptr) {
    throw std::runtime_error(std::string("[wrapper]: Library::Library(), method ") + name + "() not found");
  }
  function = reinterpret_cast<Fn>(address);
}

std::string CodeName(ErrorCase ecase) {
  try {
    return Benchtap::ToString(ecase);
  } catch (const std::exception&) {
    return "error case " + std::to_string(static_cast<std::int32_t>(ecase));
  }
}

bool HasFolder(const std::string& path) { return path.find_first_of("/\\") != std::string::npos; }

}  // namespace

Library::Library(Platform::LibraryHandle module) {
  // The module is owned from here on, also when binding fails part-way.
  module_ = module;
  try {
    Bind([module](const std::string& name) { return Platform::FindSymbol(module, name); });
  } catch (...) {
    Platform::CloseLibrary(module_);
    module_ = nullptr;
    throw;
  }
}

Library::Library(const Lookup& lookup) { Bind(lookup); }

Library::~Library() { Platform::CloseLibrary(module_); }

void Library::Bind(const Lookup& lookup) {
  lookup_ = lookup;
  BindOne(lookup, "create", create);
  BindOne(lookup, "destroy", destroy);
  BindOne(lookup, "open", open);
  BindOne(lookup, "is_open", is_open);
  BindOne(lookup, "close", close);
  BindOne(lookup, "set_param", set_param);
  BindOne(lookup, "get_param", get_param);
  BindOne(lookup, "get_input_param", get_input_param);
  BindOne(lookup, "set_option", set_option);
  BindOne(lookup, "get_option", get_option);
  BindOne(lookup, "execute_command", execute_command);
  BindOne(lookup, "get_error_case_description", get_error_case_description);
  BindOne(lookup, "change_logging_config_file", change_logging_config_file);
  BindOne(lookup, "get_data_from_log_config_file", get_data_from_log_config_file);
  BindOne(lookup, "LoggingSetMode", LoggingSetMode);
  BindOne(lookup, "GetLoggingPath", GetLoggingPath);
  BindOne(lookup, "GetCurrentVersion", GetCurrentVersion);
  BindOne(lookup, "add_logic_device", add_logic_device);
  BindOne(lookup, "delete_logic_device", delete_logic_device);
  BindOne(lookup, "set_logic_device_param", set_logic_device_param);
  BindOne(lookup, "get_logic_device_param", get_logic_device_param);
  BindOne(lookup, "get_current_logic_device_id", get_current_logic_device_id);
  BindOne(lookup, "set_current_logic_device", set_current_logic_device);
  BindOne(lookup, "get_all_sorted_logic_device_id", get_all_sorted_logic_device_id);
  BindOne(lookup, "get_protocol", get_protocol);
}

std::unique_ptr<Library> Open(const std::string& path) {
  if (g_libraryOpen.load()) {
    throw std::logic_error(std::string(kPrefix) + ", void Open(...), library is already open, can't reopen.");
  }
  Platform::LibraryHandle module = nullptr;
  std::string reason;
  if (!HasFolder(path)) {
    // Beside the program first, as Windows searches the program's folder first.
    auto folder = Platform::ProgramFolder();
    if (!folder.empty()) {
      auto local = (boost::filesystem::path(folder) / path).string();
      boost::system::error_code error;
      if (boost::filesystem::exists(local, error)) {
        module = Platform::OpenLibrary(local);
        // A broken copy beside the program is reported, not silently replaced by another one.
        if (module == nullptr) reason = Platform::LastLibraryError();
      }
    }
    if (module == nullptr && reason.empty()) {
      module = Platform::OpenLibrary(path);
      if (module == nullptr) reason = Platform::LastLibraryError();
    }
  } else {
    module = Platform::OpenLibrary(path);
    if (module == nullptr) reason = Platform::LastLibraryError();
  }
  if (module == nullptr) {
    if (reason.empty()) {
      throw std::logic_error(std::string(kPrefix) + ", void Open(...), Error loading library: unknown error");
    }
    throw std::logic_error(std::string(kPrefix) + ", void Open(...), Can't find library by path { " + path +
                           " }: " + reason);
  }
  return std::make_unique<Library>(module);
}

Library& GetLibrary() {
  static const std::unique_ptr<Library> library = [] {
    auto loaded = Open(Platform::DriverLibraryFileName());
    g_libraryOpen = true;
    return loaded;
  }();
  return *library;
}

Device::Device(const Library& library) : library_(library) {}

Device::~Device() {
  ErrorCase ecase = ErrorCase::Correct;
  DeleteAddedLogicDevice(ecase);
  if (ecase != ErrorCase::Correct) {
    std::cerr << "Warning: the logic device added for this run could not be deleted: " << CodeName(ecase)
              << std::endl;
  }
  {
    std::lock_guard<std::mutex> live(g_liveMutex);
    if (g_liveDevice == this) g_liveDevice = nullptr;
  }
  if (handle_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ecase = library_.destroy(handle_);
  }
  if (ecase != ErrorCase::Correct) {
    std::cerr << "Error: the driver could not destroy the device: " << CodeName(ecase) << std::endl;
    g_destroyFailed = true;
  }
}

void Device::Create(ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  ecase = library_.create(handle_);
}

void Device::Open(int logicDeviceId, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  Driver::DeviceHandle handle = handle_;
  ecase = library_.open(handle, logicDeviceId);
}

int Device::AddLogicDevice(ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  int id = 0;
  ecase = library_.add_logic_device(handle_, id);
  return id;
}

void Device::SetCurrentLogicDevice(int id, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  ecase = library_.set_current_logic_device(handle_, id);
}

void Device::SetLogicDeviceParam(int id, LogicDeviceParamType type, const std::string& value, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  ecase = library_.set_logic_device_param(handle_, id, type, value);
}

void Device::DeleteLogicDevice(int id, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  ecase = library_.delete_logic_device(handle_, id);
}

void Device::RememberAddedLogicDevice(int id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    addedLogicDevice_ = id;
  }
  std::lock_guard<std::mutex> live(g_liveMutex);
  g_liveDevice = this;
}

void Device::DeleteAddedLogicDevice(ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  DeleteAddedLogicDeviceLocked(ecase);
}

void Device::DeleteAddedLogicDeviceLocked(ErrorCase& ecase) {
  ecase = ErrorCase::Correct;
  if (!addedLogicDevice_) return;
  ecase = library_.delete_logic_device(handle_, *addedLogicDevice_);
  // Forgotten also when the library refused: a second attempt would meet the same refusal.
  addedLogicDevice_.reset();
}

void ReleaseOnInterrupt() {
  // Never unlocked: the process ends right after this.
  g_liveMutex.lock();
  if (g_liveDevice == nullptr) return;
  g_liveDevice->mutex_.lock();
  ErrorCase ecase = ErrorCase::Correct;
  g_liveDevice->DeleteAddedLogicDeviceLocked(ecase);
}

void Device::SetParam(ParamType type, const std::string& value, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  ecase = library_.set_param(handle_, type, value);
}

std::string Device::GetParam(ParamType type, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string value;
  ecase = library_.get_param(handle_, type, value);
  return value;
}

void Device::ExecuteCommand(Command command, ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  ecase = library_.execute_command(handle_, command);
}

std::string Device::GetProtocol(ErrorCase& ecase) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string protocol;
  ecase = library_.get_protocol(handle_, protocol);
  return protocol;
}

namespace {

struct Connection {
  std::string type;
  std::string endPoint;
};

// The serial port "portname", else the TCP end point "ip"; nothing without either.
std::optional<Connection> ConnectionOf(const ArgumentMap& arguments) {
  if (auto port = arguments.find("portname"); port != arguments.end()) return Connection{Driver::kSerialPortConnection, port->second};
  if (auto ip = arguments.find("ip"); ip != arguments.end()) return Connection{Driver::kTcpConnection, ip->second};
  return std::nullopt;
}

// Makes the logic device current and gives it the connection's settings. Each step stops the
// description at its first failure, so the code tells which step failed.
void DescribeLogicDevice(Device& device, int id, const Connection& connection, ErrorCase& ecase) {
  device.SetCurrentLogicDevice(id, ecase);
  if (ecase != ErrorCase::Correct) return;
  const std::pair<LogicDeviceParamType, std::string> settings[] = {
      {LogicDeviceParamType::EndPoint, connection.endPoint}, {LogicDeviceParamType::Name, "logic device"},
      {LogicDeviceParamType::ConnectionType, connection.type}, {LogicDeviceParamType::BaudRate, "9600"},
      {LogicDeviceParamType::Model, Driver::kAutomatic},      {LogicDeviceParamType::Protocol, Driver::kAutomatic},
  };
  for (const auto& [type, value] : settings) {
    device.SetLogicDeviceParam(id, type, value, ecase);
    if (ecase != ErrorCase::Correct) return;
  }
}

}  // namespace

std::unique_ptr<Device> CreateDevice(const ArgumentMap& arguments, ErrorCase& ecase, const Library& library) {
  auto device = std::make_unique<Device>(library);
  device->Create(ecase);
  if (ecase != ErrorCase::Correct) {
    throw std::logic_error(std::string(kPrefix) + "Can't create Device{}");
  }
  const auto connection = ConnectionOf(arguments);
  if (!connection) {
    std::cerr << "Error: Please specify either a serial port with --portname or both IP and port with --ip and "
                 "--port."
              << std::endl;
    ecase = ErrorCase::CommandLineIncorrectArgument;
    return nullptr;
  }

  const int id = device->AddLogicDevice(ecase);
  // Without an identifier there is nothing to describe or open: the run ends on this code.
  if (ecase != ErrorCase::Correct) return device;
  device->RememberAddedLogicDevice(id);
  DescribeLogicDevice(*device, id, *connection, ecase);
  if (ecase == ErrorCase::Correct) device->Open(id, ecase);
  return device;
}

bool DestroyFailed() { return g_destroyFailed.load(); }

}  // namespace Korvalt::Ponderix::Wrapper
