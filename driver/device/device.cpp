#include "driver/device/device.hpp"

#include "common/text-template.hpp"
#include "common/utf8.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/command-executor.hpp"
#include "driver/protocols/protocol-table.hpp"
#include "driver/vocabulary/connection-names.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("device");

using Text::Fill;

std::string FirstDigits(const std::string& text) {
  const auto first = text.find_first_of("0123456789");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_first_not_of("0123456789", first) - first);
}

}  // namespace

Device::Device() {
  kLog.Trace("Device::Device()");
  logicDevices_ = std::make_unique<LogicDeviceManager>();
}

Device::~Device() = default;

bool Device::IsModelMatching(const std::string& model, const std::string& reportedModel) {
  if (model == kAutomatic) return true;
  return FirstDigits(reportedModel) == FirstDigits(model);
}

void Device::Open(int logicDeviceId, ErrorCase& result) {
  kLog.Info(Fill("Device::Open(), device id is [@]", logicDeviceId));
  auto held = logicDevices_->GetLogicDevice(logicDeviceId, result);
  if (result != ErrorCase::Correct) return;
  logicDevices_->AreAllParametersSet(logicDeviceId, result);
  if (result != ErrorCase::Correct) return;
  logicDevices_->SetCurrentLogicDevice(logicDeviceId, result);
  if (result != ErrorCase::Correct) return;
  LoadConnectionSettings(logicDeviceId, result);
  if (result != ErrorCase::Correct) return;
  ErrorCase noName = ErrorCase::Correct;
  lineName_ = logicDevices_->GetLogicDeviceParam(logicDeviceId, LogicDeviceParamType::Name, noName);
  OpenWithSettings(logicDeviceId, result);
}

void Device::OpenUnsaved(const LineSettings& settings, ErrorCase& result) {
  kLog.Info(Fill("Device::OpenUnsaved(), connection [@], end point [@], protocol [@]", settings.connectionType,
                 settings.endPoint, settings.protocol));
  const std::pair<const std::string*, std::string*> fields[] = {
      {&settings.connectionType, &connectionType_}, {&settings.endPoint, &endPoint_},
      {&settings.baudRate, &baudRate_},             {&settings.model, &model_},
      {&settings.protocol, &protocol_},
  };
  // What the store refuses or reports as unset, refused alike.
  for (const auto& [given, field] : fields) {
    if (given->empty()) result = ErrorCase::NotAllParamsAreSetInLogicDevice;
    if (result == ErrorCase::Correct && !Text::IsValidUtf8(*given)) result = ErrorCase::ParamValueUnsupported;
    if (result != ErrorCase::Correct) return;
  }
  for (const auto& [given, field] : fields) *field = *given;
  lineName_.clear();
  OpenWithSettings(std::nullopt, result);
}

void Device::OpenWithSettings(std::optional<int> savedAs, ErrorCase& result) {
  // A new line may be another scale: its limits and the last sale weight are not this one's.
  weighing_.Forget();
  CheckConnectionSettings(result);
  if (result != ErrorCase::Correct) {
    // The settings just loaded no longer describe a line of an earlier Open: let it go.
    LetGoOfLine();
    return;
  }
  // Every step after the line is up either succeeds or leaves the device closed: a half-opened
  // device would answer later commands with misleading results.
  OpenLine(result);
  if (result == ErrorCase::Correct) DetectProtocol(savedAs, result);
  if (result == ErrorCase::Correct) ReadModel(savedAs, result);
  if (result != ErrorCase::Correct) LetGoOfLine();
}

void Device::CheckConnectionSettings(ErrorCase& result) {
  const std::pair<LogicDeviceParamType, const std::string*> settings[] = {
      {LogicDeviceParamType::Protocol, &protocol_},
      {LogicDeviceParamType::ConnectionType, &connectionType_},
  };
  for (const auto& [type, value] : settings) {
    const bool known = type == LogicDeviceParamType::Protocol
                           ? FindProtocol(*value) != nullptr
                           : *value == kSerialPortConnection || *value == kTcpConnection;
    if (known) continue;
    kLog.Error(Fill("Device::Open(), logic device parameter [@] has an unsupported value [@]", ToString(type),
                    *value));
    result = ErrorCase::ParamValueUnsupported;
    return;
  }
}

