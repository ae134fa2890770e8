// The C interface: plain C types over the same devices, call frame and locking as the C++
// exports. Texts are UTF-8; text outputs go into the caller's buffer whole or not at all.
#include "driver/api/ponderix.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <sstream>
#include <string>
#include <vector>

#include "driver/vocabulary/connection-names.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/interface/c-calls.hpp"
#include "driver/interface/c-names.hpp"
#include "driver/interface/defines.hpp"
#include "driver/protocols/protocol-table.hpp"
#include "driver/logging/logging.hpp"

using namespace Korvalt::Ponderix::Driver;
using namespace Korvalt::Ponderix::Driver::CCalls;


extern "C" {

PDX_API int PDX_CALL pdx_create(pdx_handle* handle) {
  if (handle == nullptr) return PDX_INCORRECT_ARGUMENTS;
  ErrorCase result = ErrorCase::Correct;
  DeviceHandle created = nullptr;
  RunFunction("pdx_create", result, [&] {
    created = DeviceManager::Instance().CreateDevice(result);
    return result;
  });
  if (result == ErrorCase::Correct) *handle = static_cast<pdx_handle>(reinterpret_cast<std::uintptr_t>(created));
  return Code(result);
}

PDX_API int PDX_CALL pdx_destroy(pdx_handle handle) {
  ErrorCase result = ErrorCase::Correct;
  return Code(RunFunction("pdx_destroy", result, [&] {
    DeviceHandle device = ToDeviceHandle(handle);
    DeviceManager::Instance().DestroyDevice(device, result);
    return result;
  }));
}

// The C header spells for its callers what the library takes.
static_assert(std::string_view(PDX_SERIAL_PORT) == kSerialPortConnection);
static_assert(std::string_view(PDX_TCP) == kTcpConnection);
static_assert(std::string_view(PDX_AUTO) == kAutomatic);

PDX_API int PDX_CALL pdx_open(pdx_handle handle, int logic_device_id) {
  return DeviceCall("pdx_open", handle,
                    [&](Device& device, ErrorCase& result) { device.Open(logic_device_id, result); });
}

PDX_API int PDX_CALL pdx_open_line(pdx_handle handle, const char* connection_type, const char* end_point,
                                   const char* protocol, int baud_rate, const char* model) {
  if (connection_type == nullptr || end_point == nullptr || protocol == nullptr) return PDX_INCORRECT_ARGUMENTS;
  // The baud rate is a text in a logic device: a number the line does not know is refused as
  // pdx_open refuses it from the store.
  const Device::LineSettings settings{connection_type, end_point, std::to_string(baud_rate),
                                      model ? model : kAutomatic, protocol};
  return DeviceCall("pdx_open_line", handle,
                    [&](Device& device, ErrorCase& result) { device.OpenUnsaved(settings, result); });
}

PDX_API int PDX_CALL pdx_close(pdx_handle handle) {
  return DeviceCall("pdx_close", handle, [](Device& device, ErrorCase& result) { device.Close(result); });
}

PDX_API int PDX_CALL pdx_is_open(pdx_handle handle, int* is_open) {
  if (is_open == nullptr) return PDX_INCORRECT_ARGUMENTS;
  bool open = false;
  const int code = DeviceCall("pdx_is_open", handle, [&](Device& device, ErrorCase&) { open = device.IsOpen(); });
  if (code == PDX_OK) *is_open = open ? 1 : 0;
  return code;
}

PDX_API int PDX_CALL pdx_set_param(pdx_handle handle, int param, const char* value) {
  const auto type = static_cast<ParamType>(param);
  if (!IsKnown(type)) return Code(ErrorCase::ParamTypeUnknown);
  return DeviceCall("pdx_set_param", handle, [&](Device& device, ErrorCase&) { device.SetParam(type, Text(value)); });
}

PDX_API int PDX_CALL pdx_get_param(pdx_handle handle, int param, char* buffer, size_t size, size_t* needed) {
  const auto type = static_cast<ParamType>(param);
  if (!IsKnown(type)) return Code(ErrorCase::ParamTypeUnknown);
  return DeviceTextCall("pdx_get_param", handle, buffer, size, needed,
                        [&](Device& device, ErrorCase& result) { return device.GetParam(type, result); });
}

PDX_API int PDX_CALL pdx_get_input_param(pdx_handle handle, int param, char* buffer, size_t size, size_t* needed) {
  const auto type = static_cast<ParamType>(param);
  if (!IsKnown(type)) return Code(ErrorCase::ParamTypeUnknown);
  return DeviceTextCall("pdx_get_input_param", handle, buffer, size, needed,
                        [&](Device& device, ErrorCase& result) { return device.GetInputParam(type, result); });
}

PDX_API int PDX_CALL pdx_set_option(pdx_handle handle, int option, const char* value) {
  const auto type = static_cast<Option>(option);
  if (!IsKnown(type)) return Code(ErrorCase::OptionUnknown);
  return OpenDeviceCall("pdx_set_option", handle, [&](Device& device, ErrorCase& result) {
    device.GetConnection()->SetOption(type, Text(value), result);
  });
}

PDX_API int PDX_CALL pdx_get_option(pdx_handle handle, int option, char* buffer, size_t size, size_t* needed) {
  const auto type = static_cast<Option>(option);
  if (!IsKnown(type)) return Code(ErrorCase::OptionUnknown);
  if (needed) *needed = 0;
  std::string text;
  const int code = OpenDeviceCall("pdx_get_option", handle, [&](Device& device, ErrorCase& result) {
    text = device.GetConnection()->GetOption(type, result);
  });
  return code == PDX_OK ? CopyOut(text, buffer, size, needed) : code;
}

PDX_API int PDX_CALL pdx_execute_command(pdx_handle handle, int command) {
  const auto type = static_cast<Command>(command);
  if (!IsKnown(type)) return Code(ErrorCase::CommandUnknown);
  return OpenDeviceCall("pdx_execute_command", handle,
                        [&](Device& device, ErrorCase& result) { device.ExecuteCommand(type, result); });
}

PDX_API int PDX_CALL pdx_get_protocol(pdx_handle handle, char* buffer, size_t size, size_t* needed) {
  return DeviceTextCall("pdx_get_protocol", handle, buffer, size, needed,
                        [](Device& device, ErrorCase&) { return device.GetProtocol(); });
}

PDX_API int PDX_CALL pdx_read_weight(pdx_handle handle, struct pdx_weight* out) {
  if (out == nullptr) return PDX_INCORRECT_ARGUMENTS;
  std::memset(out, 0, sizeof *out);
  WeightReading reading;
  const int code = OpenDeviceCall("pdx_read_weight", handle,
                                  [&](Device& device, ErrorCase& result) { reading = device.ReadStatus(result); });
  if (code == PDX_OK) FillWeight(reading, *out);
  return code;
}

PDX_API const char* PDX_CALL pdx_result_name(int code) { return ResultName(code); }

PDX_API int PDX_CALL pdx_get_error_description(int code, int language, char* buffer, size_t size, size_t* needed) {
  return TextCall("pdx_get_error_description", buffer, size, needed, [&](ErrorCase& result) {
    std::string text;
    if (!IsKnownLanguage(language)) {
      result = ErrorCase::IncorrectArgumnts;
    } else if (!ResultDescription(code, language, text)) {
      result = ErrorCase::ErrorCaseUnknown;
    }
    return text;
  });
}

PDX_API int PDX_CALL pdx_protocol_names(char* buffer, size_t size, size_t* needed) {
  return TextCall("pdx_protocol_names", buffer, size, needed, [](ErrorCase&) {
    std::string names;
    for (const auto& row : ProtocolTable()) names += (names.empty() ? "" : "\n") + row.name;
    return names;
  });
}

PDX_API int PDX_CALL pdx_get_log_settings(char* buffer, size_t size, size_t* needed) {
  return TextCall("pdx_get_log_settings", buffer, size, needed, [](ErrorCase& result) {
    std::string lines;
    for (const auto& [key, value] : Logging::GetDataFromConfigFile(result)) lines += key + "=" + value + "\n";
    return lines;
  });
}

PDX_API int PDX_CALL pdx_change_log_settings(const char* settings) {
  if (settings == nullptr) return PDX_INCORRECT_ARGUMENTS;
  ErrorCase result = ErrorCase::Correct;
  return Code(RunFunction("pdx_change_log_settings", result, [&] {
    LogSettings changes;
    std::istringstream lines(settings);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      const auto equals = line.find('=');
      if (equals == std::string::npos || equals == 0) return result = ErrorCase::IncorrectArgumnts;
      changes[line.substr(0, equals)] = line.substr(equals + 1);
    }
    Logging::ChangeConfigFile(changes, result);
    return result;
  }));
}

