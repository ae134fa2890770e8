// Counters for the Prometheus text at /metrics. Safe to call from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace ScaleService {

class Metrics {
 public:
  // One exchange of `scale` that ended with result `result` ("Correct", "TimeOut", ...).
  void CountRead(const std::string& scale, const std::string& result, bool failed, std::chrono::microseconds latency);
  void StreamOpened() { ++streamClients_; }
  void StreamClosed() { --streamClients_; }
  void CountRequest() { ++requests_; }
  std::string Text() const;

 private:
  // Upper bounds of the read latency buckets [s].
  static constexpr std::array<double, 10> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 1, 5};
  struct Histogram {
    std::array<std::uint64_t, kBuckets.size()> counts{};
    std::uint64_t count = 0;
    double sum = 0;
  };
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::uint64_t> reads_;
  std::map<std::pair<std::string, std::string>, std::uint64_t> failures_;
  std::map<std::string, Histogram> latency_;
  std::atomic<int> streamClients_{0};
  std::atomic<std::uint64_t> requests_{0};
};

}  // namespace ScaleService
