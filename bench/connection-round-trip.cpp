// Cost of the connection layer: one request/reply round trip over a pseudo-terminal and over
// TCP on 127.0.0.1, through SerialPortConnection/TCPConnection and through bare read/write,
// against a simulator that answers at once. Prints the ratio driver / bare per transport.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <set>
#include <memory>
#include <stdexcept>
#include <string>

#include "driver/connections/connection.hpp"
#include "driver/logging/logging.hpp"
#include "simulator/script-responder.hpp"
#include "simulator/simulator.hpp"

namespace {

using Korvalt::Ponderix::Driver::ByteVector;
using Korvalt::Ponderix::Driver::ErrorCase;

const std::string kRequest = "Gmax\r\n";
const std::string kReply = "max=15\r\n";

std::unique_ptr<Scalesim::Simulator> StartSimulator(bool tcp) {
  auto script = std::make_shared<Scalesim::ScriptResponder>();
  script->AddReply(Scalesim::ToBytes(kReply));
  script->SetRepeat(true);
  return tcp ? Scalesim::Simulator::StartTcp(script) : Scalesim::Simulator::StartPty(script);
}

bool EndsWithCrLf(const ByteVector& bytes) {
  return bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r' && bytes.back() == '\n';
}

void DriverRoundTrips(benchmark::State& state, bool tcp, int logMode) {
  Korvalt::Ponderix::Driver::Logging::SetMode(logMode);
  auto simulator = StartSimulator(tcp);
  auto connection = tcp ? Korvalt::Ponderix::Driver::MakeTCPConnection(
                              "127.0.0.1:" + std::to_string(simulator->Port()), "77")
                        : Korvalt::Ponderix::Driver::MakeSerialPortConnection(simulator->Path());
  ErrorCase result = ErrorCase::Correct;
  connection->Open(result);
  connection->SetDefaultOptions(result);
  if (result != ErrorCase::Correct) {
    state.SkipWithError("cannot open the connection");
    return;
  }
  const ByteVector request(kRequest.begin(), kRequest.end());
  for (auto _ : state) {
    ByteVector response;
    connection->WriteData(request, result);
    connection->SetTransferState(0);
    connection->ReadData(response, EndsWithCrLf, result);
    if (result != ErrorCase::Correct || response.size() != kReply.size()) {
      state.SkipWithError("bad exchange");
      break;
    }
  }
  connection->Close();
}

int OpenBare(bool tcp, const Scalesim::Simulator& simulator) {
  if (!tcp) {
    int fd = ::open(simulator.Path().c_str(), O_RDWR | O_NOCTTY);
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    ::cfmakeraw(&attributes);
    ::tcsetattr(fd, TCSANOW, &attributes);
    return fd;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(simulator.Port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void BareRoundTrips(benchmark::State& state, bool tcp) {
  auto simulator = StartSimulator(tcp);
  int fd = OpenBare(tcp, *simulator);
  if (fd < 0) {
    state.SkipWithError("cannot open the line");
    return;
  }
  for (auto _ : state) {
    if (::write(fd, kRequest.data(), kRequest.size()) != static_cast<ssize_t>(kRequest.size())) {
      state.SkipWithError("write failed");
      break;
    }
    ByteVector response;
    unsigned char buffer[512];
    while (!EndsWithCrLf(response)) {
      pollfd in{fd, POLLIN, 0};
      if (::poll(&in, 1, 700) <= 0) break;
      ssize_t count = ::read(fd, buffer, sizeof buffer);
      if (count <= 0) break;
      response.insert(response.end(), buffer, buffer + count);
    }
    if (response.size() != kReply.size()) {
      state.SkipWithError("bad exchange");
      break;
    }
  }
  ::close(fd);
}

// Trace logging writes every byte dump to the log file; error level is how a site runs.
BENCHMARK_CAPTURE(BareRoundTrips, pty, false)->UseRealTime();
BENCHMARK_CAPTURE(DriverRoundTrips, pty_log_error, false, 3)->UseRealTime();
BENCHMARK_CAPTURE(DriverRoundTrips, pty_log_trace, false, 0)->UseRealTime();
BENCHMARK_CAPTURE(BareRoundTrips, tcp, true)->UseRealTime();
BENCHMARK_CAPTURE(DriverRoundTrips, tcp_log_error, true, 3)->UseRealTime();
BENCHMARK_CAPTURE(DriverRoundTrips, tcp_log_trace, true, 0)->UseRealTime();

class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions the median stands for the benchmark, else its single run.
    for (const auto& run : runs) {
      if (run.error_occurred) continue;
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median || (run.run_type == Run::RT_Iteration && medians.count(run.run_name.function_name) == 0)) {
        times[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpuTimes[run.run_name.function_name] = run.GetAdjustedCPUTime();
        if (median) medians.insert(run.run_name.function_name);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
  std::map<std::string, double> cpuTimes;
  std::set<std::string> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* transport : {"pty", "tcp"}) {
    auto bare = reporter.times.find(std::string("BareRoundTrips/") + transport);
    if (bare == reporter.times.end()) continue;
    for (const char* log : {"log_error", "log_trace"}) {
      auto driver = reporter.times.find(std::string("DriverRoundTrips/") + transport + "_" + log);
      if (driver == reporter.times.end()) continue;
      const auto& cpu = reporter.cpuTimes;
      double cpuRatio = cpu.at(driver->first) / cpu.at(bare->first);
      std::printf("%s, %s: driver / bare = %.3f real time (%+.1f%%), %.3f CPU time of the calling thread\n",
                  transport, log, driver->second / bare->second, 100.0 * (driver->second / bare->second - 1.0),
                  cpuRatio);
    }
  }
  return 0;
}
