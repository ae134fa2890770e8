#include "service/service.hpp"

#include <sstream>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>

namespace ScaleService {

namespace net = boost::asio;
namespace beast = boost::beast;
using json = nlohmann::json;

namespace {

json Flag(int flag) {
  if (flag == PDX_FLAG_YES) return true;
  if (flag == PDX_FLAG_NO) return false;
  return nullptr;
}

json ErrorObject(int code, const std::string& name, const std::string& message) {
  return {{"code", code}, {"name", name}, {"message", message}};
}

json ResultError(int code) { return ErrorObject(code, ResultName(code), ResultMessage(code)); }

// Served without the token: the page (it holds no secret and asks for the token itself) and
// CORS preflights, which browsers send without credentials.
bool TokenFree(const Request& request) {
  if (request.method() == http::verb::options) return true;
  const beast::string_view target = request.target();
  return request.method() == http::verb::get && target.substr(0, target.find('?')) == "/";
}

// The weight fields of a reading.
void AddWeight(json& message, const pdx_weight& w, bool markUnstable) {
  message["weight_mg"] = w.weight_mg;
  message["text"] = w.text;
  message["unit"] = w.unit;
  message["stable"] = markUnstable ? json(false) : Flag(w.stable);
  message["overload"] = Flag(w.overload);
  message["net"] = Flag(w.net);
  message["tare_mg"] = w.tare_known ? json(w.tare_mg) : json(nullptr);
}

std::string IsoTimeMs(std::int64_t unixMs) {
  return IsoTime(std::chrono::system_clock::time_point(std::chrono::milliseconds(unixMs)));
}

// The HTTP status of a sale-weight answer: a refusal says what the cashier must do.
http::status SaleStatus(int code) {
  switch (code) {
    case PDX_OK: return http::status::ok;
    case PDX_WEIGHT_UNSTABLE: return http::status::gateway_timeout;
    case PDX_WEIGHT_SAME: return http::status::conflict;
    case PDX_WEIGHT_UNDER_ZERO:
    case PDX_WEIGHT_OVERLOAD:
    case PDX_WEIGHT_BELOW_MINIMUM:
    case PDX_WEIGHT_ZERO: return http::status::unprocessable_entity;
    default: return http::status::service_unavailable;
  }
}

json SaleJson(const std::string& scale, const SaleOutcome& outcome) {
  json message;
  message["scale"] = scale;
  message["status"] = outcome.sale.status;
  if (outcome.code != PDX_OK) message["error"] = ResultError(outcome.code);
  if (outcome.code == PDX_OK || (outcome.code >= PDX_WEIGHT_UNSTABLE && outcome.code <= PDX_WEIGHT_ZERO)) {
    const pdx_sale_weight& sale = outcome.sale;
    message["sequence"] = sale.sequence;
    AddWeight(message, sale.reading, false);
    if (sale.taken_at_ms > 0) message["read_at"] = IsoTimeMs(sale.taken_at_ms);
    message["limits"] = {{"minimum_mg", sale.minimum_mg}, {"maximum_mg", sale.maximum_mg},
                         {"division_mg", sale.division_mg}};
  }
  return message;
}

// "key=value" lines, numbers as numbers.
json HealthJson(const std::string& lines) {
  json health = json::object();
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string value = line.substr(equals + 1);
    const bool number = !value.empty() && value.size() < 18 && value.find_first_not_of("0123456789") == std::string::npos;
    health[line.substr(0, equals)] = number ? json(std::stoll(value)) : json(value);
  }
  return health;
}

}  // namespace

json ReadingObject(const std::string& scale, const Reading& reading, const char* type, bool markUnstable) {
  json message;
  if (type) message["type"] = reading.Ok() ? type : "error";
  message["scale"] = scale;
  message["status"] = reading.status;
  if (reading.Ok()) {
    AddWeight(message, reading.weight, markUnstable);
  } else {
    message["error"] = ResultError(reading.code);
  }
  message["read_at"] = IsoTime(reading.readAt);
  return message;
}

