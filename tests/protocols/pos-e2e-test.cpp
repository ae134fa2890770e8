// POS2M and POS2MProV1 through the device against the simulated scale.
#include <gtest/gtest.h>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

class POSScale : public ::testing::TestWithParam<Line> {
 protected:
  POSScale() : scale("POS2MProV1", GetParam()) {}
  void SetUp() override {
    ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
    scale.Configure("weight", "1000");
    scale.Configure("tare", "100");
  }
  SimulatedScale scale;
};

TEST_P(POSScale, ReadsTheWeightChannel) {
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1000");
  EXPECT_EQ(scale.Get(Slot::Tare), "100");
  EXPECT_EQ(scale.Get(Slot::WeightState).substr(0, 1), "1");
  EXPECT_EQ(scale.Get(Slot::UnitOfMeasure), "gr");

  scale.Configure("weight", "-1");
  scale.Configure("stable", "false");
  ASSERT_EQ(scale.Run(Command::POSStatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "-1");
  EXPECT_EQ(scale.Get(Slot::WeightState).substr(0, 1), "0");
}

TEST_P(POSScale, StrayBytesAndSplitRepliesGiveTheRightValues) {
  scale.Configure("stray", "1533");
  scale.ChangeFaults([](Scalesim::LineFaults& faults) {
    faults.chunkSize = 3;
    faults.chunkPause = std::chrono::milliseconds(20);
  });
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1000");
  EXPECT_EQ(scale.Get(Slot::Tare), "100");
}

TEST_P(POSScale, Handshake) {
  scale.Configure("enq", "nak");  // a NAK is taken like an ACK
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-status"), 1);

  scale.Configure("enq", "double");  // ACK ACK is no handshake: nothing more is sent
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::ConnectionError);
  EXPECT_EQ(scale.Count("pos-status"), 1);
}

TEST_P(POSScale, WrongCheckByteIsATimeOut) {
  scale.Configure("bad-check", "true");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::BoostTimeOut);
}

TEST_P(POSScale, ZeroTareAndSpecifiedTare) {
  EXPECT_EQ(scale.Run(Command::SetZero), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-zero"), 1);
  EXPECT_EQ(scale.Run(Command::SetTare), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-tare"), 1);

  scale.Device().SetParam(Slot::Tare, "300");
  EXPECT_EQ(scale.Run(Command::SpecifyTare), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-specify-tare"), 1);
  EXPECT_EQ(scale.State().GetReadings().tare, 300);
}

TEST_P(POSScale, UnsendableTareIsRefusedBeforeAnythingIsSent) {
  const int handshakes = scale.Count("enq");
  for (const char* tare : {"abc", "65536", "-32769", "12.5"}) {
    scale.Device().SetParam(Slot::Tare, tare);
    EXPECT_EQ(scale.Run(Command::SpecifyTare), ErrorCase::ParamValueUnsupported) << tare;
  }
  EXPECT_EQ(scale.Count("enq"), handshakes);
  EXPECT_EQ(scale.State().GetReadings().tare, 100);
}

INSTANTIATE_TEST_SUITE_P(Lines, POSScale, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return info.param == Line::Pty ? "Pty" : "Tcp"; });

TEST(POS2M, HasNoSpecifyTareNorNativeCommands) {
  SimulatedScale scale("POS2M");
  ASSERT_EQ(scale.Open("POS2M"), ErrorCase::Correct);
  scale.Device().SetParam(Slot::Tare, "300");
  EXPECT_EQ(scale.Run(Command::SpecifyTare), ErrorCase::CommandUnsupported);
  EXPECT_EQ(scale.Run(Command::GetSerialNumber), ErrorCase::CommandUnsupported);
  EXPECT_EQ(scale.Count("enq"), 0);
}

TEST(POS2M, SilentHandshakeIsAConnectionError) {
  SimulatedScale scale("POS2M");
  ASSERT_EQ(scale.Open("POS2M"), ErrorCase::Correct);
  scale.Configure("enq", "none");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::ConnectionError);
  EXPECT_EQ(scale.Count("pos-status"), 0);
}

}  // namespace
}  // namespace ScaleTests
