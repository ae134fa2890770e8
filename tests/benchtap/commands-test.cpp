// Script commands against the fake driver: the texts, console lines and library calls they make.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "benchtap/command-list.hpp"
#include "benchtap/names.hpp"
#include "benchtap/results.hpp"
#include "tests/benchtap/fake-driver.hpp"

namespace {

using namespace Korvalt::Ponderix::Benchtap;
using testing::ElementsAre;
using Answers = std::vector<std::pair<ErrorCase, std::string>>;

// Answers with scripted (code, text) pairs, one per run.
class ScriptedCommand : public BenchtapCommand {
 public:
  explicit ScriptedCommand(Answers answers) : answers_(std::move(answers)) {}
  std::string GetCommand() override { return "scripted"; }
  std::string ExecuteCommand(Korvalt::Ponderix::Wrapper::Device&, ErrorCase& ecase) override {
    auto answer = answers_.at(std::min(runs_, answers_.size() - 1));
    ++runs_;
    ecase = answer.first;
    return answer.second;
  }
  std::size_t runs_ = 0;

 private:
  Answers answers_;
};

using Commands = BenchtapFake::DeviceTest;

TEST_F(Commands, DriverCommandWithInputsAndOutputs) {
  auto& scale = BenchtapFake::TheScale();
  scale.outputs[ParamType::MaxWeight] = "0150";
  DriverCommand command(Command::SetMaxWeight, {{ParamType::MaxWeight, "0150"}}, {{ParamType::MaxWeight, ""}});
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), " input  [ { MaxWeight : 0150 } ] output [ { MaxWeight : 0150 } ]");
  EXPECT_EQ(ecase, ErrorCase::Correct);
  EXPECT_THAT(BenchtapFake::Calls(), ElementsAre("set MaxWeight=0150", "execute SetMaxWeight", "get MaxWeight"));
  EXPECT_EQ(Results::LastDriverCommand(), "SetMaxWeight");
}

TEST_F(Commands, DriverCommandWithoutListsReadsItsParameterListEveryRun) {
  auto& scale = BenchtapFake::TheScale();
  scale.outputs[ParamType::Weight] = "1.250";
  scale.outputs[ParamType::WeightState] = "stable";
  DriverCommand command(Command::StatusOfWeightChannel, {}, {});
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), " output [ { Weight : 1.250 } { WeightState : stable } ]");
  scale.outputs[ParamType::Weight] = "2.000";
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), " output [ { Weight : 2.000 } { WeightState : stable } ]");
  EXPECT_EQ(command.Outputs().size(), 2u);
}

// A failing library call ends the command with no text; the record names the command only once
// the library was asked to run it.
TEST_F(Commands, FailedDriverCommandReturnsNothing) {
  struct Case {
    const char* what;
    std::function<void(BenchtapFake::Scale&)> fail;
    Command command;
    DriverCommand::Params inputs;
    ErrorCase expected;
    std::vector<std::string> calls;
    std::string lastDriverCommand;
  };
  const Case cases[] = {
      {"a refused input",
       [](auto& scale) { scale.setResults[ParamType::MaxWeight] = ErrorCase::ParamValueUnsupported; },
       Command::SetMaxWeight, {{ParamType::MaxWeight, "0150"}}, ErrorCase::ParamValueUnsupported,
       {"set MaxWeight=0150"}, ""},
      {"a failed command", [](auto& scale) { scale.commandResults[Command::GetMaxWeight] = {ErrorCase::BoostTimeOut}; },
       Command::GetMaxWeight, {}, ErrorCase::BoostTimeOut, {"execute GetMaxWeight"}, "GetMaxWeight"},
      {"a failed read", [](auto& scale) { scale.getResults[ParamType::MaxWeight] = ErrorCase::ParamTypeIsNotSetToGet; },
       Command::GetMaxWeight, {}, ErrorCase::ParamTypeIsNotSetToGet, {"execute GetMaxWeight", "get MaxWeight"},
       "GetMaxWeight"},
  };
  for (const auto& c : cases) {
    BenchtapFake::Reset();
    Results::Reset();
    c.fail(BenchtapFake::TheScale());
    DriverCommand command(c.command, c.inputs, {});
    ecase = ErrorCase::Correct;
    EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "") << c.what;
    EXPECT_EQ(ecase, c.expected) << c.what;
    EXPECT_EQ(BenchtapFake::Calls(), c.calls) << c.what;
    EXPECT_EQ(Results::LastDriverCommand(), c.lastDriverCommand) << c.what;
  }
}

