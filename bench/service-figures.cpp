// Figures of scale-service against simulated POS2MProV1 scales on pseudo-terminals:
//  1. its own cost per weight request: one request to the service and one pdx_read_weight() of
//     this program on a scale of its own, taken in turns, median and p99 of both and the
//     difference (target: at most 1 ms);
//  2. stream latency: a weight change in the simulator until a stream client has it (target: at
//     most one poll, the pause plus one exchange, plus 5 ms);
//  3. resident memory and open descriptors of the service process before, half-way and after
//     weight requests and stream connects and disconnects (target: flat).
// Exit status 0 when every target holds, 1 when a target was missed (a busy machine can do that),
// 3 when a request, a stream or a change failed.
//
//   service-figures [--full] [--cost N] [--changes N] [--requests N] [--streams N] [--poll-ms MS]
// The default is a short run; --full takes 10,000 pairs, 1,000 changes, 100,000 requests and
// 1,000 stream connects.
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "driver/api/ponderix.h"
#include "simulator/responders.hpp"
#include "simulator/simulator.hpp"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Spread {
  double median = 0, p99 = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values) {
  Spread s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  s.median = values[values.size() / 2];
  s.p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
  s.max = values.back();
  return s;
}

struct Scale {
  std::shared_ptr<Scalesim::ScaleState> state = Scalesim::MakeScaleState();
  std::unique_ptr<Scalesim::Simulator> simulator;
  Scale() {
    state->SetWeight(1250);
    simulator = Scalesim::Simulator::StartPty(
        std::shared_ptr<Scalesim::Responder>(Scalesim::MakeProtocolResponder("POS2MProV1", state)));
  }
};

struct Service {
  pid_t pid = -1;
  tcp::endpoint endpoint;
  Service(const Scale& scale, int pollMs) {
    int out[2];
    if (pipe(out) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(out[1], 1);
      const std::string spec = "till=serial:" + scale.simulator->Path() + ",protocol=POS2MProV1";
      const std::string poll = std::to_string(pollMs);
      execl(SCALE_SERVICE, SCALE_SERVICE, "--scale", spec.c_str(), "--listen", "127.0.0.1:0", "--idle-poll-ms", "0",
            "--poll-ms", poll.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    std::string line;
    for (char c; read(out[0], &c, 1) == 1 && c != '\n';) line += c;
    close(out[0]);
    if (line.rfind("listening on ", 0) != 0) {
      std::fprintf(stderr, "scale-service did not start\n");
      std::exit(1);
    }
    endpoint = tcp::endpoint(net::ip::make_address("127.0.0.1"),
                             static_cast<unsigned short>(std::stoi(line.substr(line.rfind(':') + 1))));
  }
  ~Service() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  long RssKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
  }
  int Descriptors() const {
    DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!dir) return -1;
    int count = 0;
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
  }
};

// Weight requests on one kept connection.
struct Client {
  net::io_context io;
  beast::tcp_stream stream{io};
  beast::flat_buffer buffer;
  explicit Client(const tcp::endpoint& endpoint) { stream.connect(endpoint); }
  bool Weight() {
    http::request<http::empty_body> request{http::verb::get, "/v1/scales/till/weight", 11};
    request.set(http::field::host, "127.0.0.1");
    beast::error_code error;
    http::write(stream, request, error);
    http::response<http::string_body> response;
    if (!error) http::read(stream, buffer, response, error);
    return !error && response.result() == http::status::ok;
  }
};

struct Stream {
  net::io_context io;
  websocket::stream<beast::tcp_stream> ws{io};
  bool Open(const tcp::endpoint& endpoint) {
    beast::error_code error;
    beast::get_lowest_layer(ws).connect(endpoint, error);
    if (!error) ws.handshake("127.0.0.1", "/v1/scales/till/stream", error);
    return !error;
  }
  // The next message's text; empty on failure or after 10 s.
  std::string Next() {
    beast::flat_buffer buffer;
    std::string text;
    beast::get_lowest_layer(ws).expires_after(std::chrono::seconds(10));
    ws.async_read(buffer, [&](beast::error_code error, std::size_t) {
      if (!error) text = beast::buffers_to_string(buffer.data());
    });
    io.restart();
    io.run();
    return text;
  }
};

