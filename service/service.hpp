// The HTTP and WebSocket side: one listener, one session per connection with its own limits and
// time-outs, and the API's routes over the scale workers.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include "service/metrics.hpp"
#include "service/scale-worker.hpp"
#include "service/service-config.hpp"

namespace ScaleService {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// Limits of what one client may send.
constexpr std::size_t kMaxRequestBytes = 16 * 1024;
constexpr std::size_t kMaxHeaderFields = 100;
constexpr int kHeaderTimeoutMs = 10000;
constexpr int kHeartbeatMs = 5000;

class StreamSession;

// Open client connections against the cap, and those still sending a request, oldest first.
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

class Service {
 public:
  using Respond = std::function<void(Response)>;

  // `workers` are started already; the service does not own them.
  Service(boost::asio::io_context& io, const ServiceSettings& settings, Metrics& metrics,
          const std::vector<ScaleWorker*>& workers);

  // Answers one request through `respond`, at once or later on the I/O context. The request has
  // passed the size limits already.
  void Handle(const Request& request, Respond respond);
  // The answer to a WebSocket upgrade: nothing when it may go ahead, else the refusal.
  std::optional<Response> CheckUpgrade(const Request& request, ScaleWorker*& worker);
  // An error answer in the API's form.
  static Response Error(const Request& request, http::status status, const std::string& name,
                        const std::string& message, int code = -1);

  // Streams of a scale share one subscription to its worker.
  void Join(ScaleWorker* worker, const std::shared_ptr<StreamSession>& session);
  void Leave(ScaleWorker* worker, StreamSession* session);

  void SetPort(std::uint16_t port) { port_ = port; }
  ConnectionLimit& Connections() { return connections_; }
  Metrics& GetMetrics() { return metrics_; }
  boost::asio::io_context& Io() { return io_; }

 private:
  struct NewestReading {
    std::mutex mutex;
    std::optional<Reading> reading;  // set while a post to the I/O thread carries it
  };
  struct Hub {
    int subscription = 0;
    std::map<StreamSession*, std::weak_ptr<StreamSession>> sessions;
  };

  // Refusal for origin, host or authorisation; nothing when the request may be served.
  // `stream`: a WebSocket upgrade, which may carry the token as the query's "access_token".
  std::optional<Response> Admit(const Request& request, bool stream = false);
  bool OriginAllowed(const std::string& origin) const;
  // Refusal of a request that changes a scale or opens a stream from a page of a site that is
  // not allowed: by its Origin, else its Referer, else Sec-Fetch-Site.
  std::optional<Response> CrossSite(const Request& request) const;
  void AddCors(const Request& request, Response& response) const;
  ScaleWorker* Find(const std::string& name) const;
  // The steps of Handle: a CORS preflight; the page, the metrics, health and the scale list
  // (nothing for any other path); the paths of one scale.
  Response Preflight(const Request& request) const;
  std::optional<Response> FixedPath(const Request& request, const std::vector<std::string>& segments) const;
  void ScalePath(const Request& request, const std::vector<std::string>& segments,
                 const std::map<std::string, std::string>& query, Respond respond);
  struct WeightWait;
  void Weight(const Request& request, ScaleWorker* worker, bool stable, int timeoutMs, Respond respond);
  void NextReading(std::shared_ptr<WeightWait> wait);
  void Command(const Request& request, ScaleWorker* worker, const std::string& command, Respond respond);
  void SaleWeight(const Request& request, ScaleWorker* worker, int timeoutMs, Respond respond);
  void ScaleHealth(const Request& request, ScaleWorker* worker, int level, Respond respond);
  Response Scales(const Request& request) const;
  Response Ports(const Request& request) const;
  Response Health(const Request& request) const;

  boost::asio::io_context& io_;
  const ServiceSettings& settings_;
  Metrics& metrics_;
  std::vector<ScaleWorker*> workers_;
  std::map<ScaleWorker*, Hub> hubs_;
  std::uint16_t port_ = 0;
  ConnectionLimit connections_;
};

// A reading as the API writes it, with "scale" first and its "status". Failed readings give the
// error object.
nlohmann::json ReadingObject(const std::string& scale, const Reading& reading, const char* type,
                             bool markUnstable = false);
std::string ReadingJson(const std::string& scale, const Reading& reading, const char* type, bool markUnstable = false);

// Accepts connections on the settings' address until the I/O context stops or `stop` is called
// (on the I/O thread); returns the port.
std::uint16_t Listen(Service& service, const ServiceSettings& settings, std::function<void()>& stop);

// One request's bytes through the service's parser, limits and routes, answered into `out` (for
// the fuzz target: no socket involved).
void HandleBytes(Service& service, const std::string& bytes, std::string& out);

const std::string& PageHtml();

}  // namespace ScaleService
