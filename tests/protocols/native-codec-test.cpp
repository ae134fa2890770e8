#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/protocols/native-protocol.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

ByteVector Bytes(const std::string& text) { return ByteVector(text.begin(), text.end()); }
std::string Text(const ByteVector& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Keyword, whether a value is sent, and the reply keyword of the Get rows ("" for Set rows).
struct Row {
  int command;
  std::string sent;     // request with "7" as the input value where there is one
  std::string replyKey; // "" for Set and action rows
  ParamType type;
};

const Row kRows[] = {
    {1, "Smode7\r\n", "", ParamType::ScalesModel},
    {3, "Sver17\r\n", "", ParamType::FirmwareVersion1},
    {4, "Gver1\r\n", "ver1", ParamType::FirmwareVersion1},
    {5, "Gver2\r\n", "ver2", ParamType::FirmwareVersion2},
    {6, "Sprov7\r\n", "", ParamType::ProtocolVersion},
    {7, "Gprov\r\n", "prov", ParamType::ProtocolVersion},
    {8, "Ssern7\r\n", "", ParamType::SerialNumber},
    {9, "Gsern\r\n", "sern", ParamType::SerialNumber},
    {10, "Smax7\r\n", "", ParamType::MaxWeight},
    {11, "Gmax\r\n", "max", ParamType::MaxWeight},
    {12, "Sdiv7\r\n", "", ParamType::Discret},
    {13, "Gdiv\r\n", "div", ParamType::Discret},
    {14, "Sazr7\r\n", "", ParamType::ValueOfAutoSetToZero},
    {15, "Gazr\r\n", "azr", ParamType::ValueOfAutoSetToZero},
    {16, "Sazt7\r\n", "", ParamType::TimeOfAutoSetToZero},
    {17, "Gazt\r\n", "azt", ParamType::TimeOfAutoSetToZero},
    {18, "Spzr7\r\n", "", ParamType::RangeOfAutoSetToZero},
    {19, "Gpzr\r\n", "pzr", ParamType::RangeOfAutoSetToZero},
    {20, "Skzr7\r\n", "", ParamType::RangeOfKeyToZero},
    {21, "Gkzr\r\n", "kzr", ParamType::RangeOfKeyToZero},
    {22, "Sktr7\r\n", "", ParamType::RangeOfTare},
    {23, "Gktr\r\n", "ktr", ParamType::RangeOfTare},
    {24, "Sovr7\r\n", "", ParamType::RangeOfOverloads},
    {25, "Govr\r\n", "ovr", ParamType::RangeOfOverloads},
    {26, "Soff7\r\n", "", ParamType::AutoOff},
    {27, "Goff\r\n", "off", ParamType::AutoOff},
    {28, "Sbkl7\r\n", "", ParamType::LightLevel},
    {29, "Gbkl\r\n", "bkl", ParamType::LightLevel},
    {30, "Scal7\r\n", "", ParamType::WeightCalibration},
    {31, "Gcal\r\n", "cal", ParamType::WeightCalibration},
    {32, "Szcal\r\n", "", ParamType::Unset},
    {33, "Swcal\r\n", "", ParamType::Unset},
    {34, "Swcal7\r\n", "", ParamType::WeightScaleCalibrationParameters},
    {35, "Srst\r\n", "", ParamType::Unset},
    {36, "Scnt\r\n", "", ParamType::Unset},
    {37, "Gcnt\r\n", "cnt", ParamType::CountOfCalibration},
    {38, "Smodc7\r\n", "", ParamType::ModeOfCalibration},
    {39, "Gmodc\r\n", "modc", ParamType::ModeOfCalibration},
    {40, "Su2en7\r\n", "", ParamType::UnitOfMeasure},
    {41, "Gu2en\r\n", "u2en", ParamType::UnitOfMeasure},
    {42, "Su3en7\r\n", "", ParamType::UnitOfMeasure},
    {43, "Gu3en\r\n", "u3en", ParamType::UnitOfMeasure},
    {44, "Ssav7\r\n", "", ParamType::PowerSavingMode},
    {45, "Gsav\r\n", "sav", ParamType::PowerSavingMode},
    {46, "Sinit\r\n", "", ParamType::Unset},
    {47, "Scell17\r\n", "", ParamType::Cell},
    {48, "Scell27\r\n", "", ParamType::Cell},
};

TEST(NativeCodec, EveryCommandOfTheTableBuildsAndParses) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.sent);
    const NativeCommand* command = FindNativeCommand(static_cast<Command>(row.command));
    ASSERT_NE(command, nullptr);
    const bool hasInput = command->input != ParamType::Unset;
    EXPECT_EQ(hasInput ? command->input : command->output, row.type);

    ErrorCase code = ErrorCase::Correct;
    std::vector<std::string> values;
    if (hasInput) values.push_back("7");
    EXPECT_EQ(Text(BuildNativeRequest(command->request, values, code)), row.sent);
    EXPECT_EQ(code, ErrorCase::Correct);

    if (row.replyKey.empty()) {
      EXPECT_EQ(std::string(command->responseTemplate), "");
      EXPECT_EQ(command->output, ParamType::Unset);
      continue;
    }
    EXPECT_FALSE(hasInput);
    OutputValues values2 =
        ParseNativeValue(command->responseTemplate, command->output, row.replyKey + "=12.5\r\n", code);
    EXPECT_EQ(code, ErrorCase::Correct);
    EXPECT_EQ(values2, (OutputValues{{row.type, "12.5"}}));
  }
}