Service::Service(net::io_context& io, const ServiceSettings& settings, Metrics& metrics,
                 const std::vector<ScaleWorker*>& workers)
    : io_(io),
      settings_(settings),
      metrics_(metrics),
      workers_(workers),
      connections_(metrics, settings.maxConnections) {}

Response Service::Error(const Request& request, http::status status, const std::string& name,
                        const std::string& message, int code) {
  return JsonResponse(request, status,
                      {{"error", ErrorObject(code < 0 ? static_cast<int>(status) : code, name, message)}});
}

ScaleWorker* Service::Find(const std::string& name) const {
  for (ScaleWorker* worker : workers_) {
    if (worker->Name() == name) return worker;
  }
  return nullptr;
}

bool Service::OriginAllowed(const std::string& origin) const {
  for (const auto& allowed : settings_.allowedOrigins) {
    if (allowed == origin) return true;
  }
  // The service's own page.
  const std::string port = ":" + std::to_string(port_);
  for (const char* host : {"127.0.0.1", "localhost", "[::1]"}) {
    if (origin == std::string("http://") + host + port) return true;
  }
  return !settings_.listenAddress.empty() && origin == "http://" + settings_.listenAddress + port;
}

void Service::AddCors(const Request& request, Response& response) const {
  auto origin = request.find(http::field::origin);
  if (origin == request.end() || !OriginAllowed(std::string(origin->value()))) return;
  response.set(http::field::access_control_allow_origin, origin->value());
  response.set(http::field::vary, "Origin");
  response.set(http::field::access_control_allow_methods, "GET, POST, OPTIONS");
  response.set(http::field::access_control_allow_headers, "Authorization, Content-Type");
}

std::optional<Response> Service::Admit(const Request& request, bool stream) {
  // A page of another site reached through a name that resolves to this machine (DNS rebinding)
  // names that site as the host.
  if (net::ip::make_address(settings_.listenAddress).is_loopback()) {
    auto host = request.find(http::field::host);
    if (host == request.end() || !LoopbackHost(std::string(host->value()))) {
      return Error(request, http::status::forbidden, "Forbidden", "the Host header must name this machine");
    }
  }
  if (!settings_.token.empty() && !TokenFree(request)) {
    auto authorization = request.find(http::field::authorization);
    bool valid = false;
    if (authorization != request.end()) {
      valid = ConstantTimeEqual(std::string(authorization->value()), "Bearer " + settings_.token);
    } else if (stream) {
      // A browser cannot set headers on a WebSocket: the page sends its token in the query.
      Target target = SplitTarget(request.target());
      auto given = target.query.find("access_token");
      valid = given != target.query.end() && ConstantTimeEqual(PercentDecoded(given->second), settings_.token);
    }
    if (!valid) {
      Response response = Error(request, http::status::unauthorized, "Unauthorized",
                                stream ? "the stream carries no valid \"Authorization: Bearer\" header or "
                                         "\"access_token\" query parameter"
                                       : "the request carries no valid \"Authorization: Bearer\" token");
      response.set(http::field::www_authenticate, "Bearer");
      return response;
    }
  }
  // Pages of other origins may read where CORS allows it, but never change a scale.
  if (!Changes(request) && !stream) return std::nullopt;
  if (auto refusal = CrossSite(request)) return refusal;
  // A page of another site cannot send JSON without a preflight, which it is refused.
  if (Changes(request) && !IsJson(request[http::field::content_type])) {
    return Error(request, http::status::unsupported_media_type, "UnsupportedMediaType",
                 "a request that changes a scale carries \"Content-Type: application/json\"");
  }
  return std::nullopt;
}

