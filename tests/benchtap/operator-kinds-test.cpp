// Reading the operator kinds from scripts: what they build and how bad entries are refused.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

#include <boost/property_tree/json_parser.hpp>

#include "benchtap/operator-dialogs.hpp"
#include "benchtap/script-file.hpp"
#include "benchtap/weight-display.hpp"

using namespace Korvalt::Ponderix::Benchtap;

namespace {

CommandList Build(const std::string& json, ErrorCase& ecase) {
  std::istringstream text(json);
  Ptree root;
  boost::property_tree::read_json(text, root);
  return BuildScript(root, ecase);
}

// The text of the error that reading `json` throws; empty when nothing was thrown.
std::string BuildError(const std::string& json) {
  ErrorCase ecase = ErrorCase::Correct;
  try {
    Build(json, ecase);
  } catch (const std::exception& error) {
    return error.what();
  }
  return {};
}

}  // namespace

TEST(OperatorKinds, EveryKindIsBuiltWithItsNestedEntries) {
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"([
    { "command": "dialog", "message": "Zero?", "options": [
      { "name": "zero", "input": "z", "executable": { "command": "set-zero" } }, { "name": "skip", "input": "s" } ] },
    { "command": "dialog-press", "options": [ { "name": "repeat", "press": "enter" },
      { "name": "cancel", "press": "escape", "executable": { "command": "hello-world" } } ] },
    { "command": "button-click-tracking", "options": [ { "name": "next", "press": "space" } ] },
    { "command": "messenger", "message": { "before": "Load", "after": "Unload" },
      "executable": { "command": "get-serial-number" } },
    { "command": "unique-serial-number", "value": "ABC00001" },
    { "command": "displey-weight-untill-press", "period": "100", "executable": { "protocol": "counter" },
      "options": [ { "name": "stop", "input": "space" } ] },
    { "command": "hello-world" }
  ])", ecase);
  ASSERT_EQ(ecase, ErrorCase::Correct);
  ASSERT_EQ(list.size(), 7u);
  std::vector<std::string> names;
  for (auto& command : list) names.push_back(command->GetCommand());
  EXPECT_EQ(names, (std::vector<std::string>{"dialog", "CLIDialogPress", "button-click-tracking", "GetSerialNumber",
                                             "CLIUniqueSerialNumber", "CLIDisplayWeightUC", "hello-world"}));
}

TEST(OperatorKinds, RepeatedDialogInputsStopTheReading) {
  std::ostringstream captured;
  auto* old = std::cout.rdbuf(captured.rdbuf());
  ErrorCase ecase = ErrorCase::Correct;
  auto list = Build(R"([
    { "command": "hello-world" },
    { "command": "dialog", "message": "", "options": [ { "name": "a", "input": "x" }, { "name": "b", "input": "x" } ] },
    { "command": "hello-world" }
  ])", ecase);
  std::cout.rdbuf(old);
  EXPECT_EQ(ecase, ErrorCase::IncorrectArgumnts);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_NE(captured.str().find("CheckOptionList: the input keys should not be repeated [ x ].\n"), std::string::npos);
}

TEST(OperatorKinds, BadValuesAreRefusedNamingTheEntry) {
  struct Case {
    const char* script;
    const char* error;  // the underlying error's text
    const char* place;
  };
  const Case cases[] = {
      {R"([ { "command": "hello-world" }, { "command": "unique-serial-number", "value": "AB" } ])",
       "the value {AB} is shorter than its 3-character prefix", "entry #2 \"unique-serial-number\""},
      {R"([ { "command": "unique-serial-number", "value": "ABC1234" } ])", "at least 5 characters", "entry #1"},
      {R"([ { "command": "do-while", "body": { "command": "hello-world" },
            "condition": { "command": "dialog-press", "options": [ { "name": "go", "press": "tab" } ] } } ])",
       "CLIButtonClickTracking::CLIButtonClickTracking(), unsupported button {tab}",
       "entry #1 \"do-while\" > condition \"dialog-press\""},
      {R"([ { "command": "displey-weight-untill-press", "period": "100",
            "executable": { "protocol": "oka" }, "options": [ { "name": "stop", "input": "space" } ] } ])",
       "unrecognized protocol {oka} for DisplayWeight.", "entry #1 \"displey-weight-untill-press\""},
      {R"([ { "command": "displey-weight-untill-press", "period": "100",
            "executable": { "protocol": "pos" }, "options": [ { "name": "stop", "input": "q" } ] } ])",
       "supported button {q}", "entry #1 \"displey-weight-untill-press\""},
      {R"([ { "command": "messenger", "message": { "before": "x" }, "executable": { "command": "hello-world" } } ])",
       "No such node (message.after)", "entry #1 \"messenger\""},
  };
  for (const auto& c : cases) {
    const auto text = BuildError(c.script);
    EXPECT_NE(text.find(c.error), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(", in script ") + c.place), std::string::npos) << text;
  }
}