// The library as an application loads it. Loaded with its symbols kept local, its exports
// "open" and "close" do not take this program's (and the simulator's) calls of open() and close().
struct Library {
  void* module = dlopen(DRIVER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  template <typename F>
  F* Get(F*, const char* name) {
    void* symbol = module ? dlsym(module, name) : nullptr;
    if (!symbol) {
      std::fprintf(stderr, "%s: no %s\n", DRIVER_LIBRARY, name);
      std::exit(1);
    }
    return reinterpret_cast<F*>(symbol);
  }
#define PDX_FUNCTION(name) decltype(&::name) name = Get(&::name, #name)
  PDX_FUNCTION(pdx_create);
  PDX_FUNCTION(pdx_destroy);
  PDX_FUNCTION(pdx_add_logic_device);
  PDX_FUNCTION(pdx_set_logic_device_param);
  PDX_FUNCTION(pdx_open);
  PDX_FUNCTION(pdx_close);
  PDX_FUNCTION(pdx_read_weight);
  PDX_FUNCTION(pdx_result_name);
#undef PDX_FUNCTION
};

pdx_handle OpenDirect(Library& pdx, const Scale& scale) {
  pdx_handle handle = 0;
  int id = -1;
  int code = pdx.pdx_create(&handle);
  if (code == PDX_OK) code = pdx.pdx_add_logic_device(handle, &id);
  const std::pair<int, std::string> settings[] = {
      {PDX_LD_NAME, "service-figures"}, {PDX_LD_CONNECTION_TYPE, "Serial Port"},
      {PDX_LD_END_POINT, scale.simulator->Path()}, {PDX_LD_BAUD_RATE, "9600"},
      {PDX_LD_MODEL, "auto"}, {PDX_LD_PROTOCOL, "POS2MProV1"}};
  for (const auto& [type, value] : settings) {
    if (code == PDX_OK) code = pdx.pdx_set_logic_device_param(handle, id, type, value.c_str());
  }
  if (code == PDX_OK) code = pdx.pdx_open(handle, id);
  if (code != PDX_OK) {
    std::fprintf(stderr, "the library cannot open the simulated scale: %s\n", pdx.pdx_result_name(code));
    std::exit(1);
  }
  return handle;
}

struct Options {
  int pairs = 2000, changes = 200, requests = 10000, streams = 200, pollMs = 20;
};

bool ReadOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
    if (arg == "--full") {
      o.pairs = 10000, o.changes = 1000, o.requests = 100000, o.streams = 1000;
    } else if (arg == "--cost") {
      o.pairs = next();
    } else if (arg == "--changes") {
      o.changes = next();
    } else if (arg == "--requests") {
      o.requests = next();
    } else if (arg == "--streams") {
      o.streams = next();
    } else if (arg == "--poll-ms") {
      o.pollMs = next();
    } else {
      std::fprintf(stderr, "usage: service-figures [--full] [--cost N] [--changes N] [--requests N] [--streams N] "
                           "[--poll-ms MS]\n");
      return false;
    }
  }
  return true;
}

// 1. The service's own cost per weight request beside a direct library call, taken in turns;
// the library call's median in `exchangeMs`.
bool MeasureCost(int pairs, int pollMs, double& exchangeMs, bool& broken) {
  Scale direct, served;
  Library pdx;
  pdx_handle handle = OpenDirect(pdx, direct);
  Service service(served, pollMs);
  Client client(service.endpoint);
  pdx_weight weight{};
  std::vector<double> library, viaService;
  int failures = 0;
  for (int i = -100; i < pairs; ++i) {  // the first 100 settle both lines
    auto start = Clock::now();
    failures += pdx.pdx_read_weight(handle, &weight) != PDX_OK;
    const double libraryMs = Ms(Clock::now() - start);
    start = Clock::now();
    failures += !client.Weight();
    const double serviceMs = Ms(Clock::now() - start);
    if (i >= 0) {
      library.push_back(libraryMs);
      viaService.push_back(serviceMs);
    }
  }
  pdx.pdx_close(handle);
  pdx.pdx_destroy(handle);
  const Spread a = SpreadOf(library), b = SpreadOf(viaService);
  exchangeMs = a.median;
  const double cost = b.median - a.median;
  std::printf("cost per weight request, %d pairs in turns, pseudo-terminal:\n", pairs);
  std::printf("  library call      median %7.3f ms  p99 %7.3f ms\n", a.median, a.p99);
  std::printf("  service request   median %7.3f ms  p99 %7.3f ms\n", b.median, b.p99);
  std::printf("  service's cost    median %7.3f ms  p99 %7.3f ms  (target <= 1 ms)%s\n", cost, b.p99 - a.p99,
              cost <= 1.0 && failures == 0 ? "" : "  MISSED");
  if (failures) std::printf("  %d failed calls\n", failures);
  broken = broken || failures != 0;
  return cost <= 1.0 && failures == 0;
}

// The time from each weight change to the stream message carrying it; false when one was lost.
bool ChangeLatencies(Scale& streamed, Stream& stream, int changes, int pollMs, double exchangeMs,
                     std::vector<double>& latencies) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> phase(0, pollMs + static_cast<int>(exchangeMs) + 1);
  for (int i = 0; i < changes; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(phase(random)));
    const int grams = 2000 + i % 2;
    const std::string wanted = "\"weight_mg\":" + std::to_string(grams * 1000) + "}";  // the last key
    const auto start = Clock::now();
    streamed.state->SetWeight(grams);
    std::string message;
    while ((message = stream.Next()).find(wanted) == std::string::npos && !message.empty() &&
           Clock::now() - start < std::chrono::seconds(2)) {
    }
    if (message.find(wanted) == std::string::npos) {
      std::printf("  change %d: no message with %d g within 2 s (last: %s)\n", i, grams, message.c_str());
      return false;
    }
    latencies.push_back(Ms(Clock::now() - start));
  }
  return true;
}

