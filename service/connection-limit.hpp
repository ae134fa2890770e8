// The cap on open client connections, and the connections still sending their request, oldest
// first: at the cap the oldest of those makes room for a new one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "service/metrics.hpp"

namespace ScaleService {

// Used on the I/O thread only.
class ConnectionLimit {
 public:
  ConnectionLimit(Metrics& metrics, int cap) : metrics_(metrics), cap_(cap) {}

  // One connection's place under the cap, given back once (on destruction at the latest).
  class Slot {
   public:
    explicit Slot(ConnectionLimit& limit) : limit_(limit) {}
    ~Slot() { Release(); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;
    void Release();

   private:
    ConnectionLimit& limit_;
    bool released_ = false;
  };

  // A place for a new connection: when the cap is reached, the oldest connection still sending
  // its request is closed for it. Nothing when every connection is past its request.
  std::unique_ptr<Slot> Take();
  // Closes the oldest connection still sending its request; false when there is none.
  bool EvictOldest();
  // The connection waits for a request from now on, until Done; `close` closes it.
  std::uint64_t Waiting(std::function<void()> close);
  void Done(std::uint64_t ticket);

 private:
  Metrics& metrics_;
  const int cap_;
  int open_ = 0;
  std::uint64_t nextTicket_ = 1;
  std::map<std::uint64_t, std::function<void()>> waiting_;
};

}  // namespace ScaleService
