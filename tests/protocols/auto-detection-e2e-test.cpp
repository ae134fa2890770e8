// Protocol detection at Open against the simulated scale of each protocol.
#include <gtest/gtest.h>

#include "tests/protocols/auto-scale-on-line.hpp"

namespace WeighingTests {
namespace {

class DetectsProtocol : public ::testing::TestWithParam<std::string> {};

TEST_P(DetectsProtocol, AndWritesItBack) {
  const std::string protocol = GetParam();
  ScaleOnLine scale(protocol);
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.device.GetProtocol(), protocol);
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), protocol);
  if (protocol.find("Pro") != std::string::npos) {
    // The model the scale reports replaces the one chosen.
    EXPECT_EQ(scale.Stored(LogicDeviceParamType::Model), scale.Out(Param::ScalesModel));
    EXPECT_NE(scale.Stored(LogicDeviceParamType::Model), "auto");
  } else {
    EXPECT_EQ(scale.Stored(LogicDeviceParamType::Model), "auto");
  }
  // The device now speaks the detected protocol.
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
}

INSTANTIATE_TEST_SUITE_P(EachScale, DetectsProtocol,
                         ::testing::Values("POS2M", "POS2MProV1", "OKA", "CAS-M-Active", "CAS-M", "CAS-M ProV1"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(Detection, ASerialNumberAnswerOfErrorStillMeansProV1) {
  ScaleOnLine scale("POS2MProV1");
  scale.Set("error-keywords", "sern");
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), "POS2MProV1");
}

TEST(Detection, CasMActiveIsFoundByListening) {
  ScaleOnLine scale("CAS-M-Active");
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.device.GetProtocol(), "CAS-M-Active");
  EXPECT_EQ(scale.Out(Param::UnitOfMeasure), "kg");
}

TEST(Detection, NoScaleFailsWithTheLastAttemptsCode) {
  ScaleOnLine scale("silent");
  // The POS attempt ends in ConnectionError (no handshake); the CAS-M attempt, whose second ENQ
  // is taken without an answer, waits for its frame in vain.
  EXPECT_EQ(scale.Open("auto"), ErrorCase::BoostTimeOut);
  EXPECT_EQ(scale.device.GetProtocol(), "auto");
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), "auto");
  EXPECT_FALSE(scale.device.IsOpen());
}

// The quick pass waits 100 ms per probe: a scale slower than that is found by the full pass,
// and its late answers to the quick pass's requests are not taken for the full pass's.
TEST(Detection, AScaleSlowerThanTheQuickPassIsFoundByTheFullPass) {
  for (const std::string protocol : {"POS2M", "OKA"}) {
    ScaleOnLine scale(protocol);
    SetReplyDelay(*scale.simulator, std::chrono::milliseconds(200));
    ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct) << protocol;
    EXPECT_EQ(scale.device.GetProtocol(), protocol);
    EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct) << protocol;
  }
}

TEST(Detection, ModelIsCheckedAgainstTheScaleAfterDetection) {
  {
    ScaleOnLine scale("POS2MProV1");
    SetNative(*scale.state, "mode", "A15");
    ASSERT_EQ(scale.Open("auto", "X16"), ErrorCase::Correct);
    EXPECT_EQ(scale.Stored(LogicDeviceParamType::Model), scale.Out(Param::ScalesModel));
    EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::WrongModelChosen);
    EXPECT_EQ(scale.Count("pos-status"), 1);  // the detection's own poll only
  }
  {
    ScaleOnLine scale("POS2MProV1");
    SetNative(*scale.state, "mode", "A15");
    ASSERT_EQ(scale.Open("auto", "B15 rev 2"), ErrorCase::Correct);
    EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  }
}

TEST(Detection, LineSettingsFollowTheProtocolAt4800Baud) {
  // OKA scales at 4800 baud run two stop bits and even parity; the others one stop bit.
  ScaleOnLine oka("OKA");
  ASSERT_EQ(oka.Open("auto", "auto", "4800"), ErrorCase::Correct);
  EXPECT_EQ(oka.device.GetProtocol(), "OKA");
  EXPECT_EQ(BaudOf(*oka.simulator), 4800);
  EXPECT_EQ(StopBitsOf(*oka.simulator), 2);

  ScaleOnLine pos("POS2M");
  ASSERT_EQ(pos.Open("auto", "auto", "4800"), ErrorCase::Correct);
  EXPECT_EQ(pos.device.GetProtocol(), "POS2M");
  EXPECT_EQ(BaudOf(*pos.simulator), 4800);
  EXPECT_EQ(StopBitsOf(*pos.simulator), 1);
}

TEST(Detection, OverTcp) {
  ScaleOnLine scale("CAS-M ProV1", Line::Tcp);
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), "CAS-M ProV1");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
}

// Command 34 polls the weight until it is stable before the calibration line goes out.
TEST(StabilityWait, StableAtOnce) {
  ScaleOnLine scale("POS2MProV1");
  ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
  scale.device.SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-status"), 1);
  EXPECT_EQ(scale.Count("Swcal"), 1);
}

TEST(StabilityWait, StableOnTheFifthPoll) {
  ScaleOnLine scale("POS2MProV1");
  ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
  scale.Set("settle-polls", "4");
  scale.device.SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-status"), 5);
  EXPECT_EQ(scale.Count("Swcal"), 1);
}

TEST(StabilityWait, NeverStableGivesUpAfterTenPolls) {
  ScaleOnLine scale("POS2MProV1");
  ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
  scale.Set("stable", "false");
  scale.device.SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::DeviceIsNotStabilized);
  EXPECT_EQ(scale.Count("pos-status"), 10);
  EXPECT_EQ(scale.Count("Swcal"), 0);
}

TEST(StabilityWait, OkaFlagZeroCountsAsStable) {
  ScaleOnLine scale("OKA");
  ASSERT_EQ(scale.Open("OKA"), ErrorCase::Correct);
  scale.device.SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("oka-weight"), 1);
  EXPECT_EQ(scale.Count("enq"), 0);  // POS and CAS status are not OKA commands: never sent
  EXPECT_EQ(scale.Count("Swcal"), 1);
}

}  // namespace
}  // namespace WeighingTests