void Device::OpenLine(ErrorCase& result) {
  if (connectionType_ == kSerialPortConnection) {
    connection_ = MakeSerialPortConnection(endPoint_);
    OpenSerial(result);
    if (result != ErrorCase::Correct) {
      kLog.Error(Fill("Device::Open(portname: @), can't open port, ecase: @.", endPoint_, ToString(result)));
      return;
    }
    kLog.Info(Fill("Device::Open(portname: @), port is open.", endPoint_));
    return;
  }
  // A bare host is reached on port 77; "host:port" names its own port (parsed by the connection).
  connection_ = MakeTCPConnection(endPoint_, "77");
  connection_->Open(result);
  if (result != ErrorCase::Correct) {
    kLog.Error(Fill("Device::Open(ip: @, socket: @), can't connect, ecase: @.", endPoint_, "77", ToString(result)));
    return;
  }
  kLog.Info(Fill("Device::Open(ip: @, socket: @), connection established.", endPoint_, "77"));
}

void Device::DetectProtocol(std::optional<int> savedAs, ErrorCase& result) {
  if (protocol_ != kAutomatic) return;
  auto found = RunCommand(Command::GetProtocolAuto, result);
  if (result != ErrorCase::Correct) {
    reportedModel_ = "Not Pro model";
    return;
  }
  const std::string name = found[ParamType::ProtocolVersion];
  if (savedAs) logicDevices_->SetLogicDeviceParam(*savedAs, LogicDeviceParamType::Protocol, name, result);
  if (result != ErrorCase::Correct) return;
  protocol_ = name;
}

void Device::ReadModel(std::optional<int> savedAs, ErrorCase& result) {
  if (FindProtocol(protocol_)->model == ModelOnOpen::NotRead) {
    reportedModel_ = "Not Pro model";
    return;
  }
  // A model read that fails leaves no model behind, not the one an earlier Open was told.
  reportedModel_.clear();
  RunCommand(Command::GetScalesModel, result);
  if (result != ErrorCase::Correct) return;
  reportedModel_ = GetParam(ParamType::ScalesModel, result);
  if (result != ErrorCase::Correct || !savedAs) return;
  logicDevices_->SetLogicDeviceParam(*savedAs, LogicDeviceParamType::Model, reportedModel_, result);
}

void Device::LetGoOfLine() {
  if (connection_) connection_->Close();
  connection_.reset();
}

void Device::LoadConnectionSettings(int logicDeviceId, ErrorCase& result) {
  // One snapshot of the device just made current: another handle or process may switch the
  // current device or change a setting between separate reads.
  auto settings = logicDevices_->GetLogicDevice(logicDeviceId, result);
  if (result != ErrorCase::Correct) return;
  const std::pair<LogicDeviceParamType, std::string*> fields[] = {
      {LogicDeviceParamType::ConnectionType, &connectionType_},
      {LogicDeviceParamType::EndPoint, &endPoint_},
      {LogicDeviceParamType::BaudRate, &baudRate_},
      {LogicDeviceParamType::Model, &model_},
      {LogicDeviceParamType::Protocol, &protocol_},
  };
  for (const auto& [type, field] : fields) {
    *field = settings->GetParam(type, result);
    if (result != ErrorCase::Correct) return;
  }
}

void Device::OpenSerial(ErrorCase& result) {
  connection_->Open(result);
  if (result != ErrorCase::Correct) return;
  if (auto line = LineFor(*FindProtocol(protocol_), baudRate_)) ApplySerialLine(*connection_, *line, result);
}

bool Device::IsOpen() {
  kLog.Info(Fill("Device::IsOpen(portname: @, baud-rate: @)", endPoint_, baudRate_));
  if (connection_) {
    kLog.Info("Device::IsOpen() connection exists");
    return connection_->IsOpen();
  }
  kLog.Info("Device::IsOpen() connection is nullptr");
  return false;
}

void Device::Close(ErrorCase&) {
  if (connection_) connection_->Close();
  weighing_.Forget();
}

bool Device::HasOpenLine() const { return connection_ && connection_->IsOpen(); }

std::string Device::LineName() const { return lineName_.empty() ? endPoint_ : lineName_; }

std::string Device::ReportedModel() const { return reportedModel_ == "Not Pro model" ? std::string() : reportedModel_; }

