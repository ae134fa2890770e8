// Executors that build a request, hand it to an owned communicator and parse the answer.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

class CommandExecutorByCommunicator : public ICommandExecutor {
 public:
  CommandExecutorByCommunicator(Command command, std::unique_ptr<ICommunicator> communicator);

  // MakeRequest, Communicate, ParseResponse; each step runs only while `code` is Correct.
  OutputValues ExecuteCommand(ProtocolContext& context, ErrorCase& code) final;

  // Runs the communicator with the first validator; empty when `code` is not Correct after.
  virtual ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                 const std::vector<ResponseValidator>& validators);
  virtual ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) = 0;
  virtual OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) = 0;
  virtual std::vector<ResponseValidator> GetResponseValidators() = 0;

  Command GetCommand() const { return command_; }
  std::optional<WeightReading> TakeReading() override { return std::exchange(reading_, std::nullopt); }

 protected:
  Command command_;
  std::unique_ptr<ICommunicator> communicator_;
  // Set by a status command's ParseResponse.
  std::optional<WeightReading> reading_;
};

// The executor of the binary protocols, configured by data: a request template, where input
// values go in it, and where output values are found in the response.
class ByteManExecutor : public CommandExecutorByCommunicator {
 public:
  ByteManExecutor(Command command, std::unique_ptr<ICommunicator> communicator, ByteVector requestTemplate,
                  std::vector<ParamPosition> inputPositions, std::vector<ParamPosition> outputPositions,
                  std::vector<ResponseValidator> validators);

  // Writes every input into the template (which is used up: one executor, one execution).
  // A value that is not a decimal integer or does not fit 16 bits gives ParamValueUnsupported.
  ByteVector MakeRequest(ProtocolContext& context, ErrorCase& code) override;
  // An output position reaching past the end of the response gives
  // DeviceResponseIncorrectFormat and no values.
  OutputValues ParseResponse(ProtocolContext& context, const ByteVector& response, ErrorCase& code) override;
  std::vector<ResponseValidator> GetResponseValidators() override;

  // The two low-order bytes of the decimal `value`, least significant first, replace the two
  // bytes at position.offset (the template reserves them). Throws std::invalid_argument /
  // std::out_of_range for a text that is not a number, and std::logic_error when the position
  // lies outside the template.
  virtual void WriteParamIntoRequest(ByteVector& request, const std::string& value, const ParamPosition& position);
  // The bytes at the position; never reads past the end (a short response gives fewer bytes).
  virtual ByteVector GetBytes(const ByteVector& response, const ParamPosition& position);
  virtual std::string GetStringManipulation(const ByteVector& response, const ParamPosition& position);

  // True when every output position lies within `response`.
  bool OutputsFitIn(const ByteVector& response) const;

 protected:
  ByteVector requestTemplate_;
  std::vector<ParamPosition> inputPositions_;
  std::vector<ParamPosition> outputPositions_;
  std::vector<ResponseValidator> validators_;
};

// True when [offset, offset + length) lies within a vector of `size` bytes.
bool PositionFits(const ParamPosition& position, std::size_t size);

}  // namespace Korvalt::Ponderix::Driver
