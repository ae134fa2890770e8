#include "driver/vocabulary/enumeration-names.hpp"

#include <map>
#include <stdexcept>

namespace Korvalt::Ponderix::Driver {
namespace {

template <typename Enum>
const std::string& Lookup(const std::map<Enum, std::string>& table, Enum value, const char* error) {
  auto it = table.find(value);
  if (it == table.end()) {
    throw std::logic_error(error);
  }
  return it->second;
}

const std::map<ErrorCase, std::string>& ErrorCaseNames() {
  static const std::map<ErrorCase, std::string> table{
      {ErrorCase::Correct, "Correct"},
      {ErrorCase::Unset, "Unset"},
      {ErrorCase::ErrorCaseUnknown, "ErrorCaseUnknown"},
      {ErrorCase::IncorrectArgumnts, "IncorrectArgumnts"},
      {ErrorCase::ConnectionError, "ConnectionError"},
      {ErrorCase::UnableToOpenSerialPort, "UnableToOpenSerialPort"},
      {ErrorCase::BoostErrorUnknown, "BoostErrorUnknown"},
      {ErrorCase::BoostTimeOut, "BoostTimeOut"},
      {ErrorCase::HandleNull, "HandleNull"},
      {ErrorCase::HandleInvalid, "HandleInvalid"},
      {ErrorCase::HandleDoesNotExist, "HandleDoesNotExist"},
      {ErrorCase::ParamTypeUnknown, "ParamTypeUnknown"},
      {ErrorCase::ParamTypeUnsupported, "ParamTypeUnsupported"},
      {ErrorCase::ParamTypeIsNotSetToGet, "ParamTypeIsNotSetToGet"},
      {ErrorCase::OptionUnknown, "OptionUnknown"},
      {ErrorCase::OptionUnsupported, "OptionUnsupported"},
      {ErrorCase::OptionIsNotSetToGet, "OptionIsNotSetToGet"},
      {ErrorCase::ParamValueUnknown, "ParamValueUnknown"},
      {ErrorCase::ParamValueUnsupported, "ParamValueUnsupported"},
      {ErrorCase::ParamValueUnset, "ParamValueUnset"},
      {ErrorCase::CommandUnknown, "CommandUnknown"},
      {ErrorCase::CommandUnsupported, "CommandUnsupported"},
      {ErrorCase::DeviceResponseIncorrectFormat, "DeviceResponseIncorrectFormat"},
      {ErrorCase::DeviceUnexpectedResponse, "DeviceUnexpectedResponse"},
      {ErrorCase::DeviceReturnsError, "DeviceReturnsError"},
      {ErrorCase::DeviceIsNotStabilized, "DeviceIsNotStabilized"},
      {ErrorCase::UnknownExceptionWasCaught, "UnknownExceptionWasCaught"},
      {ErrorCase::OpenCheckValuesIsNotEq, "OpenCheckValuesIsNotEq"},
      {ErrorCase::JSONKeyMissing, "JSONKeyMissing"},
      {ErrorCase::JSONAnotherFileExtension, "JSONAnotherFileExtension"},
      {ErrorCase::JSONFileDoesNotExist, "JSONFileDoesNotExist"},
      {ErrorCase::JSONFileParsingProblem, "JSONFileParsingProblem"},
      {ErrorCase::CommandLineIncorrectArgument, "CommandLineIncorrectArgument"},
      {ErrorCase::UnableToOpenFile, "UnableToOpenFile"},
      {ErrorCase::WrongModelChosen, "WrongModelChosen"},
      {ErrorCase::EscapeClicked, "EscapeClicked"},
      {ErrorCase::LogicDeviceJSONError, "LogicDeviceJSONError"},
      {ErrorCase::LogicDeviceNotFound, "LogicDeviceNotFound"},
      {ErrorCase::NotAllParamsAreSetInLogicDevice, "NotAllParamsAreSetInLogicDevice"},
  };
  return table;
}

const std::map<Command, std::string>& CommandNames() {
  static const std::map<Command, std::string> table{
      {Command::Unset, "Unset"},
      {Command::SetScalesModel, "SetScalesModel"},
      {Command::GetScalesModel, "GetScalesModel"},
      {Command::SetFirmwareVersion1, "SetFirmwareVersion1"},
      {Command::GetFirmwareVersion1, "GetFirmwareVersion1"},
      {Command::GetFirmwareVersion2, "GetFirmwareVersion2"},
      {Command::SetProtocolVersion, "SetProtocolVersion"},
      {Command::GetProtocolVersion, "GetProtocolVersion"},
      {Command::SetSerialNumber, "SetSerialNumber"},
      {Command::GetSerialNumber, "GetSerialNumber"},
      {Command::SetMaxWeight, "SetMaxWeight"},
      {Command::GetMaxWeight, "GetMaxWeight"},
      {Command::SetDiscret, "SetDiscret"},
      {Command::GetDiscret, "GetDiscret"},
      {Command::SetValueOfAutoSetToZero, "SetValueOfAutoSetToZero"},
      {Command::GetValueOfAutoSetToZero, "GetValueOfAutoSetToZero"},
      {Command::SetTimeOfAutoSetToZero, "SetTimeOfAutoSetToZero"},
      {Command::GetTimeOfAutoSetToZero, "GetTimeOfAutoSetToZero"},
      {Command::SetRangeOfAutoSetToZero, "SetRangeOfAutoSetToZero"},
      {Command::GetRangeOfAutoSetToZero, "GetRangeOfAutoSetToZero"},
      {Command::SetRangeOfKeyToZero, "SetRangeOfKeyToZero"},
      {Command::GetRangeOfKeyToZero, "GetRangeOfKeyToZero"},
      {Command::SetRangeOfTare, "SetRangeOfTare"},
      {Command::GetRangeOfTare, "GetRangeOfTare"},
      {Command::SetRangeOfOverloads, "SetRangeOfOverloads"},
      {Command::GetRangeOfOverloads, "GetRangeOfOverloads"},
      {Command::SetAutoOff, "SetAutoOff"},
      {Command::GetAutoOff, "GetAutoOff"},
      {Command::SetLightLevel, "SetLightLevel"},
      {Command::GetLightLevel, "GetLightLevel"},
      {Command::SetWeightCalibration, "SetWeightCalibration"},
      {Command::GetWeightCalibration, "GetWeightCalibration"},
      {Command::ZeroScaleCalibration, "ZeroScaleCalibration"},
      {Command::WeightScaleCalibration, "WeightScaleCalibration"},
      {Command::SetWeightScaleCalibrationParameters, "SetWeightScaleCalibrationParameters"},
      {Command::Reboot, "Reboot"},
      {Command::SetCountOfCalibration, "SetCountOfCalibration"},
      {Command::GetCountOfCalibration, "GetCountOfCalibration"},
      {Command::SetModeOfCalibration, "SetModeOfCalibration"},
      {Command::GetModeOfCalibration, "GetModeOfCalibration"},
      {Command::SetUnitOfMeasure, "SetUnitOfMeasure"},
      {Command::GetUnitOfMeasure, "GetUnitOfMeasure"},
      {Command::SetUnitOfMeasure2, "SetUnitOfMeasure2"},
      {Command::GetUnitOfMeasure2, "GetUnitOfMeasure2"},
      {Command::SetPowerSavingMode, "SetPowerSavingMode"},
      {Command::GetPowerSavingMode, "GetPowerSavingMode"},
      {Command::Init, "Init"},
      {Command::SetCell1, "SetCell1"},
      {Command::SetCell2, "SetCell2"},
      {Command::GetProtocolAuto, "GetProtocolAuto"},
      {Command::StatusOfWeightChannelAuto, "StatusOfWeightChannelAuto"},
      {Command::StatusOfWeightChannel, "StatusOfWeightChannel"},
      {Command::SetZero, "SetZero"},
      {Command::SetTare, "SetTare"},
      {Command::SpecifyTare, "SpecifyTare"},
      {Command::POSStatusOfWeightChannel, "POSStatusOfWeightChannel"},
      {Command::CASStatusOfWeightChannel, "CASStatusOfWeightChannel"},
      {Command::CASActiveStatusOfWeightChannel, "CASActiveStatusOfWeightChannel"},
      {Command::POSSetZero, "POSSetZero"},
      {Command::POSSetTare, "POSSetTare"},
      {Command::POSSpecifyTare, "POSSpecifyTare"},
      {Command::CASSetZero, "CASSetZero"},
      {Command::CASSetTare, "CASSetTare"},
      {Command::OKASetZero, "OKASetZero"},
      {Command::OKAStatusOfWeightChannel, "OKAStatusOfWeightChannel"},
      {Command::OKASpecifyTare, "OKASpecifyTare"},
  };
  return table;
}

const std::map<ParamType, std::string>& ParamTypeNames() {
  static const std::map<ParamType, std::string> table{
      {ParamType::Unset, "Unset"},
      {ParamType::ScalesModel, "ScalesModel"},
      {ParamType::FirmwareVersion1, "FirmwareVersion1"},
      {ParamType::FirmwareVersion2, "FirmwareVersion2"},
      {ParamType::ProtocolVersion, "ProtocolVersion"},
      {ParamType::SerialNumber, "SerialNumber"},
      {ParamType::MaxWeight, "MaxWeight"},
      {ParamType::Discret, "Discret"},
      {ParamType::ValueOfAutoSetToZero, "ValueOfAutoSetToZero"},
      {ParamType::TimeOfAutoSetToZero, "TimeOfAutoSetToZero"},
      {ParamType::RangeOfAutoSetToZero, "RangeOfAutoSetToZero"},
      {ParamType::RangeOfKeyToZero, "RangeOfKeyToZero"},
      {ParamType::RangeOfTare, "RangeOfTare"},
      {ParamType::RangeOfOverloads, "RangeOfOverloads"},
      {ParamType::AutoOff, "AutoOff"},
      {ParamType::LightLevel, "LightLevel"},
      {ParamType::WeightCalibration, "WeightCalibration"},
      {ParamType::WeightScaleCalibrationParameters, "WeightScaleCalibrationParameters"},
      {ParamType::ModeOfCalibration, "ModeOfCalibration"},
      {ParamType::CountOfCalibration, "CountOfCalibration"},
      {ParamType::UnitOfMeasure, "UnitOfMeasure"},
      {ParamType::PowerSavingMode, "PowerSavingMode"},
      {ParamType::WeightState, "WeightState"},
      {ParamType::Weight, "Weight"},
      {ParamType::Tare, "Tare"},
      {ParamType::Cell, "Cell"},
  };
  return table;
}

const std::map<Option, std::string>& OptionNames() {
  static const std::map<Option, std::string> table{
      {Option::Unset, "Unset"},
      {Option::BaudRate, "BaudRate"},
      {Option::CharacterSize, "CharacterSize"},
      {Option::StopBits, "StopBits"},
      {Option::Parity, "Parity"},
      {Option::FlowControl, "FlowControl"},
      {Option::ReuseAddress, "ReuseAddress"},
      {Option::KeepAlive, "KeepAlive"},
  };
  return table;
}

const std::map<LogicDeviceParamType, std::string>& LogicDeviceParamTypeNames() {
  static const std::map<LogicDeviceParamType, std::string> table{
      {LogicDeviceParamType::IsCurrent, "IsCurrent"},
      {LogicDeviceParamType::ID, "ID"},
      {LogicDeviceParamType::Name, "Name"},
      {LogicDeviceParamType::ConnectionType, "ConnectionType"},
      {LogicDeviceParamType::EndPoint, "EndPoint"},
      {LogicDeviceParamType::BaudRate, "BaudRate"},
      {LogicDeviceParamType::Model, "Model"},
      {LogicDeviceParamType::Protocol, "Protocol"},
  };
  return table;
}

const std::map<LogicDeviceParamType, std::string>& LogicDeviceJsonKeys() {
  static const std::map<LogicDeviceParamType, std::string> table{
      {LogicDeviceParamType::IsCurrent, "is-current"},
      {LogicDeviceParamType::Name, "name"},
      {LogicDeviceParamType::ConnectionType, "connection-type"},
      {LogicDeviceParamType::EndPoint, "end-point"},
      {LogicDeviceParamType::BaudRate, "baud-rate"},
      {LogicDeviceParamType::Model, "model"},
      {LogicDeviceParamType::Protocol, "protocol"},
  };
  return table;
}

}  // namespace

// The command table shares the parameter-type message: callers and logs rely on that text.
std::string ToString(Command value) {
  return Lookup(CommandNames(), value, "Func ToString(ParamType value), value is not valid.");
}
std::string ToString(ParamType value) {
  return Lookup(ParamTypeNames(), value, "Func ToString(ParamType value), value is not valid.");
}
std::string ToString(Option value) {
  return Lookup(OptionNames(), value, "Func ToString(Option value), value is not valid.");
}
std::string ToString(LogicDeviceParamType value) {
  return Lookup(LogicDeviceParamTypeNames(), value,
                "Func ToString(LogicDeviceParamType value), value is not valid.");
}
std::string ToJsonString(LogicDeviceParamType value) {
  return Lookup(LogicDeviceJsonKeys(), value,
                "Func ToJsonString(LogicDeviceParamType value), value is not valid.");
}

bool IsKnown(Command value) { return CommandNames().count(value) != 0; }
bool IsKnown(ParamType value) { return ParamTypeNames().count(value) != 0; }
bool IsKnown(Option value) { return OptionNames().count(value) != 0; }
bool IsKnown(LogicDeviceParamType value) { return LogicDeviceParamTypeNames().count(value) != 0; }

std::string ToString(ErrorCase value) {
  return Lookup(ErrorCaseNames(), value, "Func ToString(ErrorCase ecase), ecase is not valid.");
}
bool IsKnown(ErrorCase value) { return ErrorCaseNames().count(value) != 0; }

}  // namespace Korvalt::Ponderix::Driver
