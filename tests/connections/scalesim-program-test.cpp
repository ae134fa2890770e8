// The scalesim program as other tools use it: first output line, answering, and ending when
// its standard input closes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "connection-test-support.hpp"
#include "tests/support/child-process.hpp"

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using Korvalt::Ponderix::Driver::MakeTCPConnection;
using std::chrono::milliseconds;
using TestSupport::ChildProcess;
using TestSupport::Scalesim;

TEST(ScalesimProgram, ServesAPseudoTerminalAndEndsWithItsInput) {
  ChildProcess scalesim(Scalesim({"--pty", "--reply", "max=15\\r\\n", "--until-stdin-closes"}));
  auto path = scalesim.ReadLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  auto connection = MakeSerialPortConnection(path);
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  connection->SetDefaultOptions(result);
  ASSERT_EQ(result, ErrorCase::Correct);
  auto exchange = Ask(*connection, "Gmax\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("max=15\r\n"));

  scalesim.CloseInput();
  EXPECT_EQ(scalesim.Wait(milliseconds(2000)), 0);
}

TEST(ScalesimProgram, ServesTCPOnAChosenOrFreePort) {
  ChildProcess scalesim(Scalesim({"--tcp", "0", "--reply", "ok\\x0d\\x0a", "--chunk", "1"}));
  auto port = scalesim.ReadLine();
  ASSERT_FALSE(port.empty());

  auto connection = MakeTCPConnection("127.0.0.1:" + port, "77");
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  ASSERT_EQ(result, ErrorCase::Correct);
  auto exchange = Ask(*connection, "W");
  EXPECT_EQ(exchange.response, Bytes("ok\r\n"));
}

TEST(ScalesimProgram, RefusesNonsenseWithStatusTwo) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{"--protocol", "no-such-scale"},
                                                                     {"--reply", "x", "--framing", "9Q1"},
                                                                     {"--reply", "x", "--come-back"}}) {
    EXPECT_EQ(ChildProcess(Scalesim(arguments)).Wait(milliseconds(5000)), 2) << arguments[1];
  }
}

}  // namespace
}  // namespace ConnectionTests