TEST_F(Commands, ProtocolAndSerialTagsComeFromSuccessfulReadsOnly) {
  auto& scale = BenchtapFake::TheScale();
  scale.outputs[ParamType::ProtocolVersion] = "POS2M";
  scale.outputs[ParamType::SerialNumber] = "SN42";
  DriverCommand(Command::GetProtocolAuto, {}, {}).ExecuteCommand(*device_, ecase);
  DriverCommand(Command::GetSerialNumber, {}, {}).ExecuteCommand(*device_, ecase);
  EXPECT_EQ(Results::ProtocolVersionTag(), "POS2M");
  EXPECT_EQ(Results::SerialNumberTag(), "SN42");
  scale.getResults[ParamType::SerialNumber] = ErrorCase::ParamTypeIsNotSetToGet;
  DriverCommand(Command::GetSerialNumber, {}, {}).ExecuteCommand(*device_, ecase);
  EXPECT_EQ(ecase, ErrorCase::ParamTypeIsNotSetToGet);
  EXPECT_EQ(Results::SerialNumberTag(), "SN42");
}

TEST_F(Commands, ConsoleLinePadsTheNameColumnTo26) {
  struct Case {
    std::string name;
    std::string text;
    std::string line;
  };
  const Case cases[] = {
      {"GetMaxWeight", " output [ { MaxWeight : 0150 } ]",
       "GetMaxWeight:              ecase [Correct] returns [ output [ { MaxWeight : 0150 } ]]"},
      {"SetWeightScaleCalibrationParameters", "", "SetWeightScaleCalibrationParameters: ecase [Correct] returns []"},
      {std::string(25, 'x'), "", std::string(25, 'x') + ": ecase [Correct] returns []"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConsoleLine(c.name, ErrorCase::Correct, c.text), c.line);
}

TEST_F(Commands, ListRunPrintsEachCommandAndKeepsGoingAfterAFailure) {
  BenchtapFake::TheScale().commandResults[Command::Reboot] = {ErrorCase::DeviceReturnsError};
  CommandList list;
  list.push_back(std::make_unique<DriverCommand>(Command::Reboot, DriverCommand::Params{}, DriverCommand::Params{}));
  list.push_back(std::make_unique<CLIHelloWorld>());
  testing::internal::CaptureStdout();
  RunCommandList(list, *device_, ecase);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Reboot:                    ecase [DeviceReturnsError] returns []\n"
            "Hello World\n"
            "hello-world:               ecase [Correct] returns [Hello World]\n");
  EXPECT_EQ(ecase, ErrorCase::Correct);
}

TEST_F(Commands, JsonModePrintsNoLinesButRecordsDriverCommands) {
  SetOutputType(OutputType::Json);
  BenchtapFake::TheScale().outputs[ParamType::MaxWeight] = "0150";
  CommandList list;
  list.push_back(std::make_unique<CLIHelloWorld>());
  list.push_back(std::make_unique<DriverCommand>(Command::GetMaxWeight, DriverCommand::Params{},
                                                 DriverCommand::Params{}));
  testing::internal::CaptureStdout();
  RunCommandList(list, *device_, ecase);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Hello World\n");
  ASSERT_EQ(Results::Tree().size(), 1u);
  EXPECT_EQ(Results::Tree().front().second.get<std::string>("command"), "GetMaxWeight");
  EXPECT_EQ(Results::Tree().front().second.get<std::string>("output-params..value"), "0150");
}

// The weight is padded with zeros in front of its sign, overwrites the last one, and the first
// failure ends the loop.
TEST_F(Commands, LoopWeight) {
  const std::string back(8, '\b');
  struct Case {
    const char* what;
    int count;
    std::deque<std::string> weights;
    std::deque<ErrorCase> statusResults;
    std::string out;
    ErrorCase expected;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"count zero sends nothing", 0, {}, {}, "Weight: 00000000\n", ErrorCase::Correct, {}},
      {"three weights", 3, {"-1.25", "123456789", "7"}, {},
       "Weight: 00000000" + back + "000-1.25" + back + "123456789" + back + "00000007\n", ErrorCase::Correct,
       {"execute StatusOfWeightChannel", "get Weight", "execute StatusOfWeightChannel", "get Weight",
        "execute StatusOfWeightChannel", "get Weight"}},
      {"the second read fails", 5, {"1"}, {ErrorCase::Correct, ErrorCase::BoostTimeOut},
       "Weight: 00000000" + back + "00000001\n", ErrorCase::BoostTimeOut,
       {"execute StatusOfWeightChannel", "get Weight", "execute StatusOfWeightChannel"}},
  };
  for (const auto& c : cases) {
    BenchtapFake::Reset();
    BenchtapFake::TheScale().weights = c.weights;
    BenchtapFake::TheScale().commandResults[Command::StatusOfWeightChannel] = c.statusResults;
    CLILoopWeight loop(c.count, 1);
    ecase = ErrorCase::Correct;
    testing::internal::CaptureStdout();
    EXPECT_EQ(loop.ExecuteCommand(*device_, ecase), "") << c.what;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.what;
    EXPECT_EQ(ecase, c.expected) << c.what;
    EXPECT_EQ(BenchtapFake::Calls(), c.calls) << c.what;
  }
}

