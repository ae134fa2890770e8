#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/protocols/stand-in-context.hpp"
#include "driver/protocols/auto-detection.hpp"
#include "driver/protocols/command-executor-by-communicator.hpp"
#include "driver/protocols/default-communicator.hpp"
#include "driver/protocols/native-protocol.hpp"
#include "driver/protocols/one-way-request-communication.hpp"
#include "driver/protocols/one-way-response-communicator.hpp"
#include "driver/protocols/pos-wait-until-scale-stabilizes-communicator.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

ByteVector Bytes(const std::string& text) { return ByteVector(text.begin(), text.end()); }

// Stands in for the wire: records what the executor hands over and answers from a script.
class ScriptedCommunicator : public ICommunicator {
 public:
  struct Log {
    std::vector<ByteVector> requests;
  };
  ScriptedCommunicator(std::shared_ptr<Log> log, ByteVector reply, ErrorCase result = ErrorCase::Correct)
      : log_(std::move(log)), reply_(std::move(reply)), result_(result) {}
  ByteVector Communicate(ProtocolContext&, const ByteVector& request, ErrorCase& code, ResponseValidator validator) override {
    log_->requests.push_back(request);
    code = result_;
    EXPECT_TRUE(static_cast<bool>(validator));
    return reply_;
  }

 private:
  std::shared_ptr<Log> log_;
  ByteVector reply_;
  ErrorCase result_;
};

TEST(Validators, EndsWithCrLf) {
  EXPECT_TRUE(EndsWithCrLf(Bytes("OK\r\n")));
  EXPECT_TRUE(EndsWithCrLf(Bytes("x\r\n")));
  EXPECT_FALSE(EndsWithCrLf(Bytes("\r\n")));  // a bare line end is not a reply
  EXPECT_FALSE(EndsWithCrLf(Bytes("OK\n\r")));
  EXPECT_FALSE(EndsWithCrLf(Bytes("OK\r")));
  EXPECT_FALSE(EndsWithCrLf({}));
}

TEST(Validators, ContainsAckOrNakAndAlwaysComplete) {
  EXPECT_TRUE(ContainsAckOrNak({0x00, 0x06}));
  EXPECT_TRUE(ContainsAckOrNak({0x15}));
  EXPECT_FALSE(ContainsAckOrNak({0x05, 0x02}));
  EXPECT_FALSE(ContainsAckOrNak({}));
  EXPECT_TRUE(AlwaysComplete({}));
  EXPECT_TRUE(AlwaysComplete({0x01}));
}

TEST(OneWayResponse, TrimToSohEot) {
  EXPECT_EQ(TrimToSohEot({0x20, 0x01, 0x02, 0x03, 0x04, 0x20}), (ByteVector{0x01, 0x02, 0x03, 0x04}));
  EXPECT_EQ(TrimToSohEot({0x04, 0x01, 0x02, 0x04, 0x04, 0x01}), (ByteVector{0x01, 0x02, 0x04}));
  EXPECT_EQ(TrimToSohEot({0x33, 0x01, 0x02}), (ByteVector{0x01, 0x02}));  // no EOT: to the end
  EXPECT_EQ(TrimToSohEot({0x02, 0x03, 0x04}), ByteVector{});              // no SOH: nothing
  EXPECT_EQ(TrimToSohEot({}), ByteVector{});
}

TEST(Stabilization, StableStates) {
  EXPECT_TRUE(IsWeightStable("1000000000"));
  EXPECT_TRUE(IsWeightStable("1"));
  EXPECT_TRUE(IsWeightStable("0x00"));
  EXPECT_FALSE(IsWeightStable("0100000000"));
  EXPECT_FALSE(IsWeightStable("0x40"));
  EXPECT_FALSE(IsWeightStable(""));
}

