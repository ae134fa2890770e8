// Write only: for commands the scale does not answer.
#pragma once

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

class OneWayRequestCommunication : public ICommunicator {
 public:
  // Returns nothing; the validator is not used. A closed connection throws std::logic_error
  // and leaves `code` alone.
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
};

}  // namespace Korvalt::Ponderix::Driver
