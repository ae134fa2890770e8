// scale-service as a program: the simulated scale on TCP or a pseudo-terminal, the service on a
// free port of 127.0.0.1, and real HTTP and WebSocket clients.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/datagram_protocol.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <nlohmann/json.hpp>

#include "driver/api/ponderix.h"
#include "headless-browser.hpp"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"
#include "tests/support/child-process.hpp"

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using json = nlohmann::json;

struct Answer {
  int status = 0;
  std::string body;
  http::response<http::string_body> raw;
};

using Clock = std::chrono::steady_clock;

// scale-service run as `command` (the program first), its output and errors on pipes.
TestSupport::Launch ServiceLaunch(const std::vector<std::string>& command, long descriptors = 0) {
  TestSupport::Launch launch;
  launch.command = command;
  launch.output = TestSupport::Stream::Pipe;
  launch.errors = TestSupport::Stream::Pipe;
  launch.descriptorLimit = descriptors;
  return launch;
}

class ServiceTest : public ::testing::Test {
 protected:
  // The scale "till": a POS2MProV1 scale with 1250 g on it.
  void Start(bool pty, const std::vector<std::string>& extra = {}, long descriptors = 0) {
    state_ = Scalesim::MakeScaleState();
    state_->SetWeight(1250);
    auto responder = std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("POS2MProV1", state_));
    simulator_ = pty ? Scalesim::Simulator::StartPty(responder) : Scalesim::Simulator::StartTcp(responder);
    std::string spec = pty ? "till=serial:" + simulator_->Path() + ",protocol=POS2MProV1"
                           : "till=tcp:127.0.0.1:" + std::to_string(simulator_->Port());
    std::vector<std::string> args = {SCALE_SERVICE, "--scale", spec, "--listen", "127.0.0.1:0", "--idle-poll-ms", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    service_ = std::make_unique<TestSupport::ChildProcess>(ServiceLaunch(args, descriptors));
    std::string line = service_->ReadLine(std::chrono::seconds(30));
    ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
    port_ = line.substr(line.rfind(':') + 1);
  }

  Answer Send(http::verb method, const std::string& target, const std::string& body = "",
              const std::vector<std::pair<std::string, std::string>>& headers = {}) {
    net::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(std::stoi(port_))));
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, "127.0.0.1:" + port_);
    // Changing requests are JSON, as the page and every program sends them.
    if (method == http::verb::post) request.set(http::field::content_type, "application/json");
    for (const auto& [name, value] : headers) request.set(name, value);
    request.body() = body;
    request.prepare_payload();
    http::write(stream, request);
    return ReadAnswer(stream);
  }
  Answer Get(const std::string& target) { return Send(http::verb::get, target); }

  // Raw bytes on a connection of their own, and the answer (status 0 when none came).
  Answer Raw(const std::string& bytes, std::chrono::milliseconds pause = std::chrono::milliseconds(0)) {
    net::io_context io;
    beast::tcp_stream stream(io);
    stream.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(std::stoi(port_))));
    beast::error_code error;
    net::write(stream, net::buffer(bytes), error);
    if (pause.count()) std::this_thread::sleep_for(pause);
    return ReadAnswer(stream);
  }

  static Answer ReadAnswer(beast::tcp_stream& stream) {
    Answer answer;
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(1 << 20);
    beast::error_code error;
    stream.expires_after(std::chrono::seconds(30));
    http::read(stream, buffer, parser, error);
    if (error) return answer;
    answer.raw = parser.release();
    answer.status = static_cast<int>(answer.raw.result_int());
    answer.body = answer.raw.body();
    return answer;
  }

  std::shared_ptr<Scalesim::ScaleState> state_;
  std::unique_ptr<Scalesim::Simulator> simulator_;
  std::unique_ptr<TestSupport::ChildProcess> service_;
  std::string port_;
};

