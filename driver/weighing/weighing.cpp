#include "driver/weighing/weighing.hpp"

#include <chrono>

#include "common/text-template.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/native-protocol.hpp"
#include "driver/protocols/protocol-table.hpp"
#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("weighing");

using Clock = std::chrono::steady_clock;
using Text::Fill;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string LimitsText(const SaleLimits& limits) {
  return Fill("minimum @ mg, maximum @ mg, division @ mg", limits.minimumMg, limits.maximumMg, limits.divisionMg);
}

// The commands that zero the scale or set a tare: the protocol's own for the generic ones.
bool ZeroesOrTares(Command command, const std::string& protocol) {
  for (Command generic : {Command::SetZero, Command::SetTare, Command::SpecifyTare}) {
    if (command == generic || command == MapToProtocol(generic, protocol)) return true;
  }
  return false;
}

bool IsAutoCommand(Command command) {
  return command == Command::GetProtocolAuto || command == Command::StatusOfWeightChannelAuto;
}

}  // namespace

void Weighing::RecordExchange(Command command, const std::string& protocol, ErrorCase result, std::uint64_t reopens,
                              const WeightReading* reading, const std::string& line) {
  // The automatic commands run other commands, which are counted themselves.
  if (IsAutoCommand(command)) return;
  ++statistics_.exchanges;
  statistics_.reconnects += reopens;
  lastResult_ = result;
  if (result != ErrorCase::Correct) {
    ++statistics_.failedExchanges;
    ++statistics_.failedBy[result];
    if (result == ErrorCase::BoostTimeOut) ++statistics_.timeouts;
    return;
  }
  if (reading) {
    const ReadingStatus status = Classify(*reading, Limits());
    // The platform seen emptied: the next load is a new item.
    if (status == ReadingStatus::Zero || status == ReadingStatus::UnderZero) lastSaleMg_.reset();
    return;
  }
  if (ZeroesOrTares(command, protocol)) {
    lastSaleMg_.reset();
    kLog.Info(Fill("Weighing, @ done on @", ToString(command), line));
  }
}

void Weighing::Forget() {
  lastSaleMg_.reset();
  scaleLimits_.reset();
}

SaleLimits Weighing::Limits() const {
  const SaleLimits scale = scaleLimits_.value_or(SaleLimits{});
  SaleLimits limits;
  limits.maximumMg = callerLimits_.maximumMg ? callerLimits_.maximumMg : scale.maximumMg;
  limits.divisionMg = callerLimits_.divisionMg ? callerLimits_.divisionMg : scale.divisionMg;
  // Retail scales may not sell below 20 divisions.
  limits.minimumMg = callerLimits_.minimumMg ? callerLimits_.minimumMg : 20 * limits.divisionMg;
  return limits;
}

void Weighing::SetLimits(const SaleLimits& limits, ErrorCase& result) {
  if (limits.minimumMg < 0 || limits.maximumMg < 0 || limits.divisionMg < 0) {
    result = ErrorCase::ParamValueUnsupported;
    return;
  }
  callerLimits_ = limits;
}

void Weighing::ReadScaleLimits(WeighingContext& context) {
  if (scaleLimits_) return;
  scaleLimits_ = SaleLimits{};
  const ProtocolRow* row = FindProtocol(context.GetProtocol());
  if (row == nullptr || !AnswersNative(*row)) return;
  // The maximum comes in kilograms ("15"); the division as the index of the scale's table of
  // divisions ("1" is 2 g). A scale that does not answer leaves the limit unknown.
  ErrorCase result = ErrorCase::Correct;
  OutputValues outputs = context.RunOtherCommand(Command::GetMaxWeight, result);
  std::int64_t mg = 0;
  if (result == ErrorCase::Correct && ToMilligrams(outputs[ParamType::MaxWeight], "kg", mg) && mg > 0) {
    scaleLimits_->maximumMg = mg;
  }
  result = ErrorCase::Correct;
  outputs = context.RunOtherCommand(Command::GetDiscret, result);
  std::string grams;
  if (result == ErrorCase::Correct && DiscretFromIndex(outputs[ParamType::Discret], grams) &&
      ToMilligrams(grams, "g", mg)) {
    scaleLimits_->divisionMg = mg;
  }
}

ErrorCase Weighing::ReadSaleWeight(WeighingContext& context, int timeoutMs, const std::string& line, SaleWeight& out,
                                   SaleRefusal& refusal) {
  out = SaleWeight{};
  refusal = SaleRefusal::None;
  ReadScaleLimits(context);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ErrorCase result = ErrorCase::Correct;
    WeightReading reading = context.ReadStatus(result);
    if (result != ErrorCase::Correct) {
      out = SaleWeight{};
      return result;
    }
    out.reading = std::move(reading);
    out.takenAtMs = NowMs();
    // Overload ends the wait at once; a settled reading is the one to decide on.
    if (IsOverload(out.reading, Limits()) || IsSettled(out.reading) || Clock::now() >= deadline) break;
  }
  out.limits = Limits();
  out.status = Classify(out.reading, out.limits);
  refusal = Decide(out.reading, out.limits, lastSaleMg_);
  if (refusal != SaleRefusal::None) {
    ++statistics_.refused[refusal];
    kLog.Info(Fill("Weighing, sale weight refused (@): @ mg on @, @", RefusalKey(refusal), out.reading.weightMg, line,
                   LimitsText(out.limits)));
    return ErrorCase::Correct;
  }
  out.sequence = ++sequence_;
  ++statistics_.saleWeights;
  lastSaleMg_ = out.reading.weightMg;
  kLog.Info(Fill("Weighing, sale weight @: @ mg on @, @", out.sequence, out.reading.weightMg, line,
                 LimitsText(out.limits)));
  return ErrorCase::Correct;
}

ErrorCase Weighing::GetStatus(WeighingContext& context, ReadingStatus& status, WeightReading& reading) {
  ErrorCase result = ErrorCase::Correct;
  reading = context.ReadStatus(result);
  status = result == ErrorCase::Correct ? Classify(reading, Limits()) : ReadingStatus::NotReady;
  if (result != ErrorCase::Correct) reading = WeightReading{};
  return result;
}

ErrorCase Weighing::WaitStatus(WeighingContext& context, int lastStatus, int timeoutMs, ReadingStatus& status,
                               WeightReading& reading) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const ErrorCase result = GetStatus(context, status, reading);
    if (lastStatus == 0 || static_cast<int>(status) != lastStatus) return result;
    if (Clock::now() >= deadline) return ErrorCase::BoostTimeOut;
  }
}

void Weighing::SpecifyTare(WeighingContext& context, std::int64_t tareMg, ErrorCase& result) {
  const ProtocolRow* row = FindProtocol(context.GetProtocol());
  if (row == nullptr || !Maps(*row, Command::SpecifyTare)) {
    result = ErrorCase::CommandUnsupported;
    return;
  }
  const SaleLimits limits = Limits();
  // Every protocol's tare input counts whole grams (POS as a number, OKA as its digits).
  if (tareMg < 0 || tareMg % 1000 != 0 || (limits.divisionMg > 0 && tareMg % limits.divisionMg != 0)) {
    result = ErrorCase::ParamValueUnsupported;
    return;
  }
  context.SetParam(ParamType::Tare, std::to_string(tareMg / 1000));
  context.RunOtherCommand(Command::SpecifyTare, result);
}

}  // namespace Korvalt::Ponderix::Driver
