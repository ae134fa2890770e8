// POS exchange: ENQ first; a single ACK or NAK byte lets the request go out.
#pragma once

#include "driver/protocols/default-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

// True when the handshake reply is exactly one ACK or NAK byte. A NAK is accepted like an ACK:
// the scale takes the request all the same.
bool IsPOSHandshakeAccepted(const ByteVector& reply);

class POSCommunicator : public DefaultCommunicator {
 public:
  // Any other handshake reply (nothing, several bytes, another byte) gives ConnectionError and
  // the request is not sent.
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
};

}  // namespace Korvalt::Ponderix::Driver
