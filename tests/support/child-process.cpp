#include "tests/support/child-process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace TestSupport {
namespace {

using Clock = std::chrono::steady_clock;

// Every descriptor the test opens for a child is close-on-exec, so a child started at the same
// time by another thread inherits none of them.
int OpenFile(const std::string& path, int flags) { return ::open(path.c_str(), flags | O_CLOEXEC, 0600); }

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string folders = path ? path : "/usr/bin:/bin";
  for (std::size_t start = 0; start <= folders.size();) {
    const auto end = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, end - start) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return name;
}

// The child's side of descriptor `number`, and the test's end of it (-1: none).
struct Wiring {
  int number;
  int child;
  int test;
};

Wiring Wire(int number, Stream stream, bool childReads, const std::string& file) {
  Wiring wiring{number, -1, -1};
  int fds[2];
  switch (stream) {
    case Stream::Inherit:
      break;
    case Stream::Null:
      wiring.child = OpenFile("/dev/null", childReads ? O_RDONLY : O_WRONLY);
      break;
    case Stream::File:
      wiring.child = OpenFile(file, childReads ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC);
      break;
    case Stream::Pipe:
      if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the child");
      wiring.child = childReads ? fds[0] : fds[1];
      wiring.test = childReads ? fds[1] : fds[0];
      break;
    case Stream::Terminal:
      wiring.test = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
      if (wiring.test < 0 || ::grantpt(wiring.test) != 0 || ::unlockpt(wiring.test) != 0) {
        throw std::runtime_error("no pseudo-terminal for the child");
      }
      wiring.child = OpenFile(::ptsname(wiring.test), O_RDWR | O_NOCTTY);
      break;
  }
  if (stream != Stream::Inherit && wiring.child < 0) throw std::runtime_error("cannot open the child's descriptor");
  return wiring;
}

constexpr std::size_t kMostDescriptors = 16;

// In the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void Become(const Launch& launch, const std::vector<Wiring>& wirings, char* const* argv,
                         char* const* environment) {
  if (launch.ownGroup) ::setsid();
  if (launch.descriptorLimit > 0) {
    const rlimit limit{static_cast<rlim_t>(launch.descriptorLimit), static_cast<rlim_t>(launch.descriptorLimit)};
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (!launch.folder.empty() && ::chdir(launch.folder.c_str()) != 0) ::_exit(126);
  // Out of the way of the numbers they go to first, so no dup2 overwrites a source still needed.
  int moved[kMostDescriptors];
  for (std::size_t i = 0; i < wirings.size(); ++i) {
    moved[i] = wirings[i].child < 0 ? -1 : ::fcntl(wirings[i].child, F_DUPFD_CLOEXEC, 64);
  }
  for (std::size_t i = 0; i < wirings.size(); ++i) {
    if (moved[i] >= 0 && ::dup2(moved[i], wirings[i].number) < 0) ::_exit(126);
  }
  ::execve(argv[0], argv, environment);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(Launch launch) : stopSignal_(launch.stopSignal) {
  std::vector<Wiring> wirings = {
      Wire(0, launch.input, true, ""),
      Wire(1, launch.output, false, launch.outputFile),
  };
  const bool sameFile = launch.output == Stream::File && launch.errors == Stream::File &&
                        launch.errorsFile == launch.outputFile;
  wirings.push_back(sameFile ? Wiring{2, ::fcntl(wirings[1].child, F_DUPFD_CLOEXEC, 0), -1}
                             : Wire(2, launch.errors, false, launch.errorsFile));
  for (int number : launch.extraInputs) wirings.push_back(Wire(number, Stream::Pipe, true, ""));
  for (int number : launch.extraOutputs) wirings.push_back(Wire(number, Stream::Pipe, false, ""));

  if (launch.command.empty()) throw std::logic_error("no program to start");
  if (wirings.size() > kMostDescriptors) throw std::logic_error("too many descriptors for the child");
  launch.command[0] = FindProgram(launch.command[0]);
  std::vector<char*> argv;
  for (auto& argument : launch.command) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> environment;
  for (char** variable = environ; *variable; ++variable) {
    const bool unset = std::any_of(launch.unsetEnvironment.begin(), launch.unsetEnvironment.end(),
                                   [&](const std::string& name) {
                                     return std::strncmp(*variable, name.c_str(), name.size()) == 0 &&
                                            (*variable)[name.size()] == '=';
                                   });
    if (!unset) environment.push_back(*variable);
  }
  environment.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) Become(launch, wirings, argv.data(), environment.data());
  if (launch.ownGroup && pid_ > 0) group_ = pid_;
  for (const auto& wiring : wirings) {
    if (wiring.child >= 0) ::close(wiring.child);
    if (wiring.test >= 0) ends_.push_back({wiring.number, wiring.test});
  }
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

ChildProcess::~ChildProcess() {
  // A child blocked on one of its pipes is freed by the closed end.
  for (const auto& end : ends_) ::close(end.fd);
  ends_.clear();
  if (pid_ > 0) {
    ::kill(pid_, stopSignal_);
    WaitOrKill(std::chrono::seconds(2));
  }
  // Whatever the child started in its own group goes with it.
  if (group_ > 0) ::kill(-group_, SIGKILL);
}

int ChildProcess::End(int number) const {
  for (const auto& end : ends_) {
    if (end.number == number) return end.fd;
  }
  return -1;
}

void ChildProcess::CloseEnd(int number) {
  for (auto end = ends_.begin(); end != ends_.end(); ++end) {
    if (end->number == number) {
      ::close(end->fd);
      ends_.erase(end);
      return;
    }
  }
}

bool ChildProcess::Write(const std::string& bytes) {
  const int fd = End(0);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  std::string line;
  char c;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready{End(1), POLLIN, 0};
    if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0) break;
    if (::read(ready.fd, &c, 1) != 1 || c == '\n') break;
    line.push_back(c);
  }
  return line;
}

std::string ChildProcess::ReadAll(int number, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  std::string text;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready{End(number), POLLIN, 0};
    if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0) break;
    const ssize_t n = ::read(ready.fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

void ChildProcess::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

void ChildProcess::Reap(int raw) {
  pid_ = -1;
  if (WIFEXITED(raw)) status_ = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) status_ = 128 + WTERMSIG(raw);
}

int ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (pid_ > 0) {
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
      Reap(raw);
      break;
    }
    if (Clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

int ChildProcess::WaitOrKill(std::chrono::milliseconds limit) {
  if (Wait(limit) < 0 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    Reap(raw);
  }
  return status_;
}

Launch Scalesim(std::vector<std::string> arguments) {
  Launch launch;
  launch.command = {BUILD_DIR "/scalesim"};
  launch.command.insert(launch.command.end(), arguments.begin(), arguments.end());
  launch.input = Stream::Pipe;
  launch.output = Stream::Pipe;
  return launch;
}

}  // namespace TestSupport
