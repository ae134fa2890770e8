// The scale's side of a conversation. The transport (pseudo-terminal or TCP) hands every chunk of
// bytes the driver wrote to the responder and sends back what it returns.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Scalesim {

using Bytes = std::vector<std::uint8_t>;

class Responder {
 public:
  virtual ~Responder() = default;
  // Bytes as the line delivered them (a request may arrive split or several at once); returns
  // the scale's answer, empty for none.
  virtual Bytes OnReceive(const Bytes& chunk) = 0;
  // Scales that transmit on their own: asked every TickInterval(); empty sends nothing.
  virtual Bytes OnTick() { return {}; }
  // Zero: the scale never transmits unprompted.
  virtual std::chrono::milliseconds TickInterval() const { return std::chrono::milliseconds(0); }
};

}  // namespace Scalesim