PDX_API int PDX_CALL pdx_logging_set_mode(int mode) {
  if (mode < 0 || mode > 3) return PDX_INCORRECT_ARGUMENTS;
  ErrorCase result = ErrorCase::Correct;
  return Code(RunFunction("pdx_logging_set_mode", result, [&] {
    Logging::SetMode(mode);
    return result;
  }));
}

PDX_API int PDX_CALL pdx_get_logging_path(char* buffer, size_t size, size_t* needed) {
  return TextCall("pdx_get_logging_path", buffer, size, needed, [](ErrorCase&) { return Logging::GetLoggingPath(); });
}

PDX_API int PDX_CALL pdx_get_version(char* buffer, size_t size, size_t* needed) {
  return TextCall("pdx_get_version", buffer, size, needed, [](ErrorCase&) { return std::string(kDriverVersion); });
}

PDX_API int PDX_CALL pdx_add_logic_device(pdx_handle handle, int* id) {
  if (id == nullptr) return PDX_INCORRECT_ARGUMENTS;
  int added = -1;
  const int code = DeviceCall("pdx_add_logic_device", handle,
                              [&](Device& device, ErrorCase& result) { added = device.AddLogicDevice(result); });
  if (code == PDX_OK) *id = added;
  return code;
}

PDX_API int PDX_CALL pdx_delete_logic_device(pdx_handle handle, int id) {
  return DeviceCall("pdx_delete_logic_device", handle,
                    [&](Device& device, ErrorCase& result) { device.DeleteLogicDevice(id, result); });
}

