// OKA through the device against the simulated scale.
#include <gtest/gtest.h>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

class OKAScale : public ::testing::TestWithParam<Line> {
 protected:
  OKAScale() : scale("OKA", GetParam()) {}
  void SetUp() override {
    ASSERT_EQ(scale.Open("OKA"), ErrorCase::Correct);
    scale.Configure("weight", "1234");
    scale.Configure("tare", "101");
    scale.Configure("oka-sum-digit", "4");
  }
  SimulatedScale scale;
};

TEST_P(OKAScale, WeightFlagAndTare) {
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1.234");
  EXPECT_EQ(scale.Get(Slot::Tare), "0.101");
  EXPECT_EQ(scale.Get(Slot::WeightState), "0x00");

  // An unstable weight is flagged 0x40 and reads as zero; the tare is taken against zero.
  scale.Configure("stable", "false");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::WeightState), "0x40");
  EXPECT_EQ(scale.Get(Slot::Weight), "0.000");
  EXPECT_EQ(scale.Get(Slot::Tare), "1.335");
}

TEST_P(OKAScale, ZeroAndSpecifiedTare) {
  EXPECT_EQ(scale.Run(Command::SetZero), ErrorCase::Correct);
  EXPECT_TRUE(scale.WaitForCount("oka-zero", 1));
  scale.Device().SetParam(Slot::Tare, "1234");
  EXPECT_EQ(scale.Run(Command::SpecifyTare), ErrorCase::Correct);
  EXPECT_TRUE(scale.WaitForCount("oka-tare", 1));
  EXPECT_EQ(scale.State().GetReadings().tare, 1234);
  EXPECT_EQ(scale.Run(Command::SetTare), ErrorCase::CommandUnsupported);
}

TEST_P(OKAScale, TareThatWouldBeSentWrongIsRefused) {
  for (const char* tare : {"1234567", "12a", "-5", ""}) {
    scale.Device().SetParam(Slot::Tare, tare);
    const ErrorCase result = scale.Run(Command::SpecifyTare);
    // An empty input counts as not set.
    EXPECT_TRUE(result == ErrorCase::ParamValueUnsupported || (*tare == '\0' && result != ErrorCase::Correct))
        << tare << " gave " << static_cast<int>(result);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(scale.Count("oka-tare"), 0);
  EXPECT_EQ(scale.State().GetReadings().tare, 101);
}

INSTANTIATE_TEST_SUITE_P(Lines, OKAScale, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return info.param == Line::Pty ? "Pty" : "Tcp"; });

TEST(OKA, At4800BaudRunsTwoStopBits) {
  SimulatedScale scale("OKA");
  ASSERT_EQ(scale.Open("OKA", "auto", "4800"), ErrorCase::Correct);
  EXPECT_EQ(scale.Wire().GetLineSettings().baud, 4800);
  EXPECT_EQ(scale.Wire().GetLineSettings().stopBits, 2);
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
}

}  // namespace
}  // namespace ScaleTests
