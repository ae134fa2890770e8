// A simulated scale of a chosen protocol on a pseudo-terminal or on 127.0.0.1, and a Device
// opened on it through a logic device, for the weighing-protocol tests. The simulator's scale
// state and its line are reached through auto-scale-state.cpp and auto-scale-line.cpp only.
#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <thread>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "driver/device/device.hpp"
#include "simulator/responder.hpp"

namespace Scalesim {
class ScaleState;
}

namespace WeighingTests {

using namespace Korvalt::Ponderix::Driver;

enum class Line { Pty, Tcp };
inline void PrintTo(Line line, std::ostream* out) { *out << (line == Line::Pty ? "pseudo-terminal" : "TCP"); }
// Inside parameterised tests ParamType names the test parameter.
using Param = Korvalt::Ponderix::Driver::ParamType;

// auto-scale-state.cpp
std::shared_ptr<Scalesim::ScaleState> NewScaleState();
std::shared_ptr<Scalesim::Responder> NewResponder(const std::string& protocol,
                                                  const std::shared_ptr<Scalesim::ScaleState>& state);
bool SetScale(Scalesim::ScaleState& state, const std::string& key, const std::string& value);
void SetNative(Scalesim::ScaleState& state, const std::string& keyword, const std::string& value);
int CountOf(const Scalesim::ScaleState& state, const std::string& kind);
long long TareOf(const Scalesim::ScaleState& state);
long long WeightOf(const Scalesim::ScaleState& state);

// auto-scale-line.cpp
class SimulatedLine;
std::shared_ptr<SimulatedLine> StartLine(std::shared_ptr<Scalesim::Responder> responder, Line line);
// The pseudo-terminal's path, or "127.0.0.1:<port>".
std::string EndPointOf(const SimulatedLine& line);
// The pseudo-terminal's line settings as the driver left them.
int BaudOf(const SimulatedLine& line);
int StopBitsOf(const SimulatedLine& line);
// Replies go out in pieces of `size` bytes, `pause` apart (0: whole).
void SetChunking(SimulatedLine& line, std::size_t size, std::chrono::milliseconds pause);
// Every reply starts `delay` after its request (a slow scale).
void SetReplyDelay(SimulatedLine& line, std::chrono::milliseconds delay);

class ScaleOnLine {
 public:
  // `presets` are scale settings made before the line starts (the frame interval of a
  // self-transmitting scale, for one).
  explicit ScaleOnLine(const std::string& scaleProtocol, Line line = Line::Pty,
                       const std::vector<std::pair<std::string, std::string>>& presets = {})
      : state(NewScaleState()), line_(line) {
    for (const auto& [key, value] : presets) {
      if (!SetScale(*state, key, value)) throw std::logic_error("bad scale setting " + key);
    }
    auto responder = NewResponder(scaleProtocol, state);
    if (!responder) throw std::logic_error("no responder for " + scaleProtocol);
    simulator = StartLine(responder, line);
  }

  // Describes the line as a logic device and opens the device on it.
  ErrorCase Open(const std::string& protocol, const std::string& model = "auto", const std::string& baud = "9600") {
    ErrorCase result = ErrorCase::Correct;
    id = device.AddLogicDevice(result);
    if (result != ErrorCase::Correct) return result;
    const std::pair<LogicDeviceParamType, std::string> settings[] = {
        {LogicDeviceParamType::Name, "bench scale"},
        {LogicDeviceParamType::ConnectionType, line_ == Line::Pty ? "Serial Port" : "TCP"},
        {LogicDeviceParamType::EndPoint, EndPointOf(*simulator)},
        {LogicDeviceParamType::BaudRate, baud},
        {LogicDeviceParamType::Model, model},
        {LogicDeviceParamType::Protocol, protocol},
    };
    for (const auto& [type, value] : settings) {
      device.SetLogicDeviceParam(id, type, value, result);
      if (result != ErrorCase::Correct) return result;
    }
    device.Open(id, result);
    return result;
  }

  ErrorCase Run(Command command) {
    ErrorCase result = ErrorCase::Correct;
    device.ExecuteCommand(command, result);
    return result;
  }

  std::string Out(ParamType type) {
    ErrorCase result = ErrorCase::Correct;
    std::string value = device.GetParam(type, result);
    EXPECT_EQ(result, ErrorCase::Correct) << "output " << static_cast<int>(type) << " not set";
    return value;
  }

  std::string Stored(LogicDeviceParamType type) {
    ErrorCase result = ErrorCase::Correct;
    return device.GetLogicDeviceParam(id, type, result);
  }

  void Set(const std::string& key, const std::string& value) {
    ASSERT_TRUE(SetScale(*state, key, value)) << key << "=" << value;
  }

  int Count(const std::string& kind) const { return CountOf(*state, kind); }

  // One-way commands return once written; the scale takes them a moment later.
  bool WaitForCount(const std::string& kind, int count) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (Count(kind) < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Count(kind) == count;
  }

  std::shared_ptr<Scalesim::ScaleState> state;
  std::shared_ptr<SimulatedLine> simulator;
  Device device;
  int id = 0;

 private:
  Line line_;
};

}  // namespace WeighingTests