std::optional<Response> Service::CrossSite(const Request& request) const {
  auto origin = request.find(http::field::origin);
  if (origin != request.end()) {
    if (OriginAllowed(std::string(origin->value()))) return std::nullopt;
    return Error(request, http::status::forbidden, "Forbidden", "the origin is not allowed");
  }
  // Without an Origin (older browsers, some form posts) the page that sent it.
  auto referer = request.find(http::field::referer);
  if (referer != request.end()) {
    if (OriginAllowed(OriginOf(std::string(referer->value())))) return std::nullopt;
    return Error(request, http::status::forbidden, "Forbidden", "the referring page's origin is not allowed");
  }
  // Programs (curl, the bindings) send none of these headers; a browser says where it came from.
  const beast::string_view site = request["Sec-Fetch-Site"];
  if (beast::iequals(site, "cross-site") || beast::iequals(site, "same-site")) {
    return Error(request, http::status::forbidden, "Forbidden", "a request from a page of another site");
  }
  return std::nullopt;
}

std::optional<Response> Service::CheckUpgrade(const Request& request, ScaleWorker*& worker) {
  if (auto refusal = Admit(request, true)) return refusal;
  Target target = SplitTarget(request.target());
  const auto& s = target.segments;
  if (!target.ok || s.size() != 4 || s[0] != "v1" || s[1] != "scales" || s[3] != "stream") {
    return Error(request, http::status::not_found, "NotFound", "no stream at " + std::string(request.target()));
  }
  worker = Find(s[2]);
  if (!worker) return Error(request, http::status::not_found, "UnknownScale", "no scale named \"" + s[2] + "\"");
  return std::nullopt;
}

namespace {

Response NotFound(const Request& request) {
  return Service::Error(request, http::status::not_found, "NotFound", "no such path: " + std::string(request.target()));
}

// 405 with the method the path serves; nothing when the request uses it.
std::optional<Response> WrongMethod(const Request& request, http::verb wanted) {
  if (request.method() == wanted) return std::nullopt;
  Response response = Service::Error(request, http::status::method_not_allowed, "MethodNotAllowed",
                            std::string(request.method_string()) + " is not served at this path");
  response.set(http::field::allow, http::to_string(wanted));
  return response;
}

// "stable=true|false" and "timeout_ms=0..60000"; false with the offending pair in `bad`.
bool ReadWeightQuery(const std::map<std::string, std::string>& query, bool& stable, int& timeoutMs, std::string& bad) {
  for (const auto& [key, value] : query) {
    if (key == "stable" && (value == "true" || value == "false")) {
      stable = value == "true";
    } else if (key == "timeout_ms" && !value.empty() && value.size() <= 6 &&
               value.find_first_not_of("0123456789") == std::string::npos && std::stoi(value) <= 60000) {
      timeoutMs = std::stoi(value);
    } else {
      bad = key + "=" + value;
      return false;
    }
  }
  return true;
}

// "level=1|2"; false with the offending pair in `bad`.
bool ReadHealthQuery(const std::map<std::string, std::string>& query, int& level, std::string& bad) {
  for (const auto& [key, value] : query) {
    if (key == "level" && (value == "1" || value == "2")) {
      level = value[0] - '0';
    } else {
      bad = key + "=" + value;
      return false;
    }
  }
  return true;
}

}  // namespace

void Service::Handle(const Request& request, Respond respond) {
  metrics_.CountRequest();
  auto reply = [&](Response response) {
    AddCors(request, response);
    respond(std::move(response));
  };
  if (auto refusal = Admit(request)) return reply(std::move(*refusal));
  Target target = SplitTarget(request.target());
  if (!target.ok) return reply(NotFound(request));
  if (request.method() == http::verb::options) return reply(Preflight(request));
  if (auto fixed = FixedPath(request, target.segments)) return reply(std::move(*fixed));
  ScalePath(request, target.segments, target.query, std::move(respond));
}

Response Service::Preflight(const Request& request) const {
  auto origin = request.find(http::field::origin);
  if (origin == request.end() || !OriginAllowed(std::string(origin->value()))) {
    return Error(request, http::status::forbidden, "Forbidden", "the origin is not allowed");
  }
  Response response = MakeResponse(request, http::status::no_content, "");
  response.set(http::field::access_control_max_age, "600");
  return response;
}