// A stream client on its own thread's I/O.
struct StreamClient {
  net::io_context io;
  websocket::stream<beast::tcp_stream> ws{io};
  beast::error_code Connect(const std::string& port, const std::string& target, const std::string& origin = "") {
    beast::error_code error;
    beast::get_lowest_layer(ws).connect(
        tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(std::stoi(port))), error);
    if (error) return error;
    ws.set_option(websocket::stream_base::decorator([origin](websocket::request_type& request) {
      if (!origin.empty()) request.set(http::field::origin, origin);
    }));
    ws.handshake("127.0.0.1:" + port, target, error);
    return error;
  }
  // The next message that is not a heartbeat.
  json Next() {
    for (;;) {
      beast::flat_buffer buffer;
      beast::get_lowest_layer(ws).expires_after(std::chrono::seconds(15));
      ws.read(buffer);
      json message = json::parse(beast::buffers_to_string(buffer.data()));
      if (message["type"] != "heartbeat") return message;
    }
  }
};

class ServiceApiTest : public ServiceTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ServiceApiTest, AnswersTheTable) {
  Start(GetParam());
  struct Row {
    http::verb method;
    std::string target;
    std::string body;
    int status;
    std::vector<std::string> contains;
  };
  const std::vector<Row> rows = {
      {http::verb::get, "/v1/scales/till/weight", "", 200,
       {"\"scale\":\"till\"", "\"weight_mg\":1250000", "\"text\":\"1250\"", "\"unit\":\"g\"", "\"stable\":true",
        "\"overload\":null", "\"net\":false", "\"tare_mg\":0", "\"read_at\":\"20", "\"status\":11"}},
      {http::verb::get, "/v1/scales/till/weight?stable=true&timeout_ms=500", "", 200, {"\"stable\":true"}},
      // One sale per load, for every client of the scale.
      {http::verb::get, "/v1/scales/till/sale-weight?timeout_ms=500", "", 200,
       {"\"sequence\":1", "\"status\":11", "\"weight_mg\":1250000",
        "\"limits\":{\"division_mg\":2000,\"maximum_mg\":15000000,\"minimum_mg\":40000}"}},
      {http::verb::get, "/v1/scales/till/sale-weight?timeout_ms=0", "", 409,
       {"\"name\":\"WeightSame\"", "\"sequence\":0", "\"weight_mg\":1250000"}},
      {http::verb::get, "/v1/scales/till/health?level=2", "", 200,
       {"\"open\":1", "\"status\":11", "\"protocol\":\"POS2MProV1\"", "\"serial_number\":"}},
      {http::verb::get, "/v1/scales", "", 200,
       {"\"name\":\"till\"", "\"protocol\":\"POS2MProV1\"", "\"state\":\"ready\"", "\"connection\":"}},
      {http::verb::post, "/v1/scales/till/tare", "{\"tare_g\": 250}", 200, {"{}"}},
      {http::verb::get, "/v1/scales/till/weight", "", 200, {"\"weight_mg\":1000000", "\"net\":true", "\"tare_mg\":250000"}},
      {http::verb::post, "/v1/scales/till/zero", "{}", 200, {"{}"}},
      {http::verb::post, "/v1/scales/till/tare", "", 200, {"{}"}},
      {http::verb::get, "/v1/health", "", 200, {"\"till\":{\"state\":\"ready\"}"}},
      {http::verb::get, "/metrics", "", 200, {"scale_reads_total{scale=\"till\",result=\"Ok\"}",
                                             "scale_read_seconds_bucket", "scale_stream_clients{scale=\"till\"} 0",
                                             "scale_up{scale=\"till\"} 1"}},
  };
  for (const auto& row : rows) {
    Answer answer = Send(row.method, row.target, row.body);
    EXPECT_EQ(answer.status, row.status) << row.target << ": " << answer.body;
    for (const auto& part : row.contains) EXPECT_NE(answer.body.find(part), std::string::npos) << row.target << ": " << answer.body << " lacks " << part;
    // No answer may be framed, sniffed or cached.
    EXPECT_EQ(answer.raw["X-Frame-Options"], "DENY") << row.target;
    EXPECT_EQ(answer.raw["X-Content-Type-Options"], "nosniff") << row.target;
    EXPECT_NE(answer.raw["Content-Security-Policy"].find("frame-ancestors 'none'"), std::string::npos) << row.target;
    EXPECT_EQ(answer.raw[http::field::cache_control], "no-store") << row.target;
  }
  // A silent scale answers with the error, never the weight it had.
  auto faults = simulator_->GetFaults();
  faults.silent = true;
  simulator_->SetFaults(faults);
  Answer failed = Get("/v1/scales/till/weight");
  EXPECT_EQ(failed.status, 503) << failed.body;
  EXPECT_EQ(failed.body.find("weight_mg"), std::string::npos) << failed.body;
  EXPECT_NE(failed.body.find("\"error\""), std::string::npos) << failed.body;
  EXPECT_EQ(Get("/v1/health").status, 503);
}

