#include "service/connection-limit.hpp"

namespace ScaleService {

void ConnectionLimit::Slot::Release() {
  if (released_) return;
  released_ = true;
  --limit_.open_;
  limit_.metrics_.ConnectionClosed();
}

std::unique_ptr<ConnectionLimit::Slot> ConnectionLimit::Take() {
  if (open_ >= cap_ && !EvictOldest()) return nullptr;
  ++open_;
  metrics_.ConnectionOpened();
  return std::make_unique<Slot>(*this);
}

bool ConnectionLimit::EvictOldest() {
  if (waiting_.empty()) return false;
  auto close = std::move(waiting_.begin()->second);
  waiting_.erase(waiting_.begin());
  metrics_.CountEviction();
  close();
  return true;
}

std::uint64_t ConnectionLimit::Waiting(std::function<void()> close) {
  waiting_.emplace(nextTicket_, std::move(close));
  return nextTicket_++;
}

void ConnectionLimit::Done(std::uint64_t ticket) { waiting_.erase(ticket); }

}  // namespace ScaleService
