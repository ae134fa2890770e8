// A simulated scale on a real pseudo-terminal or a TCP socket on 127.0.0.1, and a device of the
// library opened on it through a logic device: the one fixture of the protocol and device tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "driver/device/device.hpp"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"

namespace ScaleTests {

using namespace Korvalt::Ponderix::Driver;
// Inside parameterised tests "ParamType" names the test parameter's type.
using Slot = Korvalt::Ponderix::Driver::ParamType;

enum class Line { Pty, Tcp };
inline void PrintTo(Line line, std::ostream* out) { *out << (line == Line::Pty ? "pseudo-terminal" : "TCP"); }
// The line in a test's name.
inline std::string LineName(Line line) { return line == Line::Pty ? "Pty" : "Tcp"; }

struct LogicDevice {
  std::string protocol = "POS2MProV1";
  std::string model = "auto";
  std::string baudRate = "9600";
  std::string connectionType;  // empty: the line's own type
};

inline LogicDevice Settings(const std::string& protocol, const std::string& model = "auto",
                            const std::string& baudRate = "9600") {
  LogicDevice settings;
  settings.protocol = protocol;
  settings.model = model;
  settings.baudRate = baudRate;
  return settings;
}

// The library's device itself (its internals are linked into the test program).
class SimulatedScale {
 public:
  // `responder`: the protocol the scale speaks ("native", "silent", a protocol name). `presets`:
  // scale settings made before the line starts (a self-transmitting scale's frame interval).
  explicit SimulatedScale(const std::string& responder = "native", Line line = Line::Pty,
                          const std::vector<std::pair<std::string, std::string>>& presets = {})
      : state_(Scalesim::MakeScaleState()), line_(line), device_(std::make_unique<Korvalt::Ponderix::Driver::Device>()) {
    for (const auto& [key, value] : presets) {
      if (!Scalesim::SetScaleValue(*state_, key, value)) throw std::logic_error("bad scale setting " + key);
    }
    responder_ = Scalesim::MakeProtocolResponder(responder, state_);
    if (!responder_) throw std::logic_error("no responder for " + responder);
  }
  ~SimulatedScale() {
    ErrorCase ignored = ErrorCase::Correct;
    device_->Close(ignored);
    device_.reset();
    if (simulator_) simulator_->Stop();
  }

  // The line; started on first use, on the line given at construction.
  Scalesim::Simulator& Wire() {
    if (!simulator_) StartLine(line_);
    return *simulator_;
  }
  void ChangeFaults(const std::function<void(Scalesim::LineFaults&)>& change) {
    auto faults = Wire().GetFaults();
    change(faults);
    Wire().SetFaults(faults);
  }

  // Starts the scale on `line` afresh and describes it as a new logic device; returns its id.
  int Describe(Line line, const LogicDevice& settings = {}) {
    StartLine(line);
    return DescribeWire(settings);
  }
  ErrorCase Open(Line line, const LogicDevice& settings = {}) { return OpenId(Describe(line, settings)); }
  // On the line given at construction (started if need be).
  ErrorCase Open(const std::string& protocol, const std::string& model = "auto", const std::string& baud = "9600") {
    Wire();
    return OpenId(DescribeWire(Settings(protocol, model, baud)));
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
  // A setting of the logic device the last Describe or Open made.
  std::string Stored(LogicDeviceParamType type) {
    ErrorCase result = ErrorCase::Correct;
    return device_->GetLogicDeviceParam(id_, type, result);
  }

  void Configure(const std::string& key, const std::string& value) {
    ASSERT_TRUE(Scalesim::SetScaleValue(*state_, key, value)) << key << "=" << value;
  }
  int Count(const std::string& kind) const { return state_->RequestCount(kind); }
  // One-way commands return once written; the scale takes them a moment later.
  bool WaitForCount(const std::string& kind, int count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Count(kind) < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Count(kind) == count;
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
  Korvalt::Ponderix::Driver::Device& Device() { return *device_; }

 private:
  void StartLine(Line line) {
    line_ = line;
    simulator_ = line == Line::Pty ? Scalesim::Simulator::StartPty(responder_) : Scalesim::Simulator::StartTcp(responder_);
  }

  int DescribeWire(const LogicDevice& settings) {
    const bool pty = line_ == Line::Pty;
    const std::string endPoint = pty ? simulator_->Path() : "127.0.0.1:" + std::to_string(simulator_->Port());
    ErrorCase result = ErrorCase::Correct;
    id_ = device_->AddLogicDevice(result);
    EXPECT_EQ(result, ErrorCase::Correct);
    const std::pair<LogicDeviceParamType, std::string> params[] = {
        {LogicDeviceParamType::Name, "bench scale"},
        {LogicDeviceParamType::ConnectionType,
         settings.connectionType.empty() ? (pty ? "Serial Port" : "TCP") : settings.connectionType},
        {LogicDeviceParamType::EndPoint, endPoint},
        {LogicDeviceParamType::BaudRate, settings.baudRate},
        {LogicDeviceParamType::Model, settings.model},
        {LogicDeviceParamType::Protocol, settings.protocol},
    };
    for (const auto& [param, value] : params) {
      device_->SetLogicDeviceParam(id_, param, value, result);
      EXPECT_EQ(result, ErrorCase::Correct);
    }
    return id_;
  }

  ErrorCase OpenId(int id) {
    ErrorCase result = ErrorCase::Correct;
    device_->Open(id, result);
    return result;
  }

  std::shared_ptr<Scalesim::ScaleState> state_;
  std::shared_ptr<Scalesim::Responder> responder_;
  Line line_;
  std::unique_ptr<Korvalt::Ponderix::Driver::Device> device_;
  std::unique_ptr<Scalesim::Simulator> simulator_;
  int id_ = 0;
};

}  // namespace ScaleTests
