#include "driver/logic-devices/logic-devices.hpp"

#include <climits>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "common/json-nesting.hpp"
#include "common/text-template.hpp"
#include "common/utf8.hpp"
#include "driver/vocabulary/connection-names.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/logging/logging.hpp"
#include "driver/logic-devices/store-file.hpp"
#include "platform/file-lock.hpp"
#include "platform/paths.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using boost::property_tree::ptree;
using Platform::FileLock;
using Text::Fill;

const Logging::UnitLog kLog("logic-devices");

constexpr const char* kFileName = "logic-devices-connection-config.json";
constexpr const char* kDevicesKey = "devices";
constexpr std::size_t kDeviceLimit = 101;
constexpr const char* kSetWriteFailure = "LogicDeviceManager::SetDeviceParamAtJSON(),failed writing to json file: ";

// The settings kept in the file, in the order of their keys inside a device.
constexpr LogicDeviceParamType kStoredTypes[] = {
    LogicDeviceParamType::IsCurrent, LogicDeviceParamType::Name,  LogicDeviceParamType::ConnectionType,
    LogicDeviceParamType::EndPoint,  LogicDeviceParamType::BaudRate, LogicDeviceParamType::Model,
    LogicDeviceParamType::Protocol,
};

// A device key is an identifier in plain decimal: 1 or more, no sign, no leading zero, within int.
std::optional<int> ParseID(const std::string& key) {
  if (key.empty() || key.size() > 10 || key[0] == '0') return std::nullopt;
  for (char c : key) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const long long value = std::stoll(key);
  if (value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

ptree MakeDevice(const std::map<LogicDeviceParamType, std::string>& values) {
  ptree device;
  for (auto type : kStoredTypes) {
    auto it = values.find(type);
    device.push_back({ToJsonString(type), ptree(it == values.end() ? std::string() : it->second)});
  }
  return device;
}

LogicDeviceStoreError JsonError(const std::string& why) {
  kLog.Error("LogicDeviceManager, " + why);
  return LogicDeviceStoreError("Logic device JSON error");
}

// Checks that `root` is a store, so that nothing below has to expect a malformed tree.
void Validate(const ptree& root) {
  if (root.empty()) throw JsonError("json data is empty");
  if (root.count(kDevicesKey) != 1) throw JsonError("no device found");
  const ptree& devices = root.get_child(kDevicesKey);
  if (devices.empty() && !devices.data().empty()) throw JsonError("\"devices\" is not an object");
  std::set<int> seen;
  for (const auto& [key, device] : devices) {
    auto id = ParseID(key);
    if (!id) throw JsonError(Fill("device key [@] is not an identifier", key));
    if (!seen.insert(*id).second) throw JsonError(Fill("device id [@] appears twice", key));
    for (auto type : kStoredTypes) {
      const auto jsonKey = ToJsonString(type);
      if (device.count(jsonKey) != 1) {
        throw JsonError(Fill("key [@] of device id [@] not found or repeated", jsonKey, key));
      }
      if (!device.get_child(jsonKey).empty()) {
        throw JsonError(Fill("key [@] of device id [@] is not a text", jsonKey, key));
      }
    }
  }
}

// The document in `bytes`, checked to be a store. Only a real UTF-8 byte-order mark is skipped:
// the JSON parser itself would skip any three bytes behind a leading 0xEF.
ptree ParseStore(const std::string& bytes) {
  std::string_view text(bytes);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (!text.empty() && text.front() == '\xEF') throw JsonError("json file starts with bytes that are no byte-order mark");
  if (!Text::JsonNestingWithin(text)) throw JsonError("json file nests deeper than a store does");
  ptree document;
  try {
    std::istringstream in{std::string(text)};
    boost::property_tree::read_json(in, document);
  } catch (const boost::property_tree::json_parser_error& e) {
    kLog.Error(std::string("LogicDeviceManager::UploadExistingJson(), failed reading from json file") + e.what());
    throw LogicDeviceStoreError("Failed reading from json file");
  }
  Validate(document);
  return document;
}

}  // namespace

void LogicDeviceParameters::SetParam(const LogicDeviceParamType& type, std::string value, ErrorCase&) {
  kLog.Trace("LogicDeviceParameters::SetParam()");
  params_[type] = std::move(value);
}

std::string LogicDeviceParameters::GetParam(const LogicDeviceParamType& type, ErrorCase& result) const {
  kLog.Trace(Fill("LogicDeviceParameters::GetParam(ptype: @)", ToString(type)));
  auto it = params_.find(type);
  if (it == params_.end() || it->second.empty()) {
    kLog.Error("LogicDeviceParameters::GetParam() const, attempt to get a value that was not set");
    result = ErrorCase::ParamTypeIsNotSetToGet;
    return {};
  }
  kLog.Trace(Fill("LogicDeviceParameters::GetParam(), value is [@]", it->second));
  return it->second;
}

struct LogicDeviceManager::Impl {
  explicit Impl(std::string folder) : file(std::move(folder), kFileName) {}

  StoreFile file;

  // The document as last read or written, and the bytes it came from. Empty bytes mean that
  // `root` may differ from the file (a failed write) and must be read again.
  ptree root;
  std::string content;

  // Built from `root`: the devices by identifier, and the one whose "is-current" is "true" (-1
  // when none).
  std::map<int, std::shared_ptr<LogicDeviceParameters>> devices;
  int currentID = -1;

  // Runs `work` on the file's current content under the lock; a missing file is first replaced by
  // the default store. Throws LogicDeviceStoreError.
  template <typename Work>
  void Transaction(FileLock::Mode mode, Work&& work) {
    const auto lock = file.Lock(mode, [this] { CreateDefaultJson(); });
    UploadExistingJson();
    work();
  }

  // Runs one operation; a store that cannot be used gives LogicDeviceJSONError.
  template <typename Work>
  void Run(FileLock::Mode mode, ErrorCase& result, Work&& work) {
    try {
      Transaction(mode, std::forward<Work>(work));
    } catch (const LogicDeviceStoreError& e) {
      kLog.Error(std::string("LogicDeviceManager, store unavailable: ") + e.what());
      result = ErrorCase::LogicDeviceJSONError;
    }
  }

  void CreateDefaultJson() {
    kLog.Trace("LogicDeviceManager::CreateDefaultJson()");
    ptree devicesNode;
    devicesNode.push_back({"1", MakeDevice({
                                    {LogicDeviceParamType::IsCurrent, "true"},
                                    {LogicDeviceParamType::Name, "default name"},
                                    {LogicDeviceParamType::ConnectionType, kSerialPortConnection},
                                    {LogicDeviceParamType::EndPoint, Platform::FirstSerialPort()},
                                    {LogicDeviceParamType::BaudRate, "9600"},
                                    {LogicDeviceParamType::Model, kAutomatic},
                                    {LogicDeviceParamType::Protocol, kAutomatic},
                                })});
    ptree document;
    document.push_back({kDevicesKey, devicesNode});
    root = std::move(document);
    Write("LogicDeviceManager::CreateDefaultJson(), failed writing to json file");
  }

  void UploadExistingJson() {
    std::string bytes = file.Read();
    if (!content.empty() && bytes == content) return;

    kLog.Trace("LogicDeviceManager::UploadExistingJson()");
    ptree document = ParseStore(bytes);
    root = std::move(document);
    content = std::move(bytes);
    UploadLogicDevices();
  }

  // Rebuilds the devices and the current device from `root`, which has been validated.
  void UploadLogicDevices() {
    kLog.Trace("LogicDeviceManager::UploadLogicDevices()");
    devices.clear();
    currentID = -1;
    for (const auto& [key, device] : root.get_child(kDevicesKey)) {
      const int id = *ParseID(key);
      std::map<LogicDeviceParamType, std::string> values{{LogicDeviceParamType::ID, key}};
      for (auto type : kStoredTypes) values[type] = device.get_child(ToJsonString(type)).data();
      devices[id] = std::make_shared<LogicDeviceParameters>(std::move(values));
    }
    // When several devices say "true", the highest identifier wins.
    for (const auto& entry : devices) {
      if (IsCurrentInFile(entry.first)) currentID = entry.first;
    }
  }

  // Writes `root` to the file and brings the in-memory devices in line with it. A failure is
  // logged as `failure` followed by the writer's message.
  void Write(const std::string& failure) {
    try {
      std::ostringstream out;
      boost::property_tree::write_json(out, root, true);
      file.Replace(out.str(), [this](const std::string& bytes) { return ParseStore(bytes) == root; });
      content = out.str();
    } catch (const std::exception& e) {
      content.clear();
      kLog.Error(failure + e.what());
      throw LogicDeviceStoreError("Failed writing to json file");
    }
    UploadLogicDevices();
  }

  ptree& DevicesNode() { return root.get_child(kDevicesKey); }

  ptree* DeviceNode(int id) {
    auto& node = DevicesNode();
    auto it = node.find(std::to_string(id));
    return it == node.not_found() ? nullptr : &it->second;
  }

  bool IsCurrentInFile(int id) {
    auto* device = DeviceNode(id);
    return device != nullptr && device->get_child(ToJsonString(LogicDeviceParamType::IsCurrent)).data() == "true";
  }

  // The lowest identifier not in use: a gap below the highest one, else the highest plus one.
  int FreeID() const {
    kLog.Trace("LogicDeviceManager::GetFreeIDFromJSON()");
    int expected = 1;
    for (const auto& entry : devices) {
      if (entry.first != expected) break;
      ++expected;
    }
    return expected;
  }

  int AddLogicDeviceToJSON() {
    if (devices.size() >= kDeviceLimit) return -1;
    const int id = FreeID();
    DevicesNode().push_back({std::to_string(id), MakeDevice({{LogicDeviceParamType::IsCurrent, "false"}})});
    Write("LogicDeviceManager::AddLogicDeviceToJSON(), failed writing to json file");
    return id;
  }

  std::string GetDeviceParamFromJSON(int id, const std::string& key, ErrorCase& result) {
    kLog.Trace(Fill("LogicDeviceParameters::GetDeviceParamFromJSON(), by key [@]", key));
    auto* device = DeviceNode(id);
    if (device == nullptr) {
      kLog.Error(Fill("LogicDeviceManager::GetDeviceParamFromJSON(), device id [@] not found", id));
      result = ErrorCase::LogicDeviceJSONError;
      return {};
    }
    auto it = device->find(key);
    if (it == device->not_found()) {
      kLog.Error(Fill("LogicDeviceManager::GetDeviceParamFromJSON(), key [@] of device id [@] not found", key, id));
      result = ErrorCase::LogicDeviceJSONError;
      return {};
    }
    return it->second.data();
  }

  // Changes one setting in `root` only; returns whether it changed.
  bool SetDeviceParamAtJSON(int id, const std::string& key, const std::string& value) {
    kLog.Trace(Fill("LogicDeviceManager::SetDeviceParamAtJSON(), device id [@], key [@], value [@]", id, key, value));
    auto& node = DeviceNode(id)->get_child(key);
    if (node.data() == value) return false;
    node.put_value(value);
    return true;
  }

  // Marks `id` current in `root` and every other device that says "true" not current, so that
  // exactly one device is current. Returns whether anything changed.
  bool MakeCurrent(int id) {
    const auto key = ToJsonString(LogicDeviceParamType::IsCurrent);
    bool changed = false;
    for (const auto& entry : devices) {
      if (entry.first == id) {
        changed |= SetDeviceParamAtJSON(id, key, "true");
      } else if (IsCurrentInFile(entry.first)) {
        changed |= SetDeviceParamAtJSON(entry.first, key, "false");
      }
    }
    return changed;
  }

  void CheckIfParamIsSet(int id, LogicDeviceParamType type, ErrorCase& result) {
    const auto name = ToString(type);
    kLog.Trace(Fill("LogicDeviceParameters::CheckIfParamIsSet(), check param [@]", name));
    ErrorCase lookup = ErrorCase::Correct;
    if (GetDeviceParamFromJSON(id, ToJsonString(type), lookup).empty()) {
      kLog.Trace(Fill("LogicDeviceParameters::CheckIfParamIsSet(), param [@] is not set, cant't open", name));
      result = ErrorCase::NotAllParamsAreSetInLogicDevice;
    }
  }
};

LogicDeviceManager::LogicDeviceManager() {
  kLog.Trace("LogicDeviceManager::LogicDeviceManager()");
  if (Platform::AppDataRoot().empty()) {
    kLog.Error("LogicDeviceManager::LogicDeviceManager(),Environment variable APPDATA is not set.");
    throw LogicDeviceStoreError(
        "Cannot create logic-devices-connection-config.json file directory. Environment variable APPDATA is not "
        "set.");
  }
  impl_ = std::make_unique<Impl>(Platform::DataFolder());
  impl_->Transaction(FileLock::Mode::Shared, [] {});
}

LogicDeviceManager::~LogicDeviceManager() = default;

int LogicDeviceManager::AddLogicDevice(ErrorCase& result) {
  kLog.Trace("LogicDeviceManager::AddLogicDevice()");
  int id = -1;
  ErrorCase status = ErrorCase::Correct;
  impl_->Run(FileLock::Mode::Exclusive, status, [&] {
    id = impl_->AddLogicDeviceToJSON();
    if (id < 0) {
      kLog.Trace("LogicDeviceManager::AddLogicDevice(), device limit is reached");
      status = ErrorCase::LogicDeviceJSONError;
    }
  });
  if (status != ErrorCase::Correct) {
    result = status;
    id = -1;
  }
  kLog.Trace(Fill("LogicDeviceManager::AddLogicDevice(), new device created with id [@]", id));
  return id;
}

void LogicDeviceManager::DeleteLogicDevice(int id, ErrorCase& result) {
  kLog.Trace(Fill("LogicDeviceManager::DeleteLogicDevice(), device id [@]", id));
  impl_->Run(FileLock::Mode::Exclusive, result, [&] {
    if (impl_->devices.size() < 2) {
      kLog.Trace("LogicDeviceManager::DeleteLogicDeviceFronJSON(), only one device left");
      result = ErrorCase::LogicDeviceJSONError;
      return;
    }
    auto& node = impl_->DevicesNode();
    auto it = node.find(std::to_string(id));
    if (it == node.not_found()) {
      kLog.Trace(Fill("LogicDeviceManager::DeleteLogicDeviceFronJSON(), device id [@] not found", id));
      result = ErrorCase::LogicDeviceJSONError;
      return;
    }
    const bool wasCurrent = impl_->currentID == id;
    node.erase(node.to_iterator(it));
    if (wasCurrent) {
      // No other device takes its place, not even one that also claimed to be current.
      kLog.Trace(Fill("LogicDeviceManager::DeleteLogicDevice(), device [@] was current, no device is current now", id));
      const auto key = ToJsonString(LogicDeviceParamType::IsCurrent);
      for (const auto& entry : impl_->devices) {
        if (entry.first != id && impl_->IsCurrentInFile(entry.first)) {
          impl_->SetDeviceParamAtJSON(entry.first, key, "false");
        }
      }
    }
    impl_->Write("LogicDeviceManager::DeleteLogicDeviceFronJSON(), failed writing to json file");
  });
}

std::vector<int> LogicDeviceManager::GetAllSortedID(ErrorCase& result) {
  kLog.Trace("LogicDeviceManager::GetAllSortedID()");
  std::vector<int> ids;
  impl_->Run(FileLock::Mode::Shared, result, [&] {
    for (const auto& entry : impl_->devices) ids.push_back(entry.first);
  });
  return ids;
}

std::shared_ptr<LogicDeviceParameters> LogicDeviceManager::GetLogicDevice(int id, ErrorCase& result) {
  kLog.Trace(Fill("LogicDeviceParameters::GetLogicDevice(), device id is [@]", id));
  std::shared_ptr<LogicDeviceParameters> device;
  impl_->Run(FileLock::Mode::Shared, result, [&] {
    auto it = impl_->devices.find(id);
    if (it == impl_->devices.end()) {
      kLog.Trace(Fill("LogicDeviceParameters::GetLogicDevice(), device [@] not found", id));
      result = ErrorCase::LogicDeviceNotFound;
      return;
    }
    device = it->second;
  });
  return device;
}

std::string LogicDeviceManager::GetLogicDeviceParam(int id, const LogicDeviceParamType& type, ErrorCase& result) {
  kLog.Trace(Fill("LogicDeviceManager::GetLogicDeviceParam(), ptype [@]", ToString(type)));
  std::string value;
  impl_->Run(FileLock::Mode::Shared, result, [&] {
    auto it = impl_->devices.find(id);
    if (it == impl_->devices.end()) {
      kLog.Trace(Fill("LogicDeviceManager::GetLogicDeviceParam(), device [@] not found", id));
      result = ErrorCase::LogicDeviceNotFound;
      return;
    }
    value = it->second->GetParam(type, result);
  });
  return value;
}

void LogicDeviceManager::SetLogicDeviceParam(int id, const LogicDeviceParamType& type, std::string value,
                                             ErrorCase& result) {
  kLog.Trace(Fill("LogicDeviceManager::SetLogicDeviceParam(), device id [@], ptype [@], value [@]", id,
                  ToString(type), value));
  if (type == LogicDeviceParamType::ID) {
    kLog.Trace("LogicDeviceManager::SetLogicDeviceParam(), no need to set id in json");
    result = ErrorCase::LogicDeviceJSONError;
    return;
  }
  const auto key = ToJsonString(type);
  // The file is UTF-8; other bytes would make it unreadable for every process.
  if (!Text::IsValidUtf8(value)) {
    kLog.Error("LogicDeviceManager::SetLogicDeviceParam(), value is not UTF-8 text");
    result = ErrorCase::ParamValueUnsupported;
    return;
  }
  impl_->Run(FileLock::Mode::Exclusive, result, [&] {
    if (impl_->devices.count(id) == 0) {
      kLog.Trace(Fill("LogicDeviceManager::SetLogicDeviceParam(), device [@] not found", id));
      result = ErrorCase::LogicDeviceNotFound;
      return;
    }
    // "true" makes the device current, and no other device stays current beside it.
    const bool changed = type == LogicDeviceParamType::IsCurrent && value == "true"
                             ? impl_->MakeCurrent(id)
                             : impl_->SetDeviceParamAtJSON(id, key, value);
    if (changed) impl_->Write(kSetWriteFailure);
  });
}

int LogicDeviceManager::GetCurrentLogicDeviceID(ErrorCase& result) {
  kLog.Trace("LogicDeviceParameters::GetCurrentLogicDeviceID()");
  ErrorCase store = ErrorCase::Correct;
  impl_->Run(FileLock::Mode::Shared, store, [] {});
  if (store != ErrorCase::Correct) {
    result = store;
    return -1;
  }
  if (impl_->currentID < 1) {
    kLog.Trace("LogicDeviceParameters::GetCurrentLogicDeviceID(), no current device set");
    result = ErrorCase::LogicDeviceNotFound;
  }
  return impl_->currentID;
}

void LogicDeviceManager::SetCurrentLogicDevice(int id, ErrorCase& result) {
  kLog.Trace("LogicDeviceParameters::SetCurrentLogicDevice()");
  impl_->Run(FileLock::Mode::Exclusive, result, [&] {
    if (impl_->devices.count(id) == 0) {
      kLog.Trace(Fill("LogicDeviceParameters::SetCurrentLogicDevice(), device [@] not found", id));
      result = ErrorCase::LogicDeviceNotFound;
      return;
    }
    if (impl_->MakeCurrent(id)) impl_->Write(kSetWriteFailure);
  });
}

void LogicDeviceManager::AreAllParametersSet(int id, ErrorCase& result) {
  kLog.Trace("LogicDeviceParameters::AreAllParametersSet()");
  impl_->Run(FileLock::Mode::Shared, result, [&] {
    for (auto type : kStoredTypes) {
      ErrorCase check = ErrorCase::Correct;
      impl_->CheckIfParamIsSet(id, type, check);
      if (check != ErrorCase::Correct) {
        result = check;
        return;
      }
    }
  });
}

void LogicDeviceManager::CheckIfParamIsSet(int id, const LogicDeviceParamType& type, ErrorCase& result) {
  ToJsonString(type);  // a type without a key is a programming fault: thrown before the store is touched
  impl_->Run(FileLock::Mode::Shared, result, [&] { impl_->CheckIfParamIsSet(id, type, result); });
}

const std::string& LogicDeviceManager::JsonPath() const { return impl_->file.Path(); }

}  // namespace Korvalt::Ponderix::Driver
