// The serial connection against a real pseudo-terminal served by the simulator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "connection-test-support.hpp"

namespace ConnectionTests {
namespace {

using Korvalt::Ponderix::Driver::MakeSerialPortConnection;
using Korvalt::Ponderix::Driver::Option;
using Scalesim::ScriptResponder;
using Scalesim::Simulator;
using Scalesim::ToBytes;

class SerialPortConnectionTest : public ::testing::Test {
 protected:
  void StartSimulator(const std::string& linkPath = "") {
    simulator_ = Simulator::StartPty(script_, linkPath);
    connection_ = MakeSerialPortConnection(simulator_->Path());
  }
  void OpenWithDefaults() {
    ErrorCase result = ErrorCase::Correct;
    connection_->Open(result);
    ASSERT_EQ(result, ErrorCase::Correct);
    connection_->SetDefaultOptions(result);
    ASSERT_EQ(result, ErrorCase::Correct);
  }

  std::shared_ptr<ScriptResponder> script_ = std::make_shared<ScriptResponder>();
  std::unique_ptr<Simulator> simulator_;
  std::shared_ptr<Connection> connection_;
};

TEST_F(SerialPortConnectionTest, ExchangesARequestAndACompleteReply) {
  script_->AddExchange(ToBytes("Gmax\r\n"), ToBytes("max=15\r\n"));
  StartSimulator();
  OpenWithDefaults();

  auto exchange = Ask(*connection_, "Gmax\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("max=15\r\n"));
  EXPECT_EQ(script_->Received(), ToBytes("Gmax\r\n"));
  // Ended by the validator, not by the transfer timer.
  EXPECT_LT(exchange.elapsedMs, 400);
  EXPECT_EQ(connection_->GetTransferState(), 2);
}

TEST_F(SerialPortConnectionTest, JoinsAReplyThatArrivesInPiecesWithinTheTimeOut) {
  script_->AddReply(ToBytes("weight=12.345kg\r\n"));
  StartSimulator();
  Scalesim::LineFaults faults;
  faults.chunkSize = 4;
  faults.chunkPause = std::chrono::milliseconds(40);
  simulator_->SetFaults(faults);
  OpenWithDefaults();

  auto exchange = Ask(*connection_, "W\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("weight=12.345kg\r\n"));
}

TEST_F(SerialPortConnectionTest, DiscardsBytesThatWereWaitingBeforeTheRequest) {
  script_->AddExchange(ToBytes("Gmax\r\n"), ToBytes("max=15\r\n"));
  StartSimulator();
  OpenWithDefaults();
  // A reply that came too late for the previous command.
  SendUnasked(*simulator_, "max=3");

  auto exchange = Ask(*connection_, "Gmax\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("max=15\r\n"));
}

TEST_F(SerialPortConnectionTest, DiscardInputDropsWhatASelfTransmittingScaleSentBefore) {
  StartSimulator();
  OpenWithDefaults();
  SendUnasked(*simulator_, "frame 1\r\nfra");
  connection_->DiscardInput();
  SendUnasked(*simulator_, "frame 2\r\n");

  ByteVector response;
  ErrorCase result = ErrorCase::Correct;
  connection_->ReadData(response, EndsWithCrLf, result);
  EXPECT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(response, Bytes("frame 2\r\n"));
}

TEST_F(SerialPortConnectionTest, PortThatDoesNotExist) {
  auto connection = MakeSerialPortConnection("/dev/ttyDoesNotExist7");
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  EXPECT_EQ(result, ErrorCase::UnableToOpenSerialPort);
  EXPECT_FALSE(connection->IsOpen());
}

TEST_F(SerialPortConnectionTest, WriteOnAClosedPortThrowsAndLeavesResultAlone) {
  auto connection = MakeSerialPortConnection("/dev/ttyDoesNotExist7");
  ErrorCase result = ErrorCase::Correct;
  try {
    connection->WriteData(Bytes("x"), result);
    FAIL() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(),
                 "Korvalt::Ponderix::Driver::connection, , SerialPortConnection::WriteData, port is closed.");
  }
  EXPECT_EQ(result, ErrorCase::Correct);
}

TEST_F(SerialPortConnectionTest, OptionsOnAClosedPortAreRefusedAndNotStored) {
  auto connection = MakeSerialPortConnection("/dev/ttyDoesNotExist7");
  for (auto option : {Option::BaudRate, Option::CharacterSize, Option::StopBits, Option::Parity, Option::FlowControl}) {
    EXPECT_TRUE(connection->IsOptionSupported(option));
  }
  for (auto option : {Option::Unset, Option::ReuseAddress, Option::KeepAlive}) {
    EXPECT_FALSE(connection->IsOptionSupported(option));
    ErrorCase result = ErrorCase::Correct;
    connection->SetOption(option, "1", result);
    EXPECT_EQ(result, ErrorCase::OptionUnsupported);
  }

  ErrorCase result = ErrorCase::Correct;
  EXPECT_EQ(connection->GetOption(Option::BaudRate, result), "");
  EXPECT_EQ(result, ErrorCase::Correct);
  connection->SetOption(Option::BaudRate, "4800", result);
  EXPECT_EQ(result, ErrorCase::UnableToOpenSerialPort);
  result = ErrorCase::Correct;
  EXPECT_EQ(connection->GetOption(Option::BaudRate, result), "");
  result = ErrorCase::Correct;
  connection->SetDefaultOptions(result);
  EXPECT_EQ(result, ErrorCase::UnableToOpenSerialPort);
}

TEST_F(SerialPortConnectionTest, DefaultsAreAppliedToTheLineAndStored) {
  StartSimulator();
  OpenWithDefaults();
  const std::pair<Option, const char*> defaults[] = {
      {Option::BaudRate, "9600"}, {Option::CharacterSize, "8"}, {Option::StopBits, "0"},
      {Option::Parity, "0"},      {Option::FlowControl, "0"},
  };
  for (const auto& [option, value] : defaults) {
    ErrorCase result = ErrorCase::Correct;
    EXPECT_EQ(connection_->GetOption(option, result), value);
    EXPECT_EQ(result, ErrorCase::Correct);
  }
  EXPECT_EQ(simulator_->GetLineSettings().baud, 9600);
  EXPECT_EQ(simulator_->GetLineSettings().stopBits, 1);
}

TEST_F(SerialPortConnectionTest, AcceptedValuesReachTheLineAsGiven) {
  StartSimulator();
  OpenWithDefaults();
  ErrorCase result = ErrorCase::Correct;
  connection_->SetOption(Option::BaudRate, "4800", result);
  connection_->SetOption(Option::StopBits, "2", result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(simulator_->GetLineSettings().baud, 4800);
  EXPECT_EQ(simulator_->GetLineSettings().stopBits, 2);

  // Blanks around a number are accepted and the text is kept as given.
  connection_->SetOption(Option::BaudRate, " 19200 ", result);
  EXPECT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(connection_->GetOption(Option::BaudRate, result), " 19200 ");
  EXPECT_EQ(simulator_->GetLineSettings().baud, 19200);

  // A caller already holding an error changes nothing.
  result = ErrorCase::ConnectionError;
  connection_->SetOption(Option::BaudRate, "9600", result);
  EXPECT_EQ(result, ErrorCase::ConnectionError);
  EXPECT_EQ(simulator_->GetLineSettings().baud, 19200);
}

TEST_F(SerialPortConnectionTest, RejectedValuesKeepTheSettingInForce) {
  StartSimulator();
  OpenWithDefaults();
  ErrorCase result = ErrorCase::Correct;
  connection_->SetOption(Option::BaudRate, "4800", result);
  connection_->SetOption(Option::StopBits, "2", result);
  ASSERT_EQ(result, ErrorCase::Correct);

  struct Rejected {
    Option option;
    const char* value;
    const char* kept;
  };
  const Rejected rejected[] = {
      {Option::CharacterSize, "9", "8"},         {Option::CharacterSize, "4", "8"},
      {Option::Parity, "-1", "0"},               {Option::Parity, "3", "0"},
      {Option::StopBits, "1", "2"},  // one and a half stop bits: not offered by POSIX lines
      {Option::FlowControl, "x", "0"},           {Option::FlowControl, "3", "0"},
      {Option::BaudRate, "", "4800"},            {Option::BaudRate, "fast", "4800"},
      {Option::BaudRate, "4800baud", "4800"},    {Option::BaudRate, "99999999999", "4800"},
      {Option::BaudRate, "0", "4800"},           {Option::BaudRate, "-9600", "4800"},
      {Option::BaudRate, "12345", "4800"},
  };
  for (const auto& row : rejected) {
    SCOPED_TRACE(std::string(row.value));
    result = ErrorCase::Correct;
    EXPECT_NO_THROW(connection_->SetOption(row.option, row.value, result));
    EXPECT_EQ(result, ErrorCase::IncorrectArgumnts);
    result = ErrorCase::Correct;
    EXPECT_EQ(connection_->GetOption(row.option, result), row.kept);
  }
  EXPECT_EQ(simulator_->GetLineSettings().baud, 4800);
  EXPECT_EQ(simulator_->GetLineSettings().stopBits, 2);
}

TEST_F(SerialPortConnectionTest, AValidatorThatThrowsLeavesTheConnectionUsable) {
  script_->AddReply(ToBytes("first\r\n"));
  script_->AddReply(ToBytes("second\r\n"));
  StartSimulator();
  OpenWithDefaults();
  ErrorCase result = ErrorCase::Correct;
  connection_->WriteData(Bytes("1\r\n"), result);
  ByteVector response;
  EXPECT_THROW(connection_->ReadData(
                   response, [](const ByteVector&) -> bool { throw std::runtime_error("validator"); }, result),
               std::runtime_error);

  auto exchange = Ask(*connection_, "2\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("second\r\n"));
}

// The reply cut off by the hang-up is not pieced together across the two lines: its rest is let
// go and the request asked again on the line that came back.
TEST_F(SerialPortConnectionTest, MasterThatGoesAwayAndComesBackGetsTheLineSettingsAgainAndIsAskedAgain) {
  script_->AddReply(ToBytes("weight=1.250kg\r\n"));
  script_->AddReply(ToBytes("weight=1.300kg\r\n"));
  script_->AddReply(ToBytes("weight=1.350kg\r\n"));
  StartSimulator(LinkPath("scale-tty"));
  OpenWithDefaults();
  ErrorCase result = ErrorCase::Correct;
  connection_->SetOption(Option::BaudRate, "4800", result);
  connection_->SetOption(Option::StopBits, "2", result);
  ASSERT_EQ(result, ErrorCase::Correct);
  const auto firstSlave = simulator_->SlavePath();

  Scalesim::LineFaults faults;
  faults.hangUpAfter = 5;
  faults.comeBack = true;
  simulator_->SetFaults(faults);
  auto exchange = Ask(*connection_, "W\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("weight=1.300kg\r\n"));
  EXPECT_EQ(simulator_->HangUps(), 1);
  EXPECT_NE(simulator_->SlavePath(), firstSlave);
  EXPECT_TRUE(connection_->IsOpen());
  EXPECT_EQ(simulator_->GetLineSettings().baud, 4800);
  EXPECT_EQ(simulator_->GetLineSettings().stopBits, 2);

  exchange = Ask(*connection_, "W\r\n");
  EXPECT_EQ(exchange.result, ErrorCase::Correct);
  EXPECT_EQ(exchange.response, Bytes("weight=1.350kg\r\n"));
}

TEST_F(SerialPortConnectionTest, MasterThatGoesAwayForGoodEndsTheReadWithWhatCame) {
  script_->AddReply(ToBytes("weight=1.250kg\r\n"));
  StartSimulator();
  Scalesim::LineFaults faults;
  faults.hangUpAfter = 6;
  simulator_->SetFaults(faults);
  OpenWithDefaults();

  auto exchange = Ask(*connection_, "W\r\n");
  EXPECT_EQ(exchange.response, Bytes("weight"));
  EXPECT_EQ(exchange.result, ErrorCase::UnableToOpenSerialPort);
  EXPECT_LT(exchange.elapsedMs, 400);
}

}  // namespace
}  // namespace ConnectionTests
