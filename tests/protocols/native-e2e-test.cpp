// The native text protocol end to end: the library's device against the simulated scale over a
// pseudo-terminal or a socket.
#include <gtest/gtest.h>

#include <string>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

const char kModel[] = "T-QZ 510-15.2 III(средний)";

// Set command, its Get command (Unset when the scale has none to read back), and the parameter.
struct SetGet {
  Command set;
  Command get;
  Slot type;
  std::string value;
};

const SetGet kPairs[] = {
    {Command::SetScalesModel, Command::Unset, Slot::ScalesModel, "610"},
    {Command::SetFirmwareVersion1, Command::GetFirmwareVersion1, Slot::FirmwareVersion1, "1.30"},
    {Command::SetProtocolVersion, Command::GetProtocolVersion, Slot::ProtocolVersion, "3"},
    {Command::SetSerialNumber, Command::GetSerialNumber, Slot::SerialNumber, "00077777"},
    {Command::SetMaxWeight, Command::GetMaxWeight, Slot::MaxWeight, "32"},
    {Command::SetDiscret, Command::GetDiscret, Slot::Discret, "4"},
    {Command::SetValueOfAutoSetToZero, Command::GetValueOfAutoSetToZero, Slot::ValueOfAutoSetToZero, "0"},
    {Command::SetTimeOfAutoSetToZero, Command::GetTimeOfAutoSetToZero, Slot::TimeOfAutoSetToZero, "5"},
    {Command::SetRangeOfAutoSetToZero, Command::GetRangeOfAutoSetToZero, Slot::RangeOfAutoSetToZero, "3"},
    {Command::SetRangeOfKeyToZero, Command::GetRangeOfKeyToZero, Slot::RangeOfKeyToZero, "4"},
    {Command::SetRangeOfTare, Command::GetRangeOfTare, Slot::RangeOfTare, "50"},
    {Command::SetRangeOfOverloads, Command::GetRangeOfOverloads, Slot::RangeOfOverloads, "8"},
    {Command::SetAutoOff, Command::GetAutoOff, Slot::AutoOff, "15"},
    {Command::SetLightLevel, Command::GetLightLevel, Slot::LightLevel, "1"},
    {Command::SetWeightCalibration, Command::GetWeightCalibration, Slot::WeightCalibration, "20000"},
    {Command::SetModeOfCalibration, Command::GetModeOfCalibration, Slot::ModeOfCalibration, "1"},
    {Command::SetUnitOfMeasure, Command::GetUnitOfMeasure, Slot::UnitOfMeasure, "1"},
    {Command::SetUnitOfMeasure2, Command::GetUnitOfMeasure2, Slot::UnitOfMeasure, "2"},
    {Command::SetPowerSavingMode, Command::GetPowerSavingMode, Slot::PowerSavingMode, "1"},
    {Command::SetCell1, Command::Unset, Slot::Cell, "7"},
    {Command::SetCell2, Command::Unset, Slot::Cell, "8"},
};

class NativeEndToEnd : public ::testing::TestWithParam<Line> {};

TEST_P(NativeEndToEnd, OpenReadsTheModelAndEveryValueRoundTrips) {
  SimulatedScale scale;
  scale.Configure("max", "015");
  ASSERT_EQ(scale.Open(GetParam()), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::ScalesModel), kModel);
  EXPECT_EQ(scale.State().RequestCount("Gmode"), 1);
  EXPECT_EQ(scale.State().RequestCount("Gprov"), 1);

  for (const auto& pair : kPairs) {
    SCOPED_TRACE(static_cast<int>(pair.set));
    scale.Set(pair.type, pair.value);
    ASSERT_EQ(scale.Run(pair.set), ErrorCase::Correct);
    if (pair.get == Command::Unset) continue;
    ASSERT_EQ(scale.Run(pair.get), ErrorCase::Correct);
    EXPECT_EQ(scale.Get(pair.type), pair.value);
  }
  EXPECT_EQ(scale.State().NativeValue("cell1"), "7");
  EXPECT_EQ(scale.State().NativeValue("cell2"), "8");

  ASSERT_EQ(scale.Run(Command::GetFirmwareVersion2), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::FirmwareVersion2), "2.05");

  // Actions without a value.
  for (Command action : {Command::ZeroScaleCalibration, Command::WeightScaleCalibration, Command::Reboot,
                         Command::SetCountOfCalibration, Command::Init}) {
    EXPECT_EQ(scale.Run(action), ErrorCase::Correct) << static_cast<int>(action);
  }
  ASSERT_EQ(scale.Run(Command::GetCountOfCalibration), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::CountOfCalibration), "1");

  // The model as the scale now reports it.
  ASSERT_EQ(scale.Run(Command::GetScalesModel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::ScalesModel), "T-QZ 610-32.20 III(средний)");

  ErrorCase result = ErrorCase::Correct;
  scale.Device().Close(result);
  EXPECT_FALSE(scale.Device().IsOpen());
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::ConnectionError);
}

TEST_P(NativeEndToEnd, AFailedCommandClearsOnlyItsOwnOutput) {
  SimulatedScale scale;
  ASSERT_EQ(scale.Open(GetParam()), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::GetSerialNumber), ErrorCase::Correct);

  scale.Configure("error-keywords", "max");
  scale.Configure("max", "60");
  EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::DeviceReturnsError);
  EXPECT_EQ(scale.Get(Slot::MaxWeight), "<not set>");  // not the value of the last success
  scale.Set(Slot::MaxWeight, "30");
  EXPECT_EQ(scale.Run(Command::SetMaxWeight), ErrorCase::DeviceReturnsError);
  EXPECT_EQ(scale.Get(Slot::SerialNumber), "00012345");

  // A division index the scale refuses.
  scale.Set(Slot::Discret, "9");
  EXPECT_EQ(scale.Run(Command::SetDiscret), ErrorCase::DeviceReturnsError);
}

