// The operator commands with the console replaced by string streams and scripted key presses.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <sstream>
#include <stdexcept>
#include <string>

#include "benchtap/names.hpp"
#include "benchtap/operator-dialogs.hpp"
#include "benchtap/results.hpp"
#include "platform/keys.hpp"
#include "tests/benchtap/fake-driver.hpp"

using namespace Korvalt::Ponderix::Benchtap;
namespace Keys = Korvalt::Ponderix::Platform::Keys;
namespace Wrapper = Korvalt::Ponderix::Wrapper;

namespace {

// A console whose words come from `typed` and whose keys come from `keys`; the end of either is
// the end of input.
struct TestConsole {
  explicit TestConsole(const std::string& typed = {}, std::deque<int> keyPresses = {})
      : in(typed), keys(std::move(keyPresses)), console{in, out, err, [this](const std::atomic<bool>*) {
                                                          if (keys.empty()) return Keys::kEndOfInput;
                                                          int key = keys.front();
                                                          keys.pop_front();
                                                          return key;
                                                        }} {}
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  std::deque<int> keys;
  OperatorConsole console;
};

// An executable that reports how often it ran and answers with a fixed text and code.
class Recorder : public BenchtapCommand {
 public:
  Recorder(std::string name, std::string text, ErrorCase code = ErrorCase::Correct, int* runs = nullptr)
      : name_(std::move(name)), text_(std::move(text)), code_(code), runs_(runs) {}
  std::string GetCommand() override { return name_; }
  std::string ExecuteCommand(Wrapper::Device&, ErrorCase& ecase) override {
    if (runs_ != nullptr) ++*runs_;
    ecase = code_;
    return text_;
  }

 private:
  std::string name_;
  std::string text_;
  ErrorCase code_;
  int* runs_;
};

std::vector<CLIDialog::Option> ZeroOrSkip(int* zeroRuns = nullptr, ErrorCase zeroCode = ErrorCase::Correct) {
  std::vector<CLIDialog::Option> options;
  options.push_back({"zero", "z", std::make_unique<Recorder>("SetZero", "", zeroCode, zeroRuns)});
  options.push_back({"skip", "s", nullptr});
  return options;
}

using OperatorCommands = BenchtapFake::DeviceTest;

}  // namespace

TEST_F(OperatorCommands, DialogAsksAgainAfterAWrongWordAndRunsTheChosenExecutable) {
  TestConsole io("x z\n");
  int runs = 0;
  CLIDialog dialog("Zero the scale?", ZeroOrSkip(&runs), io.console);
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "User entered the value: zero, command: SetZero returns ");
  EXPECT_EQ(ecase, ErrorCase::Correct);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(io.out.str(),
            "Zero the scale?\n"
            "Options:\n"
            "    enter [z] to zero [SetZero].\n"
            "    enter [s] to skip\n"
            "User input: Invalid input\n"
            "User input: ");
  EXPECT_EQ(dialog.GetCommand(), "dialog");
}

TEST_F(OperatorCommands, DialogReadsOneWordAndLeavesTheNextForTheNextPrompt) {
  TestConsole io("s z\n");
  int runs = 0;
  CLIDialog dialog("", ZeroOrSkip(&runs), io.console);
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "User entered the value: skip");
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(io.out.str().rfind("Options:\n", 0), 0u) << "an empty message prints no line";
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "User entered the value: zero, command: SetZero returns ");
  EXPECT_EQ(runs, 1);
}

TEST_F(OperatorCommands, DialogTakesTheLineEndOfTheAnswerButNoMore) {
  // The answer's line end would otherwise press Enter at the next key wait.
  TestConsole io("s \r\n\n");
  CLIDialog dialog("", ZeroOrSkip(), io.console);
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "User entered the value: skip");
  EXPECT_EQ(io.in.rdbuf()->in_avail(), 1);
}

TEST_F(OperatorCommands, DialogGivesUpAtTheEndOfInput) {
  TestConsole io("x");
  CLIDialog dialog("", ZeroOrSkip(), io.console);
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::EscapeClicked);
  EXPECT_EQ(io.err.str(), "end of input\n");
  // A later dialog on the same ended input gives up too, rather than waiting.
  ecase = ErrorCase::Correct;
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::EscapeClicked);
}

