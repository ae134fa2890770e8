// The TCP connection against the simulator listening on 127.0.0.1, and the end point texts.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include <boost/asio/error.hpp>

#include "connection-test-support.hpp"

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::CheckBoostErrorCase;
using Korvalt::Ponderix::Driver::MakeTCPConnection;
using Korvalt::Ponderix::Driver::Option;
using Korvalt::Ponderix::Driver::SplitTCPEndPoint;
using Scalesim::ScriptResponder;
using Scalesim::Simulator;
using Scalesim::ToBytes;

TEST(TCPEndPoint, BareHostsKeepTheDefaultPortAndHostPortTextsNameTheirOwn) {
  struct Row {
    const char* text;
    const char* host;
    const char* port;
  };
  const Row rows[] = {
      {"10.0.0.5", "10.0.0.5", "77"},       {"10.0.0.5:4001", "10.0.0.5", "4001"},
      {"scale.local", "scale.local", "77"}, {"scale.local:http", "scale.local", "http"},
      {"[::1]:5000", "::1", "5000"},        {"[::1]", "::1", "77"},
      {"::1", "::1", "77"},                 {"fe80::1:2", "fe80::1:2", "77"},
      {"", "", "77"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    auto endPoint = SplitTCPEndPoint(row.text, "77");
    EXPECT_EQ(endPoint.host, row.host);
    EXPECT_EQ(endPoint.port, row.port);
  }
}

TEST(CheckBoostErrorCase, MapsByConditionNotByNumber) {
  namespace errc = boost::system::errc;
  ErrorCase result = ErrorCase::Correct;
  CheckBoostErrorCase({}, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  CheckBoostErrorCase(errc::make_error_code(errc::no_such_file_or_directory), result);
  EXPECT_EQ(result, ErrorCase::UnableToOpenSerialPort);
  result = ErrorCase::Correct;
  CheckBoostErrorCase(boost::asio::error::operation_aborted, result);
  EXPECT_EQ(result, ErrorCase::ConnectionError);
  result = ErrorCase::Correct;
  CheckBoostErrorCase(boost::asio::error::connection_refused, result);
  EXPECT_EQ(result, ErrorCase::ConnectionError);
}

class TCPConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { simulator_ = Simulator::StartTcp(script_); }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(simulator_->Port()); }
  std::shared_ptr<Connection> OpenConnection() {
    auto connection = MakeTCPConnection(HostPort(), "77");
    ErrorCase result = ErrorCase::Correct;
    connection->Open(result);
    EXPECT_EQ(result, ErrorCase::Correct);
    return connection;
  }

  std::shared_ptr<ScriptResponder> script_ = std::make_shared<ScriptResponder>();
  std::unique_ptr<Simulator> simulator_;
};

TEST_F(TCPConnectionTest, HostPortConnectsAtOnceAndExchanges) {
  script_->AddExchange(ToBytes("Gmax\r\n"), ToBytes("max=15\r\n"));
  Stopwatch watch;
  auto connection = OpenConnection();
  // The connect time-out (700 ms) is a limit, not a wait.
  EXPECT_LT(watch.Ms(), 650);
  EXPECT_TRUE(connection->IsOpen());

  auto exchange = Ask(*connection, "Gmax\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("max=15\r\n"));
  EXPECT_EQ(script_->Received(), ToBytes("Gmax\r\n"));

  connection->Close();
  EXPECT_FALSE(connection->IsOpen());
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);  // the same objects serve again
  EXPECT_EQ(result, ErrorCase::Correct);
  for (int waited = 0; simulator_->Connections() < 2 && waited < 2000; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(simulator_->Connections(), 2);
}

TEST_F(TCPConnectionTest, ClosedPortAndEmptyHost) {
  auto port = simulator_->Port();
  simulator_.reset();  // nobody listens there any more
  auto connection = MakeTCPConnection("127.0.0.1:" + std::to_string(port), "77");
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  EXPECT_EQ(result, ErrorCase::ConnectionError);
  EXPECT_FALSE(connection->IsOpen());

  auto unnamed = MakeTCPConnection("", "77");
  result = ErrorCase::Correct;
  unnamed->Open(result);
  EXPECT_EQ(result, ErrorCase::Unset);
}

TEST_F(TCPConnectionTest, HasNoOptionsAndRefusesWritesWhenClosed) {
  auto connection = MakeTCPConnection(HostPort(), "77");
  for (int value = 0; value <= 7; ++value) {
    auto option = static_cast<Option>(value);
    EXPECT_FALSE(connection->IsOptionSupported(option));
    ErrorCase result = ErrorCase::Correct;
    connection->SetOption(option, "1", result);
    EXPECT_EQ(result, ErrorCase::OptionUnsupported);
    result = ErrorCase::Correct;
    EXPECT_EQ(connection->GetOption(option, result), "");
    EXPECT_EQ(result, ErrorCase::OptionUnsupported);
  }
  ErrorCase result = ErrorCase::Correct;
  try {
    connection->WriteData(Bytes("x"), result);
    FAIL() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Korvalt::Ponderix::Driver::connection, , SocketConnection::WriteData, port is closed.");
  }
}

TEST_F(TCPConnectionTest, DiscardsBytesThatWereWaitingBeforeTheRequest) {
  script_->AddExchange(ToBytes("Gmax\r\n"), ToBytes("max=15\r\n"));
  auto connection = OpenConnection();
  while (simulator_->Connections() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  SendUnasked(*simulator_, "max=3\r\nmax=");

  auto exchange = Ask(*connection, "Gmax\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("max=15\r\n"));
}

TEST_F(TCPConnectionTest, PeerThatClosesMidReplyIsAskedAgainOnANewConnection) {
  script_->AddReply(ToBytes("weight=1.250kg\r\n"));
  script_->AddReply(ToBytes("weight=1.300kg\r\n"));
  Scalesim::LineFaults faults;
  faults.hangUpAfter = 6;
  simulator_->SetFaults(faults);
  auto connection = OpenConnection();

  // The half reply of the closed connection is dropped; the request goes out once more.
  auto exchange = Ask(*connection, "W\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("weight=1.300kg\r\n"));
  EXPECT_EQ(simulator_->Connections(), 2);
}

}  // namespace
}  // namespace ConnectionTests