std::optional<Response> Service::FixedPath(const Request& request, const std::vector<std::string>& s) const {
  const bool page = s.empty();
  const bool metrics = s.size() == 1 && s[0] == "metrics";
  const bool health = s.size() == 2 && s[0] == "v1" && s[1] == "health";
  const bool scales = s.size() == 2 && s[0] == "v1" && s[1] == "scales";
  const bool ports = s.size() == 2 && s[0] == "v1" && s[1] == "ports";
  if (!page && !metrics && !health && !scales && !ports) return std::nullopt;
  if (auto refusal = WrongMethod(request, http::verb::get)) return refusal;
  if (metrics) return MakeResponse(request, http::status::ok, metrics_.Text(), kMetricsContentType);
  if (health) return Health(request);
  if (scales) return Scales(request);
  if (ports) return Ports(request);
  Response answer = MakeResponse(request, http::status::ok, PageHtml(), "text/html; charset=utf-8");
  answer.set("Content-Security-Policy", "default-src 'self'; style-src 'unsafe-inline'; script-src 'unsafe-inline'; "
                                        "connect-src 'self' ws: wss:; frame-ancestors 'none'");
  return answer;
}

void Service::ScalePath(const Request& request, const std::vector<std::string>& s,
                        const std::map<std::string, std::string>& query, Respond respond) {
  auto reply = [this, request, respond](Response response) {
    AddCors(request, response);
    respond(std::move(response));
  };
  if (s.size() != 4 || s[0] != "v1" || s[1] != "scales") return reply(NotFound(request));
  const std::string& action = s[3];
  const bool reads = action == "weight" || action == "sale-weight" || action == "health";
  if (!reads && action != "zero" && action != "tare" && action != "stream") return reply(NotFound(request));
  ScaleWorker* worker = Find(s[2]);
  if (!worker) return reply(Error(request, http::status::not_found, "UnknownScale", "no scale named \"" + s[2] + "\""));
  if (action == "stream") {
    return reply(Error(request, http::status::bad_request, "BadRequest", "the stream needs a WebSocket upgrade"));
  }
  if (auto refusal = WrongMethod(request, reads ? http::verb::get : http::verb::post)) return reply(std::move(*refusal));
  if (!reads) return Command(request, worker, action, reply);
  bool stable = false;
  int timeoutMs = action == "sale-weight" ? 2000 : 3000;
  int level = 1;
  std::string bad;
  if (action == "health" ? !ReadHealthQuery(query, level, bad) : !ReadWeightQuery(query, stable, timeoutMs, bad) ||
                                                                      (action == "sale-weight" && stable)) {
    const char* accepted = action == "health"        ? "level=1|2"
                           : action == "sale-weight" ? "timeout_ms=0..60000"
                                                     : "stable=true|false, timeout_ms=0..60000";
    if (bad.empty()) bad = "stable=true";
    return reply(Error(request, http::status::bad_request, "BadRequest",
                       "unknown query parameter or value \"" + bad + "\" (" + accepted + ")"));
  }
  if (action == "sale-weight") return SaleWeight(request, worker, timeoutMs, reply);
  if (action == "health") return ScaleHealth(request, worker, level, reply);
  Weight(request, worker, stable, timeoutMs, reply);
}

void Service::SaleWeight(const Request& request, ScaleWorker* worker, int timeoutMs, Respond respond) {
  Request shape{http::verb::get, "/", request.version()};
  shape.keep_alive(request.keep_alive());
  worker->RequestSaleWeight(timeoutMs, [this, shape, respond, name = worker->Name()](const SaleOutcome& outcome) {
    net::post(io_, [shape, respond, name, outcome] {
      respond(JsonResponse(shape, SaleStatus(outcome.code), SaleJson(name, outcome)));
    });
  });
}

