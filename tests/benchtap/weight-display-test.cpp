// The weight display: value formatting, the refresh step, and the display thread against a
// stand-in library, with keys pressed by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "benchtap/weight-display.hpp"
#include "platform/keys.hpp"
#include "tests/benchtap/fake-driver.hpp"

using namespace Korvalt::Ponderix::Benchtap;
namespace Keys = Korvalt::Ponderix::Platform::Keys;

namespace {

const std::string kBack(8, '\b');

class WeightDisplay : public BenchtapFake::DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    BenchtapFake::TheScale().outputs[ParamType::Weight] = "1.250";
  }

  // A console whose key reader presses `key` after `delayMs`, or, with a negative delay, waits
  // until the display gives up (the cancel flag) and reports that.
  OperatorConsole ConsolePressing(int key, int delayMs) {
    return OperatorConsole{in, out, err, [key, delayMs](const std::atomic<bool>* cancel) {
                             const auto start = std::chrono::steady_clock::now();
                             for (;;) {
                               if (cancel != nullptr && cancel->load()) return Keys::kCancelled;
                               if (delayMs >= 0 && std::chrono::steady_clock::now() - start >=
                                                       std::chrono::milliseconds(delayMs)) {
                                 return key;
                               }
                               std::this_thread::sleep_for(std::chrono::milliseconds(5));
                             }
                           }};
  }

  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
};

}  // namespace

TEST_F(WeightDisplay, FormatsSignPaddingAndEmptyWeights) {
  DisplayCounter display(out);
  const std::pair<const char*, const char*> cases[] = {
      {"1.234", " 01.234"}, {"-0.5", "-0000.5"}, {"12", " 000012"},
      {"123.456", " 123.456"}, {"", " ------"}, {"-", "-000000"},
  };
  for (const auto& [value, shown] : cases) EXPECT_EQ(display.FormatValue(value), shown) << value;
  EXPECT_EQ(display.GetFormat().header, "Weight:  000000");
}

TEST_F(WeightDisplay, ShowOncePrintsTheHeaderOnceThenOverwritesTheValue) {
  DisplayWeightByPOS display(out);
  ShowOnce(display, *device_, ecase);
  BenchtapFake::TheScale().outputs[ParamType::Weight] = "";
  ShowOnce(display, *device_, ecase);
  EXPECT_EQ(out.str(), "Weight:  000000" + kBack + "  01.250" + kBack + "  ------");
  EXPECT_EQ(BenchtapFake::Calls(), (std::vector<std::string>{"execute StatusOfWeightChannel", "get Weight",
                                                             "execute StatusOfWeightChannel", "get Weight"}));

  display.Restart();
  EXPECT_TRUE(display.first);
  EXPECT_EQ(out.str().back(), '\n');
}

TEST_F(WeightDisplay, AFailedReadPrintsNothingAndItsNameOnRequest) {
  DisplayWeightByCAS display(out);
  display.first = false;
  BenchtapFake::TheScale().commandResults[Command::StatusOfWeightChannel] = {ErrorCase::BoostTimeOut};
  ShowOnce(display, *device_, ecase);
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
  EXPECT_EQ(out.str(), "");
  display.PrintFailure(ecase);
  EXPECT_EQ(out.str(), kBack + " [BoostTimeOut]");
}

TEST_F(WeightDisplay, AutoChoosesByTheReportedProtocolAndRefusesOthers) {
  DisplayWeightAuto display(out);
  enum class Kind { POS, CAS, OKA };
  const std::pair<const char*, Kind> cases[] = {
      {"POS-over-CAS", Kind::POS}, {"POS2MProV1", Kind::POS}, {"CAS-M ProV1", Kind::CAS},
      {"CAS-M-Active", Kind::CAS}, {"OKA", Kind::OKA},
  };
  for (const auto& [protocol, kind] : cases) {
    BenchtapFake::TheScale().protocol = protocol;
    auto chosen = display.GetDWByProtocol(*device_, ecase);
    EXPECT_EQ(dynamic_cast<DisplayWeightByPOS*>(chosen.get()) != nullptr, kind == Kind::POS) << protocol;
    EXPECT_EQ(dynamic_cast<DisplayWeightByCAS*>(chosen.get()) != nullptr, kind == Kind::CAS) << protocol;
    EXPECT_EQ(dynamic_cast<DisplayWeightByOKA*>(chosen.get()) != nullptr, kind == Kind::OKA) << protocol;
  }
  BenchtapFake::TheScale().protocol = "XK3190";
  try {
    display.GetDWByProtocol(*device_, ecase);
    FAIL() << "an unknown protocol was accepted";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "DisplayWeightAuto::GetDWByProtocol, protocol{XK3190} is incorrect");
  }
}

