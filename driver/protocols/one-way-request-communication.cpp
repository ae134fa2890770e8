#include "driver/protocols/one-way-request-communication.hpp"

#include <stdexcept>

#include "driver/connections/connection.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {
const Logging::UnitLog kLog("one-way-request-communication");
}  // namespace

ByteVector OneWayRequestCommunication::Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                                   ResponseValidator) {
  kLog.Trace("OneWayRequestCommunication::Communicate(boost)");
  auto connection = context.GetConnection();
  if (!connection || !connection->IsOpen()) {
    throw std::logic_error(kLog.Prefix() + ", DialogCommunicator::PrepareForCommunication, port is closed.");
  }
  kLog.Trace(Logging::ByteDump("Request: ", request));
  connection->WriteData(request, code);
  return {};
}

}  // namespace Korvalt::Ponderix::Driver
