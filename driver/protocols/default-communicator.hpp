// The plain request/response exchange, the handshake variant, and the shared validators.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/protocols/command-executor.hpp"

namespace Korvalt::Ponderix::Driver {

// More than 2 bytes, ending in CR LF.
bool EndsWithCrLf(const ByteVector& bytes);
// Some byte is ACK (0x06) or NAK (0x15).
bool ContainsAckOrNak(const ByteVector& bytes);
// Always true, also for nothing: the read ends with the first chunk or at the time-out.
bool AlwaysComplete(const ByteVector& bytes);

// Write the request, read until the validator accepts. A read that ends without an accepted
// response gives BoostTimeOut. A closed connection gives ConnectionError and throws
// std::logic_error (a programming fault: commands run only on an open device).
class DefaultCommunicator : public ICommunicator {
 public:
  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;

 protected:
  // The exchange itself; derived communicators build on it without virtual dispatch.
  ByteVector Exchange(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                      const ResponseValidator& validator);
};

// {sent, expected}: the expected text is kept for the log only, replies are not compared.
using HandshakeStep = std::pair<std::string, std::string>;

// Runs the handshake steps (each answered by ACK or NAK), then the plain exchange.
class DialogCommunicator : public DefaultCommunicator {
 public:
  explicit DialogCommunicator(std::vector<HandshakeStep> steps);

  ByteVector Communicate(ProtocolContext& context, const ByteVector& request, ErrorCase& code,
                         ResponseValidator validator) override;
  // A step answered by nothing or by NAK is followed by one ENQ whose reply is discarded;
  // the first failing step ends the handshake.
  virtual void PrepareForCommunication(ProtocolContext& context, const ByteVector& request, ResponseValidator stepValidator,
                                       ErrorCase& code);

 private:
  std::vector<HandshakeStep> steps_;
};

}  // namespace Korvalt::Ponderix::Driver
