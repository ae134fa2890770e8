#include "driver/weighing/sale-rules.hpp"

namespace Korvalt::Ponderix::Driver {

bool IsSettled(const WeightReading& reading) { return reading.stable == Flag::Yes; }

bool IsOverload(const WeightReading& reading, const SaleLimits& limits) {
  if (reading.overload == Flag::Yes) return true;
  // Legal-for-trade scales show up to nine divisions beyond their maximum.
  return limits.maximumMg > 0 && reading.weightMg > limits.maximumMg + 9 * limits.divisionMg;
}

bool IsZero(const WeightReading& reading, const SaleLimits& limits) {
  const std::int64_t magnitude = reading.weightMg < 0 ? -reading.weightMg : reading.weightMg;
  return limits.divisionMg > 0 ? 2 * magnitude <= limits.divisionMg : magnitude == 0;
}

namespace {

bool IsUnderZero(const WeightReading& reading, const SaleLimits& limits) {
  return reading.weightMg < 0 && !IsZero(reading, limits);
}

bool IsBelowMinimum(const WeightReading& reading, const SaleLimits& limits) {
  return limits.minimumMg > 0 && reading.weightMg < limits.minimumMg;
}

}  // namespace

ReadingStatus Classify(const WeightReading& reading, const SaleLimits& limits) {
  if (IsOverload(reading, limits)) return ReadingStatus::Overload;
  if (!IsSettled(reading)) return ReadingStatus::Unstable;
  if (IsUnderZero(reading, limits)) return ReadingStatus::UnderZero;
  if (IsZero(reading, limits)) return ReadingStatus::Zero;
  if (IsBelowMinimum(reading, limits)) return ReadingStatus::Underweight;
  return ReadingStatus::Stable;
}

bool IsSameLoad(std::int64_t weightMg, std::int64_t lastSaleMg, const SaleLimits& limits) {
  const std::int64_t difference = weightMg > lastSaleMg ? weightMg - lastSaleMg : lastSaleMg - weightMg;
  return difference <= 5 * limits.divisionMg;
}

SaleRefusal Decide(const WeightReading& reading, const SaleLimits& limits, std::optional<std::int64_t> lastSaleMg) {
  switch (Classify(reading, limits)) {
    case ReadingStatus::Overload:
      return SaleRefusal::Overload;
    case ReadingStatus::Unstable:
      return SaleRefusal::Unstable;
    case ReadingStatus::UnderZero:
      return SaleRefusal::UnderZero;
    case ReadingStatus::Zero:
      return SaleRefusal::Zero;
    case ReadingStatus::Underweight:
      return SaleRefusal::BelowMinimum;
    default:
      break;
  }
  if (lastSaleMg && IsSameLoad(reading.weightMg, *lastSaleMg, limits)) return SaleRefusal::SameWeight;
  return SaleRefusal::None;
}

const char* RefusalKey(SaleRefusal refusal) {
  switch (refusal) {
    case SaleRefusal::Unstable:
      return "unstable";
    case SaleRefusal::UnderZero:
      return "under_zero";
    case SaleRefusal::Overload:
      return "overload";
    case SaleRefusal::BelowMinimum:
      return "below_minimum";
    case SaleRefusal::SameWeight:
      return "same_weight";
    case SaleRefusal::Zero:
      return "zero";
    default:
      return "none";
  }
}

}  // namespace Korvalt::Ponderix::Driver