TEST(NativeCodec, TableHoldsExactlyTheNativeCommands) {
  std::set<int> numbers;
  for (const auto& row : NativeCommandTable()) numbers.insert(static_cast<int>(row.command));
  // GetScalesModel (2) has its own parser but is part of the table.
  EXPECT_EQ(numbers.size(), 48u);
  EXPECT_EQ(*numbers.begin(), 1);
  EXPECT_EQ(*numbers.rbegin(), 48);
  EXPECT_EQ(FindNativeCommand(Command::GetProtocolAuto), nullptr);
  EXPECT_EQ(FindNativeCommand(Command::Unset), nullptr);
}

TEST(NativeCodec, ControlCharactersInAValueAreRefused) {
  for (const std::string& value : std::vector<std::string>{"15\r\nSrst", "1\n", std::string("a\0b", 3), "\x1f", "\t"}) {
    ErrorCase code = ErrorCase::Correct;
    EXPECT_TRUE(BuildNativeRequest("Smax@\r\n", {value}, code).empty());
    EXPECT_EQ(code, ErrorCase::ParamValueUnsupported);
  }
  // Printable text, UTF-8 and "@" itself are sent as they stand.
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(Text(BuildNativeRequest("Ssern@\r\n", {"a@b ст~"}, code)), "Sserna@b ст~\r\n");
  EXPECT_EQ(code, ErrorCase::Correct);
}

TEST(NativeCodec, MoreValuesThanPlaceholdersIsAProgrammingFault) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_THROW(BuildNativeRequest("Srst\r\n", {"1"}, code), std::logic_error);
}

TEST(NativeCodec, AcknowledgementOfSetCommands) {
  EXPECT_EQ(ParseNativeAcknowledgement(Bytes("OK\r\n")), ErrorCase::Correct);
  EXPECT_EQ(ParseNativeAcknowledgement(Bytes("ERROR\r\n")), ErrorCase::DeviceReturnsError);
  EXPECT_EQ(ParseNativeAcknowledgement(Bytes("OK\r\nOK\r\n")), ErrorCase::DeviceUnexpectedResponse);
  EXPECT_EQ(ParseNativeAcknowledgement(Bytes("max=1\r\n")), ErrorCase::DeviceUnexpectedResponse);
  EXPECT_EQ(ParseNativeAcknowledgement({}), ErrorCase::DeviceUnexpectedResponse);
}

