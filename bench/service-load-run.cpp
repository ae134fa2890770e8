// Load run of scale-service against one simulated POS2MProV1 scale on a pseudo-terminal:
// stream clients held open and weight requests at a fixed rate, then the latency percentiles,
// the errors and the exchanges the scale saw.
//
//   service-load-run [SECONDS=60] [STREAM_CLIENTS=100] [REQUESTS_PER_SECOND=200]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

struct Load {
  tcp::endpoint endpoint;
  std::atomic<bool> stop{false};
  std::atomic<long> errors{0}, streamMessages{0};
  std::mutex latencyMutex;
  std::vector<double> latencies;
};

// scale-service on the simulator's line, on a free port: its pid and the port, or -1.
pid_t StartService(const std::string& path, unsigned short& port) {
  int out[2];
  if (pipe(out) != 0) return -1;
  pid_t service = fork();
  if (service == 0) {
    dup2(out[1], 1);
    std::string spec = "till=serial:" + path + ",protocol=POS2MProV1";
    execl(SCALE_SERVICE, SCALE_SERVICE, "--scale", spec.c_str(), "--listen", "127.0.0.1:0", "--idle-poll-ms", "0",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  for (char c; read(out[0], &c, 1) == 1 && c != '\n';) line += c;
  if (line.rfind("listening on ", 0) != 0) return -1;
  port = static_cast<unsigned short>(std::stoi(line.substr(line.rfind(':') + 1)));
  return service;
}

// One stream client: reads messages until the run stops.
void StreamClient(Load& load) {
  net::io_context io;
  websocket::stream<beast::tcp_stream> ws(io);
  beast::error_code error;
  beast::get_lowest_layer(ws).connect(load.endpoint, error);
  if (!error) ws.handshake("127.0.0.1", "/v1/scales/till/stream", error);
  if (error) {
    ++load.errors;
    return;
  }
  while (!load.stop) {
    beast::flat_buffer buffer;
    beast::get_lowest_layer(ws).expires_after(std::chrono::seconds(10));
    ws.read(buffer, error);
    if (error) {
      if (!load.stop) ++load.errors;
      return;
    }
    ++load.streamMessages;
  }
  ws.close(websocket::close_code::normal, error);
}

// One of `requesters` clients that together send `rate` weight requests a second until `end`.
void Requester(Load& load, int r, int requesters, int rate, Clock::time_point start, Clock::time_point end) {
  net::io_context io;
  beast::tcp_stream stream(io);
  stream.connect(load.endpoint);
  const auto period = std::chrono::microseconds(1000000LL * requesters / rate);
  auto next = start + std::chrono::microseconds(1000000LL * r / rate);
  while (next < end) {
    std::this_thread::sleep_until(next);
    next += period;
    http::request<http::empty_body> request{http::verb::get, "/v1/scales/till/weight", 11};
    request.set(http::field::host, "127.0.0.1");
    const auto sent = Clock::now();
    beast::error_code error;
    http::write(stream, request, error);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    if (!error) http::read(stream, buffer, response, error);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    if (error || response.result() != http::status::ok) ++load.errors;
    std::lock_guard<std::mutex> lock(load.latencyMutex);
    load.latencies.push_back(ms);
  }
}

void PrintFigures(Load& load, int seconds, int streams, int rate, int exchanges) {
  auto& latencies = load.latencies;
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) {
    return latencies.empty() ? 0.0 : latencies[std::min(latencies.size() - 1, static_cast<std::size_t>(p * latencies.size()))];
  };
  std::printf("%d s, %d stream clients, %d requests/s\n", seconds, streams, rate);
  std::printf("requests %zu  p50 %.2f ms  p99 %.2f ms  errors %ld\n", latencies.size(), percentile(0.50),
              percentile(0.99), load.errors.load());
  std::printf("stream messages %ld  scale exchanges %d\n", load.streamMessages.load(), exchanges);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int streams = argc > 2 ? std::atoi(argv[2]) : 100;
  const int rate = argc > 3 ? std::atoi(argv[3]) : 200;
  signal(SIGPIPE, SIG_IGN);

  auto state = Scalesim::MakeScaleState();
  state->SetWeight(1250);
  auto simulator = Scalesim::Simulator::StartPty(
      std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("POS2MProV1", state)));
  unsigned short port = 0;
  const pid_t service = StartService(simulator->Path(), port);
  if (service < 0) {
    std::fprintf(stderr, "scale-service did not start\n");
    return 1;
  }
  Load load;
  load.endpoint = tcp::endpoint(net::ip::make_address("127.0.0.1"), port);
  std::vector<std::thread> threads;
  for (int i = 0; i < streams; ++i) threads.emplace_back([&] { StreamClient(load); });
  const int requesters = 8;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  state->ResetRequestCounts();
  for (int r = 0; r < requesters; ++r) {
    threads.emplace_back([&, r] { Requester(load, r, requesters, rate, start, end); });
  }
  std::this_thread::sleep_until(end);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  load.stop = true;
  for (auto& thread : threads) thread.join();
  kill(service, SIGTERM);
  waitpid(service, nullptr, 0);
  PrintFigures(load, seconds, streams, rate, state->RequestCount("pos-status"));
  return load.errors == 0 ? 0 : 1;
}
