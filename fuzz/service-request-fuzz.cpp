// libFuzzer target: any bytes as one request through the service's parser, limits and routes,
// once without a token and once with one. No scale is configured, so every route that would
// reach a line answers without one.
#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/asio/io_context.hpp>

#include "service/service.hpp"
#include "service/sessions.hpp"

namespace {

ScaleService::ServiceSettings Settings(const std::string& token) {
  ScaleService::ServiceSettings settings;
  settings.allowedOrigins = {"http://till.example:8080"};
  settings.token = token;
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static boost::asio::io_context io;
  static ScaleService::Metrics metrics;
  static const ScaleService::ServiceSettings open = Settings(""), guarded = Settings("a b");
  static ScaleService::Service services[] = {{io, open, metrics, {}}, {io, guarded, metrics, {}}};
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (auto& service : services) {
    std::string answer;
    ScaleService::HandleBytes(service, bytes, answer);
    // Every request gets an answer (with no scale, no stream can go ahead).
    if (answer.rfind("HTTP/1.", 0) != 0) __builtin_trap();
  }
  return 0;
}