void Service::ScaleHealth(const Request& request, ScaleWorker* worker, int level, Respond respond) {
  Request shape{http::verb::get, "/", request.version()};
  shape.keep_alive(request.keep_alive());
  worker->CheckHealth(level, [this, shape, respond, name = worker->Name()](int code, const std::string& lines) {
    net::post(io_, [shape, respond, name, code, lines] {
      json body = {{"scale", name}, {"health", HealthJson(lines)}};
      if (code != PDX_OK) body["error"] = ResultError(code);
      respond(JsonResponse(shape, code == PDX_OK ? http::status::ok : http::status::service_unavailable, body));
    });
  });
}

struct Service::WeightWait {
  ScaleWorker* worker;
  std::string name;
  bool stable;
  std::chrono::steady_clock::time_point deadline;
  Request shape;
  Respond respond;
};

void Service::Weight(const Request& request, ScaleWorker* worker, bool stable, int timeoutMs, Respond respond) {
  auto wait = std::make_shared<WeightWait>();
  wait->worker = worker;
  wait->name = worker->Name();
  wait->stable = stable;
  wait->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  wait->shape = Request{http::verb::get, "/", request.version()};
  wait->shape.keep_alive(request.keep_alive());
  wait->respond = std::move(respond);
  NextReading(std::move(wait));
}

void Service::NextReading(std::shared_ptr<WeightWait> wait) {
  ScaleWorker* worker = wait->worker;
  worker->RequestReading([this, wait = std::move(wait)](const Reading& reading) {
    net::post(io_, [this, wait, reading] {
      if (!reading.Ok()) {
        return wait->respond(JsonResponse(wait->shape, http::status::service_unavailable,
                                          ReadingObject(wait->name, reading, nullptr)));
      }
      if (!wait->stable || reading.weight.stable == PDX_FLAG_YES) {
        return wait->respond(
            JsonResponse(wait->shape, http::status::ok, ReadingObject(wait->name, reading, nullptr)));
      }
      if (std::chrono::steady_clock::now() >= wait->deadline) {
        return wait->respond(JsonResponse(wait->shape, http::status::gateway_timeout,
                                          ReadingObject(wait->name, reading, nullptr, true)));
      }
      NextReading(wait);
    });
  });
}

void Service::Command(const Request& request, ScaleWorker* worker, const std::string& command, Respond respond) {
  json body = json::object();
  if (!request.body().empty()) {
    body = json::parse(request.body(), nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
      return respond(Error(request, http::status::bad_request, "BadRequest", "the body is not a JSON object"));
    }
  }
  ScaleCommand which = command == "zero" ? ScaleCommand::Zero : ScaleCommand::Tare;
  long grams = 0;
  for (const auto& [key, value] : body.items()) {
    if (command == "tare" && key == "tare_g" && value.is_number_integer() && value.get<long long>() >= 0 &&
        value.get<long long>() <= 1000000) {
      which = ScaleCommand::SpecifyTare;
      grams = static_cast<long>(value.get<long long>());
    } else {
      return respond(Error(request, http::status::bad_request, "BadRequest",
                           "unknown key or bad value \"" + key + "\"" +
                               (command == "tare" ? " (tare takes {} or {\"tare_g\": GRAMS})" : " (zero takes {})")));
    }
  }
  Request shape{http::verb::post, "/", request.version()};
  shape.keep_alive(request.keep_alive());
  worker->RunCommand(which, grams, [this, shape, respond](int code) {
    net::post(io_, [shape, respond, code] {
      if (code == PDX_OK) return respond(JsonResponse(shape, http::status::ok, json::object()));
      respond(JsonResponse(shape, http::status::service_unavailable, {{"error", ResultError(code)}}));
    });
  });
}

Response Service::Scales(const Request& request) const {
  json scales = json::array();
  for (ScaleWorker* worker : workers_) {
    ScaleInfo info = worker->Info();
    json entry = {{"name", info.name},
                  {"protocol", info.protocol},
                  {"connection", info.connection},
                  {"state", StateName(info.state)},
                  {"model", info.model ? json(*info.model) : json(nullptr)}};
    if (info.state == ScaleState::Error) entry["error"] = ResultError(info.lastCode);
    scales.push_back(entry);
  }
  return JsonResponse(request, http::status::ok, {{"scales", scales}});
}

