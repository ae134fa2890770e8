// The native text protocol, the fault switches, the request counts and the settings keys.
#include <functional>
#include <thread>

#include "tests/simulator/test-helpers.hpp"

namespace SimulatorTests {
namespace {

TEST(NativeResponder, EveryGetKeywordAnswersWithItsValue) {
  Scale scale("native");
  const char* keywords[] = {"mode", "ver1", "ver2", "prov", "sern", "max",  "div",  "azr",  "azt", "pzr",
                            "kzr",  "ktr",  "ovr",  "off",  "bkl",  "cal",  "cnt",  "modc", "u2en", "u3en", "sav"};
  for (const std::string keyword : keywords) {
    EXPECT_EQ(scale.Ask("G" + keyword + "\r\n"), keyword + "=" + scale.state->NativeValue(keyword) + "\r\n");
    EXPECT_EQ(scale.state->RequestCount("G" + keyword), 1) << keyword;
  }
  // Write-only keywords and unknown ones.
  for (const char* line : {"Gwcal\r\n", "Gcell1\r\n", "Grst\r\n", "Gmaxx\r\n", "Gmax5\r\n"}) {
    EXPECT_EQ(scale.Ask(line), "ERROR\r\n") << line;
  }
}

TEST(NativeResponder, SetCommandsStoreValuesOrRefuse) {
  Scale scale("native");
  EXPECT_EQ(scale.Ask("Smax015\r\n"), "OK\r\n");
  EXPECT_EQ(scale.Ask("Gmax\r\n"), "max=015\r\n");
  EXPECT_EQ(scale.Ask("Smodc3\r\n"), "OK\r\n");
  EXPECT_EQ(scale.state->NativeValue("modc"), "3");
  EXPECT_EQ(scale.state->NativeValue("mode"), "510");
  EXPECT_EQ(scale.Ask("Scell27\r\n"), "OK\r\n");
  EXPECT_EQ(scale.state->NativeValue("cell2"), "7");
  EXPECT_EQ(scale.Ask("Swcal5000\r\n"), "OK\r\n");
  EXPECT_EQ(scale.state->NativeValue("wcal"), "5000");

  EXPECT_EQ(scale.Ask("Sdiv6\r\n"), "ERROR\r\n");    // six divisions: 0..5
  EXPECT_EQ(scale.Ask("Sver21\r\n"), "ERROR\r\n");   // firmware 2 is read-only
  EXPECT_EQ(scale.Ask("Smax\r\n"), "ERROR\r\n");     // value missing
  EXPECT_EQ(scale.Ask("Srst1\r\n"), "ERROR\r\n");    // action takes no value
  EXPECT_EQ(scale.Ask("Smax1\rSrst\r\n"), "ERROR\r\n");  // a lone CR inside a value
  EXPECT_EQ(scale.state->NativeValue("max"), "015");
}

TEST(NativeResponder, ActionsAndCalibrationCount) {
  Scale scale("native");
  for (const char* line : {"Szcal\r\n", "Swcal\r\n", "Srst\r\n", "Sinit\r\n", "Scnt\r\n", "Scnt\r\n"}) {
    EXPECT_EQ(scale.Ask(line), "OK\r\n") << line;
  }
  EXPECT_EQ(scale.Ask("Gcnt\r\n"), "cnt=2\r\n");
  EXPECT_EQ(scale.state->RequestCount("Swcal"), 1);
}

TEST(NativeResponder, ModelQueryLinesInPiecesAndTogether) {
  Scale scale("native");
  scale.Set("max", "015");
  EXPECT_TRUE(scale.Ask("Gmo").empty());
  EXPECT_EQ(scale.Ask("de\r\nGmax\r\nGdiv\r\nGprov\r\n"), "mode=510\r\nmax=015\r\ndiv=1\r\nprov=2\r\n");
  // Bytes that cannot start a line are skipped.
  EXPECT_EQ(scale.Send(B({0x05, 0x11, 'G', 'd', 'i', 'v', '\r', '\n'})), Text("div=1\r\n"));
}

TEST(NativeResponder, ErrorKeywordsAndIgnoredKinds) {
  Scale scale("POS2MProV1");
  scale.Set("error-keywords", "sern, max");
  EXPECT_EQ(scale.Ask("Gsern\r\n"), "ERROR\r\n");
  EXPECT_EQ(scale.Ask("Smax5\r\n"), "ERROR\r\n");
  EXPECT_EQ(scale.Ask("Gdiv\r\n"), "div=1\r\n");
  scale.Set("ignore", "Gdiv,pos-status");
  EXPECT_TRUE(scale.Ask("Gdiv\r\n").empty());
  EXPECT_TRUE(scale.Send(kPosStatus).empty());
  EXPECT_EQ(scale.state->RequestCount("pos-status"), 1);
}

TEST(Faults, EnqAnswers) {
  Scale scale("POS2M");
  scale.Set("enq", "nak");
  EXPECT_EQ(scale.Send(kEnq), B({0x15}));
  EXPECT_EQ(scale.Send(kPosStatus).size(), 16u);  // the request is still served
  scale.Set("enq", "none");
  EXPECT_TRUE(scale.Send(kEnq).empty());
  scale.Set("enq", "double");
  EXPECT_EQ(scale.Send(kEnq), B({0x06, 0x06}));
  Scale cas("CAS-M");
  cas.Set("enq", "none");
  EXPECT_TRUE(cas.Send(kEnq).empty());
  EXPECT_EQ(cas.Send(kDc1).size(), 15u);
}

TEST(Faults, WrongCheckByteAndStrayBytes) {
  Scale pos("POS2M");
  pos.Set("bad-check", "1");
  pos.Set("stray", "03 04");
  EXPECT_EQ(pos.Send(kPosZero), B({0x03, 0x04, 0x06, 0x02, 0x02, 0x30, 0x00, 0xCD}));  // ~32
  EXPECT_EQ(pos.Send(kEnq), B({0x06}));  // the handshake carries no stray bytes

  Scale cas("CAS-M");
  cas.Set("weight", "125");
  cas.Set("decimals", "2");
  cas.Set("bad-check", "yes");
  EXPECT_EQ(cas.Send(kDc1).at(12), 0x98);  // ~67
}

TEST(Faults, PartialRequestIsForgottenAfterAPause) {
  Scale scale("POS2M");
  EXPECT_TRUE(scale.Send(B({0x02, 0x09, 0x09})).empty());  // an OKA probe: a POS frame that never ends
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(scale.Send(kEnq), B({0x06}));
}

TEST(ScaleValues, KeysAndValuesAreChecked) {
  auto state = Scalesim::MakeScaleState();
  EXPECT_TRUE(Scalesim::SetScaleValue(*state, "weight", "-20"));
  EXPECT_TRUE(Scalesim::SetScaleValue(*state, "oka-flag", "0xC0"));
  EXPECT_TRUE(Scalesim::SetScaleValue(*state, "sern", "A-77"));
  EXPECT_EQ(state->GetReadings().weight, -20);
  EXPECT_EQ(state->GetReadings().okaFlag, 0xC0);
  EXPECT_TRUE(Scalesim::SetScaleValue(*state, "tare", "1.25"));
  EXPECT_EQ(state->GetReadings().tare, 1250);
  EXPECT_TRUE(Scalesim::SetScaleValue(*state, "tare", "0"));
  EXPECT_EQ(state->NativeValue("sern"), "A-77");
  const std::pair<const char*, const char*> refused[] = {
      {"colour", "red"},  {"weight", "12kg"}, {"weight", "1.2345"}, {"tare", "-0.5"}, {"tare", "-1"},      {"stable", "maybe"},   {"div", "9"},
      {"enq", "ack!"},    {"stray", "0"},     {"unit", "gram"},    {"oka-sum-digit", "10"}, {"decimals", ""},
      {"active-interval-ms", "0"}};
  for (const auto& [key, value] : refused) EXPECT_FALSE(Scalesim::SetScaleValue(*state, key, value)) << key;
  EXPECT_EQ(state->GetReadings().weight, -20);
  EXPECT_TRUE(Scalesim::SetScaleValue(*state, "weight", "-0.005"));
  EXPECT_EQ(state->GetReadings().weight, -5);
  EXPECT_EQ(Scalesim::MakeProtocolResponder("POS3", state), nullptr);
  EXPECT_NE(Scalesim::MakeProtocolResponder("silent", state), nullptr);
}

using State = Scalesim::ScaleState;
struct KeyRow {
  const char* key;
  const char* value;
  std::function<bool(const State&)> stored;  // what the state holds afterwards
};

// Each key lands in its own field; applied in this order.
const KeyRow kAccepted[] = {
    {"decimals", "5", [](const State& s) { return s.GetReadings().decimals == 5; }},
    {"pos-state2", "255", [](const State& s) { return s.GetReadings().posState2 == 255; }},
    {"oka-sum-digit", "9", [](const State& s) { return s.GetReadings().okaSumDigit == 9; }},
    {"settle-polls", "4", [](const State& s) { return s.GetReadings().settlePolls == 4; }},
    {"stable", "off", [](const State& s) { return !s.GetReadings().stable; }},
    {"overload", "yes", [](const State& s) { return s.GetReadings().overload; }},
    {"zero", "0", [](const State& s) { return s.GetReadings().zeroFlag == false; }},
    {"zero", "auto", [](const State& s) { return !s.GetReadings().zeroFlag; }},
    {"unit", "lb", [](const State& s) { return s.GetReadings().unit == "lb"; }},
    {"cas-weight", "12.5", [](const State& s) { return s.GetReadings().casWeightText == "12.5"; }},
    {"cas-state", "X", [](const State& s) { return s.GetReadings().casState == 'X'; }},
    {"cas-state", "auto", [](const State& s) { return !s.GetReadings().casState; }},
    {"oka-flag", "64", [](const State& s) { return s.GetReadings().okaFlag == 64; }},
    {"oka-flag", "auto", [](const State& s) { return !s.GetReadings().okaFlag; }},
    {"active-interval-ms", "250", [](const State& s) { return s.ActiveInterval().count() == 250; }},
    {"enq", "double", [](const State& s) { return s.GetFaults().enqReply == Scalesim::EnqReply::DoubleAck; }},
    {"enq", "none", [](const State& s) { return s.GetFaults().enqReply == Scalesim::EnqReply::None; }},
    {"bad-check", "1", [](const State& s) { return s.GetFaults().badCheck; }},
    {"stray", "03 04", [](const State& s) { return s.GetFaults().stray == B({0x03, 0x04}); }},
    {"split-at", "7", [](const State& s) { return s.GetFaults().splitAt == 7; }},
    {"ignore", "enq, cas-status", [](const State& s) { return s.GetFaults().ignored.size() == 2; }},
    {"error-keywords", "max", [](const State& s) { return s.GetFaults().errorKeywords.count("max") == 1; }},
    {"max", "30", [](const State& s) { return s.NativeValue("max") == "30"; }},
};

// After kAccepted, just past each key's limit: refused, and the value before stays.
const KeyRow kRefused[] = {
    {"decimals", "6", [](const State& s) { return s.GetReadings().decimals == 5; }},
    {"pos-state2", "256", [](const State& s) { return s.GetReadings().posState2 == 255; }},
    {"settle-polls", "-1", [](const State& s) { return s.GetReadings().settlePolls == 4; }},
    {"zero", "maybe", [](const State& s) { return !s.GetReadings().zeroFlag; }},
    {"unit", "", [](const State& s) { return s.GetReadings().unit == "lb"; }},
    {"cas-weight", "1234567", [](const State& s) { return s.GetReadings().casWeightText == "12.5"; }},
    {"cas-state", "XY", [](const State& s) { return !s.GetReadings().casState; }},
    {"oka-flag", "0x100", [](const State& s) { return !s.GetReadings().okaFlag; }},
    {"active-interval-ms", "3600001", [](const State& s) { return s.ActiveInterval().count() == 250; }},
    {"bad-check", "2", [](const State& s) { return s.GetFaults().badCheck; }},
    {"split-at", "1000001", [](const State& s) { return s.GetFaults().splitAt == 7; }},
};

TEST(ScaleValues, EachKeyStoresInItsPlaceWithinItsOwnLimits) {
  auto state = Scalesim::MakeScaleState();
  for (const auto& row : kAccepted) {
    EXPECT_TRUE(Scalesim::SetScaleValue(*state, row.key, row.value)) << row.key;
    EXPECT_TRUE(row.stored(*state)) << row.key << "=" << row.value;
  }
  for (const auto& row : kRefused) {
    EXPECT_FALSE(Scalesim::SetScaleValue(*state, row.key, row.value)) << row.key << "=" << row.value;
    EXPECT_TRUE(row.stored(*state)) << row.key << "=" << row.value;
  }
}

}  // namespace
}  // namespace SimulatorTests
