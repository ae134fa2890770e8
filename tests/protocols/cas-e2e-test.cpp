// CAS-M, CAS-M ProV1 and CAS-M-Active through the device against the simulated scale.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/protocols/auto-scale-on-line.hpp"

namespace WeighingTests {
namespace {

class CASScale : public ::testing::TestWithParam<Line> {
 protected:
  CASScale() : scale("CAS-M", GetParam()) {}
  void SetUp() override {
    ASSERT_EQ(scale.Open("CAS-M"), ErrorCase::Correct);
    scale.Set("weight", "1250");
    scale.Set("decimals", "3");
  }
  ScaleOnLine scale;
};

TEST_P(CASScale, ReadsTheWeightFrame) {
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::Weight), "1.250");
  EXPECT_EQ(scale.Out(Param::UnitOfMeasure), "kg");
  EXPECT_EQ(scale.Out(Param::WeightState), "1***1*0***");

  scale.Set("weight", "-1250");
  scale.Set("stable", "false");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::Weight), "-1.250");
  EXPECT_EQ(scale.Out(Param::WeightState), "0***0*0***");

  scale.Set("overload", "true");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::WeightState).substr(6, 1), "1");

  scale.Set("overload", "false");
  scale.Set("unit", "g");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::UnitOfMeasure), "g");
}

TEST_P(CASScale, UnansweredHandshakeIsRepeatedAndTheFrameStillAsked) {
  scale.Set("enq", "none");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("enq"), 2);
  EXPECT_EQ(scale.Count("cas-status"), 1);
}

TEST_P(CASScale, FaultyFrames) {
  scale.Set("stray", "2020");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::Weight), "1.250");

  scale.Set("stray", "");
  scale.Set("cas-weight", "      ");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::DeviceResponseIncorrectFormat);

  scale.Set("cas-weight", "");
  scale.Set("bad-check", "true");
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
  ScaleOnLine scale("CAS-M-Active", Line::Pty, {{"active-interval-ms", "20"}, {"weight", "2100"}});
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::Weight), "2.100");
  EXPECT_EQ(scale.Out(Param::UnitOfMeasure), "kg");
  EXPECT_EQ(scale.Run(Command::SetZero), ErrorCase::CommandUnsupported);
}

TEST(CASActive, TakesFramesWithAWrongBccAndFramesInPieces) {
  ScaleOnLine scale("CAS-M-Active", Line::Tcp, {{"active-interval-ms", "20"}, {"weight", "500"}, {"bad-check", "true"}, {"split-at", "7"}});
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::Weight), "0.500");
}

TEST(CASActive, FramesSentBeforeTheCommandAreNotItsAnswer) {
  ScaleOnLine scale("CAS-M-Active", Line::Pty, {{"active-interval-ms", "20"}, {"weight", "1000"}});
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  // Frames of the old weight pile up on the line while nobody listens.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(SetScale(*scale.state, "weight", "2000"));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Out(Param::Weight), "2.000");
}

}  // namespace
}  // namespace WeighingTests
