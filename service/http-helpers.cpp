#include "service/http-helpers.hpp"

#include <cstdio>
#include <sstream>

#include <boost/asio/ip/address.hpp>

namespace ScaleService {

namespace beast = boost::beast;
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

}  // namespace

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

Response MakeResponse(const Request& request, http::status status, std::string body, const char* type) {
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

// Texts from clients (a path in an error message) and from scales may hold any bytes: they must
// not fail the answer.
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

bool LoopbackHost(const std::string& host) {
  std::string name = host;
  if (!name.empty() && name.front() == '[') {
    name = name.substr(1, name.find(']') == std::string::npos ? std::string::npos : name.find(']') - 1);
  } else {
    name = name.substr(0, name.rfind(':'));
  }
  if (name == "localhost") return true;
  boost::system::error_code error;
  auto address = boost::asio::ip::make_address(name, error);
  return !error && address.is_loopback();
}

std::string OriginOf(const std::string& url) {
  const auto scheme = url.find("://");
  if (scheme == std::string::npos || scheme == 0) return {};
  const auto end = url.find_first_of("/?#", scheme + 3);
  std::string origin = url.substr(0, end);
  return origin.size() > scheme + 3 ? origin : std::string();
}

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

}  // namespace ScaleService
