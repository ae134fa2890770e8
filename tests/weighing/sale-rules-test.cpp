// The status of a reading and the decision on a sale weight, on values.
#include <gtest/gtest.h>

#include "driver/weighing/sale-rules.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

WeightReading Reading(std::int64_t mg, Flag stable, Flag overload = Flag::Unknown) {
  WeightReading reading;
  reading.weightMg = mg;
  reading.stable = stable;
  reading.overload = overload;
  return reading;
}

constexpr SaleLimits kUnknown{};
// 15 kg, 5 g divisions, 100 g minimum.
constexpr SaleLimits kRetail{100000, 15000000, 5000};

TEST(SaleRules, StatusAndDecisionFirstThatApplies) {
  struct Case {
    WeightReading reading;
    SaleLimits limits;
    ReadingStatus status;
    SaleRefusal refusal;
  } cases[] = {
      {Reading(1250000, Flag::Yes), kRetail, ReadingStatus::Stable, SaleRefusal::None},
      {Reading(1250000, Flag::No), kRetail, ReadingStatus::Unstable, SaleRefusal::Unstable},
      // A stability the protocol does not report is no settled weight.
      {Reading(1250000, Flag::Unknown), kRetail, ReadingStatus::Unstable, SaleRefusal::Unstable},
      // Overload wins over motion, by the flag or beyond maximum + 9 divisions.
      {Reading(0, Flag::No, Flag::Yes), kRetail, ReadingStatus::Overload, SaleRefusal::Overload},
      {Reading(15045000, Flag::Yes), kRetail, ReadingStatus::Stable, SaleRefusal::None},
      {Reading(15045001, Flag::No), kRetail, ReadingStatus::Overload, SaleRefusal::Overload},
      {Reading(99000000, Flag::Yes), kUnknown, ReadingStatus::Stable, SaleRefusal::None},
      // Zero within half a division; beyond it below zero is under zero.
      {Reading(-2500, Flag::Yes), kRetail, ReadingStatus::Zero, SaleRefusal::Zero},
      {Reading(2500, Flag::Yes), kRetail, ReadingStatus::Zero, SaleRefusal::Zero},
      {Reading(-2501, Flag::Yes), kRetail, ReadingStatus::UnderZero, SaleRefusal::UnderZero},
      {Reading(-1, Flag::Yes), kUnknown, ReadingStatus::UnderZero, SaleRefusal::UnderZero},
      {Reading(0, Flag::Yes), kUnknown, ReadingStatus::Zero, SaleRefusal::Zero},
      // A scale that reads 0 while settling is settling, not empty.
      {Reading(0, Flag::No, Flag::No), kRetail, ReadingStatus::Unstable, SaleRefusal::Unstable},
      {Reading(99999, Flag::Yes), kRetail, ReadingStatus::Underweight, SaleRefusal::BelowMinimum},
      {Reading(100000, Flag::Yes), kRetail, ReadingStatus::Stable, SaleRefusal::None},
      {Reading(1, Flag::Yes), kUnknown, ReadingStatus::Stable, SaleRefusal::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Classify(c.reading, c.limits), c.status) << c.reading.weightMg;
    EXPECT_EQ(Decide(c.reading, c.limits, std::nullopt), c.refusal) << c.reading.weightMg;
  }
}

TEST(SaleRules, ZeroReturnHoldsWithinFiveDivisions) {
  struct Case {
    std::int64_t weightMg;
    SaleLimits limits;
    SaleRefusal refusal;
  } cases[] = {
      {1250000, kRetail, SaleRefusal::SameWeight}, {1275000, kRetail, SaleRefusal::SameWeight},
      {1225000, kRetail, SaleRefusal::SameWeight}, {1275001, kRetail, SaleRefusal::None},
      {1250000, kUnknown, SaleRefusal::SameWeight}, {1250001, kUnknown, SaleRefusal::None},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Decide(Reading(c.weightMg, Flag::Yes), c.limits, 1250000), c.refusal) << c.weightMg;
  }
  // Every other refusal comes first.
  EXPECT_EQ(Decide(Reading(1250000, Flag::No), kRetail, 1250000), SaleRefusal::Unstable);
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
