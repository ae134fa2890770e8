#include "driver/protocols/default-communicator.hpp"

#include <algorithm>
#include <stdexcept>

#include "driver/connections/connection.hpp"
#include "driver/logging/logging.hpp"
#include "driver/vocabulary/control-bytes.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("default-communicator");

}  // namespace

bool EndsWithCrLf(const ByteVector& bytes) {
  return bytes.size() > 2 && bytes[bytes.size() - 2] == '\r' && bytes.back() == '\n';
}

bool ContainsAckOrNak(const ByteVector& bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == kAck || b == kNak; });
}

bool AlwaysComplete(const ByteVector&) { return true; }

ByteVector DefaultCommunicator::Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                            ResponseValidator validator) {
  return Exchange(context, request, code, validator);
}

ByteVector DefaultCommunicator::Exchange(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                         const ResponseValidator& validator) {
  kLog.Trace("DefaultCommunicator::Communicate(boost)");
  code = ErrorCase::Correct;
  auto connection = context.GetConnection();
  if (!connection || !connection->IsOpen()) {
    code = ErrorCase::ConnectionError;
    throw std::logic_error(kLog.Prefix() + ", DialogCommunicator::PrepareForCommunication, port is closed.");
  }
  kLog.Trace(Logging::ByteDump("Request: ", request));
  connection->WriteData(request, code);
  if (code != ErrorCase::Correct) return {};
  ByteVector response;
  connection->ReadData(response, validator, code);
  kLog.Trace(Logging::ByteDump("Response: ", response));
  // A line lost for good (ConnectionError: gone, or another device behind the name) says so; an
  // incomplete reply on a working line is a time-out.
  if (code == ErrorCase::Correct && !validator(response)) code = ErrorCase::BoostTimeOut;
  return response;
}

DialogCommunicator::DialogCommunicator(std::vector<HandshakeStep> steps)
    : steps_(std::move(steps)) {}

ByteVector DialogCommunicator::Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                           ResponseValidator validator) {
  PrepareForCommunication(context, request, ContainsAckOrNak, code);
  if (code != ErrorCase::Correct) return {};
  return Exchange(context, request, code, validator);
}

void DialogCommunicator::PrepareForCommunication(ProtocolContext& context, const ByteVector&, ResponseValidator stepValidator,
                                                 ErrorCase& code) {
  for (const auto& [sent, expected] : steps_) {
    ByteVector step(sent.begin(), sent.end());
    ByteVector reply = Exchange(context, step, code, stepValidator);
    if (reply.empty() || reply.front() == kNak) {
      // A line lost during the step (and not reopened) has no scale to wake: `code` says why.
      auto connection = context.GetConnection();
      if (!connection || !connection->IsOpen()) return;
      // A scale that missed or refused the step is woken once more; its reply carries no meaning.
      Exchange(context, ByteVector{kEnq}, code, AlwaysComplete);
    }
    if (code != ErrorCase::Correct) return;
  }
}

}  // namespace Korvalt::Ponderix::Driver
