#include "service/service.hpp"

#include <cstdio>
#include <deque>
#include <iomanip>
#include <sstream>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

namespace ScaleService {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using json = nlohmann::json;

namespace {

// Days since 1970-01-01 as a date of the Gregorian calendar, in plain arithmetic: the C
// library's calendar functions differ between systems in name and thread safety.
void CivilDate(long long days, long long& year, int& month, int& day) {
  days += 719468;  // from 0000-03-01, so that the leap day ends a year
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long shifted = (5 * dayOfYear + 2) / 153;  // March is 0
  day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

std::string IsoTime(std::chrono::system_clock::time_point when) {
  const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const long long msOfDay = ((ms % 86400000) + 86400000) % 86400000;
  long long year = 0;
  int month = 0, day = 0;
  CivilDate((ms - msOfDay) / 86400000, year, month, day);
  const long long seconds = msOfDay / 1000;
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02lld:%02lld:%02lld.%03lldZ", year, month, day, seconds / 3600,
                seconds / 60 % 60, seconds % 60, msOfDay % 1000);
  return text;
}

json Flag(int flag) {
  if (flag == PDX_FLAG_YES) return true;
  if (flag == PDX_FLAG_NO) return false;
  return nullptr;
}

json ErrorObject(int code, const std::string& name, const std::string& message) {
  return {{"code", code}, {"name", name}, {"message", message}};
}

json ResultError(int code) { return ErrorObject(code, ResultName(code), ResultMessage(code)); }

Response MakeResponse(const Request& request, http::status status, std::string body,
                      const char* type = "application/json") {
  Response response{status, request.version()};
  response.set(http::field::server, "scale-service");
  response.set(http::field::content_type, type);
  // Readings go stale at once; no answer may be framed (a framed page's buttons would send
  // same-origin requests) or read as another type than it says.
  response.set(http::field::cache_control, "no-store");
  response.set("Content-Security-Policy", "default-src 'none'; frame-ancestors 'none'");
  response.set("X-Frame-Options", "DENY");
  response.set("X-Content-Type-Options", "nosniff");
  response.keep_alive(request.keep_alive());
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

// Texts from clients (a path in an error message) and from scales may hold any bytes; bytes
// that are no UTF-8 are written as U+FFFD rather than failing the answer.
std::string Dump(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

Response JsonResponse(const Request& request, http::status status, const json& body) {
  return MakeResponse(request, status, Dump(body) + "\n");
}

bool ConstantTimeEqual(const std::string& a, const std::string& b) {
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  const std::string& other = a.size() == b.size() ? b : a;
  for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ other[i]);
  return difference == 0;
}

// "/v1/scales/till/weight?stable=true" into its path segments and query.
struct Target {
  std::vector<std::string> segments;
  std::map<std::string, std::string> query;
  bool ok = true;
};

Target SplitTarget(beast::string_view target) {
  Target result;
  std::string text(target);
  std::string path = text.substr(0, text.find('?'));
  if (path.empty() || path[0] != '/') result.ok = false;
  std::stringstream segments(path);
  for (std::string segment; std::getline(segments, segment, '/');) {
    if (!segment.empty()) result.segments.push_back(segment);
  }
  if (path.size() > 1 && path.back() == '/') result.ok = false;
  auto question = text.find('?');
  if (question != std::string::npos) {
    std::stringstream query(text.substr(question + 1));
    for (std::string pair; std::getline(query, pair, '&');) {
      if (pair.empty()) continue;
      auto eq = pair.find('=');
      result.query[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
    }
  }
  return result;
}

// "%41b+c" as "Ab c".
std::string PercentDecoded(const std::string& text) {
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      result += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      result += text[i] == '+' ? ' ' : text[i];
    }
  }
  return result;
}

// Served without the token: the page (it holds no secret and asks for the token itself) and
// CORS preflights, which browsers send without credentials.
bool TokenFree(const Request& request) {
  if (request.method() == http::verb::options) return true;
  const beast::string_view target = request.target();
  return request.method() == http::verb::get && target.substr(0, target.find('?')) == "/";
}

bool LoopbackHost(const std::string& host) {
  std::string name = host;
  if (!name.empty() && name.front() == '[') {
    name = name.substr(1, name.find(']') == std::string::npos ? std::string::npos : name.find(']') - 1);
  } else {
    name = name.substr(0, name.rfind(':'));
  }
  if (name == "localhost") return true;
  boost::system::error_code error;
  auto address = net::ip::make_address(name, error);
  return !error && address.is_loopback();
}

// "https://till.example:8080/pos?x" as its origin "https://till.example:8080"; empty when it
// names none.
std::string OriginOf(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos || scheme == 0) return {};
  const auto end = url.find_first_of("/?#", scheme + 3);
  std::string origin = url.substr(0, end);
  return origin.size() > scheme + 3 ? origin : std::string();
}

// "application/json; charset=utf-8" is JSON; "text/plain", "application/x-www-form-urlencoded"
// and "multipart/form-data" (what a page of another site may send without a preflight) are not.
bool IsJson(beast::string_view contentType) {
  std::string type(contentType.substr(0, contentType.find(';')));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.erase(0, 1);
  return beast::iequals(type, "application/json");
}

bool Changes(const Request& request) {
  const auto method = request.method();
  return method != http::verb::get && method != http::verb::head && method != http::verb::options;
}

}  // namespace

