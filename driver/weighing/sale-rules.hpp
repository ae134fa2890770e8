// What a checkout may sell by: the status of one reading and the decision on a sale weight,
// as plain functions of the reading, the limits and the zero-return interlock. The numbers are
// those of the C interface (statuses of the point-of-sale device standards, refusals 101..106).
#pragma once

#include <cstdint>
#include <optional>

#include "driver/vocabulary/weight-reading.hpp"

namespace Korvalt::Ponderix::Driver {

enum class ReadingStatus {
  Stable = 11,       // settled, above zero, not below the minimum
  Unstable = 12,     // not settled (also a scale that reads 0 while settling)
  Zero = 13,         // settled within half a division of zero (exactly 0 where it is unknown)
  Overload = 14,     // the overload flag, or beyond maximum + 9 divisions
  NotReady = 15,     // no answer
  UnderZero = 16,    // settled below zero
  Underweight = 17,  // settled, above zero, below the minimum
};

enum class SaleRefusal {
  None = 0,
  Unstable = 101,
  UnderZero = 102,
  Overload = 103,
  BelowMinimum = 104,
  SameWeight = 105,
  Zero = 106,
};

// [mg]; 0 where unknown, and a check whose limit is unknown is skipped.
struct SaleLimits {
  std::int64_t minimumMg = 0;
  std::int64_t maximumMg = 0;
  std::int64_t divisionMg = 0;
};

// A stability the protocol does not report counts as not settled: no sale on a guess.
bool IsSettled(const WeightReading& reading);
bool IsOverload(const WeightReading& reading, const SaleLimits& limits);
bool IsZero(const WeightReading& reading, const SaleLimits& limits);

// Status of a reading that came: overload, not settled, under zero, zero, below the minimum,
// stable (the first that applies).
ReadingStatus Classify(const WeightReading& reading, const SaleLimits& limits);

// The zero-return interlock: after a sale weight of `lastSaleMg`, a settled weight within five
// divisions of it (inclusive; the same milligrams where the division is unknown) is the same
// load still on the platform.
bool IsSameLoad(std::int64_t weightMg, std::int64_t lastSaleMg, const SaleLimits& limits);

// The decision on the last reading of a sale read, in order: overload, not settled, under
// zero, zero, below the minimum, the same load (while the interlock holds `lastSaleMg`).
SaleRefusal Decide(const WeightReading& reading, const SaleLimits& limits, std::optional<std::int64_t> lastSaleMg);

// "unstable", "under_zero", ...: the refusal as statistics name it.
const char* RefusalKey(SaleRefusal refusal);

}  // namespace Korvalt::Ponderix::Driver
