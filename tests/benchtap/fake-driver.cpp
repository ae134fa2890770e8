#include "tests/benchtap/fake-driver.hpp"

#include <map>
#include <mutex>
#include <stdexcept>

#include "benchtap/command.hpp"
#include "benchtap/names.hpp"
#include "benchtap/results.hpp"

namespace BenchtapFake {
namespace {

namespace Api = Korvalt::Ponderix::Driver;
using Korvalt::Ponderix::Benchtap::ToString;

int g_deviceObject = 0;

// Held for every call into the fake: the live weight display calls it from a thread of its own.
std::mutex g_mutex;
using Lock = std::lock_guard<std::mutex>;

void Note(const std::string& call) { TheScale().calls.push_back(call); }

ErrorCase Create(Api::DeviceHandle& handle) {
  Lock lock(g_mutex);
  Note("create");
  if (TheScale().createResult == ErrorCase::Correct) handle = &g_deviceObject;
  return TheScale().createResult;
}
ErrorCase Destroy(Api::DeviceHandle& handle) {
  Lock lock(g_mutex);
  Note("destroy");
  if (TheScale().destroyResult == ErrorCase::Correct) handle = nullptr;
  return TheScale().destroyResult;
}
ErrorCase Open(Api::DeviceHandle&, int id) {
  Lock lock(g_mutex);
  Note("open " + std::to_string(id));
  return TheScale().openResult;
}
ErrorCase Close(Api::DeviceHandle&) { return ErrorCase::Correct; }
ErrorCase IsOpen(Api::DeviceHandle&, bool& open) {
  open = true;
  return ErrorCase::Correct;
}
ErrorCase SetParam(Api::DeviceHandle, const ParamType& type, const std::string& value) {
  Lock lock(g_mutex);
  Note("set " + ToString(type) + "=" + value);
  auto result = TheScale().setResults.find(type);
  return result == TheScale().setResults.end() ? ErrorCase::Correct : result->second;
}
ErrorCase GetParam(Api::DeviceHandle, const ParamType& type, std::string& value) {
  Lock lock(g_mutex);
  Note("get " + ToString(type));
  auto& scale = TheScale();
  if (auto result = scale.getResults.find(type); result != scale.getResults.end()) {
    value.clear();
    return result->second;
  }
  value = scale.outputs[type];
  return ErrorCase::Correct;
}
ErrorCase GetInputParam(Api::DeviceHandle, const ParamType&, std::string&) { return ErrorCase::Correct; }
ErrorCase SetOption(Api::DeviceHandle, const Api::Option&, const std::string&) { return ErrorCase::Correct; }
ErrorCase GetOption(Api::DeviceHandle, const Api::Option&, std::string&) { return ErrorCase::Correct; }
ErrorCase ExecuteCommand(Api::DeviceHandle, const Command& command) {
  Lock lock(g_mutex);
  Note("execute " + ToString(command));
  auto& scale = TheScale();
  auto& results = scale.commandResults[command];
  ErrorCase result = ErrorCase::Correct;
  if (!results.empty()) {
    result = results.front();
    results.pop_front();
  }
  if (result == ErrorCase::Correct && command == Command::StatusOfWeightChannel && !scale.weights.empty()) {
    scale.outputs[ParamType::Weight] = scale.weights.front();
    if (scale.weights.size() > 1) scale.weights.pop_front();
  }
  return result;
}
ErrorCase GetProtocol(Api::DeviceHandle, std::string& protocol) {
  Lock lock(g_mutex);
  Note("protocol");
  protocol = TheScale().protocol;
  return ErrorCase::Correct;
}
ErrorCase GetErrorCaseDescription(const ErrorCase&, const int&, std::wstring&) { return ErrorCase::Correct; }
ErrorCase ChangeLoggingConfigFile(const Api::LogSettings&) { return ErrorCase::Correct; }
ErrorCase GetDataFromLogConfigFile(Api::LogSettings&) { return ErrorCase::Correct; }
ErrorCase LoggingSetMode(const int&) { return ErrorCase::Correct; }
ErrorCase GetLoggingPath(std::string& path) {
  Lock lock(g_mutex);
  path = TheScale().loggingPath;
  return ErrorCase::Correct;
}
ErrorCase GetCurrentVersion(std::string& version) {
  version = "1.1.3";
  return ErrorCase::Correct;
}
ErrorCase AddLogicDevice(Api::DeviceHandle, int& id) {
  Lock lock(g_mutex);
  auto& scale = TheScale();
  if (scale.addResult != ErrorCase::Correct) {
    Note("add failed");
    return scale.addResult;
  }
  id = scale.nextId++;
  scale.logicDevices.insert(id);
  Note("add " + std::to_string(id));
  return ErrorCase::Correct;
}
ErrorCase DeleteLogicDevice(Api::DeviceHandle, const int& id) {
  Lock lock(g_mutex);
  Note("delete " + std::to_string(id));
  return TheScale().logicDevices.erase(id) ? ErrorCase::Correct : ErrorCase::LogicDeviceJSONError;
}
ErrorCase SetLogicDeviceParam(Api::DeviceHandle, const int& id, const LogicDeviceParamType& type,
                              const std::string& value) {
  Lock lock(g_mutex);
  Note("ldparam " + std::to_string(id) + " " + std::to_string(static_cast<int>(type)) + "=" + value);
  return ErrorCase::Correct;
}
ErrorCase GetLogicDeviceParam(Api::DeviceHandle, const int&, const LogicDeviceParamType&, std::string&) {
  return ErrorCase::Correct;
}
ErrorCase GetCurrentLogicDeviceId(Api::DeviceHandle, int& id) {
  id = 1;
  return ErrorCase::Correct;
}
ErrorCase SetCurrentLogicDevice(Api::DeviceHandle, const int& id) {
  Lock lock(g_mutex);
  Note("current " + std::to_string(id));
  return ErrorCase::Correct;
}
ErrorCase GetAllSortedLogicDeviceId(Api::DeviceHandle, std::vector<int>& ids) {
  Lock lock(g_mutex);
  ids.assign(TheScale().logicDevices.begin(), TheScale().logicDevices.end());
  return ErrorCase::Correct;
}

template <typename Fn>
void* Address(Fn function) {
  return reinterpret_cast<void*>(function);
}

const std::map<std::string, void*>& Exports() {
  static const std::map<std::string, void*> exports = {
      {"create", Address(&Create)},
      {"destroy", Address(&Destroy)},
      {"open", Address(&Open)},
      {"is_open", Address(&IsOpen)},
      {"close", Address(&Close)},
      {"set_param", Address(&SetParam)},
      {"get_param", Address(&GetParam)},
      {"get_input_param", Address(&GetInputParam)},
      {"set_option", Address(&SetOption)},
      {"get_option", Address(&GetOption)},
      {"execute_command", Address(&ExecuteCommand)},
      {"get_error_case_description", Address(&GetErrorCaseDescription)},
      {"change_logging_config_file", Address(&ChangeLoggingConfigFile)},
      {"get_data_from_log_config_file", Address(&GetDataFromLogConfigFile)},
      {"LoggingSetMode", Address(&LoggingSetMode)},
      {"GetLoggingPath", Address(&GetLoggingPath)},
      {"GetCurrentVersion", Address(&GetCurrentVersion)},
      {"add_logic_device", Address(&AddLogicDevice)},
      {"delete_logic_device", Address(&DeleteLogicDevice)},
      {"set_logic_device_param", Address(&SetLogicDeviceParam)},
      {"get_logic_device_param", Address(&GetLogicDeviceParam)},
      {"get_current_logic_device_id", Address(&GetCurrentLogicDeviceId)},
      {"set_current_logic_device", Address(&SetCurrentLogicDevice)},
      {"get_all_sorted_logic_device_id", Address(&GetAllSortedLogicDeviceId)},
      {"get_protocol", Address(&GetProtocol)},
  };
  return exports;
}

}  // namespace

Scale& TheScale() {
  static Scale scale;
  return scale;
}

void Reset() {
  Lock lock(g_mutex);
  TheScale() = Scale{};
}

std::vector<std::string> Calls() {
  Lock lock(g_mutex);
  return TheScale().calls;
}

std::unique_ptr<Korvalt::Ponderix::Wrapper::Library> MakeLibrary(const std::string& missing) {
  return std::make_unique<Korvalt::Ponderix::Wrapper::Library>([missing](const std::string& name) -> void* {
    if (name == missing) return nullptr;
    auto found = Exports().find(name);
    return found == Exports().end() ? nullptr : found->second;
  });
}

std::unique_ptr<Korvalt::Ponderix::Wrapper::Device> MakeDevice(const Korvalt::Ponderix::Wrapper::Library& library) {
  auto device = std::make_unique<Korvalt::Ponderix::Wrapper::Device>(library);
  ErrorCase ecase = ErrorCase::Correct;
  device->Create(ecase);
  if (ecase != ErrorCase::Correct) throw std::runtime_error("fake device not created");
  TheScale().calls.clear();
  return device;
}

void LibraryTest::SetUp() {
  Reset();
  Korvalt::Ponderix::Benchtap::Results::Reset();
  Korvalt::Ponderix::Benchtap::SetOutputType(Korvalt::Ponderix::Benchtap::OutputType::Console);
  library_ = MakeLibrary();
}

void LibraryTest::TearDown() {
  Korvalt::Ponderix::Benchtap::SetOutputType(Korvalt::Ponderix::Benchtap::OutputType::Console);
}

void DeviceTest::SetUp() {
  LibraryTest::SetUp();
  device_ = MakeDevice(*library_);
}

void DeviceTest::TearDown() {
  // Before the library it was created on.
  device_.reset();
  LibraryTest::TearDown();
}

}  // namespace BenchtapFake
