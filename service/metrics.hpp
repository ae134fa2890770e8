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
#include <vector>

namespace ScaleService {

// Exposition format 0.0.4, as Prometheus scrapes it.
constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

class Metrics {
 public:
  // Every series of the configured scales exists from the start, at 0, so that an alert on
  // scale_up == 0 or on a rate of reads fires for a scale that never answered.
  explicit Metrics(const std::vector<std::string>& scales = {}, std::string version = "");

  // One exchange of `scale` that ended with result `result` ("Ok", "TimeOut", ...).
  void CountRead(const std::string& scale, const std::string& result, bool failed, std::chrono::microseconds latency);
  void StreamOpened(const std::string& scale);
  void StreamClosed(const std::string& scale);
  void CountRequest() { ++requests_; }
  void ConnectionOpened() { ++connections_; }
  void ConnectionClosed() { --connections_; }
  // A connection closed to make room while it was still sending its request.
  void CountEviction() { ++evictions_; }
  std::string Text() const;

 private:
  // Upper bounds of the read latency buckets [s].
  static constexpr std::array<double, 10> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 1, 5};
  struct Histogram {
    std::array<std::uint64_t, kBuckets.size()> counts{};
    std::uint64_t count = 0;
    double sum = 0;
  };
  struct Scale {
    std::map<std::string, std::uint64_t> reads;  // by result
    Histogram latency;
    bool up = false;
    int streams = 0;
  };
  const std::string version_;
  mutable std::mutex mutex_;
  // Names are letters, digits, '-', '_' and '.' (checked with the settings): label values as they stand.
  std::map<std::string, Scale> scales_;
  std::atomic<std::uint64_t> requests_{0};
  std::atomic<int> connections_{0};
  std::atomic<std::uint64_t> evictions_{0};
};

}  // namespace ScaleService
