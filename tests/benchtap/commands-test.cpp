// Script commands against the fake driver: the texts, console lines and library calls they make.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "benchtap/command-list.hpp"
#include "benchtap/names.hpp"
#include "benchtap/results.hpp"
#include "tests/benchtap/fake-driver.hpp"

namespace {

using namespace Korvalt::Ponderix::Benchtap;
using testing::ElementsAre;

// Answers with scripted (code, text) pairs, one per run.
class ScriptedCommand : public BenchtapCommand {
 public:
  explicit ScriptedCommand(std::vector<std::pair<ErrorCase, std::string>> answers) : answers_(std::move(answers)) {}
  std::string GetCommand() override { return "scripted"; }
  std::string ExecuteCommand(Korvalt::Ponderix::Wrapper::Device&, ErrorCase& ecase) override {
    auto answer = answers_.at(std::min(runs_, answers_.size() - 1));
    ++runs_;
    ecase = answer.first;
    return answer.second;
  }
  std::size_t runs_ = 0;

 private:
  std::vector<std::pair<ErrorCase, std::string>> answers_;
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

TEST_F(Commands, FailedSetParamReturnsNothingAndLeavesNoRecord) {
  BenchtapFake::TheScale().setResults[ParamType::MaxWeight] = ErrorCase::ParamValueUnsupported;
  DriverCommand command(Command::SetMaxWeight, {{ParamType::MaxWeight, "0150"}}, {});
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::ParamValueUnsupported);
  EXPECT_THAT(BenchtapFake::Calls(), ElementsAre("set MaxWeight=0150"));
  EXPECT_EQ(Results::LastDriverCommand(), "");
}

TEST_F(Commands, FailedCommandStillNamesItselfForTheRecord) {
  BenchtapFake::TheScale().commandResults[Command::GetMaxWeight] = {ErrorCase::BoostTimeOut};
  DriverCommand command(Command::GetMaxWeight, {}, {});
  EXPECT_EQ(command.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
  EXPECT_EQ(Results::LastDriverCommand(), "GetMaxWeight");
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
  EXPECT_EQ(ConsoleLine("GetMaxWeight", ErrorCase::Correct, " output [ { MaxWeight : 0150 } ]"),
            "GetMaxWeight:              ecase [Correct] returns [ output [ { MaxWeight : 0150 } ]]");
  EXPECT_EQ(ConsoleLine("SetWeightScaleCalibrationParameters", ErrorCase::Correct, ""),
            "SetWeightScaleCalibrationParameters: ecase [Correct] returns []");
  EXPECT_EQ(ConsoleLine(std::string(25, 'x'), ErrorCase::Correct, "").substr(0, 34), std::string(25, 'x') + ": ecase [");
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

TEST_F(Commands, LoopWeightWithCountZeroSendsNothing) {
  CLILoopWeight loop(0, 10);
  testing::internal::CaptureStdout();
  EXPECT_EQ(loop.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Weight: 00000000\n");
  EXPECT_TRUE(BenchtapFake::Calls().empty());
}

TEST_F(Commands, LoopWeightPadsInFrontOfTheSignAndOverwritesTheValue) {
  BenchtapFake::TheScale().weights = {"-1.25", "123456789", "7"};
  CLILoopWeight loop(3, 1);
  testing::internal::CaptureStdout();
  loop.ExecuteCommand(*device_, ecase);
  std::string back(8, '\b');
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Weight: 00000000" + back + "000-1.25" + back + "123456789" + back + "00000007\n");
  EXPECT_EQ(ecase, ErrorCase::Correct);
}

TEST_F(Commands, LoopWeightStopsAtTheFirstFailure) {
  BenchtapFake::TheScale().commandResults[Command::StatusOfWeightChannel] = {ErrorCase::Correct,
                                                                             ErrorCase::BoostTimeOut};
  BenchtapFake::TheScale().weights = {"1"};
  CLILoopWeight loop(5, 1);
  testing::internal::CaptureStdout();
  loop.ExecuteCommand(*device_, ecase);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
  EXPECT_THAT(BenchtapFake::Calls(),
              ElementsAre("execute StatusOfWeightChannel", "get Weight", "execute StatusOfWeightChannel"));
}

TEST_F(Commands, ErrorCaseHandlerRetriesAndReportsTheLastAttempt) {
  auto failing = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{
      {ErrorCase::BoostTimeOut, "a"}, {ErrorCase::BoostTimeOut, "b"}, {ErrorCase::DeviceIsNotStabilized, "c"}});
  auto* raw = failing.get();
  CLIErrorCaseHandler handler(3, 1, std::move(failing));
  testing::internal::CaptureStdout();
  EXPECT_EQ(handler.ExecuteCommand(*device_, ecase), "c");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1\n2\n3\n");
  EXPECT_EQ(ecase, ErrorCase::DeviceIsNotStabilized);
  EXPECT_EQ(raw->runs_, 3u);
  EXPECT_EQ(handler.GetCommand(), "scripted");

  auto succeeding = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{
      {ErrorCase::BoostTimeOut, ""}, {ErrorCase::Correct, "ok"}});
  CLIErrorCaseHandler second(5, 1, std::move(succeeding));
  ecase = ErrorCase::Correct;
  testing::internal::CaptureStdout();
  EXPECT_EQ(second.ExecuteCommand(*device_, ecase), "ok");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "1\n2\n");
  EXPECT_EQ(ecase, ErrorCase::Correct);
}

TEST_F(Commands, ErrorCaseHandlerRunsNothingAfterAFailureOrWithCountZero) {
  auto executable = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{
      {ErrorCase::Correct, "ok"}});
  auto* raw = executable.get();
  CLIErrorCaseHandler handler(0, 1, std::move(executable));
  EXPECT_EQ(handler.ExecuteCommand(*device_, ecase), "");
  ecase = ErrorCase::BoostTimeOut;
  EXPECT_EQ(handler.ExecuteCommand(*device_, ecase), "");
  EXPECT_EQ(ecase, ErrorCase::BoostTimeOut);
  EXPECT_EQ(raw->runs_, 0u);
}

TEST_F(Commands, DoWhileRepeatsUntilCancel) {
  auto body = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{
      {ErrorCase::Correct, "body"}});
  auto condition = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{
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
  auto body = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{{ErrorCase::Correct, ""}});
  auto condition = std::make_unique<ScriptedCommand>(std::vector<std::pair<ErrorCase, std::string>>{
      {ErrorCase::Correct, "User entered the value: skip"}});
  CLIDoWhile loop(std::move(body), std::move(condition));
  testing::internal::CaptureStdout();
  try {
    loop.ExecuteCommand(*device_, ecase);
    ADD_FAILURE();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "CLIDoWhile, unknown option: skip.");
  }
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(SelectedOption("option: repeat] tail"), "repeat");
  EXPECT_EQ(SelectedOption("cancel"), "cancel");
}

}  // namespace