TEST_F(OperatorCommands, DialogPassesAFailingExecutablesTextAndCodeUp) {
  TestConsole io("z\n");
  std::vector<CLIDialog::Option> options;
  options.push_back({"zero", "z", std::make_unique<Recorder>("SetZero", "partial", ErrorCase::BoostTimeOut)});
  CLIDialog dialog("", std::move(options), io.console);
  EXPECT_EQ(dialog.ExecuteCommand(*device_, ecase), "partial");
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
}

TEST_F(OperatorCommands, ButtonClickTrackingIgnoresOtherKeysAndArrows) {
  struct Case {
    std::deque<int> keys;
    std::string chosen;
    std::size_t keysLeft;  // after the chosen one, unread
  };
  const Case cases[] = {
      {{'a', Keys::kNoKey, ' ', Keys::kEnter}, "option: repeat", 0},
      {{Keys::kEscape}, "option: cancel", 0},
      {{Keys::kSpace, 'x', Keys::kEscape, Keys::kEnter}, "option: cancel", 1},
  };
  for (const auto& c : cases) {
    TestConsole io("", c.keys);
    CLIButtonClickTracking tracking({{"repeat", "enter"}, {"cancel", "escape"}}, io.console);
    EXPECT_EQ(tracking.ExecuteCommand(*device_, ecase), c.chosen);
    EXPECT_EQ(ecase, ErrorCase::Correct);
    EXPECT_EQ(io.out.str(),
              "Click the button to select an option:\n"
              "    press [enter] to repeat\n"
              "    press [escape] to cancel\n");
    EXPECT_EQ(io.keys.size(), c.keysLeft) << c.chosen;
  }
}

TEST_F(OperatorCommands, ButtonClickTrackingGivesUpAtTheEndOfInputAndRefusesUnknownButtons) {
  TestConsole io("", {'x'});
  CLIButtonClickTracking tracking({{"next", "enter"}}, io.console);
  EXPECT_EQ(tracking.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::EscapeClicked);
  EXPECT_EQ(io.err.str(), "end of input\n");

  try {
    CLIButtonClickTracking bad({{"next", "tab"}}, io.console);
    FAIL() << "an unknown button was accepted";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "CLIButtonClickTracking::CLIButtonClickTracking(), unsupported button {tab}");
  }
}

TEST_F(OperatorCommands, DialogPressRunsTheChosenOptionsExecutable) {
  TestConsole io("", {'q', Keys::kSpace});
  int zeroRuns = 0;
  int firstTareRuns = 0;
  int tareRuns = 0;
  std::vector<CLIDialogPress::Option> options;
  options.push_back({"tare", "enter", std::make_unique<Recorder>("SetTare", "[first]", ErrorCase::Correct, &firstTareRuns)});
  options.push_back({"zero", "space", std::make_unique<Recorder>("SetZero", " [zeroed]", ErrorCase::Correct, &zeroRuns)});
  options.push_back({"tare", "escape", std::make_unique<Recorder>("SetTare", " [tared]", ErrorCase::Correct, &tareRuns)});
  CLIDialogPress press(std::move(options), io.console);
  EXPECT_EQ(press.GetCommand(), "CLIDialogPress");
  EXPECT_EQ(press.ExecuteCommand(*device_, ecase), "option: zero [zeroed]");
  EXPECT_EQ(zeroRuns, 1);

  // Two options named "tare": the later one's executable runs, whichever key chose it.
  io.keys = {Keys::kEnter};
  EXPECT_EQ(press.ExecuteCommand(*device_, ecase), "option: tare [tared]");
  EXPECT_EQ(tareRuns, 1);
  EXPECT_EQ(firstTareRuns, 0);

  EXPECT_EQ(press.ParseSelectedOption("option: "), "");
  EXPECT_EQ(press.ParseSelectedOption("no colon"), "");
}