TEST(ExecutorFactory, CommandsOutsideTheTableAreUnsupported) {
  for (int number : {0, 51, 52, 53, 54}) {
    ErrorCase code = ErrorCase::Correct;
    auto executor = CreateExecutor(static_cast<Command>(number), code);
    EXPECT_EQ(code, ErrorCase::CommandUnsupported) << number;
    ASSERT_NE(executor, nullptr);
    StandInContext device;
    ErrorCase runCode = ErrorCase::Correct;
    EXPECT_THROW(executor->ExecuteCommand(device, runCode), std::logic_error);
  }
}

TEST(ExecutorFactory, NativeCommandsGetTheirExecutorKinds) {
  for (int number = 1; number <= 48; ++number) {
    ErrorCase code = ErrorCase::Correct;
    auto executor = CreateExecutor(static_cast<Command>(number), code);
    ASSERT_EQ(code, ErrorCase::Correct) << number;
    auto* native = dynamic_cast<PonderixCommandExecutor*>(executor.get());
    ASSERT_NE(native, nullptr) << number;
    EXPECT_EQ(native->GetCommand(), static_cast<Command>(number));
    EXPECT_EQ(dynamic_cast<PonderixCommandModelExecutor*>(executor.get()) != nullptr, number == 2) << number;
    EXPECT_EQ(dynamic_cast<GetProtocolVersionExecutor*>(executor.get()) != nullptr, number == 7) << number;
    auto validators = native->GetResponseValidators();
    ASSERT_EQ(validators.size(), 1u);
    EXPECT_TRUE(validators.front()(Bytes("OK\r\n")));
    EXPECT_FALSE(validators.front()(Bytes("OK")));
  }
}

// A device that was never opened has no connection: a programming fault, reported loudly.
TEST(Communicators, ClosedConnectionThrows) {
  StandInContext device;
  const ByteVector request = Bytes("Gmax\r\n");
  ErrorCase code = ErrorCase::Correct;
  try {
    DefaultCommunicator().Communicate(device, request, code, EndsWithCrLf);
    ADD_FAILURE() << "no exception";
  } catch (const std::logic_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "Korvalt::Ponderix::Driver::default-communicator, , DialogCommunicator::PrepareForCommunication, port "
              "is closed.");
  }
  EXPECT_EQ(code, ErrorCase::ConnectionError);

  code = ErrorCase::Correct;
  DialogCommunicator dialog(std::vector<HandshakeStep>{{"\x05", "\x06"}});
  EXPECT_THROW(dialog.Communicate(device, request, code, AlwaysComplete), std::logic_error);
  EXPECT_EQ(code, ErrorCase::ConnectionError);

  code = ErrorCase::Correct;
  EXPECT_THROW(PonderixCommunicator().Communicate(device, Bytes("Gmode\r\n"), code, EndsWithCrLf), std::logic_error);
  EXPECT_EQ(code, ErrorCase::ConnectionError);

  code = ErrorCase::Correct;
  EXPECT_THROW(OneWayRequestCommunication().Communicate(device, request, code, AlwaysComplete), std::logic_error);
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_THROW(OneWayResponseCommunicator().Communicate(device, request, code, AlwaysComplete), std::logic_error);
  EXPECT_EQ(code, ErrorCase::Correct);
}

PonderixCommandExecutor NativeExecutor(Command command, std::shared_ptr<ScriptedCommunicator::Log> log,
                                       const std::string& reply, ErrorCase result = ErrorCase::Correct) {
  const NativeCommand* row = FindNativeCommand(command);
  std::vector<ParamType> in, out;
  if (row->input != ParamType::Unset) in.push_back(row->input);
  if (row->output != ParamType::Unset) out.push_back(row->output);
  return PonderixCommandExecutor(command, std::make_unique<ScriptedCommunicator>(log, Bytes(reply), result), in, out,
                                 row->request, row->responseTemplate, {EndsWithCrLf});
}

