// HTTP pieces that the routes and the sessions share: the request and answer types, the headers
// every answer carries, targets, origins, media types and time stamps. No I/O.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

namespace ScaleService {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

// An answer to `request` with the headers every answer carries (no caching, no framing, no
// sniffing) and its length.
Response MakeResponse(const Request& request, http::status status, std::string body,
                      const char* type = "application/json");
// `body` as one line of JSON; bytes that are no UTF-8 are written as U+FFFD.
std::string Dump(const nlohmann::json& value);
Response JsonResponse(const Request& request, http::status status, const nlohmann::json& body);

// Compares in a time that does not depend on where the texts differ.
bool ConstantTimeEqual(const std::string& a, const std::string& b);

// "/v1/scales/till/weight?stable=true" as its path segments and query; `ok` false when the path
// does not start with "/" or ends with one.
struct Target {
  std::vector<std::string> segments;
  std::map<std::string, std::string> query;
  bool ok = true;
};
Target SplitTarget(boost::beast::string_view target);
// "%41b+c" as "Ab c".
std::string PercentDecoded(const std::string& text);

// Whether a Host header ("localhost:8731", "[::1]:8731", "127.0.0.1") names this machine.
bool LoopbackHost(const std::string& host);
// "https://till.example:8080/pos?x" as its origin "https://till.example:8080"; empty when it
// names none.
std::string OriginOf(const std::string& url);
// "application/json; charset=utf-8" is JSON; "text/plain", "application/x-www-form-urlencoded"
// and "multipart/form-data" (what a page of another site may send without a preflight) are not.
bool IsJson(boost::beast::string_view contentType);
// Whether the method may change something (anything but GET, HEAD and OPTIONS).
bool Changes(const Request& request);

// "2026-12-09T14:05:14.123Z", in UTC.
std::string IsoTime(std::chrono::system_clock::time_point when);

}  // namespace ScaleService