PDX_API int PDX_CALL pdx_set_current_logic_device(pdx_handle handle, int id) {
  return DeviceCall("pdx_set_current_logic_device", handle,
                    [&](Device& device, ErrorCase& result) { device.SetCurrentLogicDeviceID(id, result); });
}

PDX_API int PDX_CALL pdx_get_current_logic_device(pdx_handle handle, int* id) {
  if (id == nullptr) return PDX_INCORRECT_ARGUMENTS;
  int current = -1;
  const int code = DeviceCall("pdx_get_current_logic_device", handle, [&](Device& device, ErrorCase& result) {
    current = device.GetCurrentLogicDeviceID(result);
  });
  if (code == PDX_OK) *id = current;
  return code;
}

PDX_API int PDX_CALL pdx_set_logic_device_param(pdx_handle handle, int id, int type, const char* value) {
  const auto param = static_cast<LogicDeviceParamType>(type);
  if (!IsKnown(param)) return Code(ErrorCase::ParamTypeUnknown);
  return DeviceCall("pdx_set_logic_device_param", handle, [&](Device& device, ErrorCase& result) {
    device.SetLogicDeviceParam(id, param, Text(value), result);
  });
}

PDX_API int PDX_CALL pdx_get_logic_device_param(pdx_handle handle, int id, int type, char* buffer, size_t size,
                                                size_t* needed) {
  const auto param = static_cast<LogicDeviceParamType>(type);
  if (!IsKnown(param)) return Code(ErrorCase::ParamTypeUnknown);
  return DeviceTextCall("pdx_get_logic_device_param", handle, buffer, size, needed,
                        [&](Device& device, ErrorCase& result) { return device.GetLogicDeviceParam(id, param, result); });
}

PDX_API int PDX_CALL pdx_get_logic_device_ids(pdx_handle handle, int* ids, size_t capacity, size_t* count) {
  if (count) *count = 0;
  std::vector<int> all;
  const int code = DeviceCall("pdx_get_logic_device_ids", handle, [&](Device& device, ErrorCase& result) {
    all = device.GetAllSortedLogiDeviceID(result);
  });
  if (code != PDX_OK) return code;
  if (count) *count = all.size();
  if (all.size() > capacity || (ids == nullptr && !all.empty())) return PDX_BUFFER_TOO_SMALL;
  for (std::size_t i = 0; i < all.size(); ++i) ids[i] = all[i];
  return PDX_OK;
}

}  // extern "C"
