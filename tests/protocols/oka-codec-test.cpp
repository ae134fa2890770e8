#include <gtest/gtest.h>

#include "driver/protocols/oka-protocol.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

// Weight reply: weight digits least significant first, five zeros, the flag, padding to 24.
ByteVector WeightReply(ByteVector digitsLsbFirst, std::uint8_t flag) {
  ByteVector reply = digitsLsbFirst;
  reply.resize(11, 0x00);
  reply.push_back(flag);
  reply.resize(24, 0x00);
  return reply;
}

ByteVector SumReply(ByteVector digitsLsbFirst) {
  ByteVector reply = digitsLsbFirst;
  reply.resize(18, 0x00);
  return reply;
}

std::string TareOf(const ByteVector& weight, const ByteVector& sum) {
  ErrorCase code = ErrorCase::Correct;
  auto tare = Oka::ComputeTareDigits(weight, sum, code);
  EXPECT_EQ(code, ErrorCase::Correct);
  return Oka::DigitsToKilograms(tare, code);
}

TEST(OKACodec, Requests) {
  EXPECT_EQ(Oka::SetZeroRequest(), (ByteVector{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(Oka::SumRequest().size(), 16u);
  EXPECT_EQ(Oka::SumRequest().back(), 0x06);
  EXPECT_EQ(Oka::WeightRequest(), (ByteVector{2, 9, 9, 9, 9, 9, 9}));
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(Oka::MakeSpecifyTareRequest("1234", code), (ByteVector{7, 4, 3, 2, 1, 0, 0}));
  EXPECT_EQ(Oka::MakeSpecifyTareRequest("999999", code), (ByteVector{7, 9, 9, 9, 9, 9, 9}));
  EXPECT_EQ(Oka::MakeSpecifyTareRequest("0", code), (ByteVector{7, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(code, ErrorCase::Correct);
}

TEST(OKACodec, TareInputOnlyOneToSixDigits) {
  for (const char* tare : {"", "1234567", "12a4", "-12", "+12", " 12", "1.5"}) {
    ErrorCase code = ErrorCase::Correct;
    EXPECT_TRUE(Oka::MakeSpecifyTareRequest(tare, code).empty()) << tare;
    EXPECT_EQ(code, ErrorCase::ParamValueUnsupported) << tare;
  }
}

TEST(OKACodec, Validators) {
  EXPECT_TRUE(OKAWeightResponseValidator(WeightReply({4, 3, 2, 1}, 0x00)));
  ByteVector shortReply = WeightReply({4, 3, 2, 1}, 0x00);
  shortReply.pop_back();
  EXPECT_FALSE(OKAWeightResponseValidator(shortReply));
  ByteVector nonZero = WeightReply({4, 3, 2, 1}, 0x00);
  nonZero[8] = 1;
  EXPECT_FALSE(OKAWeightResponseValidator(nonZero));
  EXPECT_TRUE(OKASumResponseValidator(ByteVector(18, 0)));
  EXPECT_FALSE(OKASumResponseValidator(ByteVector(17, 0)));
}

TEST(OKACodec, TareArithmetic) {
  // Weight 1.234 kg, weight plus tare 13345 (one extra digit): tare (13345 + 5) / 10 - 1234.
  EXPECT_EQ(TareOf({0, 0, 1, 2, 3, 4}, {0, 0, 1, 3, 3, 4, 5}), "0.101");
  // Sum digits equal to the weight followed by any digit: no tare.
  EXPECT_EQ(TareOf({0, 0, 1, 2, 3, 4}, {0, 0, 1, 2, 3, 4, 9}), "0.000");
  // Sum below the weight, also once rounded: no tare.
  EXPECT_EQ(TareOf({0, 0, 1, 2, 3, 4}, {0, 0, 0, 9, 9, 9, 9}), "0.000");
  EXPECT_EQ(TareOf({0, 0, 1, 2, 3, 4}, {0, 0, 0, 1, 3, 0, 0}), "0.000");
  EXPECT_EQ(TareOf({0, 0, 1, 2, 3, 4}, {0, 0, 0, 0, 0, 0, 0}), "0.000");
  // Against a zero weight the whole rounded sum is tare.
  EXPECT_EQ(TareOf({0, 0, 0, 0, 0, 0}, {0, 0, 0, 5, 0, 0, 4}), "0.500");
  EXPECT_EQ(TareOf({0, 0, 0, 0, 0, 0}, {9, 9, 9, 9, 9, 9, 4}), "999.999");
  ErrorCase code = ErrorCase::Correct;
  EXPECT_TRUE(Oka::ComputeTareDigits({0, 0, 0, 0, 0, 0}, {9, 9, 9, 9, 9, 9, 9}, code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
}

TEST(OKACodec, StatusRecord) {
  ErrorCase code = ErrorCase::Correct;
  auto record = Oka::MakeStatusRecord(WeightReply({4, 3, 2, 1}, 0x00), SumReply({5, 4, 3, 3, 1}), code);
  ASSERT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(record, (ByteVector{0, 0, 1, 2, 3, 4, 0x00, 0, 0, 0, 1, 0, 1}));

  // Flag 0x40: the weight reads as zero and the tare is taken against zero.
  record = Oka::MakeStatusRecord(WeightReply({4, 3, 2, 1}, 0x40), SumReply({5, 4, 3, 3, 1}), code);
  ASSERT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(record, (ByteVector{0, 0, 0, 0, 0, 0, 0x40, 0, 0, 1, 3, 3, 5}));
  record = Oka::MakeStatusRecord(WeightReply({4, 3, 2, 1}, 0xC0), SumReply({}), code);
  EXPECT_EQ(record, (ByteVector{0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0}));
}

TEST(OKACodec, TypedReadingFromTheFlagByte) {
  struct Case {
    std::uint8_t flag;
    std::int64_t weightMg;
    Flag stable, overload;
  } cases[] = {{0x00, 1234000, Flag::Yes, Flag::No}, {0x40, 0, Flag::No, Flag::No}, {0xC0, 0, Flag::No, Flag::Yes}};
  for (const auto& c : cases) {
    ErrorCase code = ErrorCase::Correct;
    const auto record = Oka::MakeStatusRecord(WeightReply({4, 3, 2, 1}, c.flag), SumReply({5, 4, 3, 3, 1}), code);
    const WeightReading reading = Oka::DecodeStatusRecord(record, code);
    ASSERT_EQ(code, ErrorCase::Correct);
    EXPECT_EQ(reading.weightMg, c.weightMg) << int(c.flag);
    EXPECT_EQ(reading.unit, "kg");
    EXPECT_EQ(reading.stable, c.stable) << int(c.flag);
    EXPECT_EQ(reading.overload, c.overload) << int(c.flag);
    EXPECT_TRUE(reading.tareKnown);
    EXPECT_EQ(reading.net, FlagOf(reading.tareMg != 0));
  }
  ErrorCase code = ErrorCase::Correct;
  Oka::DecodeStatusRecord(ByteVector(12, 0), code);
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
}

TEST(OKACodec, DigitBytesAboveNineAreIncorrectFormat) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_TRUE(Oka::MakeStatusRecord(WeightReply({4, 0x0A, 2, 1}, 0x00), SumReply({}), code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
  code = ErrorCase::Correct;
  EXPECT_TRUE(Oka::MakeStatusRecord(WeightReply({4, 3, 2, 1}, 0x00), SumReply({0, 0, 0, 0, 0, 0, 0xFF}), code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
  code = ErrorCase::Correct;
  EXPECT_EQ(Oka::DigitsToKilograms({1, 12}, code), "");
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
}

TEST(OKACodec, ValueTexts) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(Oka::DigitsToKilograms({0, 0, 1, 2, 3, 4}, code), "1.234");
  EXPECT_EQ(Oka::DigitsToKilograms({0, 0, 0, 0, 0, 5}, code), "0.005");
  EXPECT_EQ(Oka::DigitsToKilograms({0, 0, 0, 0, 0, 0}, code), "0.000");
  EXPECT_EQ(Oka::DigitsToKilograms({0, 0, 0, 1, 2, 3}, code), "0.123");
  EXPECT_EQ(Oka::DigitsToKilograms({9, 9, 9, 9, 9, 9}, code), "999.999");
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(Oka::FlagText({0x00}), "0x00");
  EXPECT_EQ(Oka::FlagText({0xC0}), "0xc0");
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