// The machine's serial ports, as the library lists them.
Response Service::Ports(const Request& request) const {
  static const char* const kKeys[] = {"name",          "stable_name",  "bus",     "vendor_id", "product_id",
                                      "serial_number", "manufacturer", "product", "access"};
  std::vector<char> table(64 * 1024);
  size_t needed = 0;
  int code = pdx_list_ports(table.data(), table.size(), &needed);
  if (code == PDX_BUFFER_TOO_SMALL) {
    table.resize(needed);
    code = pdx_list_ports(table.data(), table.size(), &needed);
  }
  if (code != PDX_OK) return JsonResponse(request, http::status::internal_server_error, {{"error", ResultError(code)}});
  json ports = json::array();
  std::istringstream lines(table.data());
  for (std::string line; std::getline(lines, line);) {
    json port = json::object();
    std::istringstream cells(line);
    std::string cell;
    for (const char* key : kKeys) {
      if (!std::getline(cells, cell, '\t')) cell.clear();
      port[key] = cell;
    }
    ports.push_back(port);
  }
  return JsonResponse(request, http::status::ok, {{"ports", ports}});
}

Response Service::Health(const Request& request) const {
  json scales = json::object();
  bool healthy = true;
  for (ScaleWorker* worker : workers_) {
    ScaleInfo info = worker->Info();
    healthy = healthy && info.state == ScaleState::Ready;
    scales[info.name] = {{"state", StateName(info.state)}};
    if (info.state == ScaleState::Error) scales[info.name]["error"] = ResultError(info.lastCode);
  }
  return JsonResponse(request, healthy ? http::status::ok : http::status::service_unavailable,
                      {{"status", healthy ? "ok" : "degraded"}, {"scales", scales}});
}

// ---- the streams' readings ----

void Service::Join(ScaleWorker* worker, const std::shared_ptr<StreamSubscriber>& subscriber) {
  Hub& hub = hubs_[worker];
  hub.subscribers[subscriber.get()] = subscriber;
  if (hub.subscription != 0) return;
  // The worker reads faster than the I/O thread may format and send (back to back, with many
  // streams): only the newest exchange waits for the I/O thread, and one post carries it.
  auto newest = std::make_shared<NewestReading>();
  hub.subscription = worker->Subscribe([this, worker, newest](const Reading& reading) {
    {
      std::lock_guard<std::mutex> lock(newest->mutex);
      const bool posted = newest->reading.has_value();
      newest->reading = reading;
      if (posted) return;
    }
    net::post(io_, [this, worker, newest] {
      Reading reading;
      {
        std::lock_guard<std::mutex> lock(newest->mutex);
        reading = *newest->reading;
        newest->reading.reset();
      }
      Publish(worker, reading);
    });
  });
}

void Service::Publish(ScaleWorker* worker, const Reading& reading) {
  auto found = hubs_.find(worker);
  if (found == hubs_.end()) return;
  // Built once for every stream of the scale; compared without the time.
  json message = ReadingObject(worker->Name(), reading, "weight");
  json readAt = std::move(message["read_at"]);
  message.erase("read_at");
  const std::string key = Dump(message);
  std::vector<std::shared_ptr<StreamSubscriber>> receivers;
  for (auto& entry : found->second.subscribers) {
    auto subscriber = entry.second.lock();
    if (subscriber && subscriber->Wants(key)) receivers.push_back(subscriber);
  }
  if (receivers.empty()) return;
  message["read_at"] = std::move(readAt);
  const std::string text = Dump(message);
  for (auto& receiver : receivers) receiver->Send(key, text);
}

void Service::Leave(ScaleWorker* worker, StreamSubscriber* subscriber) {
  auto found = hubs_.find(worker);
  if (found == hubs_.end()) return;
  found->second.subscribers.erase(subscriber);
  if (found->second.subscribers.empty()) {
    worker->Unsubscribe(found->second.subscription);
    hubs_.erase(found);
  }
}

}  // namespace ScaleService