namespace {

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
  if (!reading.Ok()) {
    message["error"] = ResultError(reading.code);
    message["read_at"] = IsoTime(reading.readAt);
    return message;
  }
  AddWeight(message, reading.weight, markUnstable);
  message["read_at"] = IsoTime(reading.readAt);
  return message;
}

std::string ReadingJson(const std::string& scale, const Reading& reading, const char* type, bool markUnstable) {
  return Dump(ReadingObject(scale, reading, type, markUnstable));
}

// ---- the routes ----

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

// ---- the WebSocket stream ----

class StreamSession : public std::enable_shared_from_this<StreamSession> {
 public:
  StreamSession(Service& service, ScaleWorker* worker, beast::tcp_stream&& stream,
                std::unique_ptr<ConnectionLimit::Slot> slot)
      : service_(service),
        worker_(worker),
        ws_(std::move(stream)),
        heartbeat_(ws_.get_executor()),
        slot_(std::move(slot)) {}

  void Start(const Request& request) {
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "scale-service"); }));
    ws_.read_message_max(4096);
    ws_.async_accept(request, [self = shared_from_this()](beast::error_code error) { self->OnAccept(error); });
  }

  // Whether the newest exchange of the scale, given as its message without the time, differs in
  // weight or state from the last message this client got.
  bool Wants(const std::string& key) const { return !closed_ && key != lastKey_; }
  void Send(const std::string& key, const std::string& message) {
    lastKey_ = key;
    Queue(message);
  }

 private:
  void OnAccept(beast::error_code error) {
    if (error) return;
    service_.GetMetrics().StreamOpened(worker_->Name());
    counted_ = true;
    service_.Join(worker_, shared_from_this());
    Heartbeat();
    Read();
  }

  void Heartbeat() {
    heartbeat_.expires_after(std::chrono::milliseconds(kHeartbeatMs));
    heartbeat_.async_wait([weak = weak_from_this()](beast::error_code error) {
      auto self = weak.lock();
      if (error || !self || self->closed_) return;
      self->Queue("{\"type\":\"heartbeat\"}");
      self->Heartbeat();
    });
  }

  void Read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      // Clients have nothing to say on the stream; what they send is dropped.
      self->buffer_.consume(self->buffer_.size());
      if (error) return self->Close();
      self->Read();
    });
  }

  // A slow client holds at most one message besides the one being written: the newest.
  void Queue(std::string message) {
    if (closed_) return;
    if (outbox_.size() > 1) outbox_.pop_back();
    outbox_.push_back(std::move(message));
    if (!writing_) Write();
  }

  void Write() {
    writing_ = true;
    ws_.text(true);
    ws_.async_write(net::buffer(outbox_.front()), [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->writing_ = false;
      self->outbox_.pop_front();
      if (error) return self->Close();
      if (!self->outbox_.empty()) self->Write();
    });
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    heartbeat_.cancel();
    service_.Leave(worker_, this);
    if (counted_) service_.GetMetrics().StreamClosed(worker_->Name());
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

  Service& service_;
  ScaleWorker* worker_;
  websocket::stream<beast::tcp_stream> ws_;
  net::steady_timer heartbeat_;
  beast::flat_buffer buffer_;
  std::deque<std::string> outbox_;
  std::string lastKey_;
  std::unique_ptr<ConnectionLimit::Slot> slot_;
  bool writing_ = false;
  bool closed_ = false;
  bool counted_ = false;
};

void Service::Join(ScaleWorker* worker, const std::shared_ptr<StreamSession>& session) {
  Hub& hub = hubs_[worker];
  hub.sessions[session.get()] = session;
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
      auto found = hubs_.find(worker);
      if (found == hubs_.end()) return;
      // Formatted once for every stream of the scale, compared without the time.
      Reading timeless = reading;
      timeless.readAt = {};
      const std::string key = ReadingJson(worker->Name(), timeless, "weight");
      std::vector<std::shared_ptr<StreamSession>> sessions;
      for (auto& entry : found->second.sessions) {
        auto session = entry.second.lock();
        if (session && session->Wants(key)) sessions.push_back(session);
      }
      if (sessions.empty()) return;
      const std::string message = ReadingJson(worker->Name(), reading, "weight");
      for (auto& session : sessions) session->Send(key, message);
    });
  });
}

