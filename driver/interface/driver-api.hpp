// Public interface of the driver library: the shared enumerations and the 25 exported
// functions. An application either links libdriver.so / driver.dll or loads it at run time
// and binds the exports by name (the *Fn types below give their signatures).
//
// Standard-library objects cross this boundary by reference, so the library and its caller
// must be built with the same compiler and standard library.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#if defined(_WIN32)
#  if defined(DRIVER_BUILDING)
#    define DRIVER_API extern "C" __declspec(dllexport)
#  else
#    define DRIVER_API extern "C" __declspec(dllimport)
#  endif
#else
#  define DRIVER_API extern "C" __attribute__((visibility("default")))
#endif

namespace Korvalt::Ponderix::Driver {

// Result code of every exported function.
enum class ErrorCase : std::int32_t {
  Correct = 0,
  Unset = 1,
  ErrorCaseUnknown = 2,
  IncorrectArgumnts = 3,
  ConnectionError = 4,
  UnableToOpenSerialPort = 5,
  BoostErrorUnknown = 6,
  BoostTimeOut = 7,
  HandleNull = 8,
  HandleInvalid = 9,
  HandleDoesNotExist = 10,
  ParamTypeUnknown = 11,
  ParamTypeUnsupported = 12,
  ParamTypeIsNotSetToGet = 13,
  OptionUnknown = 14,
  OptionUnsupported = 15,
  OptionIsNotSetToGet = 16,
  ParamValueUnknown = 17,
  ParamValueUnsupported = 18,
  ParamValueUnset = 19,
  CommandUnknown = 20,
  CommandUnsupported = 21,
  DeviceResponseIncorrectFormat = 22,
  DeviceUnexpectedResponse = 23,
  DeviceReturnsError = 24,
  DeviceIsNotStabilized = 25,
  UnknownExceptionWasCaught = 26,
  OpenCheckValuesIsNotEq = 27,
  JSONKeyMissing = 28,
  JSONAnotherFileExtension = 29,
  JSONFileDoesNotExist = 30,
  JSONFileParsingProblem = 31,
  CommandLineIncorrectArgument = 32,
  UnableToOpenFile = 33,
  WrongModelChosen = 34,
  EscapeClicked = 35,
  LogicDeviceJSONError = 36,
  LogicDeviceNotFound = 37,
  NotAllParamsAreSetInLogicDevice = 38,
};

enum class Command : std::int32_t {
  Unset = 0,
  SetScalesModel = 1,
  GetScalesModel = 2,
  SetFirmwareVersion1 = 3,
  GetFirmwareVersion1 = 4,
  GetFirmwareVersion2 = 5,
  SetProtocolVersion = 6,
  GetProtocolVersion = 7,
  SetSerialNumber = 8,
  GetSerialNumber = 9,
  SetMaxWeight = 10,
  GetMaxWeight = 11,
  SetDiscret = 12,
  GetDiscret = 13,
  SetValueOfAutoSetToZero = 14,
  GetValueOfAutoSetToZero = 15,
  SetTimeOfAutoSetToZero = 16,
  GetTimeOfAutoSetToZero = 17,
  SetRangeOfAutoSetToZero = 18,
  GetRangeOfAutoSetToZero = 19,
  SetRangeOfKeyToZero = 20,
  GetRangeOfKeyToZero = 21,
  SetRangeOfTare = 22,
  GetRangeOfTare = 23,
  SetRangeOfOverloads = 24,
  GetRangeOfOverloads = 25,
  SetAutoOff = 26,
  GetAutoOff = 27,
  SetLightLevel = 28,
  GetLightLevel = 29,
  SetWeightCalibration = 30,
  GetWeightCalibration = 31,
  ZeroScaleCalibration = 32,
  WeightScaleCalibration = 33,
  SetWeightScaleCalibrationParameters = 34,
  Reboot = 35,
  SetCountOfCalibration = 36,
  GetCountOfCalibration = 37,
  SetModeOfCalibration = 38,
  GetModeOfCalibration = 39,
  SetUnitOfMeasure = 40,
  GetUnitOfMeasure = 41,
  SetUnitOfMeasure2 = 42,
  GetUnitOfMeasure2 = 43,
  SetPowerSavingMode = 44,
  GetPowerSavingMode = 45,
  Init = 46,
  SetCell1 = 47,
  SetCell2 = 48,
  GetProtocolAuto = 49,
  StatusOfWeightChannelAuto = 50,
  StatusOfWeightChannel = 51,
  SetZero = 52,
  SetTare = 53,
  SpecifyTare = 54,
  POSStatusOfWeightChannel = 55,
  CASStatusOfWeightChannel = 56,
  CASActiveStatusOfWeightChannel = 57,
  POSSetZero = 58,
  POSSetTare = 59,
  POSSpecifyTare = 60,
  CASSetZero = 61,
  CASSetTare = 62,
  OKASetZero = 63,
  OKAStatusOfWeightChannel = 64,
  OKASpecifyTare = 65,
};

enum class ParamType : std::int32_t {
  Unset = 0,
  ScalesModel = 1,
  FirmwareVersion1 = 2,
  FirmwareVersion2 = 3,
  ProtocolVersion = 4,
  SerialNumber = 5,
  MaxWeight = 6,
  Discret = 7,
  ValueOfAutoSetToZero = 8,
  TimeOfAutoSetToZero = 9,
  RangeOfAutoSetToZero = 10,
  RangeOfKeyToZero = 11,
  RangeOfTare = 12,
  RangeOfOverloads = 13,
  AutoOff = 14,
  LightLevel = 15,
  WeightCalibration = 16,
  WeightScaleCalibrationParameters = 17,
  ModeOfCalibration = 18,
  CountOfCalibration = 19,
  UnitOfMeasure = 20,
  PowerSavingMode = 21,
  WeightState = 22,
  Weight = 23,
  Tare = 24,
  Cell = 25,
};

// Connection settings; values are decimal texts.
enum class Option : std::int32_t {
  Unset = 0,
  BaudRate = 1,
  CharacterSize = 2,
  StopBits = 3,
  Parity = 4,
  FlowControl = 5,
  ReuseAddress = 6,
  KeepAlive = 7,
};

// Settings of a saved connection profile ("logic device").
enum class LogicDeviceParamType : std::int32_t {
  IsCurrent = 0,
  ID = 1,
  Name = 2,
  ConnectionType = 3,
  EndPoint = 4,
  BaudRate = 5,
  Model = 6,
  Protocol = 7,
};

// Error-description languages.
constexpr std::int32_t kLanguageRussian = 1;
constexpr std::int32_t kLanguageEnglish = 2;

// Opaque device handle; null is never valid.
using DeviceHandle = void*;

using LogSettings = std::map<std::string, std::string>;

}  // namespace Korvalt::Ponderix::Driver

