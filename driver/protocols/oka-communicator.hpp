// OKA status: the weight with its flag (command 02), then weight plus tare (command 06); the
// tare is their difference. Hands the executor the 13-byte status record.
#pragma once

#include "driver/protocols/default-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

class OKACommunicator : public DefaultCommunicator {
 public:
  // The request and validator passed in are not used: the two exchanges are fixed.
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
};

}  // namespace Korvalt::Ponderix::Driver