TEST_F(WeightDisplay, CounterRefreshesUntilAListedKeyIsPressed) {
  auto console = ConsolePressing(Keys::kSpace, 350);
  CLIDisplayWeightUntillClick command(CreateDisplayWeight("counter", out), {{"stop", "space"}}, 100, console);
  EXPECT_EQ(command.GetCommand(), "CLIDisplayWeightUC");
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "option: stop");
  EXPECT_EQ(ecase, ErrorCase::Correct);
  const auto text = out.str();
  // Counter values follow each other, each overwriting the last; the line is ended once.
  std::smatch match;
  ASSERT_TRUE(std::regex_match(text, match,
                               std::regex("    pass \\[space\\] to stop\nWeight:  000000((\b{8}  \\d{6})+)\n")))
      << text;
  std::regex value("\b{8}  (\\d{6})");
  std::vector<int> values;
  const std::string values_text = match[1];
  for (std::sregex_iterator it(values_text.begin(), values_text.end(), value), end; it != end; ++it) {
    values.push_back(std::stoi((*it)[1]));
  }
  ASSERT_GE(values.size(), 2u);
  for (std::size_t i = 1; i < values.size(); ++i) EXPECT_EQ(values[i], values[i - 1] + 1);
  EXPECT_TRUE(BenchtapFake::Calls().empty());
}

TEST_F(WeightDisplay, AFailingLibraryCallEndsTheWaitAndShowsItsName) {
  BenchtapFake::TheScale().commandResults[Command::StatusOfWeightChannel] = {ErrorCase::BoostTimeOut};
  auto console = ConsolePressing(0, -1);
  CLIDisplayWeightUntillClick command(CreateDisplayWeight("pos", out), {{"stop", "enter"}}, 50, console);
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "option: ");
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
  EXPECT_NE(out.str().find("Weight:  000000" + kBack + " [BoostTimeOut]\n"), std::string::npos) << out.str();
}

TEST_F(WeightDisplay, AnErrorOnTheDisplayThreadReachesTheCaller) {
  BenchtapFake::TheScale().protocol = "XK3190";
  auto console = ConsolePressing(0, -1);
  CLIDisplayWeightUntillClick command(CreateDisplayWeight("auto", out), {{"stop", "enter"}}, 50, console);
  try {
    command.ExecuteCommand(*device_, ecase);
    FAIL() << "the display's error was lost";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "DisplayWeightAuto::GetDWByProtocol, protocol{XK3190} is incorrect");
  }
  EXPECT_EQ(out.str().back(), '\n');
}

TEST_F(WeightDisplay, EndOfInputStopsTheDisplay) {
  auto console = ConsolePressing(Keys::kEndOfInput, 120);
  CLIDisplayWeightUntillClick command(CreateDisplayWeight("auto", out), {{"stop", "enter"}}, 50, console);
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::EscapeClicked);
  EXPECT_EQ(err.str(), "end of input\n");
  EXPECT_NE(out.str().find(kBack + "  01.250"), std::string::npos);
}

TEST_F(WeightDisplay, UnknownNamesAreRefusedWhenBuilt) {
  try {
    CreateDisplayWeight("oka", out);
    FAIL();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(),
                 "file script-file, func CLITCBCreateDisplayWeight, unrecognized protocol {oka} for DisplayWeight.");
  }
  try {
    CLIDisplayWeightUntillClick command(CreateDisplayWeight("counter", out), {{"stop", "q"}}, 50);
    FAIL();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "CLIDisplayWeightUntillClick::CLIDisplayWeightUntillClick(), supported button {q}");
  }
}
