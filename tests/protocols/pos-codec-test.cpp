#include <gtest/gtest.h>

#include "driver/protocols/pos-communicator.hpp"
#include "driver/protocols/pos-protocol.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

// ACK STX L=10 data(10) check: state bytes 01 00, weight 1000, tare 100.
ByteVector StatusReply(ByteVector state = {0x01, 0x00}, ByteVector weight = {0xE8, 0x03, 0x00, 0x00},
                       ByteVector tare = {0x64, 0x00}) {
  ByteVector frame{0x06, 0x02, 0x0A, 0x30, 0x30};
  frame.insert(frame.end(), state.begin(), state.end());
  frame.insert(frame.end(), weight.begin(), weight.end());
  frame.insert(frame.end(), tare.begin(), tare.end());
  std::uint8_t check = 0;
  for (std::size_t i = 2; i < frame.size(); ++i) check ^= frame[i];
  frame.push_back(check);
  return frame;
}

TEST(POSCodec, RequestFramesCarryTheirCheckByte) {
  for (const auto& frame : {Pos::StatusRequest(), Pos::SetZeroRequest(), Pos::SetTareRequest()}) {
    ASSERT_EQ(frame.size(), 8u);
    std::uint8_t check = 0;
    for (std::size_t i = 1; i + 1 < frame.size(); ++i) check ^= frame[i];
    EXPECT_EQ(check, frame.back());
  }
  EXPECT_EQ(Pos::StatusRequest(), (ByteVector{0x02, 0x05, 0x3A, 0x30, 0x30, 0x33, 0x30, 0x3C}));
}

TEST(POSCodec, StatusValidatorAcceptsOnlyWholeCheckedFrames) {
  const ByteVector good = StatusReply();
  EXPECT_TRUE(POSStatusOfWeightChannelResponseValidator(good));
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(POSStatusOfWeightChannelResponseValidator(ByteVector(good.begin(), good.begin() + n))) << n;
  }
  ByteVector badCheck = good;
  badCheck.back() ^= 0xFF;
  EXPECT_FALSE(POSStatusOfWeightChannelResponseValidator(badCheck));
  // A length byte promising more data than came: wait, never accept early.
  ByteVector lying = good;
  lying[2] = 0x20;
  EXPECT_FALSE(POSStatusOfWeightChannelResponseValidator(lying));
  // Line noise whose length byte will never be met does not hide the whole frame after it.
  for (const ByteVector& noise : {ByteVector{0x06, 0x02, 0xFF}, ByteVector{0x06, 0x02, 0x20, 0x30}}) {
    ByteVector reply = noise;
    reply.insert(reply.end(), good.begin(), good.end());
    ASSERT_TRUE(POSStatusOfWeightChannelResponseValidator(reply));
    ErrorCase code = ErrorCase::Correct;
    EXPECT_EQ(Pos::DecodeStatusReply(reply, code)[ParamType::Weight], "1000");
    EXPECT_EQ(code, ErrorCase::Correct);
  }
}

TEST(POSCodec, TypedReadingGramsStabilityAndTare) {
  struct Case {
    ByteVector state, weight, tare;
    std::int64_t weightMg;
    Flag stable, net;
  } cases[] = {
      {{0x01, 0x00}, {0xE8, 0x03, 0x00, 0x00}, {0x64, 0x00}, 1000000, Flag::Yes, Flag::Yes},
      {{0x00, 0x00}, {0xEC, 0xFF, 0xFF, 0xFF}, {0x00, 0x00}, -20000, Flag::No, Flag::No},
  };
  for (const auto& c : cases) {
    ErrorCase code = ErrorCase::Correct;
    const WeightReading reading = Pos::DecodeStatusReading(StatusReply(c.state, c.weight, c.tare), code);
    ASSERT_EQ(code, ErrorCase::Correct);
    EXPECT_EQ(reading.weightMg, c.weightMg);
    EXPECT_EQ(reading.unit, "g");
    EXPECT_EQ(reading.stable, c.stable);
    EXPECT_EQ(reading.overload, Flag::Unknown);  // no such bit
    EXPECT_EQ(reading.net, c.net);
    EXPECT_TRUE(reading.tareKnown);
    EXPECT_EQ(reading.tareMg, c.net == Flag::Yes ? 100000 : 0);
  }
}

TEST(POSCodec, DecodesTheExampleReply) {
  ErrorCase code = ErrorCase::Correct;
  auto values = Pos::DecodeStatusReply(StatusReply(), code);
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(values[ParamType::WeightState], "1000000000");
  EXPECT_EQ(values[ParamType::Weight], "1000");
  EXPECT_EQ(values[ParamType::Tare], "100");
  EXPECT_EQ(values[ParamType::UnitOfMeasure], "gr");
}

TEST(POSCodec, DecodesExtremes) {
  ErrorCase code = ErrorCase::Correct;
  auto values = Pos::DecodeStatusReply(StatusReply({0x00, 0xC0}, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF}), code);
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(values[ParamType::Weight], "-1");
  EXPECT_EQ(values[ParamType::Tare], "65535");
  EXPECT_EQ(values[ParamType::WeightState], "0000000011");
  values = Pos::DecodeStatusReply(StatusReply({0x80, 0x40}, {0x00, 0x00, 0x00, 0x80}, {0x00, 0x00}), code);
  EXPECT_EQ(values[ParamType::Weight], "-2147483648");
  EXPECT_EQ(values[ParamType::WeightState], "0000000101");
}