INSTANTIATE_TEST_SUITE_P(TcpAndPty, ServiceApiTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pty" : "Tcp"; });

TEST_F(ServiceTest, StableWaitEndsWith504AndTheUnstableReading) {
  Start(false);
  state_->SetStable(false);
  Answer answer = Get("/v1/scales/till/weight?stable=true&timeout_ms=300");
  EXPECT_EQ(answer.status, 504) << answer.body;
  EXPECT_NE(answer.body.find("\"stable\":false"), std::string::npos) << answer.body;
  EXPECT_NE(answer.body.find("\"weight_mg\":1250000"), std::string::npos) << answer.body;
}

TEST_F(ServiceTest, ASaleWaitsForTheLoadToSettleWhileStreamsGoOn) {
  Start(false);
  state_->SetStable(false);
  Answer unsettled = Get("/v1/scales/till/sale-weight?timeout_ms=300");
  EXPECT_EQ(unsettled.status, 504) << unsettled.body;
  EXPECT_NE(unsettled.body.find("\"name\":\"WeightUnstable\""), std::string::npos) << unsettled.body;
  EXPECT_NE(unsettled.body.find("\"status\":12"), std::string::npos) << unsettled.body;

  StreamClient client;
  ASSERT_FALSE(client.Connect(port_, "/v1/scales/till/stream"));
  EXPECT_EQ(client.Next()["status"], 12);
  std::thread settle([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    state_->SetStable(true);
  });
  Answer sale = Get("/v1/scales/till/sale-weight?timeout_ms=5000");
  settle.join();
  EXPECT_EQ(sale.status, 200) << sale.body;
  EXPECT_NE(sale.body.find("\"sequence\":1"), std::string::npos) << sale.body;
  EXPECT_EQ(client.Next()["status"], 11);  // the stream saw the load settle, not only the sale
}

TEST_F(ServiceTest, StreamFollowsWeightFailureAndRecovery) {
  Start(false);
  StreamClient client;
  ASSERT_FALSE(client.Connect(port_, "/v1/scales/till/stream"));
  json first = client.Next();
  EXPECT_EQ(first["type"], "weight");
  EXPECT_EQ(first["weight_mg"], 1250000);
  state_->SetWeight(2000);
  json changed = client.Next();
  EXPECT_EQ(changed["weight_mg"], 2000000) << changed.dump();
  auto faults = simulator_->GetFaults();
  faults.silent = true;
  simulator_->SetFaults(faults);
  json failed = client.Next();
  EXPECT_EQ(failed["type"], "error") << failed.dump();
  EXPECT_TRUE(failed.contains("error"));
  faults.silent = false;
  simulator_->SetFaults(faults);
  json back = client.Next();
  EXPECT_EQ(back["type"], "weight") << back.dump();
  EXPECT_EQ(back["weight_mg"], 2000000);
  EXPECT_NE(Get("/metrics").body.find("scale_stream_clients{scale=\"till\"} 1"), std::string::npos);
}

TEST_F(ServiceTest, ConcurrentReadersShareExchanges) {
  Start(true);
  auto faults = simulator_->GetFaults();
  faults.delay = std::chrono::milliseconds(150);
  simulator_->SetFaults(faults);
  Get("/v1/scales/till/weight");  // the line is open and settled
  state_->ResetRequestCounts();
  std::vector<std::future<int>> readers;
  for (int i = 0; i < 50; ++i) {
    readers.push_back(std::async(std::launch::async, [this] { return Get("/v1/scales/till/weight").status; }));
  }
  for (auto& reader : readers) EXPECT_EQ(reader.get(), 200);
  // The first reader's exchange, one for everyone who came while it ran, and a spare for
  // readers whose connection was slow to start.
  EXPECT_LE(state_->RequestCount("pos-status"), 3);
  EXPECT_GE(state_->RequestCount("pos-status"), 1);
}

TEST_F(ServiceTest, RefusesWhatBreaksTheLimits) {
  Start(false);
  const std::string host = "Host: 127.0.0.1\r\n";
  // The session's own reads apply the size limits (the answers themselves are in the request
  // table).
  std::string manyFields;
  for (int i = 0; i < 101; ++i) manyFields += "X-Field-" + std::to_string(i) + ": 1\r\n";
  struct Row {
    std::string name;
    std::string bytes;
    int status;
  };
  const std::vector<Row> rows = {
      {"over 16 KB", "POST /v1/scales/till/zero HTTP/1.1\r\n" + host + "Content-Length: 20000\r\n\r\n" +
                         std::string(20000, ' '), 413},
      {"101 header fields", "GET / HTTP/1.1\r\n" + host + manyFields + "\r\n", 431},
  };
  for (const auto& row : rows) EXPECT_EQ(Raw(row.bytes).status, row.status) << row.name;

  // A client that leaves mid-answer, and one that never finishes its header; others are served
  // meanwhile.
  {
    net::io_context io;
    tcp::socket socket(io);
    socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(std::stoi(port_))));
    std::string request = "GET / HTTP/1.1\r\n" + host + "\r\n";
    net::write(socket, net::buffer(request));
    socket.set_option(net::socket_base::linger(true, 0));
    socket.close();
  }
  auto slow = std::async(std::launch::async, [&] { return Raw("GET /v1/scales HTTP/1.1\r\n" + host); });
  EXPECT_EQ(Get("/v1/scales/till/weight").status, 200);
  Answer timedOut = slow.get();
  EXPECT_EQ(timedOut.status, 408) << timedOut.body;
  EXPECT_EQ(Get("/v1/health").status, 200);
}

