// scale-service: the scales of this machine for browser point-of-sale pages, over HTTP and
// WebSocket on a local port.
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include "platform/descriptor-limit.hpp"
#include "platform/service-host.hpp"
#include "service/service.hpp"
#include "service/sessions.hpp"
#include "service/supervisor.hpp"

namespace {

using namespace ScaleService;
using Clock = std::chrono::steady_clock;

// After SIGTERM: the failures of waiting readers are written for this long before the I/O
// stops [ms].
constexpr int kAnswerGraceMs = 150;
// The longest a worker may still be in a library call once the I/O stopped: one transfer
// time-out (1000 ms at 4800 baud; an open that detects the protocol on a silent line takes
// several). A worker still busy then is left to the exit, which stays within a transfer
// time-out and a second of the signal [ms].
constexpr int kWorkerStopMs = 1000;

// The settings of the command line; false when the program is done (help shown, or a bad
// setting named with exit status 2 in `status`).
bool ReadSettings(int argc, char** argv, ServiceSettings& settings, int& status) {
  try {
    bool help = false;
    settings = ParseCommandLine(argc, argv, help);
    if (!help) return true;
    std::cout << Usage();
    status = 0;
  } catch (const ConfigError& error) {
    std::cerr << "scale-service: " << error.what() << "\n";
    status = 2;
  }
  return false;
}

// The library's log level, and the connection cap the descriptor limit allows.
void ApplyLimits(ServiceSettings& settings) {
  pdx_logging_set_mode(settings.logLevel);
  const long descriptors = Korvalt::Ponderix::Platform::RaiseDescriptorLimit();
  const int cap = ConnectionCap(settings, descriptors);
  if (cap < settings.maxConnections) {
    std::cerr << "scale-service: --max-connections " << settings.maxConnections << " lowered to " << cap
              << " (the descriptor limit is " << descriptors << ")\n";
  }
  settings.maxConnections = cap;
}

std::vector<std::string> ScaleNames(const ServiceSettings& settings) {
  std::vector<std::string> names;
  for (const auto& spec : settings.scales) names.push_back(spec.name);
  return names;
}

// One worker per scale, each started; false after naming the first that cannot start.
bool StartWorkers(const ServiceSettings& settings, Metrics& metrics, std::vector<std::unique_ptr<ScaleWorker>>& workers) {
  for (const auto& spec : settings.scales) {
    workers.push_back(std::make_unique<ScaleWorker>(spec, settings, metrics));
    int code = workers.back()->Start();
    if (code != PDX_OK) {
      std::cerr << "scale-service: --scale " << spec.name << ": " << ResultName(code) << ": " << ResultMessage(code)
                << "\n";
      return false;
    }
  }
  return true;
}

// The watchdog ping from the I/O loop: a loop that hangs stops pinging.
void Watchdog(boost::asio::steady_timer& timer, std::chrono::milliseconds interval) {
  Supervisor::Alive();
  timer.expires_after(interval);
  timer.async_wait([&timer, interval](const boost::system::error_code& error) {
    if (!error) Watchdog(timer, interval);
  });
}

// Serves until SIGINT or SIGTERM; false when the address cannot be listened on. The stop: no
// new connections, every waiting reader answered with a failure while the I/O still runs, a
// moment to write those answers, then the I/O stops.
bool Serve(boost::asio::io_context& io, Service& service, const ServiceSettings& settings,
           const std::vector<std::unique_ptr<ScaleWorker>>& workers) {
  std::uint16_t port = 0;
  std::function<void()> stopListening;
  try {
    port = Listen(service, settings, stopListening);
  } catch (const std::exception& error) {
    std::cerr << "scale-service: --listen " << settings.listenAddress << ":" << settings.listenPort << ": "
              << error.what() << "\n";
    return false;
  }
  const bool v6 = settings.listenAddress.find(':') != std::string::npos;
  std::cout << "listening on " << (v6 ? "[" : "") << settings.listenAddress << (v6 ? "]" : "") << ":" << port
            << std::endl;
  Supervisor::Ready();
  boost::asio::steady_timer watchdog(io);
  if (Supervisor::WatchdogInterval().count() > 0) Watchdog(watchdog, Supervisor::WatchdogInterval());
  boost::asio::steady_timer grace(io);
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code& error, int) {
    if (error) return;
    Supervisor::Stopping();
    stopListening();
    watchdog.cancel();
    for (const auto& worker : workers) worker->BeginStop();
    grace.expires_after(std::chrono::milliseconds(kAnswerGraceMs));
    grace.async_wait([&io](const boost::system::error_code&) { io.stop(); });
  });
#ifdef SIGPIPE
  // A client gone mid-answer is an error code of the write, never a signal.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  io.run();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Windows: --install-service, --uninstall-service, and the service control protocol when the
  // Service Control Manager starts the program (its stop arrives as SIGTERM). Nothing elsewhere.
  if (const auto status = Korvalt::Ponderix::Platform::HostService(
          argc, argv, {"scale-service", "Ponderix scale service", "Serves the scales of this machine to point-of-sale pages"}))
    return *status;
  ServiceSettings settings;
  int status = 0;
  if (!ReadSettings(argc, argv, settings, status)) return status;
  ApplyLimits(settings);
  Metrics metrics(ScaleNames(settings), SCALE_SERVICE_VERSION);
  // The I/O context outlives the workers (their answers are posted into it until they are
  // joined) and goes before the service (its pending handlers hold sessions that refer to it).
  auto io = std::make_unique<boost::asio::io_context>(1);
  std::vector<std::unique_ptr<ScaleWorker>> workers;
  std::vector<ScaleWorker*> pointers;
  bool served = StartWorkers(settings, metrics, workers);
  for (const auto& worker : workers) pointers.push_back(worker.get());
  Service service(*io, settings, metrics, pointers);
  if (served) served = Serve(*io, service, settings, workers);
  const auto deadline = Clock::now() + std::chrono::milliseconds(kWorkerStopMs);
  bool joined = true;
  for (auto& worker : workers) joined = worker->Stop(deadline) && joined;
  if (!joined) {
    // A worker is still inside the library on a line that does not answer: end without
    // destroying what it uses.
    std::cout.flush();
    std::_Exit(served ? 0 : 2);
  }
  io.reset();
  return served ? 0 : 2;
}
