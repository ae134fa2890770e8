// The built Benchtap, run as a process against the simulated scale on a pseudo-terminal, with
// the operator's input coming from a pipe or from a terminal of its own.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using namespace std::chrono_literals;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string WriteScript(const std::string& name, const std::string& json) {
  const auto path = TestSupport::AppData() + "/" + name;
  std::ofstream(path) << json;
  return path;
}

// One Benchtap process. Its standard input is a pipe or the slave side of a pseudo-terminal;
// its standard output and error go to files.
class BenchtapProcess {
 public:
  enum class Input { Pipe, Terminal };

  BenchtapProcess(const std::vector<std::string>& arguments, Input input) {
    static int serial = 0;
    const auto stem = TestSupport::AppData() + "/run" + std::to_string(++serial);
    outPath_ = stem + ".out";
    errPath_ = stem + ".err";
    int childInput = -1;
    if (input == Input::Pipe) {
      int fds[2];
      if (pipe(fds) != 0) return;
      childInput = fds[0];
      writer_ = fds[1];
    } else {
      writer_ = posix_openpt(O_RDWR | O_NOCTTY);
      if (writer_ < 0 || grantpt(writer_) != 0 || unlockpt(writer_) != 0) return;
      childInput = ::open(ptsname(writer_), O_RDWR | O_NOCTTY);
    }
    std::vector<std::string> argv{BUILD_DIR "/Benchtap"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      dup2(childInput, 0);
      const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      ::close(writer_);
      std::vector<char*> raw;
      for (auto& a : argv) raw.push_back(a.data());
      raw.push_back(nullptr);
      execv(raw[0], raw.data());
      _exit(127);
    }
    ::close(childInput);
  }

  ~BenchtapProcess() {
    if (pid_ > 0 && !finished_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (writer_ >= 0) ::close(writer_);
  }

  void Type(const std::string& bytes) {
    ASSERT_EQ(::write(writer_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void CloseInput() {
    ::close(writer_);
    writer_ = -1;
  }

  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit = 10s) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (Out().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  // Exit status, or -1 when the process had to be killed after `limit`.
  int Wait(std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      std::this_thread::sleep_for(20ms);
    }
    finished_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Local modes of the terminal the process reads (Terminal input only).
  tcflag_t TerminalLocalModes() const {
    termios settings{};
    tcgetattr(writer_, &settings);
    return settings.c_lflag;
  }
  void Signal(int signal) const { kill(pid_, signal); }

  std::string Out() const { return ReadFile(outPath_); }
  std::string Err() const { return ReadFile(errPath_); }

 private:
  pid_t pid_ = -1;
  int writer_ = -1;
  bool finished_ = false;
  std::string outPath_;
  std::string errPath_;
};

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
  BenchtapProcess run(Arguments(script, "both"), BenchtapProcess::Input::Pipe);
  run.Type("q w\n\n");
  run.CloseInput();
  ASSERT_EQ(run.Wait(), 0) << run.Out() << run.Err();
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
  BenchtapProcess run(Arguments(script), BenchtapProcess::Input::Pipe);
  run.CloseInput();
  ASSERT_EQ(run.Wait(), 0) << run.Out() << run.Err();
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
  BenchtapProcess run(Arguments(script), BenchtapProcess::Input::Terminal);
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
  ASSERT_EQ(run.Wait(), 0) << run.Out() << run.Err();
  const auto out = run.Out();
  EXPECT_NE(out.find(Line("CLIDialogPress", "Correct", "option: cancel")), std::string::npos) << out;
  EXPECT_NE(out.find("\n" + Line("CLIDisplayWeightUC", "Correct", "option: stop")), std::string::npos) << out;
}

TEST_F(BenchtapRun, AnErrorOnTheDisplayThreadReachesTheOperator) {
  StartScale("OKA");
  const auto script = WriteScript("oka.json", R"([
    { "command": "displey-weight-untill-press", "period": "50", "executable": { "protocol": "auto" },
      "options": [ { "name": "stop", "input": "space" } ] }
  ])");
  BenchtapProcess run(Arguments(script), BenchtapProcess::Input::Terminal);
  // No key is pressed: the failure itself ends the wait.
  ASSERT_EQ(run.Wait(), 1) << run.Out() << run.Err();
  EXPECT_NE(run.Out().find("Catch exception, type is std::exception, message is "
                           "\"DisplayWeightAuto::GetDWByProtocol, protocol{OKA} is incorrect\""),
            std::string::npos)
      << run.Out();
}

TEST_F(BenchtapRun, CtrlCDuringAKeyWaitLeavesTheTerminalAsItWas) {
  StartScale("POS2M");
  const auto script = WriteScript("interrupt.json", R"([
    { "command": "button-click-tracking", "options": [ { "name": "next", "press": "enter" } ] }
  ])");
  BenchtapProcess run(Arguments(script), BenchtapProcess::Input::Terminal);
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
  EXPECT_EQ(run.Wait(), 128 + SIGINT) << run.Out() << run.Err();
  EXPECT_EQ(run.TerminalLocalModes() & (ECHO | ICANON), before & (ECHO | ICANON));
}