TEST(NativeExecutor, SetSendsTheValueAndAcceptsOk) {
  StandInContext device;
  device.SetParam(ParamType::MaxWeight, "15");
  auto log = std::make_shared<ScriptedCommunicator::Log>();
  auto executor = NativeExecutor(Command::SetMaxWeight, log, "OK\r\n");
  ErrorCase code = ErrorCase::Correct;
  EXPECT_TRUE(executor.ExecuteCommand(device, code).empty());
  EXPECT_EQ(code, ErrorCase::Correct);
  ASSERT_EQ(log->requests.size(), 1u);
  EXPECT_EQ(log->requests[0], Bytes("Smax15\r\n"));
}

TEST(NativeExecutor, UnsafeOrMissingInputSendsNothing) {
  auto log = std::make_shared<ScriptedCommunicator::Log>();
  {
    StandInContext device;
    device.SetParam(ParamType::MaxWeight, "15\r\nSrst");
    auto executor = NativeExecutor(Command::SetMaxWeight, log, "OK\r\n");
    ErrorCase code = ErrorCase::Correct;
    executor.ExecuteCommand(device, code);
    EXPECT_EQ(code, ErrorCase::ParamValueUnsupported);
  }
  {
    StandInContext device;
    auto executor = NativeExecutor(Command::SetSerialNumber, log, "OK\r\n");
    ErrorCase code = ErrorCase::Correct;
    executor.ExecuteCommand(device, code);
    EXPECT_NE(code, ErrorCase::Correct);
  }
  EXPECT_TRUE(log->requests.empty());
}

TEST(NativeExecutor, ResultsOfGetAndSetReplies) {
  struct Case {
    Command command;
    std::string reply;
    ErrorCase result;
    ErrorCase expected;
    OutputValues values;
  } cases[] = {
      {Command::GetMaxWeight, "max=15\r\n", ErrorCase::Correct, ErrorCase::Correct, {{ParamType::MaxWeight, "15"}}},
      {Command::GetMaxWeight, "ERROR\r\n", ErrorCase::Correct, ErrorCase::DeviceReturnsError, {}},
      {Command::GetMaxWeight, "div=2\r\n", ErrorCase::Correct, ErrorCase::DeviceUnexpectedResponse, {}},
      {Command::GetMaxWeight, "max=15\r\n", ErrorCase::BoostTimeOut, ErrorCase::BoostTimeOut, {}},
      {Command::Init, "OK\r\n", ErrorCase::Correct, ErrorCase::Correct, {}},
      {Command::Init, "ERROR\r\n", ErrorCase::Correct, ErrorCase::DeviceReturnsError, {}},
      {Command::Reboot, "max=1\r\n", ErrorCase::Correct, ErrorCase::DeviceUnexpectedResponse, {}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.reply);
    StandInContext device;
    auto log = std::make_shared<ScriptedCommunicator::Log>();
    auto executor = NativeExecutor(c.command, log, c.reply, c.result);
    ErrorCase code = ErrorCase::Correct;
    EXPECT_EQ(executor.ExecuteCommand(device, code), c.values);
    EXPECT_EQ(code, c.expected);
  }
}

TEST(NativeExecutor, ModelAndProtocolVersionParsers) {
  StandInContext device;
  auto log = std::make_shared<ScriptedCommunicator::Log>();
  PonderixCommandModelExecutor model(
      Command::GetScalesModel,
      std::make_unique<ScriptedCommunicator>(log, Bytes("mode=510\r\nmax=015\r\ndiv=1\r\nprov=2\r\n")), {},
      {ParamType::ScalesModel}, "Gmode\r\n", "mode=@\r\n", {EndsWithCrLf});
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(model.ExecuteCommand(device, code), (OutputValues{{ParamType::ScalesModel, "T-QZ 510-15.2 III(средний)"}}));
  EXPECT_EQ(code, ErrorCase::Correct);

  GetProtocolVersionExecutor noOutputs(Command::GetProtocolVersion,
                                       std::make_unique<ScriptedCommunicator>(log, Bytes("prov=2\r\n")), {}, {},
                                       "Gprov\r\n", "prov=@\r\n", {EndsWithCrLf});
  EXPECT_TRUE(noOutputs.ExecuteCommand(device, code).empty());
  EXPECT_EQ(code, ErrorCase::DeviceUnexpectedResponse);
}