TEST_F(OperatorCommands, MessengerPrintsAroundItsExecutableEvenWhenItFails) {
  TestConsole io;
  CLIMessenger messenger("Load the scale", "Unload the scale",
                         std::make_unique<Recorder>("GetSerialNumber", "text", ErrorCase::BoostTimeOut), io.console);
  EXPECT_EQ(messenger.GetCommand(), "GetSerialNumber");
  EXPECT_EQ(messenger.ExecuteCommand(*device_, ecase), "text");
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
  EXPECT_EQ(io.out.str(), "Load the scale\nUnload the scale\n");
}

TEST(SerialNumberSource, CountsInDecimalOverTheFirstFiveCounterCharacters) {
  struct Case {
    const char* value;
    std::vector<std::string> numbers;
  };
  const Case cases[] = {
      {"ABC00009", {"ABC00009", "ABC00010", "ABC00011"}},
      {"XYZ99999-A", {"XYZ99999-A", "XYZ00000-A", "XYZ00001-A"}},
      {"QRS09999", {"QRS09999", "QRS10000"}},
  };
  for (const auto& c : cases) {
    SerialNumberSource source(c.value);
    std::vector<std::string> numbers;
    for (std::size_t i = 0; i < c.numbers.size(); ++i) numbers.push_back(source.Next());
    EXPECT_EQ(numbers, c.numbers) << c.value;
  }
}

TEST(SerialNumberSource, RefusesValuesOutsideTheScheme) {
  EXPECT_THROW(SerialNumberSource("AB"), std::out_of_range);
  EXPECT_THROW(SerialNumberSource("ABC1234"), std::invalid_argument);
}

TEST_F(OperatorCommands, UniqueSerialNumberWritesTheNumberAndRecordsIt) {
  SetOutputType(OutputType::Both);
  CLIUniqueSerialNumber command("ABC00009");
  EXPECT_EQ(command.GetCommand(), "CLIUniqueSerialNumber");
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "SerialNumber: ABC00009");
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "SerialNumber: ABC00010");
  EXPECT_EQ(BenchtapFake::Calls(),
            (std::vector<std::string>{"set SerialNumber=ABC00009", "execute SetSerialNumber",
                                      "set SerialNumber=ABC00010", "execute SetSerialNumber"}));
  EXPECT_EQ(Results::SerialNumberTag(), "ABC00010");
  EXPECT_TRUE(Results::LastDriverCommand().empty());

  const auto& tree = Results::Tree();
  ASSERT_EQ(tree.size(), 2u);
  const auto& second = std::next(tree.begin())->second;
  EXPECT_EQ(second.get<std::string>("command"), "SetSerialNumber");
  EXPECT_EQ(second.get<std::string>("ecase"), "Correct");
  const auto& inputs = second.get_child("input-params");
  ASSERT_EQ(inputs.size(), 1u);
  EXPECT_EQ(inputs.begin()->second.get<std::string>("type"), "SerialNumber");
  EXPECT_EQ(inputs.begin()->second.get<std::string>("value"), "ABC00010");
}

TEST_F(OperatorCommands, RefusedSerialNumberIsUsedUpAndRecordedWithItsCode) {
  SetOutputType(OutputType::Json);
  BenchtapFake::TheScale().commandResults[Command::SetSerialNumber] = {ErrorCase::DeviceReturnsError};
  CLIUniqueSerialNumber command("ABC00009");
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::DeviceReturnsError);
  EXPECT_TRUE(Results::SerialNumberTag().empty());
  ASSERT_EQ(Results::Tree().size(), 1u);
  EXPECT_EQ(Results::Tree().begin()->second.get<std::string>("ecase"), "DeviceReturnsError");

  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "SerialNumber: ABC00010");
}

TEST_F(OperatorCommands, UniqueSerialNumberMakesNoRecordOnTheConsoleOnly) {
  CLIUniqueSerialNumber command("ABC00009");
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "SerialNumber: ABC00009");
  EXPECT_TRUE(Results::Tree().empty());
  EXPECT_TRUE(Results::SerialNumberTag().empty());
}
