#include "driver/protocols/one-way-response-communicator.hpp"

#include <algorithm>
#include <stdexcept>

#include "driver/connections/connection.hpp"
#include "driver/logging/logging.hpp"
#include "driver/vocabulary/control-bytes.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("one-way-response-communicator");

}  // namespace

ByteVector TrimToSohEot(const ByteVector& bytes) {
  auto soh = std::find(bytes.begin(), bytes.end(), kSoh);
  if (soh == bytes.end()) return {};
  auto eot = std::find(soh, bytes.end(), kEot);
  return ByteVector(soh, eot == bytes.end() ? eot : eot + 1);
}

ByteVector OneWayResponseCommunicator::Communicate(ProtocolContext& context, const ByteVector&, ErrorCase& code,
                                                   ResponseValidator validator) {
  kLog.Trace("OneWayResponseCommunicator::Communicate(boost)");
  auto connection = context.GetConnection();
  if (!connection || !connection->IsOpen()) {
    throw std::logic_error(kLog.Prefix() + ", DialogCommunicator::PrepareForCommunication, port is closed.");
  }
  connection->SetTransferState(static_cast<int>(TransferState::Idle));
  // Frames the scale sent before this command began may be seconds old: listen for a fresh one.
  connection->DiscardInput();
  ByteVector response;
  connection->ReadData(response, validator, code);
  if (code != ErrorCase::Correct) return {};  // the line is gone: not a time-out
  if (!validator(response)) {
    code = ErrorCase::BoostTimeOut;
    return {};
  }
  ByteVector frame = TrimToSohEot(response);
  kLog.Trace(Logging::ByteDump("Response: ", frame));
  return frame;
}

}  // namespace Korvalt::Ponderix::Driver
