#include "driver/protocols/command-executor-by-communicator.hpp"

#include <limits>
#include <stdexcept>

#include "common/text-template.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("command-executor-by-communicator");
const Logging::UnitLog kByteManLog("command-executor");

}  // namespace

bool PositionFits(const ParamPosition& position, std::size_t size) {
  if (position.offset < 0 || position.length < 0) return false;
  return static_cast<std::size_t>(position.offset) + static_cast<std::size_t>(position.length) <= size;
}

CommandExecutorByCommunicator::CommandExecutorByCommunicator(Command command,
                                                             std::unique_ptr<ICommunicator> communicator)
    : command_(command), communicator_(std::move(communicator)) {}

OutputValues CommandExecutorByCommunicator::ExecuteCommand(ProtocolContext& context, ErrorCase& code) {
  const std::string name = ToString(command_);  // throws for a command outside the name table
  kLog.Trace(Text::Fill("CommandExecutorByCommunicator::ExecuteCommand(command: @, code [@])", name,
                        static_cast<int>(command_)));
  ByteVector request = MakeRequest(context, code);
  if (code != ErrorCase::Correct) return {};
  ByteVector response = Communicate(context, request, code, GetResponseValidators());
  if (code != ErrorCase::Correct) return {};
  OutputValues values = ParseResponse(context, response, code);
  if (code != ErrorCase::Correct) return {};
  return values;
}

ByteVector CommandExecutorByCommunicator::Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                                      const std::vector<ResponseValidator>& validators) {
  if (validators.empty()) {
    throw std::logic_error(kLog.Prefix() + "CommandExecutorByCommunicator::Communicate, no response validator.");
  }
  ByteVector response = communicator_->Communicate(context, request, code, validators.front());
  if (code != ErrorCase::Correct) return {};
  return response;
}

ByteManExecutor::ByteManExecutor(Command command, std::unique_ptr<ICommunicator> communicator,
                                 ByteVector requestTemplate, std::vector<ParamPosition> inputPositions,
                                 std::vector<ParamPosition> outputPositions, std::vector<ResponseValidator> validators)
    : CommandExecutorByCommunicator(command, std::move(communicator)),
      requestTemplate_(std::move(requestTemplate)),
      inputPositions_(std::move(inputPositions)),
      outputPositions_(std::move(outputPositions)),
      validators_(std::move(validators)) {}

ByteVector ByteManExecutor::MakeRequest(ProtocolContext& context, ErrorCase& code) {
  for (const auto& position : inputPositions_) {
    std::string value = context.GetInputParam(position.paramType, code);
    if (code != ErrorCase::Correct) return {};
    try {
      WriteParamIntoRequest(requestTemplate_, value, position);
    } catch (const std::invalid_argument&) {
      code = ErrorCase::ParamValueUnsupported;
    } catch (const std::out_of_range&) {
      code = ErrorCase::ParamValueUnsupported;
    }
    if (code != ErrorCase::Correct) {
      kByteManLog.Error(Text::Fill("ByteManExecutor::MakeRequest, ptype [@], value [@] is not a 16-bit number",
                                   ToString(position.paramType), value));
      return {};
    }
  }
  return requestTemplate_;
}

void ByteManExecutor::WriteParamIntoRequest(ByteVector& request, const std::string& value,
                                            const ParamPosition& position) {
  const long long number = std::stoll(value);
  // Two bytes carry both signed and unsigned 16-bit values; anything wider would be cut silently.
  if (number < std::numeric_limits<std::int16_t>::min() || number > std::numeric_limits<std::uint16_t>::max()) {
    throw std::out_of_range("ByteManExecutor::WriteParamIntoRequest, value does not fit two bytes");
  }
  if (!PositionFits({position.offset, 2, position.paramType}, request.size())) {
    throw std::logic_error(kByteManLog.Prefix() + "ByteManExecutor::WriteParamIntoRequest, position outside template.");
  }
  const auto bits = static_cast<std::uint16_t>(number);
  request[static_cast<std::size_t>(position.offset)] = static_cast<std::uint8_t>(bits & 0xFF);
  request[static_cast<std::size_t>(position.offset) + 1] = static_cast<std::uint8_t>(bits >> 8);
}

ByteVector ByteManExecutor::GetBytes(const ByteVector& response, const ParamPosition& position) {
  if (position.offset < 0 || position.length <= 0 || static_cast<std::size_t>(position.offset) >= response.size()) {
    return {};
  }
  auto begin = response.begin() + position.offset;
  auto available = static_cast<std::size_t>(response.end() - begin);
  auto count = std::min(available, static_cast<std::size_t>(position.length));
  return ByteVector(begin, begin + static_cast<std::ptrdiff_t>(count));
}

std::string ByteManExecutor::GetStringManipulation(const ByteVector& response, const ParamPosition& position) {
  ByteVector bytes = GetBytes(response, position);
  return std::string(bytes.begin(), bytes.end());
}

bool ByteManExecutor::OutputsFitIn(const ByteVector& response) const {
  for (const auto& position : outputPositions_) {
    if (!PositionFits(position, response.size())) return false;
  }
  return true;
}

OutputValues ByteManExecutor::ParseResponse(ProtocolContext&, const ByteVector& response, ErrorCase& code) {
  if (!OutputsFitIn(response)) {
    kByteManLog.Error(Logging::ByteDump("ByteManExecutor::ParseResponse, response too short:", response));
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  OutputValues values;
  for (const auto& position : outputPositions_) {
    values[position.paramType] = GetStringManipulation(response, position);
  }
  return values;
}

std::vector<ResponseValidator> ByteManExecutor::GetResponseValidators() { return validators_; }

}  // namespace Korvalt::Ponderix::Driver
