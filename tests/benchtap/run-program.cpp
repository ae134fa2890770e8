#include "tests/benchtap/run-program.hpp"

#include <signal.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/test-environment.hpp"

namespace BenchtapTest {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string RunStem() {
  static std::atomic<int> runs{0};
  return TestSupport::AppData() + "/run-" + std::to_string(++runs);
}

TestSupport::Launch ProgramLaunch(const std::string& program, const std::vector<std::string>& arguments, Input input,
                                  const std::string& folder, const std::string& stem) {
  TestSupport::Launch launch;
  launch.command = {program};
  launch.command.insert(launch.command.end(), arguments.begin(), arguments.end());
  launch.input = input == Input::Nothing ? TestSupport::Stream::Null
                 : input == Input::Pipe  ? TestSupport::Stream::Pipe
                                         : TestSupport::Stream::Terminal;
  launch.output = TestSupport::Stream::File;
  launch.outputFile = stem + ".out";
  launch.errors = TestSupport::Stream::File;
  launch.errorsFile = stem + ".err";
  launch.folder = folder;
  launch.unsetEnvironment = {"LD_LIBRARY_PATH"};
  launch.ownGroup = true;
  launch.stopSignal = SIGKILL;
  return launch;
}

}  // namespace

Process::Process(const std::string& program, const std::vector<std::string>& arguments, Input input,
                 const std::string& folder)
    : stem_(RunStem()), child_(ProgramLaunch(program, arguments, input, folder, stem_)) {}

void Process::Type(const std::string& bytes) {
  if (!child_.Write(bytes)) throw std::runtime_error("the child's input took not every byte");
}

void Process::CloseInput() { child_.CloseInput(); }

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Out().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

Outcome Process::Wait(std::chrono::milliseconds limit) {
  Outcome outcome;
  outcome.status = child_.WaitOrKill(limit);
  outcome.out = Out();
  outcome.err = Err();
  return outcome;
}

tcflag_t Process::TerminalLocalModes() const {
  termios settings{};
  tcgetattr(child_.End(0), &settings);
  return settings.c_lflag;
}

void Process::Signal(int signal) const { child_.Signal(signal); }

std::string Process::Out() const { return ReadFile(stem_ + ".out"); }
std::string Process::Err() const { return ReadFile(stem_ + ".err"); }

Outcome RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder,
                   int timeoutSeconds) {
  return Process(program, arguments, Input::Nothing, folder).Wait(std::chrono::seconds(timeoutSeconds));
}

std::string BenchtapPath() { return BUILD_DIR "/Benchtap"; }

Outcome RunBenchtap(const std::vector<std::string>& arguments, const std::string& folder) {
  return RunProgram(BenchtapPath(), arguments, folder);
}

std::string WriteScript(const std::string& name, const std::string& json) {
  const auto path = TestSupport::AppData() + "/" + name;
  std::ofstream(path) << json;
  return path;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace BenchtapTest
