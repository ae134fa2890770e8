// The 25 exports. Each names its call, runs its work inside RunFunction, which stops every
// failure at the library boundary, and returns an ErrorCase.
#include <exception>
#include <functional>
#include <string>
#include <type_traits>

#include "common/text-template.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/interface/call-frame.hpp"
#include "driver/interface/defines.hpp"
#include "driver/interface/device-manager.hpp"
#include "driver/api/driver-api.hpp"
#include "driver/logging/logging.hpp"
#include "platform/caller-text.hpp"

using namespace Korvalt::Ponderix::Driver;
using Korvalt::Ponderix::Text::Fill;

// The signatures callers bind at run time match the exports.
static_assert(std::is_same_v<decltype(&::create), CreateFn>);
static_assert(std::is_same_v<decltype(&::destroy), DestroyFn>);
static_assert(std::is_same_v<decltype(&::open), OpenFn>);
static_assert(std::is_same_v<decltype(&::close), CloseFn>);
static_assert(std::is_same_v<decltype(&::is_open), IsOpenFn>);
static_assert(std::is_same_v<decltype(&::set_param), SetParamFn>);
static_assert(std::is_same_v<decltype(&::get_param), GetParamFn>);
static_assert(std::is_same_v<decltype(&::get_input_param), GetInputParamFn>);
static_assert(std::is_same_v<decltype(&::set_option), SetOptionFn>);
static_assert(std::is_same_v<decltype(&::get_option), GetOptionFn>);
static_assert(std::is_same_v<decltype(&::execute_command), ExecuteCommandFn>);
static_assert(std::is_same_v<decltype(&::get_protocol), GetProtocolFn>);
static_assert(std::is_same_v<decltype(&::get_error_case_description), GetErrorCaseDescriptionFn>);
static_assert(std::is_same_v<decltype(&::change_logging_config_file), ChangeLoggingConfigFileFn>);
static_assert(std::is_same_v<decltype(&::get_data_from_log_config_file), GetDataFromLogConfigFileFn>);
static_assert(std::is_same_v<decltype(&::LoggingSetMode), LoggingSetModeFn>);
static_assert(std::is_same_v<decltype(&::GetLoggingPath), GetLoggingPathFn>);
static_assert(std::is_same_v<decltype(&::GetCurrentVersion), GetCurrentVersionFn>);
static_assert(std::is_same_v<decltype(&::add_logic_device), AddLogicDeviceFn>);
static_assert(std::is_same_v<decltype(&::delete_logic_device), DeleteLogicDeviceFn>);
static_assert(std::is_same_v<decltype(&::set_current_logic_device), SetCurrentLogicDeviceFn>);
static_assert(std::is_same_v<decltype(&::get_current_logic_device_id), GetCurrentLogicDeviceIdFn>);
static_assert(std::is_same_v<decltype(&::set_logic_device_param), SetLogicDeviceParamFn>);
static_assert(std::is_same_v<decltype(&::get_logic_device_param), GetLogicDeviceParamFn>);
static_assert(std::is_same_v<decltype(&::get_all_sorted_logic_device_id), GetAllSortedLogicDeviceIdFn>);

namespace {

const Logging::UnitLog kLog("driver-native");

}  // namespace

DRIVER_API ErrorCase create(DeviceHandle& handle) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("create", result, [&] {
    handle = DeviceManager::Instance().CreateDevice(result);
    return result;
  });
}

DRIVER_API ErrorCase destroy(DeviceHandle& handle) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("destroy", result, [&] {
    DeviceManager::Instance().DestroyDevice(handle, result);
    return result;
  });
}

DRIVER_API ErrorCase open(DeviceHandle& handle, int logicDeviceId) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("open", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { device.Open(logicDeviceId, result); });
  });
}

DRIVER_API ErrorCase close(DeviceHandle& handle) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("close", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { device.Close(result); });
  });
}

DRIVER_API ErrorCase is_open(DeviceHandle& handle, bool& isOpen) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("is_open", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { isOpen = device.IsOpen(); });
  });
}

DRIVER_API ErrorCase set_param(DeviceHandle handle, const ParamType& type, const std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("set_param", result, [&] {
    if (!IsKnown(type)) return result = ErrorCase::ParamTypeUnknown;
    return WithDevice(handle, result, [&](Device& device) { device.SetParam(type, value); });
  });
}

DRIVER_API ErrorCase get_param(DeviceHandle handle, const ParamType& type, std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_param", result, [&] {
    if (!IsKnown(type)) return result = ErrorCase::ParamTypeUnknown;
    return WithDevice(handle, result, [&](Device& device) { value = device.GetParam(type, result); });
  });
}

DRIVER_API ErrorCase get_input_param(DeviceHandle handle, const ParamType& type, std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_input_param", result, [&] {
    if (!IsKnown(type)) return result = ErrorCase::ParamTypeUnknown;
    return WithDevice(handle, result, [&](Device& device) { value = device.GetInputParam(type, result); });
  });
}

DRIVER_API ErrorCase set_option(DeviceHandle handle, const Option& option, const std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("set_option", result, [&] {
    if (!IsKnown(option)) return result = ErrorCase::OptionUnknown;
    return WithDevice(handle, result, [&](Device& device) {
      auto connection = device.GetConnection();
      if (!connection) {
        result = ErrorCase::ConnectionError;
        return;
      }
      connection->SetOption(option, value, result);
    });
  });
}