TEST_P(NativeEndToEnd, AValueWithALineBreakIsNeverSent) {
  SimulatedScale scale;
  ASSERT_EQ(scale.Open(GetParam()), ErrorCase::Correct);
  scale.Set(Slot::MaxWeight, "15\r\nSrst");
  EXPECT_EQ(scale.Run(Command::SetMaxWeight), ErrorCase::ParamValueUnsupported);
  scale.Set(Slot::SerialNumber, "1\n");
  EXPECT_EQ(scale.Run(Command::SetSerialNumber), ErrorCase::ParamValueUnsupported);
  // The line is still in step with the scale.
  ASSERT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::MaxWeight), "15");
  EXPECT_EQ(scale.State().RequestCount("Smax"), 0);
  EXPECT_EQ(scale.State().RequestCount("Srst"), 0);
  EXPECT_EQ(scale.State().RequestCount("Ssern"), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, NativeEndToEnd, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return LineName(info.param); });

TEST(NativeEndToEndModel, ModelQuerySendsFourLinesEvenAfterAnError) {
  SimulatedScale scale;
  ASSERT_EQ(scale.Open(Line::Pty, Settings("OKA")), ErrorCase::Correct);  // OKA: no model read on open
  EXPECT_EQ(scale.State().RequestCount("Gmode"), 0);
  scale.Configure("error-keywords", "mode");
  scale.Configure("max", "000");
  ASSERT_EQ(scale.Run(Command::GetScalesModel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::ScalesModel), "T-QZ 0.2 III(средний)");
  for (const char* kind : {"Gmode", "Gmax", "Gdiv", "Gprov"}) EXPECT_EQ(scale.State().RequestCount(kind), 1) << kind;
}

TEST(NativeEndToEndModel, OnlyTheModelQueryAsksFourLines) {
  SimulatedScale scale;
  ASSERT_EQ(scale.Open(Line::Pty, Settings("OKA")), ErrorCase::Correct);
  scale.Set(Slot::ScalesModel, "XGmode7");
  EXPECT_EQ(scale.Run(Command::SetScalesModel), ErrorCase::Correct);
  EXPECT_EQ(scale.State().NativeValue("mode"), "XGmode7");
  EXPECT_EQ(scale.State().RequestCount("Gmax"), 0);
}

TEST(NativeEndToEndModel, ChosenModelMustMatchTheScale) {
  {
    SimulatedScale scale;
    ASSERT_EQ(scale.Open(Line::Pty, Settings("POS2MProV1", "T-QZ 511")), ErrorCase::Correct);
    EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::WrongModelChosen);
    EXPECT_EQ(scale.State().RequestCount("Gmax"), 1);  // only the model query's
  }
  {
    SimulatedScale scale;
    ASSERT_EQ(scale.Open(Line::Tcp, Settings("CAS-M ProV1", "510")), ErrorCase::Correct);
    EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::Correct);
  }
}

TEST(NativeEndToEndTimeOut, AMissingReplyTimesOutAndLeavesNoValue) {
  SimulatedScale scale;
  ASSERT_EQ(scale.Open(Line::Pty, Settings("OKA")), ErrorCase::Correct);
  ASSERT_EQ(scale.Run(Command::GetAutoOff), ErrorCase::Correct);
  scale.Configure("ignore", "Goff");
  EXPECT_EQ(scale.Run(Command::GetAutoOff), ErrorCase::BoostTimeOut);
  EXPECT_EQ(scale.Get(Slot::AutoOff), "<not set>");
}

// The calibration line goes out only once the scale reports a stable weight; the POS2MProV1 scale
// answers both the weighing status and the native lines.
TEST(NativeEndToEndCalibration, WaitsForAStableWeight) {
  SimulatedScale scale("POS2MProV1");
  ASSERT_EQ(scale.Open(Line::Pty), ErrorCase::Correct);
  scale.Configure("settle-polls", "3");
  scale.State().ResetRequestCounts();
  scale.Set(Slot::WeightScaleCalibrationParameters, "5000");
  ASSERT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::Correct);
  EXPECT_EQ(scale.State().RequestCount("pos-status"), 4);
  EXPECT_EQ(scale.State().RequestCount("Swcal"), 1);
  EXPECT_EQ(scale.State().NativeValue("wcal"), "5000");
}

TEST(NativeEndToEndCalibration, GivesUpAfterTenUnstablePolls) {
  SimulatedScale scale("POS2MProV1");
  ASSERT_EQ(scale.Open(Line::Tcp), ErrorCase::Correct);
  scale.Configure("stable", "0");
  scale.State().ResetRequestCounts();
  scale.Set(Slot::WeightScaleCalibrationParameters, "5000");
  EXPECT_EQ(scale.Run(Command::SetWeightScaleCalibrationParameters), ErrorCase::DeviceIsNotStabilized);
  EXPECT_EQ(scale.State().RequestCount("pos-status"), 10);
  EXPECT_EQ(scale.State().RequestCount("Swcal"), 0);
}

}  // namespace
}  // namespace ScaleTests
