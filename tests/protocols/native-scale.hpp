// A simulated scale on a real pseudo-terminal or a TCP socket on 127.0.0.1, and a device of the
// library opened on it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "driver/device/device.hpp"

namespace NativeTests {

using Korvalt::Ponderix::Driver::Command;
using Korvalt::Ponderix::Driver::ErrorCase;
using Korvalt::Ponderix::Driver::LogicDeviceParamType;
using Korvalt::Ponderix::Driver::ParamType;
// Inside parameterised tests "ParamType" names the test parameter's type.
using Slot = Korvalt::Ponderix::Driver::ParamType;

enum class Line { Pty, Tcp };

struct LogicDevice {
  std::string protocol = "POS2MProV1";
  std::string model = "auto";
  std::string baudRate = "9600";
  std::string connectionType;  // empty: the line's own type
};

inline LogicDevice Settings(const std::string& protocol, const std::string& model = "auto") {
  LogicDevice settings;
  settings.protocol = protocol;
  settings.model = model;
  return settings;
}

// The library's device itself (its internals are linked into the test program).
class SimulatedScale {
 public:
  explicit SimulatedScale(const std::string& responder = "native")
      : state_(Scalesim::MakeScaleState()),
        responder_(std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder(responder, state_))),
        device_(std::make_unique<Korvalt::Ponderix::Driver::Device>()) {}
  ~SimulatedScale() {
    ErrorCase ignored = ErrorCase::Correct;
    device_->Close(ignored);
    device_.reset();
    if (simulator_) simulator_->Stop();
  }

  // Starts the line and describes it as a new logic device; returns the device's identifier.
  int Describe(Line line, const LogicDevice& settings = {}) {
    std::string endPoint;
    std::string type;
    if (line == Line::Pty) {
      simulator_ = Scalesim::Simulator::StartPty(responder_);
      endPoint = simulator_->Path();
      type = "Serial Port";
    } else {
      simulator_ = Scalesim::Simulator::StartTcp(responder_);
      endPoint = "127.0.0.1:" + std::to_string(simulator_->Port());
      type = "TCP";
    }
    ErrorCase result = ErrorCase::Correct;
    int id = device_->AddLogicDevice(result);
    EXPECT_EQ(result, ErrorCase::Correct);
    const std::pair<LogicDeviceParamType, std::string> params[] = {
        {LogicDeviceParamType::Name, "bench scale"},
        {LogicDeviceParamType::ConnectionType, settings.connectionType.empty() ? type : settings.connectionType},
        {LogicDeviceParamType::EndPoint, endPoint},
        {LogicDeviceParamType::BaudRate, settings.baudRate},
        {LogicDeviceParamType::Model, settings.model},
        {LogicDeviceParamType::Protocol, settings.protocol},
    };
    for (const auto& [param, value] : params) {
      device_->SetLogicDeviceParam(id, param, value, result);
      EXPECT_EQ(result, ErrorCase::Correct);
    }
    return id;
  }

  ErrorCase Open(Line line, const LogicDevice& settings = {}) {
    int id = Describe(line, settings);
    ErrorCase result = ErrorCase::Correct;
    device_->Open(id, result);
    return result;
  }

  ErrorCase Run(Command command) {
    ErrorCase result = ErrorCase::Correct;
    device_->ExecuteCommand(command, result);
    return result;
  }
  void Set(Slot type, const std::string& value) { device_->SetParam(type, value); }
  // The output value, or "<not set>" when the device holds none.
  std::string Get(Slot type) {
    ErrorCase result = ErrorCase::Correct;
    std::string value = device_->GetParam(type, result);
    return result == ErrorCase::Correct ? value : "<not set>";
  }
  void Configure(const std::string& key, const std::string& value) {
    ASSERT_TRUE(Scalesim::SetScaleValue(*state_, key, value)) << key << "=" << value;
  }

  // Stops the TCP scale and starts it again on the same port (a converter that rebooted); the
  // library's connection to the old one is left to find out.
  void RestartTcp() {
    const auto port = simulator_->Port();
    simulator_.reset();
    simulator_ = Scalesim::Simulator::StartTcp(responder_, port);
  }
  // The scale is gone for good: its line (and TCP port) closed. Wire() is no more.
  void Remove() { simulator_.reset(); }

  Scalesim::ScaleState& State() { return *state_; }
  Scalesim::Simulator& Wire() { return *simulator_; }
  Korvalt::Ponderix::Driver::Device& Device() { return *device_; }

 private:
  std::shared_ptr<Scalesim::ScaleState> state_;
  std::shared_ptr<Scalesim::Responder> responder_;
  std::unique_ptr<Korvalt::Ponderix::Driver::Device> device_;
  std::unique_ptr<Scalesim::Simulator> simulator_;
};

}  // namespace NativeTests