TEST_F(Commands, ErrorCaseHandlerRetriesAndReportsTheLastAttempt) {
  struct Case {
    Answers answers;
    int count;
    std::string text;
    std::string out;
    ErrorCase expected;
    std::size_t runs;
  };
  const Case cases[] = {
      {{{ErrorCase::BoostTimeOut, "a"}, {ErrorCase::BoostTimeOut, "b"}, {ErrorCase::DeviceIsNotStabilized, "c"}}, 3,
       "c", "1\n2\n3\n", ErrorCase::DeviceIsNotStabilized, 3},
      {{{ErrorCase::BoostTimeOut, ""}, {ErrorCase::Correct, "ok"}}, 5, "ok", "1\n2\n", ErrorCase::Correct, 2},
  };
  for (const auto& c : cases) {
    auto executable = std::make_unique<ScriptedCommand>(c.answers);
    auto* raw = executable.get();
    CLIErrorCaseHandler handler(c.count, 1, std::move(executable));
    ecase = ErrorCase::Correct;
    testing::internal::CaptureStdout();
    EXPECT_EQ(handler.ExecuteCommand(*device_, ecase), c.text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    EXPECT_EQ(ecase, c.expected);
    EXPECT_EQ(raw->runs_, c.runs);
    EXPECT_EQ(handler.GetCommand(), "scripted");
  }
}

TEST_F(Commands, ErrorCaseHandlerRunsNothingAfterAFailureOrWithCountZero) {
  struct Case {
    int count;
    ErrorCase before;
  };
  const Case cases[] = {{0, ErrorCase::Correct}, {3, ErrorCase::BoostTimeOut}, {0, ErrorCase::BoostTimeOut}};
  for (const auto& c : cases) {
    auto executable = std::make_unique<ScriptedCommand>(Answers{{ErrorCase::Correct, "ok"}});
    auto* raw = executable.get();
    CLIErrorCaseHandler handler(c.count, 1, std::move(executable));
    ecase = c.before;
    EXPECT_EQ(handler.ExecuteCommand(*device_, ecase), "") << c.count;
    EXPECT_EQ(ecase, c.before) << c.count;
    EXPECT_EQ(raw->runs_, 0u) << c.count;
  }
}

TEST_F(Commands, DoWhileRepeatsUntilCancel) {
  auto body = std::make_unique<ScriptedCommand>(Answers{{ErrorCase::Correct, "body"}});
  auto condition = std::make_unique<ScriptedCommand>(Answers{
      {ErrorCase::Correct, "option: repeat"}, {ErrorCase::Correct, "option: continue"},
      {ErrorCase::Correct, "option: cancel"}});
  CommandList list;
  list.push_back(std::make_unique<CLIDoWhile>(std::move(body), std::move(condition)));
  testing::internal::CaptureStdout();
  RunCommandList(list, *device_, ecase);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "body\nbody\nbody\nCLIDoWhile:                ecase [EscapeClicked] returns [option: cancel]\n");
  EXPECT_EQ(ecase, ErrorCase::EscapeClicked);
}

TEST_F(Commands, DoWhileRefusesAnUnknownOption) {
  auto body = std::make_unique<ScriptedCommand>(Answers{{ErrorCase::Correct, ""}});
  auto condition = std::make_unique<ScriptedCommand>(Answers{{ErrorCase::Correct, "User entered the value: skip"}});
  CLIDoWhile loop(std::move(body), std::move(condition));
  testing::internal::CaptureStdout();
  try {
    loop.ExecuteCommand(*device_, ecase);
    ADD_FAILURE();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "CLIDoWhile, unknown option: skip.");
  }
  testing::internal::GetCapturedStdout();
}

TEST(SelectedOption, WordBeforeTheFirstBracketAfterTheLastColonOrSpace) {
  const std::pair<const char*, const char*> cases[] = {
      {"option: repeat] tail", "repeat"},
      {"cancel", "cancel"},
      {"option: cancel", "cancel"},
      {"User entered the value: skip", "skip"},
  };
  for (const auto& [text, option] : cases) EXPECT_EQ(SelectedOption(text), option) << text;
}

}  // namespace
