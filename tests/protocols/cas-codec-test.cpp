#include <gtest/gtest.h>

#include <string>

#include "driver/protocols/cas-protocol.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

ByteVector Frame(char state, char sign, const std::string& weight, const std::string& unit) {
  ByteVector frame{0x01, 0x02, static_cast<std::uint8_t>(state), static_cast<std::uint8_t>(sign)};
  frame.insert(frame.end(), weight.begin(), weight.end());
  frame.insert(frame.end(), unit.begin(), unit.end());
  std::uint8_t bcc = 0;
  for (std::size_t i = 2; i < frame.size(); ++i) bcc ^= frame[i];
  frame.push_back(bcc);
  frame.push_back(0x03);
  frame.push_back(0x04);
  return frame;
}

OutputValues Decode(const ByteVector& frame, ErrorCase& code) {
  code = ErrorCase::Correct;
  return Cas::DecodeCASFrame(frame, 0, code);
}

TEST(CASCodec, DecodesTheExamples) {
  ErrorCase code;
  auto stable = Decode(Frame('S', ' ', "  1.25", "kg"), code);
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(stable[ParamType::Weight], "1.25");
  EXPECT_EQ(stable[ParamType::UnitOfMeasure], "kg");
  EXPECT_EQ(stable[ParamType::WeightState], "1***1*0***");

  auto unstable = Decode(Frame('U', '-', "  1.25", "kg"), code);
  EXPECT_EQ(unstable[ParamType::Weight], "-1.25");
  EXPECT_EQ(unstable[ParamType::WeightState], "0***0*0***");

  auto overload = Decode(Frame('F', ' ', "  1.25", "lb"), code);
  EXPECT_EQ(overload[ParamType::WeightState], "0***0*1***");
  EXPECT_EQ(overload[ParamType::UnitOfMeasure], "lb");

  auto grams = Decode(Frame('S', ' ', "   125", " g"), code);
  EXPECT_EQ(grams[ParamType::UnitOfMeasure], "g");
  EXPECT_EQ(grams[ParamType::Weight], "125");

  auto fInWeight = Decode(Frame('U', ' ', "  9F.9", "kg"), code);
  EXPECT_EQ(fInWeight[ParamType::WeightState], "0***0*1***");
}

TEST(CASCodec, TypedReadingInTheFramesUnit) {
  struct Case {
    ByteVector frame;
    std::int64_t weightMg;
    Flag stable, overload;
  } cases[] = {
      {Frame('S', ' ', "  1.25", "kg"), 1250000, Flag::Yes, Flag::No},
      {Frame('U', '-', "  1.25", "kg"), -1250000, Flag::No, Flag::No},
      {Frame('S', ' ', "   125", " g"), 125000, Flag::Yes, Flag::No},
      {Frame('S', ' ', "     1", "lb"), 453592, Flag::Yes, Flag::No},
      {Frame('U', ' ', "  9F.9", "kg"), 0, Flag::No, Flag::Yes},  // 'F's: no number, overload says why
      {Frame('F', ' ', "  1.25", "kg"), 1250000, Flag::No, Flag::Yes},
  };
  for (const auto& c : cases) {
    ErrorCase code = ErrorCase::Correct;
    const WeightReading reading = Cas::DecodeCASReading(c.frame, 0, code);
    ASSERT_EQ(code, ErrorCase::Correct);
    EXPECT_TRUE(reading.numeric);
    EXPECT_EQ(reading.weightMg, c.weightMg) << reading.text;
    EXPECT_EQ(reading.stable, c.stable) << reading.text;
    EXPECT_EQ(reading.overload, c.overload) << reading.text;
    EXPECT_EQ(reading.net, Flag::Unknown);
    EXPECT_FALSE(reading.tareKnown);
  }
}

TEST(CASCodec, MalformedFieldsAreIncorrectFormat) {
  ErrorCase code;
  for (const auto& frame : {Frame('X', ' ', "  1.25", "kg"), Frame('S', ' ', "  1.25", "KG"),
                            Frame('S', ' ', "      ", "kg"), Frame('S', ' ', "  -.--", "kg")}) {
    EXPECT_TRUE(Decode(frame, code).empty());
    EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
  }
  code = ErrorCase::Correct;
  EXPECT_TRUE(Cas::DecodeCASFrame(Frame('S', ' ', "  1.25", "kg"), 1, code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
}

TEST(CASCodec, StatusValidatorChecksFrameAndBcc) {
  const ByteVector good = Frame('S', ' ', "  1.25", "kg");
  EXPECT_TRUE(CASStatusOfWeightChannelResponseValidator(good));
  for (std::size_t n = 0; n < good.size(); ++n) {
    EXPECT_FALSE(CASStatusOfWeightChannelResponseValidator(ByteVector(good.begin(), good.begin() + n))) << n;
  }
  ByteVector badBcc = good;
  badBcc[12] ^= 0x01;
  EXPECT_FALSE(CASStatusOfWeightChannelResponseValidator(badBcc));
  // Self-transmitting scales are taken at their word: no BCC check, and one whole frame is
  // enough (a scale that sends only on a change sends no next frame to wait for).
  EXPECT_TRUE(CASActiveStatusOfWeightChannelResponseValidator(badBcc));
  ByteVector stream = badBcc;
  stream.insert(stream.begin(), 0x20);
  EXPECT_TRUE(CASActiveStatusOfWeightChannelResponseValidator(stream));
}

TEST(CASCodec, JunkBeforeTheFrame) {
  ByteVector reply{0x06, 0x20, 0x20};
  const ByteVector frame = Frame('U', '-', "  0.50", "kg");
  reply.insert(reply.end(), frame.begin(), frame.end());
  ASSERT_TRUE(CASStatusOfWeightChannelResponseValidator(reply));
  auto start = Cas::FindCheckedFrame(reply);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(*start, 3u);
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(Cas::DecodeCASFrame(reply, *start, code)[ParamType::Weight], "-0.50");

  // A stray ETX EOT ahead of the frame spoils the read: no later pair is tried.
  ByteVector spoiled{0x03, 0x04};
  spoiled.insert(spoiled.end(), frame.begin(), frame.end());
  EXPECT_FALSE(CASStatusOfWeightChannelResponseValidator(spoiled));
}

TEST(CASCodec, ActiveStreamOfOneAndAHalfFrames) {
  const ByteVector first = Frame('S', ' ', "  2.00", "kg");
  const ByteVector second = Frame('U', ' ', "  2.10", "kg");
  // The tail of a frame, then a whole one.
  ByteVector stream(first.begin() + 7, first.end());
  stream.insert(stream.end(), second.begin(), second.end());
  ASSERT_TRUE(CASActiveStatusOfWeightChannelResponseValidator(stream));
  auto start = Cas::FindUncheckedFrame(stream);
  ASSERT_TRUE(start.has_value());
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(Cas::DecodeCASFrame(stream, *start, code)[ParamType::Weight], "2.10");

  // The head of a frame cut short, then a whole one: the whole one is decoded.
  ByteVector cut(first.begin(), first.begin() + 7);
  cut.insert(cut.end(), second.begin(), second.end());
  start = Cas::FindUncheckedFrame(cut);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(*start, 7u);

  EXPECT_FALSE(CASActiveStatusOfWeightChannelResponseValidator(ByteVector(second.begin(), second.end() - 1)));
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
