// The types shared by the driver library and its callers: enumerations, the device handle, and
// the signatures of the 25 exports. A program that loads the library at run time (dlopen /
// LoadLibrary) includes only this header; driver-api.hpp declares the exports themselves.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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

// Signatures of the exports, in the order a caller binds them.
using CreateFn = ErrorCase (*)(DeviceHandle&);
using DestroyFn = ErrorCase (*)(DeviceHandle&);
using OpenFn = ErrorCase (*)(DeviceHandle&, int);
using CloseFn = ErrorCase (*)(DeviceHandle&);
using IsOpenFn = ErrorCase (*)(DeviceHandle&, bool&);
using SetParamFn = ErrorCase (*)(DeviceHandle, const ParamType&, const std::string&);
using GetParamFn = ErrorCase (*)(DeviceHandle, const ParamType&, std::string&);
using GetInputParamFn = ErrorCase (*)(DeviceHandle, const ParamType&, std::string&);
using SetOptionFn = ErrorCase (*)(DeviceHandle, const Option&, const std::string&);
using GetOptionFn = ErrorCase (*)(DeviceHandle, const Option&, std::string&);
using ExecuteCommandFn = ErrorCase (*)(DeviceHandle, const Command&);
using GetProtocolFn = ErrorCase (*)(DeviceHandle, std::string&);
using GetErrorCaseDescriptionFn = ErrorCase (*)(const ErrorCase&, const int&, std::wstring&);
using ChangeLoggingConfigFileFn = ErrorCase (*)(const LogSettings&);
using GetDataFromLogConfigFileFn = ErrorCase (*)(LogSettings&);
using LoggingSetModeFn = ErrorCase (*)(const int&);
using GetLoggingPathFn = ErrorCase (*)(std::string&);
using GetCurrentVersionFn = ErrorCase (*)(std::string&);
using AddLogicDeviceFn = ErrorCase (*)(DeviceHandle, int&);
using DeleteLogicDeviceFn = ErrorCase (*)(DeviceHandle, const int&);
using SetCurrentLogicDeviceFn = ErrorCase (*)(DeviceHandle, const int&);
using GetCurrentLogicDeviceIdFn = ErrorCase (*)(DeviceHandle, int&);
using SetLogicDeviceParamFn = ErrorCase (*)(DeviceHandle, const int&, const LogicDeviceParamType&, const std::string&);
using GetLogicDeviceParamFn = ErrorCase (*)(DeviceHandle, const int&, const LogicDeviceParamType&, std::string&);
using GetAllSortedLogicDeviceIdFn = ErrorCase (*)(DeviceHandle, std::vector<int>&);

}  // namespace Korvalt::Ponderix::Driver
