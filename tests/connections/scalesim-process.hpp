// The scalesim program as a separate process: its first output line (the name to connect to),
// its standard input (closing it ends the program) and its exit status.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace ConnectionTests {

class ScalesimProcess {
 public:
  explicit ScalesimProcess(std::vector<std::string> arguments) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string program = std::string(BUILD_DIR) + "/scalesim";
    arguments.insert(arguments.begin(), program);
    arguments.push_back("--until-stdin-closes");
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~ScalesimProcess() {
    if (stdin_ >= 0) ::close(stdin_);
    if (pid_ > 0 && Wait(2000) < 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (stdout_ >= 0) ::close(stdout_);
  }

  // The next line of output, without its line break; empty after 5 s of nothing.
  std::string FirstLine() { return NextLine(); }
  std::string NextLine() {
    std::string line;
    char c;
    while (line.size() < 256) {
      pollfd ready{stdout_, POLLIN, 0};
      if (::poll(&ready, 1, 5000) <= 0 || ::read(stdout_, &c, 1) != 1 || c == '\n') break;
      line.push_back(c);
    }
    return line;
  }

  void CloseStdin() {
    ::close(stdin_);
    stdin_ = -1;
  }

  // Exit status, or -1 when the program is still running after `ms`.
  int Wait(int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      ::usleep(10 * 1000);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

}  // namespace ConnectionTests