ByteManExecutor ByteMan(std::shared_ptr<ScriptedCommunicator::Log> log, ByteVector reply) {
  // STX, command, two placeholder bytes for the value, ETX; the reply carries two 3-byte fields.
  return ByteManExecutor(Command::POSSpecifyTare, std::make_unique<ScriptedCommunicator>(log, std::move(reply)),
                         {0x02, 0x33, 0x00, 0x00, 0x03}, {{2, 2, ParamType::Tare}},
                         {{1, 3, ParamType::Weight}, {4, 3, ParamType::WeightState}}, {AlwaysComplete});
}

TEST(ByteMan, ValuesGoLittleEndianIntoTheirPlaceholders) {
  const std::pair<std::string, ByteVector> cases[] = {
      {"1000", {0x02, 0x33, 0xE8, 0x03, 0x03}},
      {"-2", {0x02, 0x33, 0xFE, 0xFF, 0x03}},
      {" 65535", {0x02, 0x33, 0xFF, 0xFF, 0x03}},
  };
  for (const auto& [value, request] : cases) {
    StandInContext device;
    device.SetParam(ParamType::Tare, value);
    auto log = std::make_shared<ScriptedCommunicator::Log>();
    auto executor = ByteMan(log, Bytes("xABCDEF"));
    ErrorCase code = ErrorCase::Correct;
    EXPECT_EQ(executor.MakeRequest(device, code), request) << value;
    EXPECT_EQ(code, ErrorCase::Correct);
  }
}

TEST(ByteMan, ValuesThatAreNoSixteenBitNumberSendNothing) {
  for (const std::string value : {"abc", "65536", "-32769", "99999999999999999999999"}) {
    StandInContext device;
    device.SetParam(ParamType::Tare, value);
    auto log = std::make_shared<ScriptedCommunicator::Log>();
    auto executor = ByteMan(log, Bytes("xABCDEF"));
    ErrorCase code = ErrorCase::Correct;
    EXPECT_TRUE(executor.ExecuteCommand(device, code).empty());
    EXPECT_EQ(code, ErrorCase::ParamValueUnsupported) << value;
    EXPECT_TRUE(log->requests.empty());
  }
}

TEST(ByteMan, OutputsAreReadAtTheirPositions) {
  StandInContext device;
  device.SetParam(ParamType::Tare, "1");
  auto log = std::make_shared<ScriptedCommunicator::Log>();
  auto executor = ByteMan(log, Bytes("xABCDEF"));
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(executor.ExecuteCommand(device, code),
            (OutputValues{{ParamType::Weight, "ABC"}, {ParamType::WeightState, "DEF"}}));
  EXPECT_EQ(code, ErrorCase::Correct);
}

TEST(ByteMan, EveryTooShortResponseIsAFormatError) {
  const ByteVector full = Bytes("xABCDEF");
  for (std::size_t size = 0; size < full.size(); ++size) {
    StandInContext device;
    device.SetParam(ParamType::Tare, "1");
    auto log = std::make_shared<ScriptedCommunicator::Log>();
    auto executor = ByteMan(log, ByteVector(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)));
    ErrorCase code = ErrorCase::Correct;
    EXPECT_TRUE(executor.ExecuteCommand(device, code).empty());
    EXPECT_EQ(code, ErrorCase::DeviceResponseIncorrectFormat) << size;
  }
  auto log = std::make_shared<ScriptedCommunicator::Log>();
  auto executor = ByteMan(log, {});
  EXPECT_EQ(executor.GetBytes(Bytes("xAB"), {1, 5, ParamType::Weight}), Bytes("AB"));
  EXPECT_EQ(executor.GetBytes(Bytes("xAB"), {9, 2, ParamType::Weight}), ByteVector{});
  EXPECT_EQ(executor.GetBytes(Bytes("xAB"), {-1, 2, ParamType::Weight}), ByteVector{});
  EXPECT_FALSE(PositionFits({-1, 1, ParamType::Weight}, 5));
  EXPECT_TRUE(PositionFits({4, 1, ParamType::Weight}, 5));
  EXPECT_FALSE(PositionFits({4, 2, ParamType::Weight}, 5));
}

