// The scalesim program as other tools use it: first output line, answering, and ending when
// its standard input closes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "connection-test-support.hpp"

extern char** environ;

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using Korvalt::Ponderix::Driver::MakeTCPConnection;

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

  // The first line of output, without its line break; empty after 5 s of nothing.
  std::string FirstLine() {
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

TEST(ScalesimProgram, ServesAPseudoTerminalAndEndsWithItsInput) {
  ScalesimProcess scalesim({"--pty", "--reply", "max=15\\r\\n"});
  auto path = scalesim.FirstLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  auto connection = MakeSerialPortConnection(path);
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  connection->SetDefaultOptions(result);
  ASSERT_EQ(result, ErrorCase::Correct);
  auto exchange = Ask(*connection, "Gmax\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("max=15\r\n"));

  scalesim.CloseStdin();
  EXPECT_EQ(scalesim.Wait(2000), 0);
}

TEST(ScalesimProgram, ServesTCPOnAChosenOrFreePort) {
  ScalesimProcess scalesim({"--tcp", "0", "--reply", "ok\\x0d\\x0a", "--chunk", "1"});
  auto port = scalesim.FirstLine();
  ASSERT_FALSE(port.empty());

  auto connection = MakeTCPConnection("127.0.0.1:" + port, "77");
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  ASSERT_EQ(result, ErrorCase::Correct);
  auto exchange = Ask(*connection, "W");
  EXPECT_EQ(exchange.response, Bytes("ok\r\n"));
}

TEST(ScalesimProgram, RefusesNonsenseWithStatusTwo) {
  EXPECT_EQ(ScalesimProcess({"--protocol", "no-such-scale"}).Wait(5000), 2);
  EXPECT_EQ(ScalesimProcess({"--reply", "x", "--framing", "9Q1"}).Wait(5000), 2);
  EXPECT_EQ(ScalesimProcess({"--reply", "x", "--come-back"}).Wait(5000), 2);
}

}  // namespace
}  // namespace ConnectionTests
