// Script reading: names, kinds, parameter widths, refusals and the place named in every error.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <boost/property_tree/json_parser.hpp>

#include "benchtap/command-list.hpp"
#include "benchtap/names.hpp"
#include "benchtap/script-file.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using namespace Korvalt::Ponderix::Benchtap;

Ptree Parse(const std::string& json) {
  std::istringstream in(json);
  Ptree root;
  boost::property_tree::read_json(in, root);
  return root;
}

CommandList Build(const std::string& json, ErrorCase& ecase) { return BuildScript(Parse(json), ecase); }

DriverCommand& AsDriver(ICommand& command) {
  auto* driver = dynamic_cast<DriverCommand*>(&command);
  if (driver == nullptr) throw std::runtime_error("not a driver command");
  return *driver;
}

std::string ErrorText(const std::string& json) {
  ErrorCase ecase = ErrorCase::Correct;
  try {
    Build(json, ecase);
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

TEST(NameTables, NormaliseNameAcceptsDashedCamelAndPascalForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"get-scales-model", "GetScalesModel"}, {"getScalesModel", "GetScalesModel"},
      {"GetScalesModel", "GetScalesModel"},   {"max-weight", "MaxWeight"},
      {"trailing-", "Trailing"},              {"", ""},
      {"a--b", "AB"},
  };
  for (const auto& [name, normalised] : cases) EXPECT_EQ(NormaliseName(name), normalised) << name;
}

TEST(NameTables, UnknownNamesThrowWithTheName) {
  try {
    StringToEnumCommand("GetFoo");
    FAIL();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Func StringToEnumCommand(strvalue: GetFoo), strvalue is not valid.");
  }
  try {
    StringToEnumParamType("Colour");
    FAIL();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Func StringToEnumParamType(strvalue: Colour), strvalue is not valid.");
  }
  EXPECT_EQ(ToString(ErrorCase::LogicDeviceJSONError), "LogicDeviceJSONerror");
  EXPECT_EQ(ToString(ErrorCase::NotAllParamsAreSetInLogicDevice), "NotAllParamsAreSetInLogicDevice");
  EXPECT_EQ(ToString(Command::OKASpecifyTare), "OKASpecifyTare");
  EXPECT_TRUE(IsCommandName("SpecifyTare"));
  EXPECT_FALSE(IsCommandName("POSSetZero"));  // scripts name the generic commands only
  // This program's message for an unknown command names Command (the library's names ParamType).
  const std::pair<std::function<std::string()>, const char*> unknown[] = {
      {[] { return ToString(static_cast<ErrorCase>(39)); }, "Func ToString(ErrorCase ecase), ecase is not valid."},
      {[] { return ToString(static_cast<ParamType>(26)); }, "Func ToString(ParamType value), value is not valid."},
      {[] { return ToString(static_cast<Command>(66)); }, "Func ToString(Command value), value is not valid."},
  };
  for (const auto& [call, message] : unknown) {
    try {
      call();
      ADD_FAILURE() << message;
    } catch (const std::logic_error& error) {
      EXPECT_STREQ(error.what(), message);
    }
  }
}

TEST(NameTables, ParameterListsOfCommands) {
  const std::pair<Command, std::vector<ParamType>> cases[] = {
      {Command::SetMaxWeight, {ParamType::MaxWeight}},
      {Command::GetFirmwareVersion2, {ParamType::FirmwareVersion2}},
      {Command::GetUnitOfMeasure2, {ParamType::UnitOfMeasure}},
      {Command::SetCell2, {ParamType::Cell}},
      {Command::GetProtocolAuto, {ParamType::ProtocolVersion}},
      {Command::StatusOfWeightChannelAuto, {ParamType::Weight, ParamType::WeightState}},
      {Command::SpecifyTare, {ParamType::Tare}},
      {Command::SetZero, {}},
      {Command::Reboot, {}},
  };
  for (const auto& [command, params] : cases) EXPECT_EQ(ToParamTypeVector(command), params) << ToString(command);
  EXPECT_THROW(ToParamTypeVector(Command::POSSetZero), std::logic_error);
}