// The executors that run other commands, against a stand-in device: which commands they run in
// which order, and what they report.
using Answer = StandInContext::Answer;
const Answer kFails{ErrorCase::BoostTimeOut, {}};
const Answer kAnswers{ErrorCase::Correct, {{ParamType::Weight, "5"}}};
const Answer kNativeError{ErrorCase::DeviceReturnsError, {}};

struct DetectionCase {
  std::vector<Answer> answers;
  std::vector<Command> run;
  std::string found;  // empty: detection fails with the last attempt's code
};

TEST(AutoExecutors, DetectionRunsTheProbesInOrderAndTellsProV1ApartByTheNativeAnswer) {
  using C = Command;
  const DetectionCase cases[] = {
      {{kAnswers, kAnswers}, {C::POSStatusOfWeightChannel, C::GetSerialNumber}, "POS2MProV1"},
      {{kAnswers, kFails}, {C::POSStatusOfWeightChannel, C::GetSerialNumber}, "POS2M"},
      {{kFails, kAnswers}, {C::POSStatusOfWeightChannel, C::OKAStatusOfWeightChannel}, "OKA"},
      {{kFails, kFails, kAnswers},
       {C::POSStatusOfWeightChannel, C::OKAStatusOfWeightChannel, C::CASActiveStatusOfWeightChannel},
       "CAS-M-Active"},
      {{kFails, kFails, kFails, kAnswers, kNativeError},
       {C::POSStatusOfWeightChannel, C::OKAStatusOfWeightChannel, C::CASActiveStatusOfWeightChannel,
        C::CASStatusOfWeightChannel, C::GetSerialNumber},
       "CAS-M ProV1"},
      {{kFails, kFails, kFails, kFails},
       {C::POSStatusOfWeightChannel, C::OKAStatusOfWeightChannel, C::CASActiveStatusOfWeightChannel,
        C::CASStatusOfWeightChannel},
       ""},
  };
  for (const auto& test : cases) {
    StandInContext device;
    device.Script(test.answers);
    ErrorCase code = ErrorCase::Correct;
    const OutputValues found = GetProtocolVersionAutoExecutor(Command::GetProtocolAuto).ExecuteCommand(device, code);
    EXPECT_EQ(device.OtherCommandsRun(), test.run) << test.found;
    if (test.found.empty()) {
      EXPECT_EQ(code, ErrorCase::BoostTimeOut);
      EXPECT_TRUE(found.empty());
    } else {
      EXPECT_EQ(code, ErrorCase::Correct) << test.found;
      EXPECT_EQ(found, (OutputValues{{ParamType::ProtocolVersion, test.found}}));
    }
  }
}

TEST(AutoExecutors, AutoStatusReturnsTheOutputsOfTheProtocolThatAnswered) {
  StandInContext device;
  device.Script({kFails, kAnswers});
  ErrorCase code = ErrorCase::Correct;
  EXPECT_EQ(StatusOfWeightChannelAutoExecutor(Command::StatusOfWeightChannelAuto).ExecuteCommand(device, code),
            kAnswers.outputs);
  EXPECT_EQ(code, ErrorCase::Correct);
  EXPECT_EQ(device.OtherCommandsRun(),
            (std::vector<Command>{Command::POSStatusOfWeightChannel, Command::CASStatusOfWeightChannel}));

  StandInContext silent;
  silent.Script({kFails, kFails, {ErrorCase::ConnectionError, {}}});
  EXPECT_TRUE(StatusOfWeightChannelAutoExecutor(Command::StatusOfWeightChannelAuto).ExecuteCommand(silent, code).empty());
  EXPECT_EQ(code, ErrorCase::ConnectionError);  // the OKA attempt's; CAS-M-Active is not tried
  EXPECT_EQ(silent.OtherCommandsRun().size(), 3u);
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