void Service::Leave(ScaleWorker* worker, StreamSession* session) {
  auto found = hubs_.find(worker);
  if (found == hubs_.end()) return;
  found->second.sessions.erase(session);
  if (found->second.sessions.empty()) {
    worker->Unsubscribe(found->second.subscription);
    hubs_.erase(found);
  }
}

// ---- the connection cap ----

void ConnectionLimit::Slot::Release() {
  if (released_) return;
  released_ = true;
  --limit_.open_;
  limit_.metrics_.ConnectionClosed();
}

std::unique_ptr<ConnectionLimit::Slot> ConnectionLimit::Take() {
  if (open_ >= cap_ && !EvictOldest()) return nullptr;
  ++open_;
  metrics_.ConnectionOpened();
  return std::make_unique<Slot>(*this);
}

bool ConnectionLimit::EvictOldest() {
  if (waiting_.empty()) return false;
  auto close = std::move(waiting_.begin()->second);
  waiting_.erase(waiting_.begin());
  metrics_.CountEviction();
  close();
  return true;
}

std::uint64_t ConnectionLimit::Waiting(std::function<void()> close) {
  waiting_.emplace(nextTicket_, std::move(close));
  return nextTicket_++;
}

void ConnectionLimit::Done(std::uint64_t ticket) { waiting_.erase(ticket); }

// ---- HTTP sessions ----

namespace {

// Refusals for requests that break a limit; the connection closes after them.
Response LimitAnswer(beast::error_code error, std::size_t fields) {
  Request shape{http::verb::get, "/", 11};
  shape.keep_alive(false);
  if (fields > kMaxHeaderFields) {
    return Service::Error(shape, http::status::request_header_fields_too_large, "TooManyHeaderFields",
                          "a request may carry at most " + std::to_string(kMaxHeaderFields) + " header fields");
  }
  if (error == http::error::header_limit) {
    return Service::Error(shape, http::status::request_header_fields_too_large, "HeaderTooLarge",
                          "the request's header exceeds " + std::to_string(kMaxRequestBytes) + " bytes");
  }
  if (error == http::error::body_limit) {
    return Service::Error(shape, http::status::payload_too_large, "RequestTooLarge",
                          "a request may be at most " + std::to_string(kMaxRequestBytes) + " bytes");
  }
  return Service::Error(shape, http::status::bad_request, "BadRequest", "the request is not valid HTTP/1.1");
}

std::size_t CountFields(const Request& request) {
  return static_cast<std::size_t>(std::distance(request.begin(), request.end()));
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Service& service, tcp::socket&& socket, std::unique_ptr<ConnectionLimit::Slot> slot)
      : service_(service), stream_(std::move(socket)), timer_(stream_.get_executor()), slot_(std::move(slot)) {}
  ~HttpSession() { service_.Connections().Done(ticket_); }

  void Start() { ReadHeader(); }

 private:
  // Closed at the connection cap while still sending its request: the descriptor goes at once.
  void Evict() {
    evicted_ = true;
    timer_.cancel();
    beast::error_code ignored;
    stream_.socket().close(ignored);
    if (slot_) slot_->Release();
  }