TEST(ScriptReader, WorkedExampleWithoutOperatorEntries) {
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"([
    { "command": "hello-world" },
    { "command": "get-scales-model" },
    { "command": "set-max-weight", "input-params": [ { "type": "max-weight", "value": "150" } ] },
    { "command": "get-max-weight", "output-params": [ { "type": "max-weight" } ] },
    { "command": "error-case-handler", "count": "3", "period": "500",
      "executable": { "command": "status-of-weight-channel" } },
    { "command": "loop-weight", "count": "10", "period": "200" },
    { "command": "do-while",
      "body": { "command": "command-list", "list": [ { "command": "get-firmware-version1" } ] },
      "condition": { "command": "hello-world" } }
  ])", ecase);
  ASSERT_EQ(ecase, ErrorCase::Correct);
  ASSERT_EQ(list.size(), 7u);
  EXPECT_EQ(list[0]->GetCommand(), "hello-world");
  EXPECT_EQ(list[1]->GetCommand(), "GetScalesModel");
  EXPECT_TRUE(AsDriver(*list[1]).Inputs().empty());
  EXPECT_TRUE(AsDriver(*list[1]).Outputs().empty());
  EXPECT_EQ(AsDriver(*list[2]).Inputs(), (DriverCommand::Params{{ParamType::MaxWeight, "0150"}}));
  EXPECT_EQ(AsDriver(*list[3]).Outputs(), (DriverCommand::Params{{ParamType::MaxWeight, ""}}));
  EXPECT_EQ(list[4]->GetCommand(), "StatusOfWeightChannel");
  EXPECT_NE(dynamic_cast<CLIErrorCaseHandler*>(list[4].get()), nullptr);
  EXPECT_EQ(list[5]->GetCommand(), "loop-weight");
  EXPECT_EQ(list[6]->GetCommand(), "CLIDoWhile");
}

TEST(ScriptReader, RootObjectChildrenAreEntriesInOrder) {
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"({ "b": { "command": "get-serial-number" }, "a": { "command": "hello-world" } })", ecase);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]->GetCommand(), "GetSerialNumber");
  EXPECT_EQ(list[1]->GetCommand(), "hello-world");
  auto empty = Build("[]", ecase);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(ecase, ErrorCase::Correct);
}

TEST(ScriptReader, WidthAdjustments) {
  struct Case {
    const char* entry;
    ParamType type;
    const char* sent;
  };
  const Case cases[] = {
      {R"({ "command": "set-scales-model", "input-params": [ { "value": "AB" } ] })", ParamType::ScalesModel,
       "AB      "},
      {R"({ "command": "set-firmware-version1", "input-params": [ { "type": "FirmwareVersion1", "value": "1.2" } ] })",
       ParamType::FirmwareVersion1, "1.2   "},
      {R"({ "command": "set-max-weight", "input-params": [ { "value": "12345" } ] })", ParamType::MaxWeight, "12345"},
      {R"({ "command": "set-max-weight", "input-params": [ { "value": "7" } ] })", ParamType::MaxWeight, "0007"},
      {R"({ "command": "set-weight-calibration", "input-params": [ { "value": "5" } ] })",
       ParamType::WeightCalibration, "0005"},
      {R"({ "command": "set-scales-model", "input-params": [ { "value": "LONGMODEL9" } ] })", ParamType::ScalesModel,
       "LONGMODEL9"},
      {R"({ "command": "set-discret", "input-params": [ { "value": "5" } ] })", ParamType::Discret, "5"},
  };
  for (const auto& c : cases) {
    ErrorCase ecase = ErrorCase::Correct;
    auto list = Build(std::string("[") + c.entry + "]", ecase);
    ASSERT_EQ(ecase, ErrorCase::Correct) << c.entry;
    ASSERT_EQ(list.size(), 1u) << c.entry;
    EXPECT_EQ(AsDriver(*list[0]).Inputs(), (DriverCommand::Params{{c.type, c.sent}})) << c.entry;
  }
}

TEST(ScriptReader, UnknownKindsStopReadingWithCommandUnsupported) {
  testing::internal::CaptureStderr();
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"([ { "command": "hello-world" }, { "command": "Hello-world" }, { "command": "get-max-weight" } ])",
                    ecase);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ecase, ErrorCase::CommandUnsupported);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_NE(err.find("entry #2 \"Hello-world\""), std::string::npos) << err;

  ecase = ErrorCase::Correct;
  testing::internal::CaptureStderr();
  Build(R"([ { "command": "get-foo" } ])", ecase);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ecase, ErrorCase::CommandUnsupported);

  // The protocol-specific commands are the driver's own; a script names the generic ones.
  for (const char* name : {"pos-set-tare", "OKAStatusOfWeightChannel"}) {
    ecase = ErrorCase::Correct;
    testing::internal::CaptureStderr();
    Build(std::string(R"([ { "command": ")") + name + R"(" } ])", ecase);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ecase, ErrorCase::CommandUnsupported) << name;
  }
  EXPECT_THROW(StringToEnumCommand("POSSetTare"), std::logic_error);
  EXPECT_EQ(StringToEnumCommand("SpecifyTare"), Command::SpecifyTare);
}