TEST(POSCodec, StrayBytesBeforeTheAckDoNotShiftTheValues) {
  ByteVector reply{0x15, 0x33, 0x06, 0x99};
  const ByteVector frame = StatusReply();
  reply.insert(reply.end(), frame.begin(), frame.end());
  ASSERT_TRUE(POSStatusOfWeightChannelResponseValidator(reply));
  ErrorCase code = ErrorCase::Correct;
  auto values = Pos::DecodeStatusReply(reply, code);
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(values[ParamType::Weight], "1000");
  EXPECT_EQ(values[ParamType::Tare], "100");
}

TEST(POSCodec, ShortOrFramelessRepliesAreRefused) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_TRUE(Pos::DecodeStatusReply({0x06, 0x02}, code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceUnexpectedResponse);
  // A checked frame too short to hold the tare field.
  code = ErrorCase::Correct;
  EXPECT_TRUE(Pos::DecodeStatusReply({0x06, 0x02, 0x02, 0x30, 0x00, 0x32}, code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
}

TEST(POSCodec, WeightStateNeedsTwoBytes) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(Pos::DecodeWeightState({0x01}, code), "");
  EXPECT_EQ(code, ErrorCase::IncorrectArgumnts);
}

TEST(POSCodec, FixedRepliesAreFoundAnywhere) {
  EXPECT_TRUE(POSSetZeroResponseValidator({0x00, 0x06, 0x02, 0x02, 0x30, 0x00, 0x32}));
  EXPECT_FALSE(POSSetZeroResponseValidator({0x06, 0x02, 0x02, 0x30, 0x00}));
  EXPECT_FALSE(POSSetZeroResponseValidator({0x06, 0x02, 0x02, 0x31, 0x00, 0x33}));
  EXPECT_TRUE(POSSetTareResponseValidator({0x06, 0x02, 0x02, 0x31, 0x00, 0x33, 0x7F}));
  EXPECT_TRUE(POSSpecifyTareResponseValidator({0x06, 0x02, 0x32, 0x00}));
  EXPECT_FALSE(POSSpecifyTareResponseValidator({0x02, 0x32}));
}

TEST(POSCodec, HandshakeNeedsExactlyOneAckOrNak) {
  EXPECT_TRUE(IsPOSHandshakeAccepted({0x06}));
  EXPECT_TRUE(IsPOSHandshakeAccepted({0x15}));
  EXPECT_FALSE(IsPOSHandshakeAccepted({}));
  EXPECT_FALSE(IsPOSHandshakeAccepted({0x06, 0x06}));
  EXPECT_FALSE(IsPOSHandshakeAccepted({0x05}));
  EXPECT_TRUE(POSStartResponseValidator({0x00, 0x15}));
  EXPECT_FALSE(POSStartResponseValidator({0x00}));
}

TEST(POSCodec, SpecifyTareFrame) {
  ErrorCase code = ErrorCase::Correct;
  const ByteVector frame = Pos::MakeSpecifyTareRequest("300", code);
  ASSERT_EQ(code, ErrorCase::Correct);
  const std::uint8_t check = 0x32 ^ 0x30 ^ 0x30 ^ 0x33 ^ 0x30 ^ 0x2C ^ 0x01;
  EXPECT_EQ(frame, (ByteVector{0x05, 0x02, 0x07, 0x32, 0x30, 0x30, 0x33, 0x30, 0x2C, 0x01, check}));
  EXPECT_EQ(frame[2], frame.size() - 4);  // the length byte counts the data between it and the check

  auto valueBytes = [](const std::string& tare) {
    ErrorCase c = ErrorCase::Correct;
    auto f = Pos::MakeSpecifyTareRequest(tare, c);
    EXPECT_EQ(c, ErrorCase::Correct) << tare;
    return f.size() == 11 ? ByteVector{f[8], f[9]} : ByteVector{};
  };
  EXPECT_EQ(valueBytes("-1"), (ByteVector{0xFF, 0xFF}));
  EXPECT_EQ(valueBytes("65535"), (ByteVector{0xFF, 0xFF}));
  EXPECT_EQ(valueBytes("-32768"), (ByteVector{0x00, 0x80}));
  EXPECT_EQ(valueBytes("0"), (ByteVector{0x00, 0x00}));
}

TEST(POSCodec, SpecifyTareRefusesWhatWouldBeSentWrong) {
  for (const char* tare : {"", "abc", "12a", " 12", "1.5", "65536", "-32769", "99999999999999999999", "-", "0x10"}) {
    ErrorCase code = ErrorCase::Correct;
    EXPECT_TRUE(Pos::MakeSpecifyTareRequest(tare, code).empty()) << tare;
    EXPECT_EQ(code, ErrorCase::ParamValueUnsupported) << tare;
  }
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
