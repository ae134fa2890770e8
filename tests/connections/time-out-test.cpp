// Reads cut off by the transfer timer. Each case costs its full time-out, so they are few.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "connection-test-support.hpp"

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using Korvalt::Ponderix::Driver::MakeTCPConnection;
using Korvalt::Ponderix::Driver::Option;
using Scalesim::ScriptResponder;
using Scalesim::Simulator;
using Scalesim::ToBytes;

// The lower bound is what the test is about; the upper one only catches a read that hangs.
void ExpectTimedOut(const Exchange& exchange, long long timeoutMs) {
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_GE(exchange.elapsedMs, timeoutMs - 20);
  EXPECT_LT(exchange.elapsedMs, timeoutMs + 600);
}

TEST(TimeOut, AnIncompleteReplyIsReturnedAsGatheredAfterTheSerialTimeOuts) {
  auto script = std::make_shared<ScriptResponder>();
  script->SetRepeat(true);
  script->AddReply(ToBytes("weight=1.2"));  // never ends with CR LF
  auto simulator = Simulator::StartPty(script);
  auto connection = MakeSerialPortConnection(simulator->Path());
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  connection->SetDefaultOptions(result);
  ASSERT_EQ(result, ErrorCase::Correct);

  auto exchange = Ask(*connection, "W\r\n");
  EXPECT_EQ(exchange.response, Bytes("weight=1.2"));
  ExpectTimedOut(exchange, 500);
  EXPECT_EQ(connection->GetTransferState(), 2);

  // Scales at 4800 baud get twice as long; the rate's text must be exactly "4800". Each ask
  // after a time-out first waits one time-out for the line to go quiet.
  connection->SetOption(Option::BaudRate, "4800", result);
  ASSERT_EQ(result, ErrorCase::Correct);
  ExpectTimedOut(Ask(*connection, "W\r\n"), 1000 + 1000);
  connection->SetOption(Option::BaudRate, "04800", result);
  ASSERT_EQ(result, ErrorCase::Correct);
  ExpectTimedOut(Ask(*connection, "W\r\n"), 500 + 500);
}

// A scale that answers after the time-out: its late reply must not become the answer to the
// next request, whether that comes at once or a little later.
TEST(TimeOut, ALateReplyIsNotTakenForTheNextAnswer) {
  for (int pauseMs : {0, 150}) {
    auto script = std::make_shared<ScriptResponder>();
    script->AddReply(ToBytes("first\r\n"));
    script->AddReply(ToBytes("second\r\n"));
    auto simulator = Simulator::StartPty(script);
    Scalesim::LineFaults faults;
    faults.delay = std::chrono::milliseconds(700);  // 200 ms after the 500 ms time-out
    simulator->SetFaults(faults);
    auto connection = MakeSerialPortConnection(simulator->Path());
    ErrorCase result = ErrorCase::Correct;
    connection->Open(result);
    connection->SetDefaultOptions(result);
    ASSERT_EQ(result, ErrorCase::Correct);

    EXPECT_TRUE(Ask(*connection, "1\r\n").response.empty());
    simulator->SetFaults({});
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    auto next = Ask(*connection, "2\r\n");
    EXPECT_EQ(next.result, ErrorCase::Correct);
    EXPECT_EQ(next.response, Bytes("second\r\n")) << "pause " << pauseMs << " ms";
  }
}

TEST(TimeOut, ASilentPeerOverTCP) {
  auto script = std::make_shared<ScriptResponder>();
  auto simulator = Simulator::StartTcp(script);
  Scalesim::LineFaults faults;
  faults.silent = true;
  simulator->SetFaults(faults);
  auto connection = MakeTCPConnection("127.0.0.1:" + std::to_string(simulator->Port()), "77");
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  ASSERT_EQ(result, ErrorCase::Correct);

  auto exchange = Ask(*connection, "W\r\n");
  EXPECT_TRUE(exchange.response.empty());
  ExpectTimedOut(exchange, 700);
}

TEST(TimeOut, PacedRepliesTakeTheirLineTime) {
  auto script = std::make_shared<ScriptResponder>();
  script->AddReply(ToBytes(std::string(46, 'x') + "\r\n"));
  auto simulator = Simulator::StartPty(script);
  Scalesim::LineFaults faults;
  faults.baud = 4800;
  Scalesim::ParseFraming("8E2", faults.framing);  // 12 bits a character: 400 characters a second
  simulator->SetFaults(faults);
  auto connection = MakeSerialPortConnection(simulator->Path());
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  connection->SetDefaultOptions(result);

  auto exchange = Ask(*connection, "W\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response.size(), 48u);
  EXPECT_GE(exchange.elapsedMs, 115);  // 48 characters at 2.5 ms
}

}  // namespace
}  // namespace ConnectionTests
