// Readings in plain numbers from each protocol family's output texts.
#include <gtest/gtest.h>

#include "driver/interface/weight-reading.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using P = ParamType;

TEST(WeightReading, MilligramsFromTheScalesText) {
  struct Case {
    const char* text;
    const char* unit;
    bool ok;
    std::int64_t mg;
  } cases[] = {
      {"1250", "g", true, 1250000},     {"-1.25", "kg", true, -1250000}, {"0.005", "kg", true, 5000},
      {"+2", "lb", true, 907185},       {"1.5", "g", true, 1500},        {"", "kg", false, 0},
      {"1.2.3", "kg", false, 0},        {" 1.2", "kg", false, 0},       {"FFFFFF", "kg", false, 0},
      {"1", "oz", false, 0},            {"99999999999", "kg", false, 0},
  };
  for (const auto& c : cases) {
    std::int64_t mg = -7;
    EXPECT_EQ(ToMilligrams(c.text, c.unit, mg), c.ok) << c.text << " " << c.unit;
    if (c.ok) {
      EXPECT_EQ(mg, c.mg) << c.text << " " << c.unit;
    }
  }
}

TEST(WeightReading, FlagsAreTheOnesEachFamilyReports) {
  WeightReading pos;
  ASSERT_TRUE(MakeWeightReading({{P::Weight, "-20"}, {P::WeightState, "0000000011"}, {P::Tare, "0"},
                                 {P::UnitOfMeasure, "gr"}},
                                pos));
  EXPECT_EQ(pos.weightMg, -20000);
  EXPECT_EQ(pos.stable, Flag::No);
  EXPECT_EQ(pos.overload, Flag::Unknown);
  EXPECT_EQ(pos.net, Flag::No);

  // An overloaded CAS scale sends no number; the flag says why.
  WeightReading cas;
  ASSERT_TRUE(MakeWeightReading({{P::Weight, "FFFFFF"}, {P::WeightState, "0***0*1***"}, {P::UnitOfMeasure, "kg"}},
                                cas));
  EXPECT_EQ(cas.overload, Flag::Yes);
  EXPECT_EQ(cas.weightMg, 0);
  EXPECT_EQ(cas.net, Flag::Unknown);
  EXPECT_FALSE(cas.tareKnown);

  WeightReading oka;
  ASSERT_TRUE(MakeWeightReading({{P::Weight, "0.000"}, {P::WeightState, "0xc0"}, {P::Tare, "0.120"}}, oka));
  EXPECT_EQ(oka.stable, Flag::No);
  EXPECT_EQ(oka.overload, Flag::Yes);
  EXPECT_EQ(oka.net, Flag::Yes);
  EXPECT_EQ(oka.tareMg, 120000);

  // Texts of no family, or a weight that is no number without an overload, make no reading.
  WeightReading untouched;
  untouched.text = "kept";
  EXPECT_FALSE(MakeWeightReading({{P::Weight, "1"}, {P::WeightState, "stable"}}, untouched));
  EXPECT_FALSE(MakeWeightReading({{P::Weight, "x"}, {P::WeightState, "1***1*0***"}, {P::UnitOfMeasure, "kg"}},
                                 untouched));
  EXPECT_EQ(untouched.text, "kept");
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
