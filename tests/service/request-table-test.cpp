// The service's whole request path without a socket: raw request bytes through the parser, the
// limits and the routes, and the answer's text. The scale "till" is configured but never
// started, so no route reaches a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <boost/asio/io_context.hpp>

#include "service/service.hpp"
#include "service/sessions.hpp"

namespace {

using namespace ScaleService;

const std::string kHost = "Host: 127.0.0.1\r\n";
const std::string kUpgrade =
    "Connection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";

std::string Get(const std::string& target, const std::string& headers = "") {
  return "GET " + target + " HTTP/1.1\r\n" + kHost + headers + "\r\n";
}

std::string Post(const std::string& target, const std::string& body,
                 const std::string& headers = "Content-Type: application/json\r\n") {
  return "POST " + target + " HTTP/1.1\r\n" + kHost + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

ServiceSettings Settings(const std::string& token) {
  ServiceSettings settings;
  settings.allowedOrigins = {"http://till.example:8080"};
  settings.token = token;
  return settings;
}

ScaleSpec Till() {
  ScaleSpec spec;
  spec.name = "till";
  spec.text = "tcp:127.0.0.1:1";
  spec.endPoint = "127.0.0.1:1";
  return spec;
}

struct Case {
  Case(const char* name, std::string bytes, std::string status, std::vector<std::string> has = {},
       std::vector<std::string> lacks = {})
      : name(name), bytes(std::move(bytes)), status(std::move(status)), has(std::move(has)), lacks(std::move(lacks)) {}
  const char* name;
  std::string bytes;
  std::string status;            // the status line's code and reason
  std::vector<std::string> has;  // fragments of the header or the body
  std::vector<std::string> lacks;
};

class RequestTableTest : public ::testing::Test {
 protected:
  // `service`: the one without a token or the one that wants "s3cret +1".
  void Check(Service& service, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      std::string answer;
      HandleBytes(service, c.bytes, answer);
      EXPECT_EQ(answer.rfind("HTTP/1.1 " + c.status + "\r\n", 0), 0u) << c.name << ":\n" << answer;
      for (const auto& part : c.has) EXPECT_NE(answer.find(part), std::string::npos) << c.name << " lacks " << part;
      for (const auto& part : c.lacks) EXPECT_EQ(answer.find(part), std::string::npos) << c.name << " has " << part;
      // No answer may be framed, sniffed or cached.
      for (const char* header : {"X-Frame-Options: DENY\r\n", "X-Content-Type-Options: nosniff\r\n",
                                 "Cache-Control: no-store\r\n", "frame-ancestors 'none'"}) {
        EXPECT_NE(answer.find(header), std::string::npos) << c.name << " lacks " << header;
      }
    }
  }

  boost::asio::io_context io_;
  Metrics metrics_;
  const ServiceSettings openSettings_ = Settings(""), guardedSettings_ = Settings("s3cret +1");
  ScaleWorker till_{Till(), openSettings_, metrics_};
  Service open_{io_, openSettings_, metrics_, {&till_}};
  Service guarded_{io_, guardedSettings_, metrics_, {&till_}};
};

TEST_F(RequestTableTest, RoutesAndRefusals) {
  Check(open_, {
      {"the page", Get("/"), "200 OK",
       {"text/html", "<!DOCTYPE html>", "/stream", "/v1/ports", "connect-src 'self' ws: wss:"}},
      {"the ports", Get("/v1/ports"), "200 OK", {"{\"ports\":["}},
      {"the metrics", Get("/metrics"), "200 OK", {"Content-Type: text/plain; version=0.0.4; charset=utf-8"}},
      {"a scale not yet open", Get("/v1/scales"), "200 OK", {"\"name\":\"till\"", "\"state\":\"opening\""}},
      {"health while a scale opens", Get("/v1/health"), "503 Service Unavailable",
       {"\"status\":\"degraded\"", "\"till\":{\"state\":\"opening\"}"}},
      {"no such path", Get("/v1/nothing"), "404 Not Found", {"\"name\":\"NotFound\""}},
      {"a trailing slash", Get("/v1/scales/"), "404 Not Found", {"\"name\":\"NotFound\""}},
      {"a path that is no UTF-8", Get("/v1/\xff\xfe"), "404 Not Found", {"\"name\":\"NotFound\""}},
      {"unknown scale", Get("/v1/scales/scale2/weight"), "404 Not Found", {"\"name\":\"UnknownScale\""}},
      {"POST to a reading", Post("/v1/scales/till/sale-weight", "{}"), "405 Method Not Allowed",
       {"\"name\":\"MethodNotAllowed\"", "Allow: GET\r\n"}},
      {"GET to a command", Get("/v1/scales/till/zero"), "405 Method Not Allowed", {"Allow: POST\r\n"}},
      {"POST to the list", Post("/v1/scales", "{}"), "405 Method Not Allowed", {"Allow: GET\r\n"}},
      {"bad timeout", Get("/v1/scales/till/weight?timeout_ms=soon"), "400 Bad Request", {"timeout_ms=soon"}},
      {"timeout over a minute", Get("/v1/scales/till/weight?timeout_ms=60001"), "400 Bad Request"},
      {"a sale is always stable", Get("/v1/scales/till/sale-weight?stable=true"), "400 Bad Request",
       {"\"name\":\"BadRequest\""}},
      {"health level", Get("/v1/scales/till/health?level=9"), "400 Bad Request", {"level=1|2"}},
      {"body no JSON", Post("/v1/scales/till/zero", "{\"zero\":"), "400 Bad Request", {"not a JSON object"}},
      {"tare of no number", Post("/v1/scales/till/tare", "{\"tare_g\": \"x\"}"), "400 Bad Request",
       {"\\\"tare_g\\\""}},
      {"the stream without an upgrade", Get("/v1/scales/till/stream"), "400 Bad Request", {"WebSocket upgrade"}},
  });
}

TEST_F(RequestTableTest, OriginHostAndToken) {
  const std::string evil = "Origin: http://evil.example\r\n";
  const std::string allowed = "Origin: http://till.example:8080\r\n";
  const std::string bearer = "Authorization: Bearer s3cret +1\r\n";
  Check(open_, {
      {"foreign host", "GET /v1/scales HTTP/1.1\r\nHost: evil.example\r\n\r\n", "403 Forbidden",
       {"the Host header must name this machine"}},
      {"CORS for a listed origin", Get("/v1/scales", allowed), "200 OK",
       {"Access-Control-Allow-Origin: http://till.example:8080\r\n", "Vary: Origin"}},
      {"no CORS for another", Get("/v1/scales", evil), "200 OK", {}, {"Access-Control-Allow-Origin"}},
      {"preflight", "OPTIONS /v1/scales/till/tare HTTP/1.1\r\n" + kHost + allowed + "\r\n", "204 No Content",
       {"Access-Control-Max-Age: 600", "Access-Control-Allow-Methods: GET, POST, OPTIONS"}},
      {"preflight of another site", "OPTIONS /v1/scales/till/tare HTTP/1.1\r\n" + kHost + evil + "\r\n",
       "403 Forbidden"},
      // A page of another site cannot send JSON without a preflight, and a browser says where it
      // came from.
      {"text body", Post("/v1/scales/till/tare", "{}", "Content-Type: text/plain\r\n"), "415 Unsupported Media Type",
       {"\"name\":\"UnsupportedMediaType\""}},
      {"form body", Post("/v1/scales/till/zero", "a=1", "Content-Type: application/x-www-form-urlencoded\r\n"),
       "415 Unsupported Media Type"},
      {"no content type", Post("/v1/scales/till/zero", "", ""), "415 Unsupported Media Type"},
      {"text body, foreign Referer",
       Post("/v1/scales/till/tare", "{}", "Content-Type: text/plain\r\nReferer: http://evil.example/x\r\n"),
       "403 Forbidden"},
      {"foreign Origin", Post("/v1/scales/till/tare", "{}", "Content-Type: application/json\r\n" + evil),
       "403 Forbidden", {"the origin is not allowed"}},
      {"Origin null", Post("/v1/scales/till/tare", "{}", "Content-Type: application/json\r\nOrigin: null\r\n"),
       "403 Forbidden"},
      {"foreign Referer",
       Post("/v1/scales/till/zero", "{}", "Content-Type: application/json\r\nReferer: http://evil.example/pos\r\n"),
       "403 Forbidden", {"referring page"}},
      {"Referer of no URL", Post("/v1/scales/till/zero", "{}", "Content-Type: application/json\r\nReferer: junk\r\n"),
       "403 Forbidden"},
      {"Sec-Fetch-Site cross-site",
       Post("/v1/scales/till/tare", "{}", "Content-Type: application/json\r\nSec-Fetch-Site: cross-site\r\n"),
       "403 Forbidden", {"another site"}},
      {"Sec-Fetch-Site same-site",
       Post("/v1/scales/till/zero", "{}", "Content-Type: application/json\r\nSec-Fetch-Site: same-site\r\n"),
       "403 Forbidden"},
      {"a stream from another site", Get("/v1/scales/till/stream", kUpgrade + evil), "403 Forbidden"},
      {"a stream of no scale", Get("/v1/scales/none/stream", kUpgrade), "404 Not Found", {"\"name\":\"UnknownScale\""}},
      {"a stream path that is no UTF-8", Get("/v1/scales/\xff/stream", kUpgrade), "404 Not Found"},
  });
  // With a token: everything but the page and preflights carries it.
  Check(guarded_, {
      {"no token", Get("/v1/scales"), "401 Unauthorized", {"WWW-Authenticate: Bearer", "\"name\":\"Unauthorized\""}},
      {"wrong token", Get("/v1/scales", "Authorization: Bearer wrong!\r\n"), "401 Unauthorized"},
      {"a prefix of the token", Get("/v1/scales", "Authorization: Bearer s3cret\r\n"), "401 Unauthorized"},
      {"the token", Get("/v1/scales", bearer), "200 OK", {"\"scales\""}},
      {"a command without it", Post("/v1/scales/till/tare", "{}"), "401 Unauthorized"},
      {"the query's token is the stream's", Get("/v1/scales?access_token=s3cret%20%2B1"), "401 Unauthorized"},
      {"the page", Get("/"), "200 OK", {"<!DOCTYPE html>"}},
      {"a preflight", "OPTIONS /v1/scales/till/tare HTTP/1.1\r\n" + kHost + allowed + "\r\n", "204 No Content"},
      {"a stream without it", Get("/v1/scales/till/stream", kUpgrade), "401 Unauthorized", {"access_token"}},
  });
}

TEST_F(RequestTableTest, Limits) {
  std::string manyFields;
  for (int i = 0; i < 101; ++i) manyFields += "X-Field-" + std::to_string(i) + ": 1\r\n";
  Check(open_, {
      {"101 header fields", Get("/", manyFields), "431 Request Header Fields Too Large",
       {"\"name\":\"TooManyHeaderFields\"", "Connection: close"}},
      {"100 header fields", Get("/", manyFields.substr(0, manyFields.find("X-Field-99:"))), "200 OK"},
      {"header over 16 KiB", Get("/", "X-Big: " + std::string(17000, 'a') + "\r\n"),
       "431 Request Header Fields Too Large", {"\"name\":\"HeaderTooLarge\""}},
      {"body over 16 KiB", Post("/v1/scales/till/zero", std::string(20000, ' ')), "413 Payload Too Large",
       {"\"name\":\"RequestTooLarge\""}},
      {"not HTTP", std::string("\x16\x03\x01\x00\xff junk\r\n\r\n", 15), "400 Bad Request",
       {"not valid HTTP/1.1"}},
      {"a request cut short", "GET /v1/scales HTTP/1.1\r\n" + kHost, "400 Bad Request"},
  });
}

}  // namespace
