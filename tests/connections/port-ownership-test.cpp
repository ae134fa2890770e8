// One owner per port, and the same device after a reopen: a held pseudo-terminal is refused
// with its holder named, and a reopen that finds another program's terminal behind the link
// ends the transfer without writing a byte to it.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "connection-test-support.hpp"
#include "platform/serial-ports.hpp"
#include "tests/support/child-process.hpp"
#include "tests/logging/log-files.hpp"

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using Scalesim::ScriptResponder;
using Scalesim::Simulator;
using Scalesim::ToBytes;

std::string DriverLog() { return LogFiles::Read(LogFiles::InLogs("driver.log")); }

void PointLink(const std::string& link, const std::string& target) {
  const std::string temporary = link + ".swap";
  std::remove(temporary.c_str());
  ASSERT_EQ(::symlink(target.c_str(), temporary.c_str()), 0);
  ASSERT_EQ(std::rename(temporary.c_str(), link.c_str()), 0);
}

class PortOwnershipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    script_->SetRepeat(true);
    script_->AddReply(ToBytes("weight=1.250kg\r\n"));
  }
  std::shared_ptr<Connection> OpenLine(const std::string& path, ErrorCase& result) {
    auto connection = MakeSerialPortConnection(path);
    connection->Open(result);
    if (result == ErrorCase::Correct) connection->SetDefaultOptions(result);
    return connection;
  }

  std::shared_ptr<ScriptResponder> script_ = std::make_shared<ScriptResponder>();
};

TEST_F(PortOwnershipTest, ASecondOpenOfAHeldPortIsRefusedWithTheHolderNamed) {
  auto simulator = Simulator::StartPty(script_);
  ErrorCase result = ErrorCase::Correct;
  auto first = OpenLine(simulator->Path(), result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(Korvalt::Ponderix::Platform::CheckPortAccess(simulator->Path()),
            Korvalt::Ponderix::Platform::PortAccess::Busy);

  auto second = OpenLine(simulator->Path(), result);
  EXPECT_EQ(result, ErrorCase::UnableToOpenSerialPort);
  EXPECT_FALSE(second->IsOpen());
  EXPECT_NE(DriverLog().find("port " + simulator->Path() + " is busy: held by process " + std::to_string(getpid()) +
                             " ("),
            std::string::npos);
  EXPECT_EQ(Ask(*first, "W\r\n").response, Bytes("weight=1.250kg\r\n"));  // the owner is undisturbed

  // Closed, the port is free again.
  first->Close();
  result = ErrorCase::Correct;
  second->Open(result);
  EXPECT_EQ(result, ErrorCase::Correct);
}

TEST_F(PortOwnershipTest, APortLockedByAnotherProgramIsRefusedWithThatProgramNamed) {
  auto simulator = Simulator::StartPty(script_);
  // flock(1) from util-linux holds the terminal as serial tools do.
  const std::string path = simulator->Path();
  TestSupport::Launch holding;
  holding.command = {"flock", path, "sleep", "10"};
  holding.ownGroup = true;  // the sleep goes with it
  TestSupport::ChildProcess flock(holding);
  const pid_t holder = flock.Id();
  for (int i = 0; i < 200 && Korvalt::Ponderix::Platform::CheckPortAccess(path) !=
                                 Korvalt::Ponderix::Platform::PortAccess::Busy;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ErrorCase result = ErrorCase::Correct;
  auto refused = OpenLine(path, result);
  flock.Signal(SIGTERM);
  flock.Wait(std::chrono::seconds(5));
  EXPECT_EQ(result, ErrorCase::UnableToOpenSerialPort);
  EXPECT_NE(DriverLog().find("is busy: held by process " + std::to_string(holder) + " (flock)"), std::string::npos)
      << DriverLog();
}

TEST_F(PortOwnershipTest, AReopenOntoAnotherProgramsTerminalBehindTheLinkWritesNothingToIt) {
  const std::string link = LinkPath("scale-link");
  auto scale = Simulator::StartPty(script_, link);
  TestSupport::ChildProcess other(
      TestSupport::Scalesim({"--pty", "--reply", "weight=0.000kg\\r\\n", "--report-received", "--until-stdin-closes"}));
  const std::string otherPath = other.ReadLine();
  ASSERT_EQ(otherPath.rfind("/dev/pts/", 0), 0u) << otherPath;

  ErrorCase result = ErrorCase::Correct;
  auto line = OpenLine(link, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  ASSERT_EQ(Ask(*line, "W\r\n").response, Bytes("weight=1.250kg\r\n"));

  // The scale's line goes down mid-reply; meanwhile the link names another program's terminal.
  PointLink(link, otherPath);
  Scalesim::LineFaults faults;
  faults.hangUpAfter = 4;
  scale->SetFaults(faults);
  auto exchange = Ask(*line, "W\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::ConnectionError);
  EXPECT_FALSE(line->IsOpen());
  const std::string log = DriverLog();
  EXPECT_NE(log.find(link + " now leads to another device: pseudo-terminal of process "), std::string::npos) << log;
  EXPECT_NE(log.find("(scalesim), not the pseudo-terminal of process " + std::to_string(getpid())),
            std::string::npos);

  other.CloseInput();
  EXPECT_EQ(other.ReadLine(), "received 0 bytes");
}

}  // namespace
}  // namespace ConnectionTests
