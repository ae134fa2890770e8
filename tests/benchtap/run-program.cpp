#include "tests/benchtap/run-program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
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

// The child's end of its standard input; `writer` receives the test's end (none for Nothing).
int OpenInput(Input input, int& writer) {
  if (input == Input::Nothing) return ::open("/dev/null", O_RDONLY);
  if (input == Input::Pipe) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    writer = fds[1];
    return fds[0];
  }
  writer = posix_openpt(O_RDWR | O_NOCTTY);
  if (writer < 0 || grantpt(writer) != 0 || unlockpt(writer) != 0) return -1;
  return ::open(ptsname(writer), O_RDWR | O_NOCTTY);
}

// In the child: never returns.
[[noreturn]] void Exec(std::vector<std::string> argv, const std::string& folder, int in, int writer,
                       const std::string& outPath, const std::string& errPath) {
  setsid();
  if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
  unsetenv("LD_LIBRARY_PATH");
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (in < 0 || out < 0 || err < 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  if (writer >= 0) ::close(writer);
  std::vector<char*> pointers;
  for (auto& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  execv(pointers[0], pointers.data());
  _exit(127);
}

}  // namespace

Process::Process(const std::string& program, const std::vector<std::string>& arguments, Input input,
                 const std::string& folder) {
  static std::atomic<int> runs{0};
  const auto stem = TestSupport::AppData() + "/run-" + std::to_string(++runs);
  outPath_ = stem + ".out";
  errPath_ = stem + ".err";
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const int in = OpenInput(input, writer_);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) Exec(argv, folder, in, writer_, outPath_, errPath_);
  if (in >= 0) ::close(in);
}

Process::~Process() {
  if (pid_ > 0 && !finished_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (writer_ >= 0) ::close(writer_);
}

void Process::Type(const std::string& bytes) {
  if (::write(writer_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("the child's input took not every byte");
  }
}

void Process::CloseInput() {
  ::close(writer_);
  writer_ = -1;
}

bool Process::WaitForOutput(const std::string& text, std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Out().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

Outcome Process::Wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (!finished_ && waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  finished_ = true;
  Outcome outcome;
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.status = 128 + WTERMSIG(status);
  outcome.out = Out();
  outcome.err = Err();
  return outcome;
}

tcflag_t Process::TerminalLocalModes() const {
  termios settings{};
  tcgetattr(writer_, &settings);
  return settings.c_lflag;
}

void Process::Signal(int signal) const { kill(pid_, signal); }

std::string Process::Out() const { return ReadFile(outPath_); }
std::string Process::Err() const { return ReadFile(errPath_); }

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
