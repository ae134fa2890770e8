// scale-service: the scales of this machine for browser point-of-sale pages, over HTTP and
// WebSocket on a local port.
#include <csignal>
#include <iostream>
#include <memory>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>

#include "service/service.hpp"

int main(int argc, char** argv) {
  using namespace ScaleService;
  ServiceSettings settings;
  try {
    bool help = false;
    settings = ParseCommandLine(argc, argv, help);
    if (help) {
      std::cout << Usage();
      return 0;
    }
  } catch (const ConfigError& error) {
    std::cerr << "scale-service: " << error.what() << "\n";
    return 2;
  }

  Metrics metrics;
  std::vector<std::unique_ptr<ScaleWorker>> workers;
  std::vector<ScaleWorker*> pointers;
  for (const auto& spec : settings.scales) {
    workers.push_back(std::make_unique<ScaleWorker>(spec, settings, metrics));
    int code = workers.back()->Start();
    if (code != PDX_OK) {
      std::cerr << "scale-service: --scale " << spec.name << ": " << ResultName(code) << ": " << ResultMessage(code)
                << "\n";
      return 2;
    }
    pointers.push_back(workers.back().get());
  }

  boost::asio::io_context io(1);
  Service service(io, settings, metrics, pointers);
  std::uint16_t port = 0;
  try {
    port = Listen(service, settings);
  } catch (const std::exception& error) {
    std::cerr << "scale-service: --listen " << settings.listenAddress << ":" << settings.listenPort << ": "
              << error.what() << "\n";
    return 2;
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
  for (auto& worker : workers) worker->Stop();
  return 0;
}
