// One scale as the library sees it: connection settings from a logic device, the connection,
// the protocol in use, the model the scale reported, and the parameter store.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/connections/connection.hpp"
#include "driver/device/device-resources.hpp"
#include "driver/api/driver-types.hpp"
#include "driver/logic-devices/logic-devices.hpp"
#include "driver/protocols/protocol-context.hpp"
#include "driver/vocabulary/weight-reading.hpp"
#include "driver/weighing/weighing.hpp"

namespace Korvalt::Ponderix::Driver {

class Device : public ProtocolContext, public WeighingContext {
 public:
  Device();
  ~Device() override;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // The settings of one line, as a logic device holds them.
  struct LineSettings {
    std::string connectionType;
    std::string endPoint;
    std::string baudRate;
    std::string model;
    std::string protocol;
  };

  void Open(int logicDeviceId, ErrorCase& result);
  // Opens as Open does with a logic device of these settings, but reads nothing from the store
  // and writes nothing to it (detection and the model read keep what they find to this device).
  void OpenUnsaved(const LineSettings& settings, ErrorCase& result);
  bool IsOpen();
  void Close(ErrorCase& result);

  void SetParam(ParamType type, const std::string& value) override;
  std::string GetParam(ParamType type, ErrorCase& result);
  std::string GetInputParam(ParamType type, ErrorCase& result) override;

  // The device's public command entry: mapping, protocol and model checks, then RunCommand.
  void ExecuteCommand(Command command, ErrorCase& result);
  std::string GetProtocol() const override;
  std::shared_ptr<Connection> GetConnection() override;
  // Whether a line is open now (no log line, unlike IsOpen).
  bool HasOpenLine() const;
  // The logic device's name, else the end point: how log lines name this scale.
  std::string LineName() const;
  // One fresh status exchange, as a typed reading: the protocol's status command (each
  // protocol's in turn while the protocol is still "auto"). A reply whose weight is no number
  // gives DeviceResponseIncorrectFormat.
  WeightReading ReadStatus(ErrorCase& result) override;
  Weighing& GetWeighing() { return weighing_; }
  // The model the scale reported at open; empty where the protocol does not tell.
  std::string ReportedModel() const;
  // ExecuteCommand for the protocols' own use (the stability wait, detection): the outputs come
  // back as well.
  OutputValues RunOtherCommand(Command command, ErrorCase& result) override;

  int AddLogicDevice(ErrorCase& result);
  void DeleteLogicDevice(int id, ErrorCase& result);
  void SetCurrentLogicDeviceID(const int& id, ErrorCase& result);
  int GetCurrentLogicDeviceID(ErrorCase& result);
  void SetLogicDeviceParam(const int& id, LogicDeviceParamType type, const std::string& value, ErrorCase& result);
  std::string GetLogicDeviceParam(const int& id, LogicDeviceParamType type, ErrorCase& result);
  std::vector<int> GetAllSortedLogiDeviceID(ErrorCase& result);

  // Runs a command without the checks of ExecuteCommand (used by Open); the outputs it stored.
  OutputValues RunCommand(Command command, ErrorCase& result);

  // First run of decimal digits of each text must agree; "auto" always matches.
  static bool IsModelMatching(const std::string& model, const std::string& reportedModel);

 private:
  // The steps of Open, in order.
  // `savedAs`: the logic device the settings came from, which detection and the model read
  // update; none for a line opened from given settings.
  void LoadConnectionSettings(int logicDeviceId, ErrorCase& result);
  void OpenWithSettings(std::optional<int> savedAs, ErrorCase& result);
  void CheckConnectionSettings(ErrorCase& result);
  void OpenLine(ErrorCase& result);
  void OpenSerial(ErrorCase& result);
  void DetectProtocol(std::optional<int> savedAs, ErrorCase& result);
  void ReadModel(std::optional<int> savedAs, ErrorCase& result);
  // Closes and forgets the line: the device reads as closed and commands give ConnectionError.
  void LetGoOfLine();
  // A failed command leaves none of its outputs behind.
  void ClearOutputsOf(Command command);

  Parameters parameters_;
  std::string connectionType_;
  std::string endPoint_;
  std::string baudRate_;
  std::string model_;
  std::string protocol_;
  std::shared_ptr<Connection> connection_;
  std::string reportedModel_;
  std::string lineName_;  // the logic device's name, where it has one
  std::unique_ptr<LogicDeviceManager> logicDevices_;
  // The reading of the last status command that succeeded (kept by RunCommand).
  std::optional<WeightReading> lastReading_;
  Weighing weighing_;
};

}  // namespace Korvalt::Ponderix::Driver
