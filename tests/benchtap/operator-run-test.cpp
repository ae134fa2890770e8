// The built Benchtap, run as a process against the simulated scale on a pseudo-terminal, with
// the operator's input coming from a pipe or from a terminal of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <termios.h>

#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "tests/benchtap/run-program.hpp"

namespace {

using namespace std::chrono_literals;

using BenchtapTest::Input;
using BenchtapTest::Process;
using BenchtapTest::WriteScript;

class BenchtapRun : public ::testing::Test {
 protected:
  void StartScale(const std::string& protocol) {
    state_ = Scalesim::MakeScaleState();
    state_->SetWeight(1250);
    state_->SetNativeValue("sern", "ABC00001");
    simulator_ = Scalesim::Simulator::StartPty(Scalesim::MakeProtocolResponder(protocol, state_));
  }
  std::vector<std::string> Arguments(const std::string& script, const std::string& output = "console") {
    return {"--portname", simulator_->Path(), "--script", script, "--output", output};
  }
  static std::string Line(const std::string& name, const std::string& ecase, const std::string& text) {
    auto head = name + ":";
    if (head.size() < 26) head.resize(26, ' ');
    return head + " ecase [" + ecase + "] returns [" + text + "]\n";
  }

  std::shared_ptr<Scalesim::ScaleState> state_;
  std::unique_ptr<Scalesim::Simulator> simulator_;
};

}  // namespace

TEST_F(BenchtapRun, DialogsAndSerialNumbersFromAPipe) {
  StartScale("POS2MProV1");
  const auto script = WriteScript("dialogs.json", R"([
    { "command": "dialog", "message": "Write the serial number?", "options": [
      { "name": "write", "input": "w", "executable":
        { "command": "unique-serial-number", "value": "ABC00009" } },
      { "name": "skip", "input": "s" } ] },
    { "command": "unique-serial-number", "value": "XYZ99999" },
    { "command": "dialog-press", "options": [
      { "name": "again", "press": "enter", "executable": { "command": "get-serial-number" } },
      { "name": "cancel", "press": "escape" } ] }
  ])");
  Process run(BenchtapTest::BenchtapPath(), Arguments(script, "both"), Input::Pipe);
  run.Type("q w\n\n");
  run.CloseInput();
  ASSERT_EQ(run.Wait(20s).status, 0) << run.Out() << run.Err();
  const auto out = run.Out();
  EXPECT_NE(out.find("Write the serial number?\n"
                     "Options:\n"
                     "    enter [w] to write [CLIUniqueSerialNumber].\n"
                     "    enter [s] to skip\n"
                     "User input: Invalid input\n"
                     "User input: "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(Line("dialog", "Correct",
                          "User entered the value: write, command: CLIUniqueSerialNumber returns SerialNumber: ABC00009")),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(Line("CLIUniqueSerialNumber", "Correct", "SerialNumber: XYZ99999")), std::string::npos) << out;
  EXPECT_NE(out.find(Line("CLIDialogPress", "Correct", "option: again output [ { SerialNumber : XYZ99999 } ]")),
            std::string::npos)
      << out;
  EXPECT_EQ(state_->NativeValue("sern"), "XYZ99999");

  // Each number written is one record; the file name carries the last one read back.
  const auto marker = std::string("JSON data saved to: \"");
  const auto at = out.find(marker);
  ASSERT_NE(at, std::string::npos) << out;
  const auto path = out.substr(at + marker.size(), out.find('"', at + marker.size()) - at - marker.size());
  EXPECT_NE(path.find("-XYZ99999.json"), std::string::npos) << path;
  boost::property_tree::ptree results;
  boost::property_tree::read_json(path, results);
  std::vector<std::string> written;
  for (const auto& [key, record] : results.get_child("benchtap-results")) {
    if (record.get<std::string>("command") != "SetSerialNumber") continue;
    EXPECT_EQ(record.get<std::string>("ecase"), "Correct");
    written.push_back(record.get_child("input-params").begin()->second.get<std::string>("value"));
  }
  EXPECT_EQ(written, (std::vector<std::string>{"ABC00009", "XYZ99999"}));
}

