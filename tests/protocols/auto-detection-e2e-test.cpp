// Protocol detection at Open against the simulated scale of each protocol.
#include <gtest/gtest.h>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

class DetectsProtocol : public ::testing::TestWithParam<std::string> {};

TEST_P(DetectsProtocol, AndWritesItBack) {
  const std::string protocol = GetParam();
  SimulatedScale scale(protocol);
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.Device().GetProtocol(), protocol);
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), protocol);
  if (protocol.find("Pro") != std::string::npos) {
    // The model the scale reports replaces the one chosen.
    EXPECT_EQ(scale.Stored(LogicDeviceParamType::Model), scale.Get(Slot::ScalesModel));
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
  SimulatedScale scale("POS2MProV1");
  scale.Configure("error-keywords", "sern");
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), "POS2MProV1");
}

TEST(Detection, CasMActiveIsFoundByListening) {
  SimulatedScale scale("CAS-M-Active");
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.Device().GetProtocol(), "CAS-M-Active");
  EXPECT_EQ(scale.Get(Slot::UnitOfMeasure), "kg");
}

TEST(Detection, NoScaleFailsWithTheLastAttemptsCode) {
  SimulatedScale scale("silent");
  // The POS attempt ends in ConnectionError (no handshake); the CAS-M attempt, whose second ENQ
  // is taken without an answer, waits for its frame in vain.
  EXPECT_EQ(scale.Open("auto"), ErrorCase::BoostTimeOut);
  EXPECT_EQ(scale.Device().GetProtocol(), "auto");
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), "auto");
  EXPECT_FALSE(scale.Device().IsOpen());
}

// The quick pass waits 100 ms per probe: a scale slower than that is found by the full pass,
// and its late answers to the quick pass's requests are not taken for the full pass's.
TEST(Detection, AScaleSlowerThanTheQuickPassIsFoundByTheFullPass) {
  for (const std::string protocol : {"POS2M", "OKA"}) {
    SimulatedScale scale(protocol);
    scale.ChangeFaults([](Scalesim::LineFaults& faults) { faults.delay = std::chrono::milliseconds(200); });
    ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct) << protocol;
    EXPECT_EQ(scale.Device().GetProtocol(), protocol);
    EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct) << protocol;
  }
}

TEST(Detection, ModelIsCheckedAgainstTheScaleAfterDetection) {
  {
    SimulatedScale scale("POS2MProV1");
    scale.State().SetNativeValue("mode", "A15");
    ASSERT_EQ(scale.Open("auto", "X16"), ErrorCase::Correct);
    EXPECT_EQ(scale.Stored(LogicDeviceParamType::Model), scale.Get(Slot::ScalesModel));
    EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::WrongModelChosen);
    EXPECT_EQ(scale.Count("pos-status"), 1);  // the detection's own poll only
  }
  {
    SimulatedScale scale("POS2MProV1");
    scale.State().SetNativeValue("mode", "A15");
    ASSERT_EQ(scale.Open("auto", "B15 rev 2"), ErrorCase::Correct);
    EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  }
}

TEST(Detection, LineSettingsFollowTheProtocolAt4800Baud) {
  // OKA scales at 4800 baud run two stop bits and even parity; the others one stop bit.
  SimulatedScale oka("OKA");
  ASSERT_EQ(oka.Open("auto", "auto", "4800"), ErrorCase::Correct);
  EXPECT_EQ(oka.Device().GetProtocol(), "OKA");
  EXPECT_EQ(oka.Wire().GetLineSettings().baud, 4800);
  EXPECT_EQ(oka.Wire().GetLineSettings().stopBits, 2);

  SimulatedScale pos("POS2M");
  ASSERT_EQ(pos.Open("auto", "auto", "4800"), ErrorCase::Correct);
  EXPECT_EQ(pos.Device().GetProtocol(), "POS2M");
  EXPECT_EQ(pos.Wire().GetLineSettings().baud, 4800);
  EXPECT_EQ(pos.Wire().GetLineSettings().stopBits, 1);
}

TEST(Detection, OverTcp) {
  SimulatedScale scale("CAS-M ProV1", Line::Tcp);
  ASSERT_EQ(scale.Open("auto"), ErrorCase::Correct);
  EXPECT_EQ(scale.Stored(LogicDeviceParamType::Protocol), "CAS-M ProV1");
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
}

// Command 34 polls the weight until it is stable before the calibration line goes out.
TEST(StabilityWait, StableAtOnce) {
  SimulatedScale scale("POS2MProV1");
  ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
  scale.Device().SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-status"), 1);
  EXPECT_EQ(scale.Count("Swcal"), 1);
}

TEST(StabilityWait, StableOnTheFifthPoll) {
  SimulatedScale scale("POS2MProV1");
  ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
  scale.Configure("settle-polls", "4");
  scale.Device().SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("pos-status"), 5);
  EXPECT_EQ(scale.Count("Swcal"), 1);
}

TEST(StabilityWait, NeverStableGivesUpAfterTenPolls) {
  SimulatedScale scale("POS2MProV1");
  ASSERT_EQ(scale.Open("POS2MProV1"), ErrorCase::Correct);
  scale.Configure("stable", "false");
  scale.Device().SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::DeviceIsNotStabilized);
  EXPECT_EQ(scale.Count("pos-status"), 10);
  EXPECT_EQ(scale.Count("Swcal"), 0);
}

TEST(StabilityWait, OkaFlagZeroCountsAsStable) {
  SimulatedScale scale("OKA");
  ASSERT_EQ(scale.Open("OKA"), ErrorCase::Correct);
  scale.Device().SetParam(ParamType::WeightScaleCalibrationParameters, "1000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.Count("oka-weight"), 1);
  EXPECT_EQ(scale.Count("enq"), 0);  // POS and CAS status are not OKA commands: never sent
  EXPECT_EQ(scale.Count("Swcal"), 1);
}

}  // namespace
}  // namespace ScaleTests
