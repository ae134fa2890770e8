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
#include "scalesim-process.hpp"


namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using Korvalt::Ponderix::Driver::MakeTCPConnection;

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
