#include "service/metrics.hpp"

#include <sstream>

namespace ScaleService {

void Metrics::CountRead(const std::string& scale, const std::string& result, bool failed,
                        std::chrono::microseconds latency) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++reads_[{scale, result}];
  if (failed) ++failures_[{scale, result}];
  Histogram& histogram = latency_[scale];
  const double seconds = static_cast<double>(latency.count()) / 1e6;
  for (std::size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) ++histogram.counts[i];
  }
  ++histogram.count;
  histogram.sum += seconds;
}

std::string Metrics::Text() const {
  std::ostringstream out;
  std::lock_guard<std::mutex> lock(mutex_);
  out << "# HELP scale_reads_total Weight exchanges by scale and result.\n# TYPE scale_reads_total counter\n";
  for (const auto& [key, count] : reads_) {
    out << "scale_reads_total{scale=\"" << key.first << "\",result=\"" << key.second << "\"} " << count << "\n";
  }
  out << "# HELP scale_read_failures_total Failed weight exchanges by scale and result.\n"
         "# TYPE scale_read_failures_total counter\n";
  for (const auto& [key, count] : failures_) {
    out << "scale_read_failures_total{scale=\"" << key.first << "\",result=\"" << key.second << "\"} " << count
        << "\n";
  }
  out << "# HELP scale_read_seconds Duration of one weight exchange.\n# TYPE scale_read_seconds histogram\n";
  for (const auto& [scale, histogram] : latency_) {
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
      out << "scale_read_seconds_bucket{scale=\"" << scale << "\",le=\"" << kBuckets[i] << "\"} "
          << histogram.counts[i] << "\n";
    }
    out << "scale_read_seconds_bucket{scale=\"" << scale << "\",le=\"+Inf\"} " << histogram.count << "\n";
    out << "scale_read_seconds_sum{scale=\"" << scale << "\"} " << histogram.sum << "\n";
    out << "scale_read_seconds_count{scale=\"" << scale << "\"} " << histogram.count << "\n";
  }
  out << "# HELP scale_stream_clients Open WebSocket stream clients.\n# TYPE scale_stream_clients gauge\n"
      << "scale_stream_clients " << streamClients_.load() << "\n";
  out << "# HELP scale_http_requests_total HTTP requests taken.\n# TYPE scale_http_requests_total counter\n"
      << "scale_http_requests_total " << requests_.load() << "\n";
  return out.str();
}

}  // namespace ScaleService