TEST_F(BenchtapRun, EndOfInputEndsTheWaitingCommandsAndTheRunGoesOn) {
  StartScale("POS2M");
  const auto script = WriteScript("eof.json", R"([
    { "command": "dialog", "message": "", "options": [ { "name": "skip", "input": "s" } ] },
    { "command": "button-click-tracking", "options": [ { "name": "next", "press": "enter" } ] },
    { "command": "displey-weight-untill-press", "period": "50", "executable": { "protocol": "pos" },
      "options": [ { "name": "stop", "input": "space" } ] },
    { "command": "hello-world" }
  ])");
  Process run(BenchtapTest::BenchtapPath(), Arguments(script), Input::Pipe);
  run.CloseInput();
  ASSERT_EQ(run.Wait(20s).status, 0) << run.Out() << run.Err();
  const auto out = run.Out();
  EXPECT_NE(out.find(Line("dialog", "EscapeClicked", "")), std::string::npos) << out;
  EXPECT_NE(out.find(Line("button-click-tracking", "EscapeClicked", "")), std::string::npos) << out;
  EXPECT_NE(out.find(Line("CLIDisplayWeightUC", "EscapeClicked", "")), std::string::npos) << out;
  EXPECT_NE(out.find(Line("hello-world", "Correct", "Hello World")), std::string::npos) << out;
  EXPECT_EQ(run.Err(), "end of input\nend of input\nend of input\n");
}

TEST_F(BenchtapRun, KeysAndTheLiveDisplayOnATerminal) {
  StartScale("POS2M");
  const auto script = WriteScript("keys.json", R"([
    { "command": "dialog-press", "options": [
      { "name": "repeat", "press": "enter" }, { "name": "cancel", "press": "escape" } ] },
    { "command": "displey-weight-untill-press", "period": "50", "executable": { "protocol": "auto" },
      "options": [ { "name": "stop", "input": "space" } ] }
  ])");
  Process run(BenchtapTest::BenchtapPath(), Arguments(script), Input::Terminal);
  ASSERT_TRUE(run.WaitForOutput("    press [escape] to cancel\n")) << run.Out() << run.Err();
  std::this_thread::sleep_for(200ms);
  run.Type("x\x1b[A");  // a letter and an arrow key select nothing
  std::this_thread::sleep_for(200ms);
  run.Type("\x1b");  // a lone Escape
  ASSERT_TRUE(run.WaitForOutput("    pass [space] to stop\n")) << run.Out() << run.Err();
  ASSERT_TRUE(run.WaitForOutput("\b\b\b\b\b\b\b\b  001250")) << run.Out() << run.Err();
  state_->SetWeight(-75);
  ASSERT_TRUE(run.WaitForOutput("\b\b\b\b\b\b\b\b -000075")) << run.Out() << run.Err();
  run.Type(" ");
  ASSERT_EQ(run.Wait(20s).status, 0) << run.Out() << run.Err();
  const auto out = run.Out();
  EXPECT_NE(out.find(Line("CLIDialogPress", "Correct", "option: cancel")), std::string::npos) << out;
  EXPECT_NE(out.find("\n" + Line("CLIDisplayWeightUC", "Correct", "option: stop")), std::string::npos) << out;
}

TEST_F(BenchtapRun, TheAutoDisplayShowsAnOKAScale) {
  StartScale("OKA");
  const auto script = WriteScript("oka.json", R"([
    { "command": "displey-weight-untill-press", "period": "50", "executable": { "protocol": "auto" },
      "options": [ { "name": "stop", "input": "space" } ] }
  ])");
  Process run(BenchtapTest::BenchtapPath(), Arguments(script), Input::Terminal);
  // OKA gives kilograms with three decimals.
  ASSERT_TRUE(run.WaitForOutput("\b\b\b\b\b\b\b\b  01.250")) << run.Out() << run.Err();
  run.Type(" ");
  ASSERT_EQ(run.Wait(20s).status, 0) << run.Out() << run.Err();
  EXPECT_NE(run.Out().find("\n" + Line("CLIDisplayWeightUC", "Correct", "option: stop")), std::string::npos)
      << run.Out();
}

TEST_F(BenchtapRun, CtrlCDuringAKeyWaitLeavesTheTerminalAsItWas) {
  StartScale("POS2M");
  const auto script = WriteScript("interrupt.json", R"([
    { "command": "button-click-tracking", "options": [ { "name": "next", "press": "enter" } ] }
  ])");
  Process run(BenchtapTest::BenchtapPath(), Arguments(script), Input::Terminal);
  const auto before = run.TerminalLocalModes();
  ASSERT_TRUE(before & ECHO);
  ASSERT_TRUE(run.WaitForOutput("    press [enter] to next\n")) << run.Out() << run.Err();
  // Single keys, no echo, while the program waits.
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while ((run.TerminalLocalModes() & ECHO) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_FALSE(run.TerminalLocalModes() & (ECHO | ICANON));
  run.Signal(SIGINT);
  EXPECT_EQ(run.Wait(20s).status, 128 + SIGINT) << run.Out() << run.Err();
  EXPECT_EQ(run.TerminalLocalModes() & (ECHO | ICANON), before & (ECHO | ICANON));
}
