// The books a device keeps for weighing: the sale weights it handed out and the zero-return
// interlock, the limits the checks use, and statistics of every exchange. The device feeds it
// each exchange it runs (any caller's), so a reading taken to show the live weight releases the
// interlock as the load comes off. No thread and no lock of its own: the device's call holds it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "driver/api/driver-types.hpp"
#include "driver/vocabulary/output-values.hpp"
#include "driver/vocabulary/weight-reading.hpp"
#include "driver/weighing/sale-rules.hpp"

namespace Korvalt::Ponderix::Driver {

// What weighing needs of the device.
class WeighingContext {
 public:
  virtual ~WeighingContext() = default;
  // One fresh status exchange in the device's protocol, typed.
  virtual WeightReading ReadStatus(ErrorCase& result) = 0;
  // A command with the device's checks; its outputs.
  virtual OutputValues RunOtherCommand(Command command, ErrorCase& result) = 0;
  virtual void SetParam(ParamType type, const std::string& value) = 0;
  virtual std::string GetProtocol() const = 0;
};

struct SaleWeight {
  WeightReading reading;
  std::uint64_t sequence = 0;  // 0 on a refusal
  std::int64_t takenAtMs = 0;  // wall-clock time of the exchange, Unix epoch [ms]
  SaleLimits limits;
  ReadingStatus status = ReadingStatus::NotReady;
};

struct WeighingStatistics {
  std::uint64_t exchanges = 0;
  std::uint64_t failedExchanges = 0;
  std::map<ErrorCase, std::uint64_t> failedBy;
  std::uint64_t timeouts = 0;
  std::uint64_t reconnects = 0;
  std::uint64_t saleWeights = 0;
  std::map<SaleRefusal, std::uint64_t> refused;
};

class Weighing {
 public:
  // Every exchange the device ran on its line: `reading` for a status exchange that succeeded,
  // `reopens` the times the line was reopened during it. `line` names the device in log lines.
  void RecordExchange(Command command, const std::string& protocol, ErrorCase result, std::uint64_t reopens,
                      const WeightReading* reading, const std::string& line);
  // The line was closed or opened anew: the interlock and the scale's own limits go (the
  // sequence and the statistics stay).
  void Forget();

  // Readings back to back until one is settled or `timeoutMs` has passed (0: one exchange);
  // the decision on the last. `refusal` is None for a sale weight. A failed exchange gives its
  // result, `out.status` NotReady.
  ErrorCase ReadSaleWeight(WeighingContext& context, int timeoutMs, const std::string& line, SaleWeight& out,
                           SaleRefusal& refusal);
  ErrorCase GetStatus(WeighingContext& context, ReadingStatus& status, WeightReading& reading);
  // Readings until the status differs from `lastStatus` (0: at once); BoostTimeOut with the
  // current status when `timeoutMs` passes first.
  ErrorCase WaitStatus(WeighingContext& context, int lastStatus, int timeoutMs, ReadingStatus& status,
                       WeightReading& reading);
  // 0: the scale's (where the protocol reports it); negative: ParamValueUnsupported.
  void SetLimits(const SaleLimits& limits, ErrorCase& result);
  // Milligrams to the protocol's own tare input: whole grams, a whole number of divisions where
  // the division is known, not negative.
  void SpecifyTare(WeighingContext& context, std::int64_t tareMg, ErrorCase& result);

  // The limits the checks use now.
  SaleLimits Limits() const;
  const WeighingStatistics& Statistics() const { return statistics_; }
  ErrorCase LastResult() const { return lastResult_; }

 private:
  // The scale's maximum and division, asked once per line where the scale answers the native
  // protocol.
  void ReadScaleLimits(WeighingContext& context);

  SaleLimits callerLimits_;
  std::optional<SaleLimits> scaleLimits_;
  std::optional<std::int64_t> lastSaleMg_;  // the interlock, while set
  std::uint64_t sequence_ = 0;
  ErrorCase lastResult_ = ErrorCase::Correct;
  WeighingStatistics statistics_;
};

}  // namespace Korvalt::Ponderix::Driver
