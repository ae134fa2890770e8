// Replies of the POS, CAS and OKA scales, checked against frames worked out by hand.
#include "simulator/responders/frames.hpp"
#include "tests/simulator/test-helpers.hpp"

namespace SimulatorTests {
namespace {

TEST(PosResponder, HandshakeAndStatusFrame) {
  Scale scale("POS2M");
  scale.Set("weight", "1000");
  scale.Set("tare", "100");
  EXPECT_EQ(scale.Send(kEnq), B({0x06}));
  // L = 12: ':' 00, state 05 (stable, tare in use) 00, weight E8 03 00 00, tare 64 00, 00 00;
  // check = 0C ^ 3A ^ 05 ^ E8 ^ 03 ^ 64 = BC.
  EXPECT_EQ(scale.Send(kPosStatus),
            B({0x06, 0x02, 0x0C, 0x3A, 0x00, 0x05, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0xBC}));
}

TEST(PosResponder, NegativeWeightAndLargestTareUnstable) {
  Scale scale("POS2M");
  scale.Set("weight", "-1");
  scale.Set("tare", "65535");
  scale.Set("stable", "0");
  scale.Set("pos-state2", "0xC0");
  // State 04 C0; the six FF bytes cancel out of the check: 0C ^ 3A ^ 04 ^ C0 = F2.
  EXPECT_EQ(scale.Send(kPosStatus),
            B({0x06, 0x02, 0x0C, 0x3A, 0x00, 0x04, 0xC0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xF2}));
}

TEST(PosResponder, ZeroTareAndSpecifyTare) {
  Scale scale("POS2M");
  scale.Set("weight", "250");
  EXPECT_EQ(scale.Send(kPosTare), B({0x06, 0x02, 0x02, 0x31, 0x00, 0x33}));
  EXPECT_EQ(scale.state->GetReadings().tare, 250);
  EXPECT_EQ(scale.state->GetReadings().weight, 0);

  // Tare 300 = 2C 01; check over the data only: 32^30^30^33^30^2C^01 = 1C. The leading ENQ is
  // answered like any handshake.
  const Bytes specify = B({0x05, 0x02, 0x07, 0x32, 0x30, 0x30, 0x33, 0x30, 0x2C, 0x01, 0x1C});
  EXPECT_EQ(scale.Send(specify), B({0x06, 0x06, 0x02, 0x02, 0x32, 0x00, 0x30}));
  EXPECT_EQ(scale.state->GetReadings().tare, 300);
  EXPECT_EQ(scale.state->GetReadings().weight, -50);  // gross 250 kept

  EXPECT_EQ(scale.Send(kPosZero), B({0x06, 0x02, 0x02, 0x30, 0x00, 0x32}));
  EXPECT_EQ(scale.state->GetReadings().weight, 0);
  EXPECT_EQ(scale.state->RequestCount("pos-specify-tare"), 1);
  EXPECT_EQ(scale.state->RequestCount("enq"), 1);
}

TEST(PosResponder, RefusesFramesWithWrongCheckOrUnknownData) {
  Scale scale("POS2M");
  // Specify tare with the length byte wrongly included in the check (1C ^ 07).
  EXPECT_EQ(scale.Send(B({0x02, 0x07, 0x32, 0x30, 0x30, 0x33, 0x30, 0x2C, 0x01, 0x1B})), B({0x15}));
  EXPECT_EQ(scale.Send(B({0x02, 0x05, 0x3A, 0x30, 0x30, 0x33, 0x30, 0x3D})), B({0x15}));
  EXPECT_EQ(scale.Send(B({0x02, 0x01, 0x39, 0x38})), B({0x15}));
  EXPECT_EQ(scale.state->RequestCount("pos-bad-frame"), 3);
  EXPECT_EQ(scale.state->GetReadings().tare, 0);
}

TEST(PosResponder, RequestSplitOrJoinedAcrossReads) {
  Scale scale("POS2M");
  EXPECT_TRUE(scale.Send(Bytes(kPosStatus.begin(), kPosStatus.begin() + 3)).empty());
  EXPECT_EQ(scale.Send(Bytes(kPosStatus.begin() + 3, kPosStatus.end())).size(), 16u);
  Bytes both = kEnq;
  both.insert(both.end(), kPosZero.begin(), kPosZero.end());
  EXPECT_EQ(scale.Send(both), B({0x06, 0x06, 0x02, 0x02, 0x30, 0x00, 0x32}));
}

TEST(PosResponder, OnlyTheProVariantSpeaksNativeText) {
  Scale plain("POS2M");
  EXPECT_TRUE(plain.Ask("Gsern\r\n").empty());
  Scale pro("POS2MProV1");
  EXPECT_EQ(pro.Ask("Gsern\r\n"), "sern=00012345\r\n");
  EXPECT_EQ(pro.Send(kEnq), B({0x06}));
  EXPECT_EQ(pro.Send(kPosStatus).size(), 16u);
}

TEST(PosResponder, BecomesStableAfterTheSettlePolls) {
  Scale scale("POS2M");
  scale.Set("settle-polls", "2");
  for (int poll = 1; poll <= 3; ++poll) {
    const Bytes reply = scale.Send(kPosStatus);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(reply[5] & 0x01, poll == 3 ? 1 : 0) << "poll " << poll;
  }
  EXPECT_EQ(scale.state->RequestCount("pos-status"), 3);
}

TEST(CasResponder, StableFrameInKilograms) {
  Scale scale("CAS-M");
  scale.Set("weight", "125");
  scale.Set("decimals", "2");
  EXPECT_EQ(scale.Send(kEnq), B({0x06}));
  // 'S' ' ' "  1.25" "kg": BCC = 53^20^20^20^31^2E^32^35^6B^67 = 67.
  EXPECT_EQ(scale.Send(kDc1),
            B({0x01, 0x02, 0x53, 0x20, 0x20, 0x20, 0x31, 0x2E, 0x32, 0x35, 0x6B, 0x67, 0x67, 0x03, 0x04}));
}

TEST(CasResponder, UnstableNegativeOverloadAndGrams) {
  Scale scale("CAS-M");
  scale.Set("weight", "-125");
  scale.Set("decimals", "2");
  scale.Set("stable", "false");
  // 'U' '-' "  1.25" "kg": BCC = 6C.
  EXPECT_EQ(scale.Send(kDc1),
            B({0x01, 0x02, 0x55, 0x2D, 0x20, 0x20, 0x31, 0x2E, 0x32, 0x35, 0x6B, 0x67, 0x6C, 0x03, 0x04}));

  scale.Set("overload", "1");
  EXPECT_EQ(scale.Send(kDc1)[2], 'F');

  Scale grams("CAS-M");
  grams.Set("weight", "500");
  grams.Set("decimals", "0");
  grams.Set("unit", "g");
  // 'S' ' ' "   500" " g": BCC = 21.
  EXPECT_EQ(grams.Send(kDc1),
            B({0x01, 0x02, 0x53, 0x20, 0x20, 0x20, 0x20, 0x35, 0x30, 0x30, 0x20, 0x67, 0x21, 0x03, 0x04}));
}

TEST(CasResponder, WeightFieldFormats) {
  Scalesim::Readings r;
  r.weight = 5;
  EXPECT_EQ(Scalesim::CasWeightField(r), " 0.005");
  r.weight = 1234567;
  EXPECT_EQ(Scalesim::CasWeightField(r), "FFFFFF");  // too wide: overload pattern
  r.casWeightText = "";
  r.weight = 15000;
  EXPECT_EQ(Scalesim::CasWeightField(r), "15.000");
  r.casWeightText = "  ";
  EXPECT_EQ(Scalesim::CasWeightField(r), "      ");
}

TEST(CasResponder, ZeroAndTareKeysGetNoAnswer) {
  Scale scale("CAS-M");
  scale.Set("weight", "700");
  EXPECT_TRUE(scale.Send(Text("<TK>\t")).empty());
  EXPECT_EQ(scale.state->GetReadings().tare, 700);
  scale.Set("weight", "20");
  EXPECT_TRUE(scale.Send(Text("<ZK>\t")).empty());
  EXPECT_EQ(scale.state->GetReadings().weight, 0);
  EXPECT_EQ(scale.state->RequestCount("cas-zero"), 1);
  EXPECT_EQ(scale.state->RequestCount("cas-tare"), 1);
}

TEST(CasResponder, OtherProtocolsProbesAreNotAnswered) {
  Scale scale("CAS-M");
  EXPECT_TRUE(scale.Send(kOkaWeight).empty());
  EXPECT_TRUE(scale.Ask("Gsern\r\n").empty());
  Scale pro("CAS-M ProV1");
  EXPECT_EQ(pro.Ask("Gsern\r\n"), "sern=00012345\r\n");
  EXPECT_EQ(pro.Send(kDc1).size(), 15u);
}

TEST(CasActiveResponder, StreamsFramesAndIgnoresInput) {
  Scale scale("CAS-M-Active");
  scale.Set("active-interval-ms", "40");
  EXPECT_EQ(scale.responder->TickInterval(), std::chrono::milliseconds(40));
  EXPECT_TRUE(scale.Send(kEnq).empty());
  EXPECT_TRUE(scale.Send(kDc1).empty());
  const Bytes frame = scale.responder->OnTick();
  ASSERT_EQ(frame.size(), 15u);
  EXPECT_EQ(frame[0], 0x01);
  EXPECT_EQ(frame[14], 0x04);
  scale.Set("split-at", "6");
  EXPECT_EQ(scale.responder->OnTick(), Bytes(frame.begin(), frame.begin() + 6));
  EXPECT_EQ(scale.responder->OnTick(), Bytes(frame.begin() + 6, frame.end()));
  EXPECT_EQ(scale.state->RequestCount("cas-active-frame"), 2);
}

TEST(OkaResponder, WeightAndSumReplies) {
  Scale scale("OKA");
  scale.Set("weight", "1234");
  scale.Set("tare", "100");
  scale.Set("oka-sum-digit", "5");
  EXPECT_EQ(scale.Send(kOkaWeight), B({4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // (1234 + 100) tenths and the digit 5: 13345, least significant first.
  EXPECT_EQ(scale.Send(OkaSixteen(0x06)), B({5, 4, 3, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(OkaResponder, FlagsFollowTheState) {
  Scale scale("OKA");
  EXPECT_EQ(scale.Send(kOkaWeight).at(11), 0x00);
  scale.Set("stable", "0");
  EXPECT_EQ(scale.Send(kOkaWeight).at(11), 0x40);
  scale.Set("overload", "1");
  EXPECT_EQ(scale.Send(kOkaWeight).at(11), 0xC0);
  scale.Set("oka-flag", "0x00");
  EXPECT_EQ(scale.Send(kOkaWeight).at(11), 0x00);
}

TEST(OkaResponder, TareAndZeroAreOneWay) {
  Scale scale("OKA");
  scale.Set("weight", "2000");
  EXPECT_TRUE(scale.Send(B({0x07, 4, 3, 2, 1, 0, 0})).empty());  // tare 1234
  EXPECT_EQ(scale.state->GetReadings().tare, 1234);
  EXPECT_EQ(scale.state->GetReadings().weight, 766);
  EXPECT_TRUE(scale.Send(OkaSixteen(0x01)).empty());
  EXPECT_EQ(scale.state->GetReadings().weight, 0);
  // Neither the POS nor the CAS handshake is answered, nor a digit above 9.
  EXPECT_TRUE(scale.Send(kEnq).empty());
  EXPECT_TRUE(scale.Send(B({0x07, 10, 0, 0, 0, 0, 0})).empty());
  EXPECT_EQ(scale.state->GetReadings().tare, 1234);
  EXPECT_EQ(scale.state->RequestCount("oka-tare"), 1);
  EXPECT_EQ(scale.state->RequestCount("oka-zero"), 1);
}

// What each kind of scale answers to the probes the driver sends while it finds the protocol:
// reply sizes, each probe sent to a fresh scale.
TEST(AllResponders, AnswerOnlyTheirOwnProtocol) {
  const std::vector<std::pair<std::string, Bytes>> probes = {
      {"ENQ", kEnq},          {"POS status", kPosStatus}, {"Gsern", Text("Gsern\r\n")},
      {"OKA 02", kOkaWeight}, {"OKA 06", OkaSixteen(6)}, {"DC1", kDc1}};
  const std::vector<std::pair<std::string, std::vector<std::size_t>>> scales = {
      {"POS2M", {1, 16, 0, 0, 0, 0}},
      {"POS2MProV1", {1, 16, 15, 0, 0, 0}},
      // A CAS scale acknowledges the ENQ byte that is the POS request's length byte.
      {"CAS-M", {1, 1, 0, 0, 0, 15}},
      {"CAS-M ProV1", {1, 1, 15, 0, 0, 15}},
      {"CAS-M-Active", {0, 0, 0, 0, 0, 0}},
      {"OKA", {0, 0, 15, 24, 18, 0}},
      {"native", {0, 0, 15, 0, 0, 0}},
      {"silent", {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& [protocol, sizes] : scales) {
    for (std::size_t i = 0; i < probes.size(); ++i) {
      Scale scale(protocol);
      ASSERT_NE(scale.responder, nullptr) << protocol;
      EXPECT_EQ(scale.Send(probes[i].second).size(), sizes[i]) << protocol << " <- " << probes[i].first;
    }
  }
}

}  // namespace
}  // namespace SimulatorTests
