// The API's routes over the scale workers: a request in, its answer out, no I/O of their own
// (the sessions carry the bytes). Also the fan-out of a scale's readings to its streams.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <nlohmann/json.hpp>

#include "service/connection-limit.hpp"
#include "service/http-helpers.hpp"
#include "service/metrics.hpp"
#include "service/scale-worker.hpp"
#include "service/service-config.hpp"

namespace ScaleService {

// A client of a scale's stream as the routes see it; its connection is the session's.
class StreamSubscriber {
 public:
  virtual ~StreamSubscriber() = default;
  // Whether the newest exchange of the scale, given as its message without the time, differs in
  // weight or state from the last message this client got.
  virtual bool Wants(const std::string& key) const = 0;
  virtual void Send(const std::string& key, const std::string& message) = 0;
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

  // Streams of a scale share one subscription to its worker; each gets the readings as messages.
  void Join(ScaleWorker* worker, const std::shared_ptr<StreamSubscriber>& subscriber);
  void Leave(ScaleWorker* worker, StreamSubscriber* subscriber);

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
    std::map<StreamSubscriber*, std::weak_ptr<StreamSubscriber>> subscribers;
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
  // Sends the newest reading of `worker` to those of its streams that have not seen its like.
  void Publish(ScaleWorker* worker, const Reading& reading);

  boost::asio::io_context& io_;
  const ServiceSettings& settings_;
  Metrics& metrics_;
  std::vector<ScaleWorker*> workers_;
  std::map<ScaleWorker*, Hub> hubs_;
  std::uint16_t port_ = 0;
  ConnectionLimit connections_;
};

// A reading as the API writes it: the scale, its "status", the weight fields and the time it was
// read; a failed reading has the error object instead of the weight.
nlohmann::json ReadingObject(const std::string& scale, const Reading& reading, const char* type,
                             bool markUnstable = false);

const std::string& PageHtml();

}  // namespace ScaleService