// 2. Stream latency of a weight change; -1 when no stream could be had.
int MeasureStreamLatency(Service& service, Scale& streamed, int changes, int pollMs, double exchangeMs,
                         bool& broken) {
  Stream stream;
  if (!stream.Open(service.endpoint)) {
    std::fprintf(stderr, "no stream\n");
    return -1;
  }
  const std::string first = stream.Next();  // the current weight
  if (first.find("\"weight_mg\":1250000") == std::string::npos) {
    std::printf("stream: the first message is not the weight: %s\n", first.c_str());
    return -1;
  }
  std::vector<double> latencies;
  const bool none = !ChangeLatencies(streamed, stream, changes, pollMs, exchangeMs, latencies);
  broken = broken || none;
  const Spread s = SpreadOf(latencies);
  const double bound = pollMs + exchangeMs + 5;
  std::printf("stream latency, %d changes, --poll-ms %d (one poll: %d ms pause + %.3f ms exchange):\n", changes,
              pollMs, pollMs, exchangeMs);
  std::printf("  median %7.3f ms  p99 %7.3f ms  max %7.3f ms  (target <= %.1f ms)%s\n", s.median, s.p99, s.max,
              bound, s.p99 <= bound && !none ? "" : "  MISSED");
  return s.p99 <= bound && !none ? 1 : 0;
}

// Weight requests from four clients, each taking a new connection every 100 requests, while
// stream clients connect, read their first message and leave.
void LoadRound(Service& service, int count, int connects, std::atomic<int>& failures) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const int mine = count / 4 + (t < count % 4 ? 1 : 0);
      for (int done = 0; done < mine;) {
        Client client(service.endpoint);
        for (int k = 0; k < 100 && done < mine; ++k, ++done) failures += !client.Weight();
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < connects; ++i) {
      Stream stream;
      if (!stream.Open(service.endpoint) || stream.Next().empty()) ++failures;
      beast::error_code ignored;
      stream.ws.close(websocket::close_code::normal, ignored);
    }
  });
  for (auto& thread : threads) thread.join();
  // Closed sessions are gone once the service has read their close.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

// 3. Resident memory and descriptors of the service before, half-way and after the load.
bool MeasureFlatness(Service& service, int requests, int streams, bool& broken) {
  std::atomic<int> failures{0};
  LoadRound(service, std::max(1000, requests / 10), std::max(20, streams / 10), failures);  // kept allocations grow first
  const long rss0 = service.RssKiB();
  const int fds0 = service.Descriptors();
  LoadRound(service, requests / 2, streams / 2, failures);
  const long rss1 = service.RssKiB();
  const int fds1 = service.Descriptors();
  LoadRound(service, requests - requests / 2, streams - streams / 2, failures);
  const long rss2 = service.RssKiB();
  const int fds2 = service.Descriptors();
  // Flat: the second half adds no descriptor and at most 256 KiB (allocator slack), the whole
  // run at most 1 MiB.
  const bool flat = fds2 == fds0 && fds1 == fds0 && rss2 - rss1 <= 256 && rss2 - rss0 <= 1024 && failures == 0;
  std::printf("service process over %d weight requests and %d stream connects and disconnects:\n", requests, streams);
  std::printf("  resident memory  %ld KiB before, %ld KiB half-way, %ld KiB after\n", rss0, rss1, rss2);
  std::printf("  descriptors      %d before, %d half-way, %d after  (target: flat)%s\n", fds0, fds1, fds2,
              flat ? "" : "  MISSED");
  if (failures) std::printf("  %d failed requests or streams\n", failures.load());
  broken = broken || failures != 0;
  return flat;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ReadOptions(argc, argv, o)) return 2;
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  // The library's store and log of this run, and of the services it starts, stay out of the home folder.
  char folder[] = "/tmp/service-figures-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  setenv("APPDATA", folder, 1);
  double exchangeMs = 0;
  bool broken = false;
  bool ok = MeasureCost(o.pairs, o.pollMs, exchangeMs, broken);
  // 2 and 3 on one service.
  Scale streamed;
  Service service(streamed, o.pollMs);
  const int latency = MeasureStreamLatency(service, streamed, o.changes, o.pollMs, exchangeMs, broken);
  if (latency < 0) return 3;
  ok = latency == 1 && ok;
  ok = MeasureFlatness(service, o.requests, o.streams, broken) && ok;
  std::printf("%s\n", ok ? "all targets held" : "a target was missed");
  std::string remove = std::string("rm -rf ") + folder;
  if (std::system(remove.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder);
  return broken ? 3 : ok ? 0 : 1;
}