TEST_F(ServiceTest, TokenIsRequiredWhenGiven) {
  const std::string file = ::testing::TempDir() + "/service-token";
  FILE* out = fopen(file.c_str(), "w");
  ASSERT_NE(out, nullptr);
  fputs("s3cret +1\n", out);
  fclose(out);
  // The token file is read; the answers to plain requests are in the request table.
  Start(false, {"--token-file", file});
  const std::vector<std::pair<std::string, bool>> streams = {
      {"/v1/scales/till/stream?access_token=s3cret", false},
      {"/v1/scales/till/stream?access_token=s3cret%20%2B1", true},
      {"/v1/scales/till/stream?access_token=s3cret+%2b1", true},
  };
  for (const auto& [target, accepted] : streams) {
    StreamClient client;
    beast::error_code error = client.Connect(port_, target);
    EXPECT_EQ(!error, accepted) << target << ": " << error.message();
    if (accepted) {
      EXPECT_EQ(client.Next()["weight_mg"], 1250000) << target;
    }
  }
}

// The page at "/" in a real browser, with a token as the address gives it to the page.
TEST_F(ServiceTest, PageInHeadlessChromiumShowsTheWeightAndTares) {
  const std::string chromium = HeadlessBrowser::Find();
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed (Debian package \"chromium\"): the page is not tried";
  const std::string work = ::testing::TempDir() + "/service-page-" + std::to_string(getpid());
  std::filesystem::create_directories(work + "/profile");
  const std::string tokenFile = work + "/token";
  FILE* out = fopen(tokenFile.c_str(), "w");
  ASSERT_NE(out, nullptr);
  fputs("page-token\n", out);
  fclose(out);
  Start(false, {"--token-file", tokenFile});
  {
    HeadlessBrowser browser(chromium, work + "/profile", "http://127.0.0.1:" + port_ + "/#token=page-token");
    ASSERT_TRUE(browser.Started()) << browser.Failure();
    const std::string card = "document.querySelector('#scale-till')";
    const std::string weight = "(" + card + "?.querySelector('.weight').textContent ?? '')";
    EXPECT_EQ(browser.WaitFor(weight, "1250 g", std::chrono::seconds(30)), "1250 g") << browser.Failure();
    EXPECT_EQ(browser.Evaluate("location.hash"), "") << "the token stays in the address";
    EXPECT_EQ(browser.Evaluate(card + ".querySelector('.state').textContent"), "ready stable");

    browser.Evaluate(card + ".querySelector('button.weigh').click()");
    EXPECT_EQ(browser.WaitFor(card + ".dataset.sale ?? ''", "1", std::chrono::seconds(15)), "1")
        << browser.Evaluate(card + ".querySelector('.sale').textContent");

    browser.Evaluate(card + ".querySelector('button.tare').click()");
    EXPECT_EQ(browser.WaitFor(card + ".dataset.last ?? ''", "tare", std::chrono::seconds(15)), "tare")
        << browser.Evaluate(card + ".querySelector('.error').textContent");
    EXPECT_EQ(state_->RequestCount("pos-tare"), 1);
    EXPECT_EQ(state_->GetReadings().tare, 1250);
    EXPECT_EQ(browser.WaitFor(weight, "0 g", std::chrono::seconds(15)), "0 g");
    EXPECT_EQ(browser.WaitFor(card + ".querySelector('.state').textContent", "ready zero net", std::chrono::seconds(5)),
              "ready zero net");

    const std::string artefacts = std::string(BUILD_DIR) + "/test-artefacts";
    std::filesystem::create_directories(artefacts);
    const std::string shot = artefacts + "/service-page.png";
    EXPECT_TRUE(browser.Screenshot(shot)) << browser.Failure();
    std::cout << "screenshot of the page: " << shot << std::endl;
  }
  std::filesystem::remove_all(work);
}

// Changes from the pages that may send them, and from programs that name no site, reach the
// scale (the refusals of the others are in the request table).
TEST_F(ServiceTest, AcceptsChangesFromAllowedPagesAndPrograms) {
  Start(false, {"--allow-origin", "http://till.example:8080"});
  const std::string own = "http://127.0.0.1:" + port_;
  using Headers = std::vector<std::pair<std::string, std::string>>;
  struct Row {
    std::string name;
    std::string path;
    Headers headers;
  };
  const std::vector<Row> rows = {
      {"allowed Origin", "tare", {{"Origin", "http://till.example:8080"}}},
      {"the service's own page", "zero", {{"Origin", own}, {"Sec-Fetch-Site", "same-origin"}}},
      {"own Referer", "tare", {{"Referer", own + "/"}}},
      {"Sec-Fetch-Site none (typed by the user)", "zero", {{"Sec-Fetch-Site", "none"}}},
      {"a program: JSON, nothing else", "tare", {{"Content-Type", "application/json; charset=utf-8"}}},
  };
  for (const auto& row : rows) {
    const int before = state_->RequestCount("pos-tare") + state_->RequestCount("pos-zero");
    Answer answer = Send(http::verb::post, "/v1/scales/till/" + row.path, "{}", row.headers);
    EXPECT_EQ(answer.status, 200) << row.name << ": " << answer.body;
    EXPECT_EQ(state_->RequestCount("pos-tare") + state_->RequestCount("pos-zero") - before, 1) << row.name;
  }
}

// SIGTERM with readers waiting on a silent scale: every reader is answered and the process ends
// within one transfer time-out (700 ms on TCP) and a second.
TEST_F(ServiceTest, StopsPromptlyWithReadersWaitingOnASilentScale) {
  enum class Reader { Weight, StableWeight, Stream };
  const std::vector<std::pair<std::string, std::vector<Reader>>> rows = {
      {"two weight requests", {Reader::Weight, Reader::Weight}},
      {"a stable wait and a stream", {Reader::StableWeight, Reader::Stream}},
  };
  for (const auto& [name, readers] : rows) {
    SCOPED_TRACE(name);
    Start(false);
    auto faults = simulator_->GetFaults();
    faults.silent = true;
    simulator_->SetFaults(faults);
    std::vector<std::future<int>> answers;
    std::vector<std::unique_ptr<StreamClient>> streams;
    for (Reader reader : readers) {
      if (reader == Reader::Stream) {
        streams.push_back(std::make_unique<StreamClient>());
        EXPECT_FALSE(streams.back()->Connect(port_, "/v1/scales/till/stream"));
        continue;
      }
      const std::string target = reader == Reader::Weight ? "/v1/scales/till/weight"
                                                          : "/v1/scales/till/weight?stable=true&timeout_ms=20000";
      answers.push_back(std::async(std::launch::async, [this, target] { return Get(target).status; }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the readers wait on the line
    const auto signalled = Clock::now();
    service_->Signal(SIGTERM);
    EXPECT_EQ(service_->Wait(std::chrono::milliseconds(700 + 1000)), 0) << "-1: still running after 1.7 s";
    std::cout << name << ": ended " << std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled).count()
              << " ms after SIGTERM" << std::endl;
    for (auto& answer : answers) EXPECT_EQ(answer.get(), 503);
  }
}

// Descriptor exhaustion: with 256 descriptors and 500 clients that never finish their header,
// the oldest of them make room and a well-behaved client is served at once (not after the
// 10 s header time-out).
TEST_F(ServiceTest, ServesAWellBehavedClientPastManySlowOnes) {
  rlimit own{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &own), 0);
  own.rlim_cur = own.rlim_max;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &own), 0);
  ASSERT_GE(own.rlim_cur, 600u) << "the test holds 500 connections";
  Start(false, {}, 256);
  const tcp::endpoint service(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(std::stoi(port_)));
  net::io_context io;
  std::vector<tcp::socket> slow;
  const std::string partial = "GET /v1/scales HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  for (int i = 0; i < 500; ++i) {
    slow.emplace_back(io);
    beast::error_code error;
    slow.back().connect(service, error);
    ASSERT_FALSE(error) << "connection " << i << ": " << error.message();
    net::write(slow.back(), net::buffer(partial), error);
  }
  const auto asked = Clock::now();
  Answer answer = Get("/v1/scales");
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
  std::cout << "a well-behaved client past 500 slow ones was served in " << waited.count() << " ms" << std::endl;
  EXPECT_EQ(answer.status, 200);
  EXPECT_LT(waited.count(), 2000) << "served only after slow clients timed out";
  // The oldest slow client was closed to make room; the newest still holds on.
  char byte = 0;
  beast::error_code closed;
  slow.front().read_some(net::buffer(&byte, 1), closed);
  EXPECT_TRUE(closed == net::error::eof || closed == net::error::connection_reset) << closed.message();
  slow.back().non_blocking(true);
  beast::error_code open;
  slow.back().read_some(net::buffer(&byte, 1), open);
  EXPECT_EQ(open, net::error::would_block) << open.message();
  EXPECT_EQ(Get("/metrics").body.find("scale_service_connections_evicted_total 0\n"), std::string::npos);
}

