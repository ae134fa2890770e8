// libFuzzer target: any bytes as one request through the service's parser, limits and routes.
// No scale is configured, so every route that would reach a line answers without one.
#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/asio/io_context.hpp>

#include "service/service.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static boost::asio::io_context io;
  static ScaleService::ServiceSettings settings = [] {
    ScaleService::ServiceSettings s;
    s.allowedOrigins = {"http://till.example:8080"};
    return s;
  }();
  static ScaleService::Metrics metrics;
  static ScaleService::Service service(io, settings, metrics, {});
  std::string answer;
  ScaleService::HandleBytes(service, std::string(reinterpret_cast<const char*>(data), size), answer);
  // Every request gets an answer.
  if (answer.rfind("HTTP/1.", 0) != 0) __builtin_trap();
  return 0;
}
