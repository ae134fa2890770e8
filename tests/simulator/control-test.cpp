// Commands that change a running scale (scalesim --control and --scenario): the lines, the
// motion they cause in each protocol that reports it, and the program's standard input.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "simulator/control.hpp"
#include "simulator/responders/frames.hpp"
#include "tests/simulator/test-helpers.hpp"
#include "tests/support/child-process.hpp"

namespace SimulatorTests {
namespace {

using std::chrono::milliseconds;
using TestSupport::ChildProcess;
using TestSupport::Scalesim;

std::string Apply(Scale& scale, const std::string& line) {
  return Scalesim::ApplyControlLine(*scale.state, line).error;
}

TEST(ControlLine, AcceptsTheCommandsAndRefusesTheRest) {
  struct Case {
    const char* line;
    bool accepted;
    std::int64_t weight;  // afterwards (tare 100 throughout)
  };
  const Case cases[] = {
      {"place 1250", true, 1250},     {"place -20 0", true, -20},     {"place 1.25 300", true, 1250},
      {"  remove", true, -100},       {"remove 50", true, -100},      {"weight=777", true, 777},
      {"# a comment", true, 777},     {"", true, 777},                {"sleep 10", true, 777},
      {"place", false, 777},          {"place x", false, 777},        {"place 5 -1", false, 777},
      {"place 5 1 2", false, 777},    {"remove soon", false, 777},    {"sleep", false, 777},
      {"weigh 5", false, 777},        {"no-such-key=1", false, 777},  {"stable=maybe", false, 777},
  };
  Scale scale("POS2M");
  scale.Set("tare", "100");
  for (const auto& c : cases) {
    EXPECT_EQ(Apply(scale, c.line).empty(), c.accepted) << c.line;
    EXPECT_EQ(scale.state->GetReadings().weight, c.weight) << c.line;
  }
  EXPECT_EQ(Scalesim::ApplyControlLine(*scale.state, "sleep 250").pause, milliseconds(250));
  EXPECT_EQ(Apply(scale, "cas-weight= 1.2 "), "");  // the value is the rest of the line
  EXPECT_EQ(scale.state->GetReadings().casWeightText, " 1.2 ");
}

// Whether each protocol's status reply says "stable", and its weight's sign where it has one.
struct Family {
  const char* protocol;
  Bytes request;
  std::function<bool(const Bytes&)> stable;
};

TEST(ControlLine, PlacedLoadSwingsThenSettlesInEveryFamily) {
  const Family families[] = {
      {"POS2M", kPosStatus, [](const Bytes& r) { return (r.at(5) & 0x01) != 0; }},
      {"CAS-M", kDc1, [](const Bytes& r) { return r.at(2) == 'S'; }},
      {"OKA", kOkaWeight, [](const Bytes& r) { return r.at(11) == 0x00; }},
  };
  for (const auto& family : families) {
    Scale scale(family.protocol);
    ASSERT_EQ(Apply(scale, "place 1250 150"), "");
    EXPECT_FALSE(family.stable(scale.Send(family.request))) << family.protocol;
    EXPECT_FALSE(family.stable(scale.Send(family.request))) << family.protocol;
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_TRUE(family.stable(scale.Send(family.request))) << family.protocol;
    ASSERT_EQ(Apply(scale, "remove"), "");
    EXPECT_TRUE(family.stable(scale.Send(family.request))) << family.protocol;
    EXPECT_EQ(scale.state->GetReadings().weight, 0);
  }
}

TEST(ControlLine, UnderZeroAndOverloadWhereTheProtocolReportsThem) {
  Scale pos("POS2M");
  ASSERT_EQ(Apply(pos, "place -250"), "");
  EXPECT_EQ(pos.Send(kPosStatus).at(7), 0x06);  // -250 = 06 FF FF FF
  ASSERT_EQ(Apply(pos, "overload=1"), "");
  EXPECT_EQ(pos.Send(kPosStatus).at(5) & 0x08, 0x08);

  Scale cas("CAS-M");
  ASSERT_EQ(Apply(cas, "place -0.25"), "");
  EXPECT_EQ(cas.Send(kDc1).at(3), '-');
  ASSERT_EQ(Apply(cas, "overload=1"), "");
  EXPECT_EQ(cas.Send(kDc1).at(2), 'F');

  Scale oka("OKA");
  ASSERT_EQ(Apply(oka, "overload=1"), "");
  EXPECT_EQ(oka.Send(kOkaWeight).at(11), 0xC0);
}

TEST(ScalesimControl, AnswersEachCommandAndOutlivesItsInputUnlessTold) {
  ChildProcess plain(Scalesim({"--tcp", "0", "--protocol", "CAS-M", "--control"}));
  ASSERT_FALSE(plain.ReadLine().empty());
  ASSERT_TRUE(plain.Write("place 1.25 100\n# nothing\n\nbogus\nsleep 50\nstable=0\n"));
  EXPECT_EQ(plain.ReadLine(), "ok");
  EXPECT_EQ(plain.ReadLine().rfind("error: unknown command \"bogus\"", 0), 0u);
  EXPECT_EQ(plain.ReadLine(), "ok");  // the sleep, once over
  EXPECT_EQ(plain.ReadLine(), "ok");
  plain.CloseInput();
  EXPECT_EQ(plain.Wait(milliseconds(300)), -1);  // a control run ends on a signal, not with its input

  ChildProcess ending(Scalesim({"--tcp", "0", "--protocol", "OKA", "--control", "--until-stdin-closes"}));
  ASSERT_FALSE(ending.ReadLine().empty());
  ASSERT_TRUE(ending.Write("sleep 200\nremove"));  // the last line needs no line break
  ending.CloseInput();
  EXPECT_EQ(ending.Wait(milliseconds(100)), -1);  // the commands read are played first
  EXPECT_EQ(ending.ReadLine(), "ok");
  EXPECT_EQ(ending.ReadLine(), "ok");
  EXPECT_EQ(ending.Wait(milliseconds(2000)), 0);
}

TEST(ScalesimControl, ScenarioIsCheckedBeforeTheStart) {
  const std::string path = ::testing::TempDir() + "scalesim-scenario-" + std::to_string(::getpid()) + ".txt";
  std::ofstream(path) << "place 1250 500\nsleep 100\nremove\nplace 12 x\n";
  EXPECT_EQ(ChildProcess(Scalesim({"--protocol", "POS2M", "--scenario", path})).Wait(milliseconds(5000)), 2);
  std::ofstream(path) << "place 1250 500\nsleep 100\nremove\n";
  ChildProcess good(Scalesim({"--protocol", "POS2M", "--scenario", path, "--until-stdin-closes"}));
  EXPECT_EQ(good.ReadLine().rfind("/dev/pts/", 0), 0u);
  good.CloseInput();
  EXPECT_EQ(good.Wait(milliseconds(2000)), 0);
  EXPECT_EQ(ChildProcess(Scalesim({"--reply", "x", "--control"})).Wait(milliseconds(5000)), 2);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace SimulatorTests
