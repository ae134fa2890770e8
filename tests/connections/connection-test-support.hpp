// Shared by the connection tests: a simulator answering from a script, and the driver's
// connection to it.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "driver/connections/asio-connections.hpp"
#include "simulator/script-responder.hpp"
#include "simulator/simulator.hpp"
#include "tests/support/test-environment.hpp"

namespace ConnectionTests {

using Korvalt::Ponderix::Driver::ByteVector;
using Korvalt::Ponderix::Driver::Connection;
using Korvalt::Ponderix::Driver::ErrorCase;

inline ByteVector Bytes(const std::string& text) { return ByteVector(text.begin(), text.end()); }

// A reply of the native text protocol ends with CR LF.
inline bool EndsWithCrLf(const ByteVector& bytes) {
  return bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r' && bytes.back() == '\n';
}

inline std::string LinkPath(const std::string& name) { return TestSupport::AppData() + "/" + name; }

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  long long Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

// Sends bytes the driver did not ask for and waits until they are on the line.
inline void SendUnasked(Scalesim::Simulator& simulator, const std::string& text) {
  auto before = simulator.BytesSent();
  simulator.Send(Scalesim::ToBytes(text));
  for (int waited = 0; simulator.BytesSent() < before + text.size() && waited < 2000; ++waited) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A pseudo-terminal hands written bytes to the reader's queue through a kernel work item.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// One request/reply exchange; `result` as the connection left it.
struct Exchange {
  ByteVector response;
  ErrorCase result = ErrorCase::Correct;
  long long elapsedMs = 0;
};

inline Exchange Ask(Connection& connection, const std::string& request) {
  Exchange exchange;
  Stopwatch watch;
  connection.WriteData(Bytes(request), exchange.result);
  if (exchange.result == ErrorCase::Correct) {
    connection.SetTransferState(0);
    connection.ReadData(exchange.response, EndsWithCrLf, exchange.result);
  }
  exchange.elapsedMs = watch.Ms();
  return exchange;
}

}  // namespace ConnectionTests
