#include "simulator/script-responder.hpp"

#include <algorithm>

namespace Scalesim {

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void ScriptResponder::AddExchange(const Bytes& request, const Bytes& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  steps_.push_back({request, reply});
}

void ScriptResponder::SetRepeat(bool repeat) {
  std::lock_guard<std::mutex> lock(mutex_);
  repeat_ = repeat;
}

Bytes ScriptResponder::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::size_t ScriptResponder::Answered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answered_;
}

Bytes ScriptResponder::OnReceive(const Bytes& chunk) {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.insert(received_.end(), chunk.begin(), chunk.end());
  pending_.insert(pending_.end(), chunk.begin(), chunk.end());
  if (next_ >= steps_.size() && repeat_) next_ = 0;
  if (next_ >= steps_.size()) return {};

  const Step& step = steps_[next_];
  if (step.request.empty()) {
    pending_.clear();
  } else {
    auto found = std::search(pending_.begin(), pending_.end(), step.request.begin(), step.request.end());
    if (found == pending_.end()) return {};
    pending_.erase(pending_.begin(), found + static_cast<std::ptrdiff_t>(step.request.size()));
  }
  ++next_;
  ++answered_;
  return step.reply;
}

}  // namespace Scalesim
