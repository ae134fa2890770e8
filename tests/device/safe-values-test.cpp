// What a point-of-sale caller relies on when things go wrong: a failed command leaves no value
// of an earlier success, a failed open leaves the device closed, an unusable setting is refused
// before a line is opened, and a TCP scale that restarted is reached again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

class SafeValues : public ::testing::TestWithParam<Line> {};

TEST_P(SafeValues, AFailedCommandLeavesNoneOfItsOutputsBehind) {
  struct Case {
    std::string protocol;
    Command command;
    std::vector<Slot> outputs;
  } cases[] = {
      {"POS2MProV1", Command::StatusOfWeightChannel, {Slot::Weight, Slot::WeightState, Slot::Tare, Slot::UnitOfMeasure}},
      {"CAS-M", Command::StatusOfWeightChannel, {Slot::Weight, Slot::WeightState, Slot::UnitOfMeasure}},
      {"OKA", Command::StatusOfWeightChannel, {Slot::Weight, Slot::WeightState, Slot::Tare}},
      {"POS2MProV1", Command::GetMaxWeight, {Slot::MaxWeight}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.protocol + " " + std::to_string(static_cast<int>(c.command)));
    SimulatedScale scale(c.protocol);
    ASSERT_EQ(scale.Open(GetParam(), Settings(c.protocol)), ErrorCase::Correct);
    scale.Set(Slot::Tare, "25");
    ASSERT_EQ(scale.Run(c.command), ErrorCase::Correct);
    for (Slot slot : c.outputs) ASSERT_NE(scale.Get(slot), "<not set>") << static_cast<int>(slot);
    const std::string model = scale.Get(Slot::ScalesModel);

    Scalesim::LineFaults faults;
    faults.silent = true;
    scale.Wire().SetFaults(faults);
    EXPECT_NE(scale.Run(c.command), ErrorCase::Correct);
    for (Slot slot : c.outputs) EXPECT_EQ(scale.Get(slot), "<not set>") << static_cast<int>(slot);
    // Outputs of other commands and the inputs stay.
    EXPECT_EQ(scale.Get(Slot::ScalesModel), model);
    ErrorCase result = ErrorCase::Correct;
    EXPECT_EQ(scale.Device().GetInputParam(Slot::Tare, result), "25");

    // A command refused before it reaches the line clears its outputs too.
    scale.Wire().SetFaults({});
    ASSERT_EQ(scale.Run(c.command), ErrorCase::Correct);
    scale.Device().Close(result);
    EXPECT_EQ(scale.Run(c.command), ErrorCase::ConnectionError);
    EXPECT_EQ(scale.Get(c.outputs.front()), "<not set>");
  }
}

TEST_P(SafeValues, AFailedOpenLeavesTheDeviceClosed) {
  for (const std::string protocol : {"POS2MProV1", "auto"}) {
    SCOPED_TRACE(protocol);
    SimulatedScale scale("silent");
    EXPECT_NE(scale.Open(GetParam(), Settings(protocol)), ErrorCase::Correct);
    EXPECT_FALSE(scale.Device().IsOpen());
    EXPECT_EQ(scale.Run(Command::GetMaxWeight), ErrorCase::ConnectionError);
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, SafeValues, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return info.param == Line::Pty ? "Pty" : "Tcp"; });

TEST(SafeOpen, AnUnknownProtocolIsRefusedBeforeAnyLineIsOpened) {
  for (const std::string protocol : {"Foo", "pos2mprov1", "CAS-M ProV2"}) {
    SCOPED_TRACE(protocol);
    SimulatedScale scale;
    EXPECT_EQ(scale.Open(Line::Tcp, Settings(protocol)), ErrorCase::ParamValueUnsupported);
    EXPECT_FALSE(scale.Device().IsOpen());
    EXPECT_EQ(scale.Wire().Connections(), 0);
  }
}

TEST(SafeOpen, ATcpScaleThatRestartedIsReachedAgain) {
  SimulatedScale scale("POS2MProV1");
  ASSERT_EQ(scale.Open(Line::Tcp, Settings("POS2MProV1")), ErrorCase::Correct);
  scale.Configure("weight", "1000");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1000");

  scale.RestartTcp();
  scale.Configure("weight", "1500");
  ASSERT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "1500");
  EXPECT_EQ(scale.Wire().Connections(), 1);

  // Gone for good: the one reconnect fails and the read says so.
  scale.Remove();
  EXPECT_EQ(scale.Run(Command::StatusOfWeightChannel), ErrorCase::ConnectionError);
  EXPECT_EQ(scale.Get(Slot::Weight), "<not set>");
}

}  // namespace
}  // namespace ScaleTests