TEST(NativeCodec, GetRepliesThatDoNotMatchAreErrors) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_TRUE(ParseNativeValue("max=@\r\n", ParamType::MaxWeight, "ERROR\r\n", code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceReturnsError);

  code = ErrorCase::Correct;
  EXPECT_TRUE(ParseNativeValue("max=@\r\n", ParamType::MaxWeight, "div=1\r\n", code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceUnexpectedResponse);

  code = ErrorCase::Correct;
  EXPECT_TRUE(ParseNativeValue("max=@\r\n", ParamType::MaxWeight, "max=1\r", code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceUnexpectedResponse);
}

TEST(NativeCodec, GetRepliesWithEmptyValuesOrLeadingNoise) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(ParseNativeValue("max=@\r\n", ParamType::MaxWeight, "max=\r\n", code),
            (OutputValues{{ParamType::MaxWeight, ""}}));
  EXPECT_EQ(ParseNativeValue("max=@\r\n", ParamType::MaxWeight, "xx max=7\r\n", code),
            (OutputValues{{ParamType::MaxWeight, "7"}}));
  // The value ends at the first line end.
  EXPECT_EQ(ParseNativeValue("ver1=@\r\n", ParamType::FirmwareVersion1, "ver1=1.2 beta\r\nver1=9\r\n", code),
            (OutputValues{{ParamType::FirmwareVersion1, "1.2 beta"}}));
  EXPECT_EQ(code, ErrorCase::Correct);
}

// Where a reply holds the key more than once or a stray line end, the first place where the
// whole template fits wins.
TEST(NativeCodec, TemplateMatchesAtItsFirstFit) {
  struct Case {
    std::string reply;
    std::string value;
  } cases[] = {
      {"max=1\rmax=2\r\n", "2"},   {"max=max=3\r\n", "max=3"}, {"max=\nmax=4\r\n", "4"},
      {"max=5\r\r\nmax=6\r\n", "6"},    {"amax=6\r\nmax=7\r\n", "6"},
  };
  for (const auto& c : cases) {
    ErrorCase code = ErrorCase::Correct;
    auto values = ParseNativeValue("max=@\r\n", ParamType::MaxWeight, c.reply, code);
    EXPECT_EQ(code, ErrorCase::Correct) << c.reply;
    EXPECT_EQ(values, (OutputValues{{ParamType::MaxWeight, c.value}})) << c.reply;
  }
}

// A scale's reply line must never decide the stack depth: tens of thousands of digits once
// overflowed it inside the regular-expression matcher, killing the host process.
TEST(NativeCodec, OverLongRepliesAreRefusedWithoutRecursion) {
  const std::string digits(60000, '7');
  ErrorCase code = ErrorCase::Correct;
  EXPECT_TRUE(ParseNativeValue("max=@\r\n", ParamType::MaxWeight, "max=" + digits + "\r\n", code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
  code = ErrorCase::Correct;
  EXPECT_EQ(AssembleModelName("mode=510\r\nmax=" + digits + "\r\ndiv=1\r\nprov=2\r\n", code), "");
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
  // Bytes that are no text never become a model name in the store.
  code = ErrorCase::Correct;
  EXPECT_EQ(AssembleModelName("mode=\xC2\xE5\r\nmax=15\r\ndiv=1\r\nprov=2\r\n", code), "");
  EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat);
}

TEST(NativeCodec, ModelNameFromTheFourReplies) {
  struct Case {
    std::string replies;
    std::string model;
  } cases[] = {
      {"mode=510\r\nmax=015\r\ndiv=1\r\nprov=2\r\n", "T-QZ 510-15.2 III(средний)"},
      {"mode=A1\r\nmax=000\r\ndiv=5\r\nprov=2\r\n", "T-QZ A1-0.50 III(средний)"},
      {"ERROR\r\nmax=30\r\ndiv=0\r\nprov=2\r\n", "T-QZ 30.1 III(средний)"},
      {"mode=7\r\nERROR\r\nERROR\r\nprov=2\r\n", "T-QZ 7- III(средний)"},
      // The division index is a number: leading zeros name the same division.
      {"mode=510\r\nmax=15\r\ndiv=01\r\nprov=2\r\n", "T-QZ 510-15.2 III(средний)"},
      {"mode=510\r\nmax=15\r\ndiv=00\r\nprov=2\r\n", "T-QZ 510-15.1 III(средний)"},
  };
  for (const auto& c : cases) {
    ErrorCase code = ErrorCase::Correct;
    EXPECT_EQ(AssembleModelName(c.replies, code), c.model) << c.replies;
    EXPECT_EQ(code, ErrorCase::Correct);
  }
  EXPECT_EQ(std::string(" III(средний)").size(), 20u);
}

TEST(NativeCodec, ModelDivisionMustBeAnIndexOfTheMap) {
  for (const std::string div : {"6", "-1", "x", "1x", "06", "99999999999999999999"}) {
    ErrorCase code = ErrorCase::Correct;
    EXPECT_EQ(AssembleModelName("mode=510\r\nmax=15\r\ndiv=" + div + "\r\nprov=2\r\n", code), "") << div;
    EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat) << div;
  }
}

TEST(NativeCodec, ModelRepliesWithoutAnyValueAreErrors) {
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(AssembleModelName("ERROR\r\nERROR\r\nERROR\r\nprov=2\r\n", code), "");
  EXPECT_EQ(code, ErrorCase::DeviceReturnsError);
  code = ErrorCase::Correct;
  EXPECT_EQ(AssembleModelName("garbage\r\nprov=2\r\n", code), "");
  EXPECT_EQ(code, ErrorCase::DeviceUnexpectedResponse);
}

TEST(NativeCodec, DiscretMap) {
  const std::pair<std::string, std::string> expected[] = {{"0", "1"},  {"1", "2"},  {"2", "5"},
                                                          {"3", "10"}, {"4", "20"}, {"5", "50"}};
  for (const auto& [index, text] : expected) {
    std::string division;
    ASSERT_TRUE(DiscretFromIndex(index, division));
    EXPECT_EQ(division, text);
  }
  std::string division;
  EXPECT_FALSE(DiscretFromIndex("6", division));
  EXPECT_FALSE(DiscretFromIndex("", division));
}

TEST(NativeCodec, AnyWholeLineShowsTheNativeProtocol) {
  EXPECT_TRUE(IsNativeLineAnswer(ErrorCase::Correct));
  EXPECT_TRUE(IsNativeLineAnswer(ErrorCase::DeviceReturnsError));
  EXPECT_TRUE(IsNativeLineAnswer(ErrorCase::DeviceUnexpectedResponse));
  EXPECT_FALSE(IsNativeLineAnswer(ErrorCase::BoostTimeOut));
  EXPECT_FALSE(IsNativeLineAnswer(ErrorCase::ConnectionError));
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