// Under systemd (Type=notify): READY=1 once listening, WATCHDOG=1 from the I/O loop at half the
// watchdog time-out, STOPPING=1 on SIGTERM, all on the socket systemd names.
TEST_F(ServiceTest, TellsSystemdReadyWatchdogAndStopping) {
  const std::string path = ::testing::TempDir() + "/notify-" + std::to_string(getpid());
  ::unlink(path.c_str());
  net::io_context io;
  net::local::datagram_protocol::socket notify(io, net::local::datagram_protocol::endpoint(path));
  timeval limit{5, 0};  // a notice that never comes fails the test rather than hanging it
  setsockopt(notify.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setenv("NOTIFY_SOCKET", path.c_str(), 1);
  setenv("WATCHDOG_USEC", "400000", 1);  // a ping every 200 ms
  Start(false);
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  auto next = [&notify] {
    char text[256];
    return std::string(text, notify.receive(net::buffer(text)));
  };
  EXPECT_EQ(next().rfind("READY=1", 0), 0u);
  const auto first = Clock::now();
  EXPECT_EQ(next(), "WATCHDOG=1");
  EXPECT_EQ(next(), "WATCHDOG=1");
  EXPECT_GE(Clock::now() - first, std::chrono::milliseconds(150));
  service_->Signal(SIGTERM);
  std::string message;
  while ((message = next()) == "WATCHDOG=1") {
  }
  EXPECT_EQ(message, "STOPPING=1");
  EXPECT_EQ(service_->WaitOrKill(std::chrono::seconds(30)), 0);
  ::unlink(path.c_str());
}

// Every series of a configured scale exists before its first reading; promtool (Debian's
// "prometheus") checks the text where it is installed.
TEST_F(ServiceTest, MetricsExistFromTheStart) {
  Start(false);
  const std::string before = Get("/metrics").body;
  for (const char* series : {"scale_up{scale=\"till\"} 0\n", "scale_stream_clients{scale=\"till\"} 0\n",
                             "scale_reads_total{scale=\"till\",result=\"Ok\"} 0\n",
                             "scale_read_seconds_count{scale=\"till\"} 0\n", "scale_service_build_info{version=\""}) {
    EXPECT_NE(before.find(series), std::string::npos) << series << " missing in\n" << before;
  }
  EXPECT_EQ(before.find("failures"), std::string::npos) << "the failures repeat scale_reads_total";
  ASSERT_EQ(Get("/v1/scales/till/weight").status, 200);
  StreamClient stream;
  ASSERT_FALSE(stream.Connect(port_, "/v1/scales/till/stream"));
  stream.Next();
  const std::string after = Get("/metrics").body;
  EXPECT_NE(after.find("scale_up{scale=\"till\"} 1\n"), std::string::npos) << after;
  EXPECT_NE(after.find("scale_stream_clients{scale=\"till\"} 1\n"), std::string::npos) << after;

  if (std::system("command -v promtool >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "promtool is not installed (Debian package \"prometheus\"): the format is not linted";
  }
  const std::string file = ::testing::TempDir() + "/service-metrics-" + std::to_string(getpid()) + ".txt";
  std::ofstream(file) << after;
  const std::string command = "promtool check metrics <" + file + " 2>&1";
  FILE* lint = popen(command.c_str(), "r");
  ASSERT_NE(lint, nullptr);
  std::string output;
  char buffer[512];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, lint)) > 0;) output.append(buffer, n);
  EXPECT_EQ(pclose(lint), 0) << output;
  EXPECT_EQ(output, "") << output;
  std::filesystem::remove(file);
}