TEST(ScriptReader, InputWithoutTypeForACommandWithoutParametersIsRefused) {
  testing::internal::CaptureStderr();
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"([ { "command": "get-max-weight" }, { "command": "set-zero", "input-params": [ { "value": "1" } ] } ])",
                    ecase);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ecase, ErrorCase::IncorrectArgumnts);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_NE(err.find("entry #2 \"set-zero\""), std::string::npos) << err;
  EXPECT_NE(err.find("SetZero"), std::string::npos) << err;
}

TEST(ScriptReader, NestedFailureTravelsUpAndStopsReading) {
  testing::internal::CaptureStderr();
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"([
    { "command": "hello-world" },
    { "command": "do-while", "body": { "command": "command-list", "list": [ { "command": "hello-world" },
      { "command": "no-such-kind" } ] }, "condition": { "command": "hello-world" } },
    { "command": "hello-world" } ])", ecase);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(ecase, ErrorCase::CommandUnsupported);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_NE(err.find("entry #2 \"do-while\" > body \"command-list\" > list #2 \"no-such-kind\""), std::string::npos)
      << err;
}

TEST(ScriptReader, ThrownErrorsKeepTheirTextAndNameTheEntry) {
  struct Case {
    const char* script;
    const char* error;  // the underlying error's text
    const char* place;
  };
  const Case cases[] = {
      {R"([ { "command": "hello-world" }, { "command": "get-max-weight",
            "output-params": [ { "type": "colour" } ] } ])",
       "Func StringToEnumParamType(strvalue: Colour), strvalue is not valid.", "entry #2 \"get-max-weight\""},
      {R"([ { "command": "loop-weight", "count": "1" } ])", "No such node (period)", "entry #1 \"loop-weight\""},
      {R"([ { "command": "error-case-handler", "count": "3x", "period": "1",
            "executable": { "command": "hello-world" } } ])",
       "conversion of data", "entry #1 \"error-case-handler\""},
      {R"([ { "command": "hello-world" }, { "list": [] } ])", "No such node (command)", "entry #2"},
      {R"([ { "command": "set-max-weight", "input-params": [ { "type": "max-weight" } ] } ])", "No such node (value)",
       "entry #1 \"set-max-weight\""},
  };
  for (const auto& c : cases) {
    const auto text = ErrorText(c.script);
    EXPECT_NE(text.find(c.error), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(", in script ") + c.place), std::string::npos) << text;
  }
}

TEST(ScriptReader, FileExtensionAndExistence) {
  ErrorCase ecase = ErrorCase::Correct;
  testing::internal::CaptureStderr();
  auto path = TestSupport::AppData() + "/script.JSON";
  std::ofstream(path) << "[]";
  LoadScript(path, ecase);
  EXPECT_EQ(ecase, ErrorCase::JSONAnotherFileExtension);
  ecase = ErrorCase::Correct;
  LoadScript(TestSupport::AppData() + "/missing.json", ecase);
  EXPECT_EQ(ecase, ErrorCase::JSONFileDoesNotExist);
  testing::internal::GetCapturedStderr();

  ecase = ErrorCase::Correct;
  path = TestSupport::AppData() + "/script.json";
  std::ofstream(path) << R"([ { "command": "hello-world" } ])";
  EXPECT_EQ(LoadScript(path, ecase).size(), 1u);
  EXPECT_EQ(ecase, ErrorCase::Correct);

  std::ofstream(path) << R"([ { "command": )";
  EXPECT_THROW(LoadScript(path, ecase), boost::property_tree::json_parser_error);
}

// The JSON reader recurses once per level: 200,000 "[" used to overflow the stack.
TEST(ScriptReader, DeepNestingIsAScriptErrorBeforeParsing) {
  const auto path = TestSupport::AppData() + "/deep.json";
  const std::string hello = R"({ "command": "hello-world" })";
  for (const std::string& text : {std::string(200000, '['), "[" + std::string(64, '[') + hello + std::string(65, ']')}) {
    std::ofstream(path, std::ios::trunc) << text;
    ErrorCase ecase = ErrorCase::Correct;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(LoadScript(path, ecase).empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Script error: the script file " + path + " nests deeper than 64 levels\n");
    EXPECT_EQ(ecase, ErrorCase::JSONFileParsingProblem);
  }
  // Brackets inside texts are no nesting.
  std::ofstream(path, std::ios::trunc) << R"([ { "command": "hello-world", "note": ")" + std::string(100, '[') + R"(\"[" } ])";
  ErrorCase ecase = ErrorCase::Correct;
  EXPECT_EQ(LoadScript(path, ecase).size(), 1u);
  EXPECT_EQ(ecase, ErrorCase::Correct);
}

}  // namespace
