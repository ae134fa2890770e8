// A scale that answers from a script of bytes, for tests of the transport itself. It records
// everything it received.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "simulator/responder.hpp"

namespace Scalesim {

Bytes ToBytes(const std::string& text);

class ScriptResponder : public Responder {
 public:
  // Answers `reply` once the bytes received since the previous answer contain `request`; an
  // empty `request` matches whatever arrives next.
  void AddExchange(const Bytes& request, const Bytes& reply);
  // Answers the next chunk, whatever it holds, with `reply`.
  void AddReply(const Bytes& reply) { AddExchange({}, reply); }
  // Starts the script over when it runs out (otherwise the scale falls silent).
  void SetRepeat(bool repeat);

  Bytes Received() const;
  std::size_t Answered() const;

  Bytes OnReceive(const Bytes& chunk) override;

 private:
  struct Step {
    Bytes request;
    Bytes reply;
  };
  mutable std::mutex mutex_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  bool repeat_ = false;
  Bytes pending_;
  Bytes received_;
  std::size_t answered_ = 0;
};

}  // namespace Scalesim
