// The weighing protocols (POS, CAS, OKA) through the device against the simulated scale over a
// pseudo-terminal and a socket: each scenario a row of steps, each step a command and what it
// must leave on the device, on the line and in the scale.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "driver/vocabulary/enumeration-names.hpp"
#include "tests/protocols/simulated-scale.hpp"

namespace ScaleTests {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;
using Values = std::vector<std::pair<Slot, std::string>>;

struct Step {
  Command command;
  Settings scale = {};   // scale settings made first
  Values inputs = {};    // device inputs set first
  ErrorCase result = ErrorCase::Correct;
  Values outputs = {};   // device outputs afterwards
  std::vector<std::pair<std::string, int>> sent = {};  // requests the scale took meanwhile, by kind
  std::optional<std::int64_t> tare = {};               // the scale's own tare afterwards
};

struct Scenario {
  const char* name;
  const char* protocol;
  Settings scale;  // before the line starts
  std::vector<Line> lines;
  std::vector<Step> steps;
  std::size_t chunk = 0;  // replies in pieces of this many bytes, 20 ms apart
};

const std::vector<Line> kBothLines = {Line::Pty, Line::Tcp};
const Settings kPos = {{"weight", "1000"}, {"tare", "100"}};
const Settings kCas = {{"weight", "1250"}, {"decimals", "3"}};
const Settings kOka = {{"weight", "1234"}, {"tare", "101"}, {"oka-sum-digit", "4"}};
const Settings kCasActive = {{"active-interval-ms", "20"}};

Settings With(Settings base, const Settings& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

// A specified tare refused before anything goes out; the scale keeps `tare`.
std::vector<Step> TareRefusals(const std::vector<std::pair<const char*, ErrorCase>>& tares, const char* request,
                               std::int64_t tare) {
  std::vector<Step> steps;
  for (const auto& [value, result] : tares) {
    steps.push_back({Command::SpecifyTare, {}, {{Slot::Tare, value}}, result, {}, {{request, 0}}, tare});
  }
  return steps;
}

const Command kStatus = Command::StatusOfWeightChannel;
constexpr auto kUnsupported = ErrorCase::CommandUnsupported;
constexpr auto kBadValue = ErrorCase::ParamValueUnsupported;

const Scenario kScenarios[] = {
    // POS2MProV1: the weight channel with its tare, a handshake before every request.
    {"PosReadsTheWeightChannel", "POS2MProV1", kPos, kBothLines,
     {{kStatus, {}, {}, ErrorCase::Correct,
       {{Slot::Weight, "1000"}, {Slot::Tare, "100"}, {Slot::WeightState, "1010000000"}, {Slot::UnitOfMeasure, "gr"}}},
      {Command::POSStatusOfWeightChannel, {{"weight", "-1"}, {"stable", "false"}}, {}, ErrorCase::Correct,
       {{Slot::Weight, "-1"}, {Slot::WeightState, "0010000000"}}}}},
    {"PosTakesStrayBytesAndSplitReplies", "POS2MProV1", With(kPos, {{"stray", "1533"}}), kBothLines,
     {{kStatus, {}, {}, ErrorCase::Correct, {{Slot::Weight, "1000"}, {Slot::Tare, "100"}}}}, 3},
    {"PosHandshake", "POS2MProV1", kPos, kBothLines,
     {// a NAK is taken like an ACK
      {kStatus, {{"enq", "nak"}}, {}, ErrorCase::Correct, {}, {{"pos-status", 1}}},
      // ACK ACK is no handshake: nothing more is sent
      {kStatus, {{"enq", "double"}}, {}, ErrorCase::ConnectionError, {}, {{"pos-status", 0}}}}},
    {"PosWrongCheckByteIsATimeOut", "POS2MProV1", With(kPos, {{"bad-check", "true"}}), kBothLines,
     {{kStatus, {}, {}, ErrorCase::BoostTimeOut}}},
    {"PosZeroTareAndSpecifiedTare", "POS2MProV1", kPos, kBothLines,
     {{Command::SetZero, {}, {}, ErrorCase::Correct, {}, {{"pos-zero", 1}}},
      {Command::SetTare, {}, {}, ErrorCase::Correct, {}, {{"pos-tare", 1}}},
      {Command::SpecifyTare, {}, {{Slot::Tare, "300"}}, ErrorCase::Correct, {}, {{"pos-specify-tare", 1}}, 300}}},
    {"PosRefusesAnUnsendableTare", "POS2MProV1", kPos, kBothLines,
     TareRefusals({{"abc", kBadValue}, {"65536", kBadValue}, {"-32769", kBadValue}, {"12.5", kBadValue}}, "enq", 100)},
    {"Pos2mHasNoSpecifyTareNorNativeCommands", "POS2M", {}, {Line::Pty},
     {{Command::SpecifyTare, {}, {{Slot::Tare, "300"}}, kUnsupported, {}, {{"enq", 0}}},
      {Command::GetSerialNumber, {}, {}, kUnsupported, {}, {{"enq", 0}}}}},
    {"Pos2mSilentHandshakeIsAConnectionError", "POS2M", {{"enq", "none"}}, {Line::Pty},
     {{kStatus, {}, {}, ErrorCase::ConnectionError, {}, {{"pos-status", 0}}}}},

    // CAS-M: a weight frame asked for after a handshake; zero and tare are one-way.
    {"CasReadsTheWeightFrame", "CAS-M", kCas, kBothLines,
     {{kStatus, {}, {}, ErrorCase::Correct,
       {{Slot::Weight, "1.250"}, {Slot::UnitOfMeasure, "kg"}, {Slot::WeightState, "1***1*0***"}}},
      {kStatus, {{"weight", "-1250"}, {"stable", "false"}}, {}, ErrorCase::Correct,
       {{Slot::Weight, "-1.250"}, {Slot::WeightState, "0***0*0***"}}},
      {kStatus, {{"overload", "true"}}, {}, ErrorCase::Correct, {{Slot::WeightState, "0***0*1***"}}},
      {kStatus, {{"overload", "false"}, {"unit", "g"}}, {}, ErrorCase::Correct, {{Slot::UnitOfMeasure, "g"}}}}},
    {"CasRepeatsAnUnansweredHandshakeAndStillAsks", "CAS-M", With(kCas, {{"enq", "none"}}), kBothLines,
     {{kStatus, {}, {}, ErrorCase::Correct, {}, {{"enq", 2}, {"cas-status", 1}}}}},
    {"CasFaultyFrames", "CAS-M", kCas, kBothLines,
     {{kStatus, {{"stray", "2020"}}, {}, ErrorCase::Correct, {{Slot::Weight, "1.250"}}},
      {kStatus, {{"stray", ""}, {"cas-weight", "      "}}, {}, ErrorCase::DeviceResponseIncorrectFormat},
      {kStatus, {{"cas-weight", ""}, {"bad-check", "true"}}, {}, ErrorCase::BoostTimeOut}}},
    {"CasZeroAndTareAreOneWay", "CAS-M", kCas, kBothLines,
     {{Command::SetTare, {}, {}, ErrorCase::Correct, {}, {{"cas-tare", 1}}},
      {Command::SetZero, {}, {}, ErrorCase::Correct, {}, {{"cas-zero", 1}}},
      {Command::SpecifyTare, {}, {}, kUnsupported}}},
    // CAS-M-Active sends its frames unasked: the device listens.
    {"CasActiveListensForTheFrame", "CAS-M-Active", With(kCasActive, {{"weight", "2100"}}), {Line::Pty},
     {{kStatus, {}, {}, ErrorCase::Correct, {{Slot::Weight, "2.100"}, {Slot::UnitOfMeasure, "kg"}}},
      {Command::SetZero, {}, {}, kUnsupported}}},
    {"CasActiveTakesFramesWithAWrongBccAndInPieces", "CAS-M-Active",
     With(kCasActive, {{"weight", "500"}, {"bad-check", "true"}, {"split-at", "7"}}), {Line::Tcp},
     {{kStatus, {}, {}, ErrorCase::Correct, {{Slot::Weight, "0.500"}}}}},

    // OKA: an unstable weight is flagged 0x40 and reads as zero; the tare is taken against zero.
    {"OkaWeightFlagAndTare", "OKA", kOka, kBothLines,
     {{kStatus, {}, {}, ErrorCase::Correct, {{Slot::Weight, "1.234"}, {Slot::Tare, "0.101"}, {Slot::WeightState, "0x00"}}},
      {kStatus, {{"stable", "false"}}, {}, ErrorCase::Correct,
       {{Slot::WeightState, "0x40"}, {Slot::Weight, "0.000"}, {Slot::Tare, "1.335"}}}}},
    {"OkaZeroAndSpecifiedTare", "OKA", kOka, kBothLines,
     {{Command::SetZero, {}, {}, ErrorCase::Correct, {}, {{"oka-zero", 1}}},
      {Command::SpecifyTare, {}, {{Slot::Tare, "1234"}}, ErrorCase::Correct, {}, {{"oka-tare", 1}}, 1234},
      {Command::SetTare, {}, {}, kUnsupported}}},
    // An empty input counts as not set.
    {"OkaRefusesATareItWouldSendWrong", "OKA", kOka, kBothLines,
     TareRefusals({{"1234567", kBadValue}, {"12a", kBadValue}, {"-5", kBadValue}, {"", ErrorCase::ParamTypeIsNotSetToGet}}, "oka-tare", 101)},
};

struct Case {
  const Scenario* scenario;
  Line line;
};
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.scenario->name << " on ";
  PrintTo(c.line, out);
}

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const auto& scenario : kScenarios) {
    for (Line line : scenario.lines) cases.push_back({&scenario, line});
  }
  return cases;
}

