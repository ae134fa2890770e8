// What users feel most: Device::Open with the protocol "auto" against an instantly answering
// simulated scale of each protocol (pseudo-terminal, 9600 baud: a read waits up to 500 ms).
// Beside each time stands the sum of the read time-outs the order of attempts implies:
// POS status, OKA status, CAS-M-Active listening, CAS-M status, and the serial-number question
// for POS and CAS-M scales. Also the cost of one POS status command through the device beside
// the bare byte exchange.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/device/device.hpp"
#include "driver/logging/logging.hpp"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"

namespace {

using namespace Korvalt::Ponderix::Driver;

// Failed attempts before the protocol is known, each one read time-out of 500 ms.
const std::map<std::string, int> kTimeOutsImplied{
    {"POS2MProV1", 0},    // POS answers, and so does its serial number
    {"POS2M", 1},         // the serial-number question goes unanswered
    {"OKA", 1},           // POS handshake
    {"CAS-M-Active", 2},  // POS handshake, OKA
    {"CAS-M ProV1", 3},   // POS status (the CAS-M scale answers the ENQ), OKA, CAS-M-Active
    {"CAS-M", 4},         // the same, and the serial-number question
};

void UseTemporaryAppData() {
  static bool done = false;
  if (done) return;
  char folder[] = "/tmp/bench-auto-open-XXXXXX";
  if (::mkdtemp(folder) != nullptr) ::setenv("APPDATA", folder, 1);
  done = true;
}

void OpenAuto(benchmark::State& state, const std::string& protocol) {
  UseTemporaryAppData();
  Logging::SetMode(2);
  auto scale = Scalesim::MakeScaleState();
  std::shared_ptr<Scalesim::Responder> responder = Scalesim::MakeProtocolResponder(protocol, scale);
  auto simulator = Scalesim::Simulator::StartPty(responder);
  for (auto _ : state) {
    Device device;
    ErrorCase result = ErrorCase::Correct;
    const int id = device.AddLogicDevice(result);
    const std::pair<LogicDeviceParamType, std::string> settings[] = {
        {LogicDeviceParamType::Name, "bench"},      {LogicDeviceParamType::ConnectionType, "Serial Port"},
        {LogicDeviceParamType::EndPoint, simulator->Path()}, {LogicDeviceParamType::BaudRate, "9600"},
        {LogicDeviceParamType::Model, "auto"},      {LogicDeviceParamType::Protocol, "auto"},
    };
    for (const auto& [type, value] : settings) device.SetLogicDeviceParam(id, type, value, result);
    device.Open(id, result);
    if (result != ErrorCase::Correct || device.GetProtocol() != protocol) {
      state.SkipWithError(("detected " + device.GetProtocol()).c_str());
      break;
    }
    device.DeleteLogicDevice(id, result);
  }
  state.counters["implied_timeouts_ms"] = kTimeOutsImplied.at(protocol) * 500.0;
}

BENCHMARK_CAPTURE(OpenAuto, POS2MProV1, std::string("POS2MProV1"))->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(OpenAuto, POS2M, std::string("POS2M"))->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(OpenAuto, OKA, std::string("OKA"))->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(OpenAuto, CAS_M_Active, std::string("CAS-M-Active"))->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(OpenAuto, CAS_M_ProV1, std::string("CAS-M ProV1"))->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(OpenAuto, CAS_M, std::string("CAS-M"))->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// One POS status command (ENQ handshake, then the status frame) through Device::ExecuteCommand,
// with the log at trace (0) or warning (2), beside the same two exchanges over bare read/write.
void PosStatusThroughDevice(benchmark::State& state, int logMode) {
  UseTemporaryAppData();
  Logging::SetMode(logMode);
  auto scale = Scalesim::MakeScaleState();
  std::shared_ptr<Scalesim::Responder> responder = Scalesim::MakeProtocolResponder("POS2M", scale);
  auto simulator = Scalesim::Simulator::StartPty(responder);
  Device device;
  ErrorCase result = ErrorCase::Correct;
  const int id = device.AddLogicDevice(result);
  const std::pair<LogicDeviceParamType, std::string> settings[] = {
      {LogicDeviceParamType::Name, "bench"},      {LogicDeviceParamType::ConnectionType, "Serial Port"},
      {LogicDeviceParamType::EndPoint, simulator->Path()}, {LogicDeviceParamType::BaudRate, "9600"},
      {LogicDeviceParamType::Model, "auto"},      {LogicDeviceParamType::Protocol, "POS2M"},
  };
  for (const auto& [type, value] : settings) device.SetLogicDeviceParam(id, type, value, result);
  device.Open(id, result);
  if (result != ErrorCase::Correct) {
    state.SkipWithError("cannot open");
    return;
  }
  for (auto _ : state) {
    device.ExecuteCommand(Command::StatusOfWeightChannel, result);
    if (result != ErrorCase::Correct) {
      state.SkipWithError("status failed");
      break;
    }
  }
  Logging::SetMode(2);
}

// Reads until `complete` accepts what came; false after 500 ms of silence.
template <typename Complete>
bool ReadBare(int fd, std::vector<std::uint8_t>& reply, Complete complete) {
  std::uint8_t buffer[256];
  while (!complete(reply)) {
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 500) <= 0) return false;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    reply.insert(reply.end(), buffer, buffer + n);
  }
  return true;
}

void PosStatusBare(benchmark::State& state) {
  auto scale = Scalesim::MakeScaleState();
  std::shared_ptr<Scalesim::Responder> responder = Scalesim::MakeProtocolResponder("POS2M", scale);
  auto simulator = Scalesim::Simulator::StartPty(responder);
  const int fd = ::open(simulator->Path().c_str(), O_RDWR | O_NOCTTY);
  termios attributes{};
  ::tcgetattr(fd, &attributes);
  ::cfmakeraw(&attributes);
  ::tcsetattr(fd, TCSANOW, &attributes);
  const std::uint8_t enq = 0x05;
  const std::uint8_t status[] = {0x02, 0x05, 0x3A, 0x30, 0x30, 0x33, 0x30, 0x3C};
  for (auto _ : state) {
    std::vector<std::uint8_t> reply;
    bool ok = ::write(fd, &enq, 1) == 1 && ReadBare(fd, reply, [](const auto& r) { return !r.empty(); });
    reply.clear();
    ok = ok && ::write(fd, status, sizeof status) == static_cast<ssize_t>(sizeof status) &&
         ReadBare(fd, reply, [](const auto& r) { return r.size() >= 3 && r.size() >= r[2] + 4u; });
    if (!ok) {
      state.SkipWithError("bare exchange failed");
      break;
    }
  }
  ::close(fd);
}

BENCHMARK(PosStatusBare)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(PosStatusThroughDevice, log_warning, 2)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_CAPTURE(PosStatusThroughDevice, log_trace, 0)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
