// The HTTP and WebSocket side of the service: one listener, one session per connection with its
// own limits and time-outs, handing each request to the routes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "service/service-config.hpp"
#include "service/service.hpp"

namespace ScaleService {

// Limits of what one client may send.
constexpr std::size_t kMaxRequestBytes = 16 * 1024;
constexpr std::size_t kMaxHeaderFields = 100;
constexpr int kHeaderTimeoutMs = 10000;
constexpr int kHeartbeatMs = 5000;

// Accepts connections on the settings' address until the I/O context stops or `stop` is called
// (on the I/O thread); returns the port.
std::uint16_t Listen(Service& service, const ServiceSettings& settings, std::function<void()>& stop);

// One request's bytes through the parser, limits and routes a session applies, answered into
// `out` (no socket involved). An answer that waits for a scale is appended when the service's
// I/O context runs it: `out` must live until then.
void HandleBytes(Service& service, const std::string& bytes, std::string& out);

}  // namespace ScaleService
