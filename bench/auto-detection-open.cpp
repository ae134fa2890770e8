// What users feel most: Device::Open with the protocol "auto" against a simulated scale of each
// protocol on a pseudo-terminal, its replies paced at 9600 baud (a read waits up to 500 ms), a
// slow scale and a silent line. Also the cost of one POS status command through the device
// beside the bare byte exchange.
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

#include "bench/bench-scale.hpp"
#include "driver/device/device.hpp"
#include "driver/logging/logging.hpp"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"

namespace {

using namespace Korvalt::Ponderix::Driver;
using Bench::UseTemporaryAppData;

// One scale for OpenAuto: the protocol it speaks ("silent": none), how long it takes before each
// reply, and whether it paces its replies at 9600 baud as a real line does.
struct BenchScale {
  std::string protocol;
  int delayMs = 0;
};

// Only Device::Open is timed: the logic device is written to the store before and deleted after.
void OpenAuto(benchmark::State& state, const BenchScale& bench) {
  UseTemporaryAppData();
  Logging::SetMode(std::getenv("BENCH_TRACE") ? 0 : 2);  // BENCH_TRACE=1: the whole exchange in the log
  auto scale = Scalesim::MakeScaleState();
  std::shared_ptr<Scalesim::Responder> responder = Scalesim::MakeProtocolResponder(bench.protocol, scale);
  auto simulator = Scalesim::Simulator::StartPty(responder);
  Scalesim::LineFaults faults;
  faults.baud = 9600;
  faults.delay = std::chrono::milliseconds(bench.delayMs);
  simulator->SetFaults(faults);
  const bool silent = bench.protocol == "silent";
  for (auto _ : state) {
    state.PauseTiming();
    Device device;
    ErrorCase result = ErrorCase::Correct;
    const int id = Bench::SaveSerialScale(device, simulator->Path(), kAutomatic);
    state.ResumeTiming();
    device.Open(id, result);
    state.PauseTiming();
    const bool expected = silent ? result != ErrorCase::Correct : result == ErrorCase::Correct &&
                                                                      device.GetProtocol() == bench.protocol;
    if (!expected) {
      state.SkipWithError(("detected " + device.GetProtocol()).c_str());
      break;
    }
    device.DeleteLogicDevice(id, result);
    state.ResumeTiming();
  }
}

#define OPEN_AUTO(label, ...)                                                                        \
  BENCHMARK_CAPTURE(OpenAuto, label, BenchScale{__VA_ARGS__})->Unit(benchmark::kMillisecond)->Iterations(3) \
      ->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime()

OPEN_AUTO(POS2MProV1, "POS2MProV1");
OPEN_AUTO(POS2M, "POS2M");
OPEN_AUTO(OKA, "OKA");
OPEN_AUTO(CAS_M_Active, "CAS-M-Active");
OPEN_AUTO(CAS_M_ProV1, "CAS-M ProV1");
OPEN_AUTO(CAS_M, "CAS-M");
// A scale slower than the quick pass waits, found by the full pass; and a line nothing answers on.
OPEN_AUTO(POS2M_answering_after_200ms, "POS2M", 200);
OPEN_AUTO(silent_line, "silent");

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
  const int id = Bench::SaveSerialScale(device, simulator->Path(), "POS2M");
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
