#include "service/metrics.hpp"

#include <sstream>

namespace ScaleService {

Metrics::Metrics(const std::vector<std::string>& scales, std::string version) : version_(std::move(version)) {
  for (const auto& name : scales) scales_[name].reads["Ok"] = 0;
}

void Metrics::CountRead(const std::string& scale, const std::string& result, bool failed,
                        std::chrono::microseconds latency) {
  std::lock_guard<std::mutex> lock(mutex_);
  Scale& entry = scales_[scale];
  ++entry.reads[result];
  entry.up = !failed;
  Histogram& histogram = entry.latency;
  const double seconds = static_cast<double>(latency.count()) / 1e6;
  for (std::size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) ++histogram.counts[i];
  }
  ++histogram.count;
  histogram.sum += seconds;
}

void Metrics::StreamOpened(const std::string& scale) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++scales_[scale].streams;
}

void Metrics::StreamClosed(const std::string& scale) {
  std::lock_guard<std::mutex> lock(mutex_);
  --scales_[scale].streams;
}

std::string Metrics::Text() const {
  std::ostringstream out;
  auto family = [&out](const char* name, const char* type, const char* help) {
    out << "# HELP " << name << " " << help << "\n# TYPE " << name << " " << type << "\n";
  };
  std::lock_guard<std::mutex> lock(mutex_);
  family("scale_up", "gauge", "1 when the last weight exchange of the scale succeeded, else 0.");
  for (const auto& [name, scale] : scales_) out << "scale_up{scale=\"" << name << "\"} " << (scale.up ? 1 : 0) << "\n";
  family("scale_reads_total", "counter", "Weight exchanges by scale and result.");
  for (const auto& [name, scale] : scales_) {
    for (const auto& [result, count] : scale.reads) {
      out << "scale_reads_total{scale=\"" << name << "\",result=\"" << result << "\"} " << count << "\n";
    }
  }
  family("scale_read_seconds", "histogram", "Duration of one weight exchange.");
  for (const auto& [name, scale] : scales_) {
    const Histogram& histogram = scale.latency;
    for (std::size_t i = 0; i < kBuckets.size(); ++i) {
      out << "scale_read_seconds_bucket{scale=\"" << name << "\",le=\"" << kBuckets[i] << "\"} "
          << histogram.counts[i] << "\n";
    }
    out << "scale_read_seconds_bucket{scale=\"" << name << "\",le=\"+Inf\"} " << histogram.count << "\n";
    out << "scale_read_seconds_sum{scale=\"" << name << "\"} " << histogram.sum << "\n";
    out << "scale_read_seconds_count{scale=\"" << name << "\"} " << histogram.count << "\n";
  }
  family("scale_stream_clients", "gauge", "Open WebSocket stream clients of the scale.");
  for (const auto& [name, scale] : scales_) out << "scale_stream_clients{scale=\"" << name << "\"} " << scale.streams << "\n";
  family("scale_http_requests_total", "counter", "HTTP requests taken.");
  out << "scale_http_requests_total " << requests_.load() << "\n";
  family("scale_service_connections", "gauge", "Open client connections, streams included.");
  out << "scale_service_connections " << connections_.load() << "\n";
  family("scale_service_connections_evicted_total", "counter",
         "Connections closed at the connection cap while still sending their request.");
  out << "scale_service_connections_evicted_total " << evictions_.load() << "\n";
  family("scale_service_build_info", "gauge", "Always 1; the service's version as a label.");
  out << "scale_service_build_info{version=\"" << version_ << "\"} 1\n";
  return out.str();
}

}  // namespace ScaleService
