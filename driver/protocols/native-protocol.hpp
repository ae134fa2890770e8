// The scales' native line protocol: "G<keyword>\r\n" reads a value ("<keyword>=<value>\r\n"),
// "S<keyword><value>\r\n" writes one ("OK\r\n" or "ERROR\r\n"). Values travel as text, unconverted.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/protocols/command-executor-by-communicator.hpp"
#include "driver/protocols/default-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

// One row of the keyword table. `input`/`output` are ParamType::Unset when the row has none;
// Set and action rows have no response template and expect "OK\r\n".
struct NativeCommand {
  Command command;
  const char* request;           // "@" marks the input value
  const char* responseTemplate;  // "@" marks the output value; "" for Set and action rows
  ParamType input;
  ParamType output;
};

const std::vector<NativeCommand>& NativeCommandTable();
// nullptr for a command that is not a native one.
const NativeCommand* FindNativeCommand(Command command);

// ---- codec: plain functions of bytes and text ----

// Fills the "@"s of the template with `values` in order. A value holding a control character
// (below 0x20: CR or LF would end the line early and smuggle a second command) gives
// ParamValueUnsupported and nothing. More values than "@"s throws std::logic_error
// "Utility, formating, critical error, sub str not found".
ByteVector BuildNativeRequest(const std::string& requestTemplate, const std::vector<std::string>& values,
                              ErrorCase& code);

// "OK\r\n" -> Correct, "ERROR\r\n" -> DeviceReturnsError, anything else DeviceUnexpectedResponse.
ErrorCase ParseNativeAcknowledgement(const ByteVector& response);

// The value captured by the template ("max=@\r\n") anywhere in the text, stored under `output`.
// No match: "ERROR\r\n" gives DeviceReturnsError, anything else DeviceUnexpectedResponse; no values.
OutputValues ParseNativeValue(const std::string& responseTemplate, ParamType output, const std::string& text,
                              ErrorCase& code);

// Division index sent by the scale (decimal digits, leading zeros allowed) -> division text;
// false for anything else or an index outside the map.
bool DiscretFromIndex(const std::string& index, std::string& division);

// The model name from the concatenated replies to Gmode, Gmax, Gdiv and Gprov:
// "mode=510", "max=015", "div=1" -> "T-QZ 510-15.2 III(средний)". A division that is not an
// index of the map gives DeviceResponseIncorrectFormat; replies holding none of the three
// values give DeviceReturnsError (the scale answered "ERROR") or DeviceUnexpectedResponse.
std::string AssembleModelName(const std::string& replies, ErrorCase& code);

// True when a native command's result shows that a whole line came back from the scale,
// whatever it said: the scale speaks the native protocol.
bool IsNativeLineAnswer(ErrorCase code);

// ---- executors and communicator ----

class PonderixCommandExecutor : public CommandExecutorByCommunicator {
 public:
  PonderixCommandExecutor(Command command, std::unique_ptr<ICommunicator> communicator,
                          std::vector<ParamType> inputTypes, std::vector<ParamType> outputTypes,
                          std::string requestTemplate, std::string responseTemplate,
                          std::vector<ResponseValidator> validators);

  ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) override;
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
  std::vector<ResponseValidator> GetResponseValidators() override;
  virtual OutputValues ParseByTemplate(const std::string& responseTemplate, const std::string& text,
                                       ErrorCase& code);

 protected:
  std::vector<ParamType> inputTypes_;
  std::vector<ParamType> outputTypes_;
  std::string requestTemplate_;
  std::string responseTemplate_;
  std::vector<ResponseValidator> validators_;
};

// GetScalesModel: the four replies of PonderixCommunicator become one model name.
class PonderixCommandModelExecutor : public PonderixCommandExecutor {
 public:
  using PonderixCommandExecutor::PonderixCommandExecutor;
  OutputValues ParseByTemplate(const std::string& responseTemplate, const std::string& text,
                               ErrorCase& code) override;
};

class GetProtocolVersionExecutor : public PonderixCommandExecutor {
 public:
  using PonderixCommandExecutor::PonderixCommandExecutor;
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
};

// One exchange, except for the model query, which asks Gmode, Gmax, Gdiv and Gprov in a row and
// returns the four replies concatenated; its result code is that of the last exchange.
class PonderixCommunicator : public DefaultCommunicator {
 public:
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
};

// Native commands: 1 to 48; nullptr for any other.
std::unique_ptr<ICommandExecutor> CreateNativeExecutor(Command command);

}  // namespace Korvalt::Ponderix::Driver
