// Weights in milligrams from the scale's text, and the output texts of a reading.
#include <gtest/gtest.h>

#include "driver/vocabulary/weight-reading.hpp"

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

TEST(WeightReading, OutputsAreRenderedOnlyFromWhatTheReplyCarried) {
  WeightReading reading;
  reading.text = "1.250";
  reading.stateText = "0x00";
  EXPECT_EQ(RenderOutputs(reading), (OutputValues{{P::Weight, "1.250"}, {P::WeightState, "0x00"}}));
  reading.unitText = "gr";
  reading.tareText = "0";
  EXPECT_EQ(RenderOutputs(reading).size(), 4u);
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