#define DRIVER_NS_ Korvalt::Ponderix::Driver

// Device life cycle.
DRIVER_API DRIVER_NS_::ErrorCase create(DRIVER_NS_::DeviceHandle& handle);
DRIVER_API DRIVER_NS_::ErrorCase destroy(DRIVER_NS_::DeviceHandle& handle);
DRIVER_API DRIVER_NS_::ErrorCase open(DRIVER_NS_::DeviceHandle& handle, int logicDeviceId);
DRIVER_API DRIVER_NS_::ErrorCase close(DRIVER_NS_::DeviceHandle& handle);
DRIVER_API DRIVER_NS_::ErrorCase is_open(DRIVER_NS_::DeviceHandle& handle, bool& isOpen);

// Parameters, options and commands.
DRIVER_API DRIVER_NS_::ErrorCase set_param(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::ParamType& type,
                                           const std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_param(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::ParamType& type,
                                           std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_input_param(DRIVER_NS_::DeviceHandle handle,
                                                 const DRIVER_NS_::ParamType& type, std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase set_option(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::Option& option,
                                            const std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_option(DRIVER_NS_::DeviceHandle handle, const DRIVER_NS_::Option& option,
                                            std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase execute_command(DRIVER_NS_::DeviceHandle handle,
                                                 const DRIVER_NS_::Command& command);
DRIVER_API DRIVER_NS_::ErrorCase get_protocol(DRIVER_NS_::DeviceHandle handle, std::string& protocol);

// Errors, logging and version.
DRIVER_API DRIVER_NS_::ErrorCase get_error_case_description(const DRIVER_NS_::ErrorCase& ecase,
                                                            const int& language, std::wstring& description);
DRIVER_API DRIVER_NS_::ErrorCase change_logging_config_file(const DRIVER_NS_::LogSettings& settings);
DRIVER_API DRIVER_NS_::ErrorCase get_data_from_log_config_file(DRIVER_NS_::LogSettings& settings);
DRIVER_API DRIVER_NS_::ErrorCase LoggingSetMode(const int& mode);
DRIVER_API DRIVER_NS_::ErrorCase GetLoggingPath(std::string& path);
DRIVER_API DRIVER_NS_::ErrorCase GetCurrentVersion(std::string& version);

// Logic devices (saved connection profiles).
DRIVER_API DRIVER_NS_::ErrorCase add_logic_device(DRIVER_NS_::DeviceHandle handle, int& id);
DRIVER_API DRIVER_NS_::ErrorCase delete_logic_device(DRIVER_NS_::DeviceHandle handle, const int& id);
DRIVER_API DRIVER_NS_::ErrorCase set_current_logic_device(DRIVER_NS_::DeviceHandle handle, const int& id);
DRIVER_API DRIVER_NS_::ErrorCase get_current_logic_device_id(DRIVER_NS_::DeviceHandle handle, int& id);
DRIVER_API DRIVER_NS_::ErrorCase set_logic_device_param(DRIVER_NS_::DeviceHandle handle, const int& id,
                                                        const DRIVER_NS_::LogicDeviceParamType& type,
                                                        const std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_logic_device_param(DRIVER_NS_::DeviceHandle handle, const int& id,
                                                        const DRIVER_NS_::LogicDeviceParamType& type,
                                                        std::string& value);
DRIVER_API DRIVER_NS_::ErrorCase get_all_sorted_logic_device_id(DRIVER_NS_::DeviceHandle handle,
                                                                std::vector<int>& ids);

namespace Korvalt::Ponderix::Driver {
// Signatures of the exports, for callers that bind them at run time.
using CreateFn = decltype(&::create);
using DestroyFn = decltype(&::destroy);
using OpenFn = decltype(&::open);
using CloseFn = decltype(&::close);
using IsOpenFn = decltype(&::is_open);
using SetParamFn = decltype(&::set_param);
using GetParamFn = decltype(&::get_param);
using GetInputParamFn = decltype(&::get_input_param);
using SetOptionFn = decltype(&::set_option);
using GetOptionFn = decltype(&::get_option);
using ExecuteCommandFn = decltype(&::execute_command);
using GetProtocolFn = decltype(&::get_protocol);
using GetErrorCaseDescriptionFn = decltype(&::get_error_case_description);
using ChangeLoggingConfigFileFn = decltype(&::change_logging_config_file);
using GetDataFromLogConfigFileFn = decltype(&::get_data_from_log_config_file);
using LoggingSetModeFn = decltype(&::LoggingSetMode);
using GetLoggingPathFn = decltype(&::GetLoggingPath);
using GetCurrentVersionFn = decltype(&::GetCurrentVersion);
using AddLogicDeviceFn = decltype(&::add_logic_device);
using DeleteLogicDeviceFn = decltype(&::delete_logic_device);
using SetCurrentLogicDeviceFn = decltype(&::set_current_logic_device);
using GetCurrentLogicDeviceIdFn = decltype(&::get_current_logic_device_id);
using SetLogicDeviceParamFn = decltype(&::set_logic_device_param);
using GetLogicDeviceParamFn = decltype(&::get_logic_device_param);
using GetAllSortedLogicDeviceIdFn = decltype(&::get_all_sorted_logic_device_id);
}  // namespace Korvalt::Ponderix::Driver

#undef DRIVER_NS_
