// scale-service: the scales of this machine for browser point-of-sale pages, over HTTP and
// WebSocket on a local port.
#include <csignal>
#include <iostream>
#include <memory>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include "platform/service-host.hpp"
#include "service/service.hpp"

namespace {

using namespace ScaleService;

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

// Serves until SIGINT or SIGTERM; false when the address cannot be listened on.
bool Serve(const ServiceSettings& settings, Metrics& metrics, const std::vector<ScaleWorker*>& workers) {
  boost::asio::io_context io(1);
  Service service(io, settings, metrics, workers);
  std::uint16_t port = 0;
  try {
    port = Listen(service, settings);
  } catch (const std::exception& error) {
    std::cerr << "scale-service: --listen " << settings.listenAddress << ":" << settings.listenPort << ": "
              << error.what() << "\n";
    return false;
  }
  const bool v6 = settings.listenAddress.find(':') != std::string::npos;
  std::cout << "listening on " << (v6 ? "[" : "") << settings.listenAddress << (v6 ? "]" : "") << ":" << port
            << std::endl;
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&io](const boost::system::error_code&, int) { io.stop(); });
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
  Metrics metrics;
  std::vector<std::unique_ptr<ScaleWorker>> workers;
  if (!StartWorkers(settings, metrics, workers)) return 2;
  std::vector<ScaleWorker*> pointers;
  for (const auto& worker : workers) pointers.push_back(worker.get());
  const bool served = Serve(settings, metrics, pointers);
  for (auto& worker : workers) worker->Stop();
  return served ? 0 : 2;
}