WeightReading Device::ReadStatus(ErrorCase& result) {
  const Command command =
      protocol_ == kAutomatic ? Command::StatusOfWeightChannelAuto : Command::StatusOfWeightChannel;
  lastReading_.reset();
  RunOtherCommand(command, result);
  if (result != ErrorCase::Correct) return {};
  if (!lastReading_ || !lastReading_->numeric) {
    result = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  return *lastReading_;
}

void Device::SetParam(ParamType type, const std::string& value) {
  kLog.Trace(Fill("Device::SetParam(), ptype [@], value [@]", ToString(type), value));
  parameters_.SetParamInput(type, value);
}

std::string Device::GetParam(ParamType type, ErrorCase& result) {
  kLog.Trace(Fill("Device::GetParam(), ptype [@]", ToString(type)));
  return parameters_.GetParamOutput(type, result);
}

std::string Device::GetInputParam(ParamType type, ErrorCase& result) {
  kLog.Trace(Fill("Device::GetInputParam(), ptype [@]", ToString(type)));
  return parameters_.GetParamInput(type, result);
}

void Device::ExecuteCommand(Command command, ErrorCase& result) { RunOtherCommand(command, result); }

OutputValues Device::RunOtherCommand(Command command, ErrorCase& result) {
  command = MapToProtocol(command, protocol_);
  if (!connection_ || !connection_->IsOpen()) {
    result = ErrorCase::ConnectionError;
  } else if (!IsCommandAllowed(command, protocol_)) {
    result = ErrorCase::CommandUnsupported;
  } else if (protocol_ != kAutomatic && !IsModelMatching(model_, reportedModel_)) {
    result = ErrorCase::WrongModelChosen;
  } else {
    return RunCommand(command, result);
  }
  ClearOutputsOf(command);
  return {};
}

OutputValues Device::RunCommand(Command command, ErrorCase& result) {
  const std::string line =
      Fill("Device::ExecuteCommand(command: @, code [@])", ToString(command), static_cast<int>(command));
  kLog.Trace(line);
  auto executor = CreateExecutor(command, result);
  if (result != ErrorCase::Correct) return {};
  OutputValues outputs;
  const std::uint64_t reopensBefore = connection_ ? connection_->Reopens() : 0;
  try {
    outputs = executor->ExecuteCommand(*this, result);
  } catch (...) {
    ClearOutputsOf(command);
    throw;
  }
  const std::uint64_t reopens = connection_ ? connection_->Reopens() - reopensBefore : 0;
  auto reading = result == ErrorCase::Correct ? executor->TakeReading() : std::nullopt;
  if (reading) lastReading_ = reading;
  weighing_.RecordExchange(command, protocol_, result, reopens, reading ? &*reading : nullptr, LineName());
  if (result != ErrorCase::Correct) {
    kLog.Error(line + Fill(", Device::ExecuteCommand(), command: [@] ErrorCase is [@]", ToString(command),
                           ToString(result)));
    ClearOutputsOf(command);
    return {};
  }
  for (const auto& [type, text] : outputs) parameters_.SetParamOutput(type, text);
  return outputs;
}

void Device::ClearOutputsOf(Command command) {
  for (ParamType type : CommandOutputs(command)) parameters_.ClearParamOutput(type);
}

std::string Device::GetProtocol() const { return protocol_; }

std::shared_ptr<Connection> Device::GetConnection() { return connection_; }

int Device::AddLogicDevice(ErrorCase& result) {
  kLog.Trace("Device::AddLogicDevice()");
  return logicDevices_->AddLogicDevice(result);
}

void Device::DeleteLogicDevice(int id, ErrorCase& result) {
  kLog.Trace(Fill("Device::DeleteLogicDevice(), device id [@]", id));
  logicDevices_->DeleteLogicDevice(id, result);
}

void Device::SetCurrentLogicDeviceID(const int& id, ErrorCase& result) {
  kLog.Trace(Fill("Device::SetCurrentLogicDeviceID(), device id [@]", id));
  logicDevices_->SetCurrentLogicDevice(id, result);
}

int Device::GetCurrentLogicDeviceID(ErrorCase& result) {
  kLog.Trace("Device::GetCurrentLogicDeviceID()");
  return logicDevices_->GetCurrentLogicDeviceID(result);
}

void Device::SetLogicDeviceParam(const int& id, LogicDeviceParamType type, const std::string& value,
                                 ErrorCase& result) {
  kLog.Trace(Fill("Device::SetLogicDeviceParam(), device id [@], ptype [@], value [@]", id, ToString(type), value));
  logicDevices_->SetLogicDeviceParam(id, type, value, result);
}

std::string Device::GetLogicDeviceParam(const int& id, LogicDeviceParamType type, ErrorCase& result) {
  kLog.Trace(Fill("Device::GetLogicDeviceParam(), ptype [@]", ToString(type)));
  return logicDevices_->GetLogicDeviceParam(id, type, result);
}

std::vector<int> Device::GetAllSortedLogiDeviceID(ErrorCase& result) {
  kLog.Trace("Device::GetAllSortedLogiDeviceID()");
  return logicDevices_->GetAllSortedID(result);
}

}  // namespace Korvalt::Ponderix::Driver