  void ReadHeader() {
    ticket_ = service_.Connections().Waiting([weak = weak_from_this()] {
      if (auto self = weak.lock()) self->Evict();
    });
    parser_.emplace();
    parser_->header_limit(kMaxRequestBytes);
    parser_->body_limit(kMaxRequestBytes);
    timedOut_ = false;
    timer_.expires_after(std::chrono::milliseconds(kHeaderTimeoutMs));
    timer_.async_wait([weak = weak_from_this()](beast::error_code error) {
      auto self = weak.lock();
      if (error || !self) return;
      self->timedOut_ = true;
      beast::error_code ignored;
      self->stream_.socket().cancel(ignored);
    });
    stream_.expires_never();
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                              self->OnHeader(error);
                            });
  }

  void OnHeader(beast::error_code error) {
    if (evicted_) return;
    if (timedOut_) return Refuse(Service::Error(Request{http::verb::get, "/", 11}, http::status::request_timeout,
                                                "RequestTimeout", "the request did not arrive in time"));
    if (error == http::error::end_of_stream || error == net::error::connection_reset || error == net::error::eof) {
      return Shutdown();
    }
    const std::size_t fields = error ? 0 : CountFields(parser_->get());
    if (error || fields > kMaxHeaderFields) return Refuse(LimitAnswer(error, fields));
    if (websocket::is_upgrade(parser_->get())) {
      timer_.cancel();
      service_.Connections().Done(ticket_);
      Request request = parser_->release();
      ScaleWorker* worker = nullptr;
      if (auto refusal = service_.CheckUpgrade(request, worker)) {
        refusal->keep_alive(false);
        return Refuse(std::move(*refusal));
      }
      std::make_shared<StreamSession>(service_, worker, std::move(stream_), std::move(slot_))->Start(request);
      return;
    }
    http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      self->OnRequest(error);
    });
  }

  void OnRequest(beast::error_code error) {
    if (evicted_) return;
    timer_.cancel();
    service_.Connections().Done(ticket_);
    if (timedOut_) return Refuse(Service::Error(Request{http::verb::get, "/", 11}, http::status::request_timeout,
                                                "RequestTimeout", "the request did not arrive in time"));
    if (error) return Refuse(LimitAnswer(error, 0));
    Request request = parser_->release();
    // The session lives on through a pending answer until Send.
    pending_ = shared_from_this();
    service_.Handle(request, [weak = weak_from_this()](Response response) {
      if (auto self = weak.lock()) self->Send(std::move(response));
    });
  }

  void Send(Response response) {
    auto self = std::move(pending_);
    if (!self) self = shared_from_this();
    auto message = std::make_shared<Response>(std::move(response));
    stream_.expires_after(std::chrono::seconds(30));
    http::async_write(stream_, *message, [self, message](beast::error_code error, std::size_t) {
      if (error) return self->Shutdown();
      if (!message->keep_alive()) return self->Shutdown();
      self->ReadHeader();
    });
  }

  void Refuse(Response response) {
    timer_.cancel();
    service_.Connections().Done(ticket_);
    response.keep_alive(false);
    Send(std::move(response));
  }

  void Shutdown() {
    timer_.cancel();
    service_.Connections().Done(ticket_);
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  Service& service_;
  beast::tcp_stream stream_;
  net::steady_timer timer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::shared_ptr<HttpSession> pending_;
  std::unique_ptr<ConnectionLimit::Slot> slot_;
  std::uint64_t ticket_ = 0;
  bool timedOut_ = false;
  bool evicted_ = false;
};

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(Service& service, tcp::endpoint endpoint) : service_(service), acceptor_(service.Io()) {
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(net::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen(net::socket_base::max_listen_connections);
  }
  std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }
  void Stop() {
    beast::error_code ignored;
    acceptor_.close(ignored);
  }
  void Accept() {
    acceptor_.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
      if (!error) {
        socket.set_option(tcp::no_delay(true), error);
        // At the cap with every connection past its request: this one is refused.
        if (auto slot = self->service_.Connections().Take()) {
          std::make_shared<HttpSession>(self->service_, std::move(socket), std::move(slot))->Start();
        }
      }
      // Out of descriptors below the cap (other programs' limits, or a low hard limit): a slow
      // client makes room, else the next accept is tried again after a pause.
      if (error == net::error::no_descriptors && self->service_.Connections().EvictOldest()) return self->Accept();
      if (error == net::error::no_descriptors) {
        auto pause = std::make_shared<net::steady_timer>(self->service_.Io(), std::chrono::milliseconds(100));
        pause->async_wait([self, pause](beast::error_code) { self->Accept(); });
        return;
      }
      if (error == net::error::operation_aborted) return;
      self->Accept();
    });
  }

 private:
  Service& service_;
  tcp::acceptor acceptor_;
};

}  // namespace

std::uint16_t Listen(Service& service, const ServiceSettings& settings, std::function<void()>& stop) {
  tcp::endpoint endpoint(net::ip::make_address(settings.listenAddress), settings.listenPort);
  auto listener = std::make_shared<Listener>(service, endpoint);
  listener->Accept();
  stop = [weak = std::weak_ptr<Listener>(listener)] {
    if (auto self = weak.lock()) self->Stop();
  };
  service.SetPort(listener->Port());
  return listener->Port();
}

void HandleBytes(Service& service, const std::string& bytes, std::string& out) {
  http::request_parser<http::string_body> parser;
  parser.header_limit(kMaxRequestBytes);
  parser.body_limit(kMaxRequestBytes);
  parser.eager(true);
  beast::error_code error;
  parser.put(net::buffer(bytes), error);
  if (!error && !parser.is_done()) parser.put_eof(error);
  auto write = [&out](const Response& response) {
    std::ostringstream text;
    text << response;
    out += text.str();
  };
  if (error || !parser.is_done()) return write(LimitAnswer(error, 0));
  const std::size_t fields = CountFields(parser.get());
  if (fields > kMaxHeaderFields) return write(LimitAnswer(error, fields));
  if (websocket::is_upgrade(parser.get())) {
    ScaleWorker* worker = nullptr;
    if (auto refusal = service.CheckUpgrade(parser.get(), worker)) write(*refusal);
    return;
  }
  service.Handle(parser.get(), write);
}

}  // namespace ScaleService