DRIVER_API ErrorCase get_option(DeviceHandle handle, const Option& option, std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_option", result, [&] {
    if (!IsKnown(option)) return result = ErrorCase::OptionUnknown;
    return WithDevice(handle, result, [&](Device& device) {
      auto connection = device.GetConnection();
      if (!connection) {
        result = ErrorCase::ConnectionError;
        value.clear();
        return;
      }
      auto text = connection->GetOption(option, result);
      value = result == ErrorCase::Correct ? text : std::string();
    });
  });
}

DRIVER_API ErrorCase execute_command(DeviceHandle handle, const Command& command) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("execute_command", result, [&] {
    if (!IsKnown(command)) return result = ErrorCase::CommandUnknown;
    kLog.Trace(Fill("execute_command(command: @, code [@])", ToString(command), static_cast<int>(command)));
    return WithDevice(handle, result, [&](Device& device) { device.ExecuteCommand(command, result); });
  });
}

DRIVER_API ErrorCase get_protocol(DeviceHandle handle, std::string& protocol) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_protocol", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { protocol = device.GetProtocol(); });
  });
}

DRIVER_API ErrorCase get_error_case_description(const ErrorCase& ecase, const int& language,
                                                std::wstring& description) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_error_case_description", result, [&] {
    const std::string name = IsKnown(ecase) ? ToString(ecase) : std::to_string(static_cast<int>(ecase));
    kLog.Trace(Fill("get_error_case_description(err-case: @, language-id: @)", name, language));
    if (!IsKnownLanguage(language)) return result = ErrorCase::IncorrectArgumnts;
    if (!HasDescription(ecase, language)) return result = ErrorCase::ErrorCaseUnknown;
    description = Description(ecase, language);
    return result;
  });
}

DRIVER_API ErrorCase change_logging_config_file(const LogSettings& settings) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("change_logging_config_file", result, [&] {
    kLog.Trace("change_logging_config_file()");
    Logging::ChangeConfigFile(settings, result);
    return result;
  });
}

DRIVER_API ErrorCase get_data_from_log_config_file(LogSettings& settings) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_data_from_log_config_file", result, [&] {
    kLog.Trace("get_data_from_log_config_file()");
    settings = Logging::GetDataFromConfigFile(result);
    return result;
  });
}

DRIVER_API ErrorCase LoggingSetMode(const int& mode) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("LoggingSetMode", result, [&] {
    if (mode < 0 || mode > 3) return result = ErrorCase::IncorrectArgumnts;
    Logging::SetMode(mode);
    return result;
  });
}

DRIVER_API ErrorCase GetLoggingPath(std::string& path) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("GetLoggingPath", result, [&] {
    path = Logging::GetLoggingPath();
    return result;
  });
}

DRIVER_API ErrorCase GetCurrentVersion(std::string& version) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("GetCurrentVersion", result, [&] {
    version = kDriverVersion;
    return result;
  });
}

DRIVER_API ErrorCase add_logic_device(DeviceHandle handle, int& id) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("add_logic_device", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { id = device.AddLogicDevice(result); });
  });
}

DRIVER_API ErrorCase delete_logic_device(DeviceHandle handle, const int& id) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("delete_logic_device", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { device.DeleteLogicDevice(id, result); });
  });
}

DRIVER_API ErrorCase set_current_logic_device(DeviceHandle handle, const int& id) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("set_current_logic_device", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { device.SetCurrentLogicDeviceID(id, result); });
  });
}

DRIVER_API ErrorCase get_current_logic_device_id(DeviceHandle handle, int& id) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_current_logic_device_id", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { id = device.GetCurrentLogicDeviceID(result); });
  });
}

DRIVER_API ErrorCase set_logic_device_param(DeviceHandle handle, const int& id, const LogicDeviceParamType& type,
                                            const std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("set_logic_device_param", result, [&] {
    if (!IsKnown(type)) return result = ErrorCase::ParamTypeUnknown;
    return WithDevice(handle, result, [&](Device& device) {
      // The store keeps UTF-8: a text that is none in the caller's encoding never reaches it.
      std::string stored;
      if (!Korvalt::Ponderix::Platform::CallerTextToUtf8(value, stored)) {
        result = ErrorCase::ParamValueUnsupported;
        return;
      }
      device.SetLogicDeviceParam(id, type, stored, result);
    });
  });
}

DRIVER_API ErrorCase get_logic_device_param(DeviceHandle handle, const int& id, const LogicDeviceParamType& type,
                                            std::string& value) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_logic_device_param", result, [&] {
    if (!IsKnown(type)) return result = ErrorCase::ParamTypeUnknown;
    return WithDevice(handle, result, [&](Device& device) {
      value = Korvalt::Ponderix::Platform::Utf8ToCallerText(device.GetLogicDeviceParam(id, type, result));
    });
  });
}

DRIVER_API ErrorCase get_all_sorted_logic_device_id(DeviceHandle handle, std::vector<int>& ids) {
  ErrorCase result = ErrorCase::Correct;
  return RunFunction("get_all_sorted_logic_device_id", result, [&] {
    return WithDevice(handle, result, [&](Device& device) { ids = device.GetAllSortedLogiDeviceID(result); });
  });
}
