#include "driver/protocols/pos-communicator.hpp"

#include "driver/logging/logging.hpp"
#include "driver/protocols/pos-protocol.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("pos-communicator");

}  // namespace

bool IsPOSHandshakeAccepted(const ByteVector& reply) {
  return reply.size() == 1 && (reply.front() == kAck || reply.front() == kNak);
}

ByteVector POSCommunicator::Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                                        ResponseValidator validator) {
  kLog.Trace("POSCommunicator::Communicate(boost)");
  const ByteVector reply = Exchange(context, ByteVector{kEnq}, code, POSStartResponseValidator);
  if (!IsPOSHandshakeAccepted(reply)) {
    kLog.Error(Logging::ByteDump("POSCommunicator::Communicate, no single ACK or NAK to ENQ:", reply));
    code = ErrorCase::ConnectionError;
    return {};
  }
  return Exchange(context, request, code, validator);
}

}  // namespace Korvalt::Ponderix::Driver
