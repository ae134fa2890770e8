// Polls the weight channel until the scale reports a stable weight, then runs the exchange.
#pragma once

#include <string>

#include "driver/protocols/default-communicator.hpp"

namespace Korvalt::Ponderix::Driver {

// Status polls before giving up with DeviceIsNotStabilized; there is no pause between them.
constexpr int kStabilizationPolls = 10;

// POS and CAS state texts begin with '1' when stable; OKA reports the flag "0x00".
bool IsWeightStable(const std::string& weightState);

class POSWaitUntilScaleStabilizesCommunicator : public DefaultCommunicator {
 public:
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
};

}  // namespace Korvalt::Ponderix::Driver
