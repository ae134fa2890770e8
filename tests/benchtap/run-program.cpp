#include "tests/benchtap/run-program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
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

}  // namespace

Running StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& folder) {
  static std::atomic<int> runs{0};
  int run = ++runs;
  Running running;
  running.outPath = TestSupport::AppData() + "/run-" + std::to_string(run) + ".out";
  running.errPath = TestSupport::AppData() + "/run-" + std::to_string(run) + ".err";

  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (auto& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
    unsetenv("LD_LIBRARY_PATH");
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(running.outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(running.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(program.c_str(), pointers.data());
    _exit(127);
  }
  running.pid = child;
  return running;
}

Outcome Wait(const Running& running, int timeoutSeconds) {
  Outcome outcome;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t done = waitpid(running.pid, &status, WNOHANG);
    if (done == running.pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(running.pid, SIGKILL);
      waitpid(running.pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.status = 128 + WTERMSIG(status);
  outcome.out = ReadFile(running.outPath);
  outcome.err = ReadFile(running.errPath);
  return outcome;
}

std::string OutputSoFar(const Running& running) { return ReadFile(running.outPath); }

Outcome RunProgram(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder,
                   int timeoutSeconds) {
  return Wait(StartProgram(program, arguments, folder), timeoutSeconds);
}

Outcome RunBenchtap(const std::vector<std::string>& arguments, const std::string& folder) {
  return RunProgram(BUILD_DIR "/Benchtap", arguments, folder);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace BenchtapTest