class WeighingScale : public ::testing::TestWithParam<Case> {
 protected:
  WeighingScale() : scale(GetParam().scenario->protocol, GetParam().line, GetParam().scenario->scale) {}
  void SetUp() override {
    ASSERT_EQ(scale.Open(GetParam().scenario->protocol), ErrorCase::Correct);
    if (const auto chunk = GetParam().scenario->chunk) {
      scale.ChangeFaults([chunk](Scalesim::LineFaults& faults) {
        faults.chunkSize = chunk;
        faults.chunkPause = std::chrono::milliseconds(20);
      });
    }
  }

  void Play(const Step& step) {
    for (const auto& [key, value] : step.scale) scale.Configure(key, value);
    for (const auto& [slot, value] : step.inputs) scale.Set(slot, value);
    std::vector<int> before;
    for (const auto& [kind, count] : step.sent) before.push_back(scale.Count(kind));
    EXPECT_EQ(ToString(scale.Run(step.command)), ToString(step.result));
    for (const auto& [slot, value] : step.outputs) EXPECT_EQ(scale.Get(slot), value) << ToString(slot);
    // One-way commands reach the scale a moment after they return: what must not be sent is given
    // that moment too.
    for (const auto& [kind, count] : step.sent) {
      if (count == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (std::size_t i = 0; i < step.sent.size(); ++i) {
      const auto& [kind, count] = step.sent[i];
      EXPECT_TRUE(scale.WaitForCount(kind, before[i] + count)) << kind << ": " << scale.Count(kind) - before[i];
    }
    if (step.tare) {
      EXPECT_EQ(scale.State().GetReadings().tare, *step.tare);
    }
  }

  SimulatedScale scale;
};

TEST_P(WeighingScale, PlaysTheScenario) {
  const auto& steps = GetParam().scenario->steps;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + ToString(steps[i].command));
    Play(steps[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WeighingScale, ::testing::ValuesIn(Cases()), [](const auto& info) {
  return std::string(info.param.scenario->name) + "_" + LineName(info.param.line);
});

TEST(CASActive, FramesSentBeforeTheCommandAreNotItsAnswer) {
  SimulatedScale scale("CAS-M-Active", Line::Pty, With(kCasActive, {{"weight", "1000"}}));
  ASSERT_EQ(scale.Open("CAS-M-Active"), ErrorCase::Correct);
  // Frames of the old weight pile up on the line while nobody listens.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  scale.Configure("weight", "2000");
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  ASSERT_EQ(scale.Run(kStatus), ErrorCase::Correct);
  EXPECT_EQ(scale.Get(Slot::Weight), "2.000");
}

TEST(OKA, At4800BaudRunsTwoStopBits) {
  SimulatedScale scale("OKA");
  ASSERT_EQ(scale.Open("OKA", "auto", "4800"), ErrorCase::Correct);
  EXPECT_EQ(scale.Wire().GetLineSettings().baud, 4800);
  EXPECT_EQ(scale.Wire().GetLineSettings().stopBits, 2);
  EXPECT_EQ(scale.Run(kStatus), ErrorCase::Correct);
}

}  // namespace
}  // namespace ScaleTests
