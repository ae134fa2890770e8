// A sale weight beside a plain weight read: each against a simulated POS2M scale on a
// pseudo-terminal. The sale weight of a load that settles after N status replies is ready after
// N + 1 exchanges (the "exchanges" counter; "late" counts the exchanges beyond that, which must
// be 0), and its cost per exchange is that of a weight read.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "bench/bench-scale.hpp"
#include "driver/device/device.hpp"
#include "driver/logging/logging.hpp"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"

namespace {

using namespace Korvalt::Ponderix::Driver;

struct BenchScale {
  std::shared_ptr<Scalesim::ScaleState> state = Scalesim::MakeScaleState();
  std::unique_ptr<Scalesim::Simulator> simulator;
  Device device;
  bool open = false;

  BenchScale() {
    Bench::UseTemporaryAppData();
    Logging::SetMode(2);
    simulator = Scalesim::Simulator::StartPty(Scalesim::MakeProtocolResponder("POS2M", state));
    ErrorCase result = ErrorCase::Correct;
    device.Open(Bench::SaveSerialScale(device, simulator->Path(), "POS2M"), result);
    open = result == ErrorCase::Correct;
  }
};

void ReadWeight(benchmark::State& state) {
  BenchScale scale;
  if (!scale.open) return state.SkipWithError("cannot open");
  Scalesim::SetScaleValue(*scale.state, "weight", "1250");
  for (auto _ : state) {
    ErrorCase result = ErrorCase::Correct;
    benchmark::DoNotOptimize(scale.device.ReadStatus(result));
    if (result != ErrorCase::Correct) return state.SkipWithError("read failed");
  }
}

// Each iteration: a new item (its weight differs from the last by more than five divisions, so
// no zero return is needed) that shows unstable for `settlePolls` replies, then settles.
void SaleWeightOnceSettled(benchmark::State& state) {
  BenchScale scale;
  if (!scale.open) return state.SkipWithError("cannot open");
  const auto settlePolls = state.range(0);
  std::uint64_t exchanges = 0;
  std::uint64_t late = 0;
  int item = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Scalesim::SetScaleValue(*scale.state, "weight", std::to_string(1000 + 100 * (item++ % 2)));
    Scalesim::SetScaleValue(*scale.state, "settle-polls", std::to_string(settlePolls));
    const auto before = scale.device.GetWeighing().Statistics().exchanges;
    state.ResumeTiming();
    SaleWeight sale;
    SaleRefusal refusal = SaleRefusal::None;
    const ErrorCase result = scale.device.GetWeighing().ReadSaleWeight(scale.device, 5000, "bench", sale, refusal);
    state.PauseTiming();
    if (result != ErrorCase::Correct || refusal != SaleRefusal::None) return state.SkipWithError("no sale weight");
    const auto taken = scale.device.GetWeighing().Statistics().exchanges - before;
    exchanges += taken;
    late += taken - static_cast<std::uint64_t>(settlePolls + 1);
    state.ResumeTiming();
  }
  state.counters["exchanges"] = benchmark::Counter(static_cast<double>(exchanges), benchmark::Counter::kAvgIterations);
  state.counters["late"] = benchmark::Counter(static_cast<double>(late), benchmark::Counter::kAvgIterations);
}

BENCHMARK(ReadWeight)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(SaleWeightOnceSettled)->Arg(0)->Arg(3)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
