// CAS-M, CAS-M ProV1 and CAS-M-Active through the device against the simulated scale.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

class CASScale : public ::testing::TestWithParam<Line> {
 protected:
  CASScale() : scale("CAS-M", GetParam()) {}
  void SetUp() override {
    ASSERT_EQ(scale.Open("CAS-M"), ErrorCase::Correct);
    scale.Configure("weight", "1250");
    scale.Configure("decimals", "3");
  }
  SimulatedScale scale;
};

TEST_P(CASScale, ReadsTheWeightFrame) {
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1.250");
  EXPECT_EQ(scale.Get(Slot::UnitOfMeasure), "kg");
  EXPECT_EQ(scale.Get(Slot::WeightState), "1***1*0***");

  scale.Configure("weight", "-1250");
  scale.Configure("stable", "false");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "-1.250");
  EXPECT_EQ(scale.Get(Slot::WeightState), "0***0*0***");

  scale.Configure("overload", "true");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::WeightState).substr(6, 1), "1");

  scale.Configure("overload", "false");
  scale.Configure("unit", "g");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::UnitOfMeasure), "g");
}

TEST_P(CASScale, UnansweredHandshakeIsRepeatedAndTheFrameStillAsked) {
  scale.Configure("enq", "none");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("enq"), 2);
  EXPECT_EQ(scale.Count("cas-status"), 1);
}

TEST_P(CASScale, FaultyFrames) {
  scale.Configure("stray", "2020");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1.250");

  scale.Configure("stray", "");
  scale.Configure("cas-weight", "      ");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::DeviceResponseIncorrectFormat);

  scale.Configure("cas-weight", "");
  scale.Configure("bad-check", "true");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::BoostTimeOut);
}

TEST_P(CASScale, ZeroAndTareAreOneWay) {
  EXPECT_EQ(scale.Run(Command::SetTare), ErrorCase::Correct);
  EXPECT_TRUE(scale.WaitForCount("cas-tare", 1));
  EXPECT_EQ(scale.Run(Command::SetZero), ErrorCase::Correct);
  EXPECT_TRUE(scale.WaitForCount("cas-zero", 1));
  EXPECT_EQ(scale.Run(Command::SpecifyTare), ErrorCase::CommandUnsupported);
}

INSTANTIATE_TEST_SUITE_P(Lines, CASScale, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return info.param == Line::Pty ? "Pty" : "Tcp"; });

TEST(CASActive, ListensForTheFrame) {
  SimulatedScale scale("CAS-M-Active", Line::Pty, {{"active-interval-ms", "20"}, {"weight", "2100"}});
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "2.100");
  EXPECT_EQ(scale.Get(Slot::UnitOfMeasure), "kg");
  EXPECT_EQ(scale.Run(Command::SetZero), ErrorCase::CommandUnsupported);
}

TEST(CASActive, TakesFramesWithAWrongBccAndFramesInPieces) {
  SimulatedScale scale("CAS-M-Active", Line::Tcp, {{"active-interval-ms", "20"}, {"weight", "500"}, {"bad-check", "true"}, {"split-at", "7"}});
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "0.500");
}

TEST(CASActive, FramesSentBeforeTheCommandAreNotItsAnswer) {
  SimulatedScale scale("CAS-M-Active", Line::Pty, {{"active-interval-ms", "20"}, {"weight", "1000"}});
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  // Frames of the old weight pile up on the line while nobody listens.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  scale.Configure("weight", "2000");
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "2.000");
}

}  // namespace
}  // namespace ScaleTests