// tcp: and serial: scales are opened from their settings: a killed service leaves the store
// every process shares as it was.
TEST_F(ServiceTest, AKilledServiceLeavesTheStoreAsItWas) {
  pdx_handle handle = 0;
  ASSERT_EQ(pdx_create(&handle), PDX_OK);  // the store as any program finds it
  pdx_destroy(handle);
  const std::string store = std::string(std::getenv("APPDATA")) + "/KORVALT/Trelvane/logic-devices-connection-config.json";
  auto bytes = [&store] {
    std::ifstream in(store, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = bytes();
  ASSERT_FALSE(before.empty());
  for (bool pty : {false, true}) {
    Start(pty);
    EXPECT_EQ(Get("/v1/scales/till/weight").status, 200);
    EXPECT_EQ(bytes(), before) << "written while serving";
    service_->Signal(SIGKILL);
    service_->WaitOrKill(std::chrono::seconds(30));
    EXPECT_EQ(bytes(), before);
  }
}

TEST(ServiceSettings, BadSettingFailsWithOneLineAndStatus2) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
      {{}, "no --scale"},
      {{"--scale", "till"}, "NAME=SPEC"},
      {{"--scale", "till=bus:1"}, "neither"},
      {{"--scale", "till=tcp:host"}, "tcp:HOST:PORT"},
      {{"--scale", "till=tcp:h:1,protocol=XYZ"}, "protocol=XYZ"},
      {{"--scale", "till=tcp:h:1", "--listen", "0.0.0.0:8731"}, "--token-file"},
      {{"--scale", "till=tcp:h:1", "--listen", "127.0.0.1:99999"}, "--listen"},
      {{"--scale", "till=tcp:h:1", "--config", "/nonexistent.json"}, "--config"},
      {{"--scale", "till=tcp:h:1", "--colour", "red"}, "colour"},
      {{"--scale", "till=tcp:h:1", "--log-level", "debug"}, "--log-level"},
      {{"--scale", "till=tcp:h:1", "--max-connections", "0"}, "--max-connections"},
  };
  for (const auto& [args, expected] : rows) {
    std::vector<std::string> all = {SCALE_SERVICE};
    all.insert(all.end(), args.begin(), args.end());
    TestSupport::ChildProcess program(ServiceLaunch(all));
    std::string errors = program.ReadAll(2);
    EXPECT_EQ(program.WaitOrKill(std::chrono::seconds(30)), 2) << expected;
    EXPECT_NE(errors.find(expected), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  }
}

}  // namespace
