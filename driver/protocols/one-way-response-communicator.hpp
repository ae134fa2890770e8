// Read only: for scales that transmit their frames on their own.
#pragma once

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

// The frame SOH (0x01) .. EOT (0x04) inclusive: bytes before the first SOH and after the first
// EOT behind it are dropped. No EOT: up to the end. No SOH: nothing.
ByteVector TrimToSohEot(const ByteVector& bytes);

class OneWayResponseCommunicator : public ICommunicator {
 public:
  // Sends nothing (the request is ignored); the response is trimmed with TrimToSohEot.
  // A read the validator does not accept gives BoostTimeOut. A closed connection throws
  // std::logic_error and leaves `code` alone.
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
};

}  // namespace Korvalt::Ponderix::Driver
