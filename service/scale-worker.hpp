// One worker per scale: the only code that talks to the scale's line. Requests and streams
// never touch the device handle; they wait for the worker's next exchange.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver/api/ponderix.h"
#include "service/service-config.hpp"

namespace ScaleService {

class Metrics;

// The outcome of one status exchange: a weight or the failure, never both.
struct Reading {
  int code = PDX_OK;       // the library's result code
  pdx_weight weight{};     // valid when code == PDX_OK
  std::chrono::system_clock::time_point readAt;
  std::uint64_t exchange = 0;  // number of the exchange on this scale, from 1
  int status = PDX_STATUS_NOT_READY;  // PDX_STATUS_* of the weight
  bool Ok() const { return code == PDX_OK; }
};

// The answer to a sale-weight request: PDX_OK with the sale weight, a refusal (101..106) with
// the last reading, or the failure of the exchange.
struct SaleOutcome {
  int code = PDX_OK;
  pdx_sale_weight sale{};
};

enum class ScaleState { Opening, Ready, Error };
const char* StateName(ScaleState state);

struct ScaleInfo {
  std::string name;
  std::string connection;  // the connection as configured, "tcp:127.0.0.1:4001"
  std::string protocol;    // detected once open, else as configured
  std::optional<std::string> model;
  ScaleState state = ScaleState::Opening;
  int lastCode = PDX_OK;
};

enum class ScaleCommand { Zero, Tare, SpecifyTare };

class ScaleWorker {
 public:
  using ReadingCallback = std::function<void(const Reading&)>;
  using CommandCallback = std::function<void(int code)>;
  using SaleCallback = std::function<void(const SaleOutcome&)>;
  using HealthCallback = std::function<void(int code, const std::string& lines)>;

  ScaleWorker(ScaleSpec spec, const ServiceSettings& settings, Metrics& metrics);
  ~ScaleWorker();
  ScaleWorker(const ScaleWorker&) = delete;
  ScaleWorker& operator=(const ScaleWorker&) = delete;

  // Sets up the device on the calling thread (a profile is looked up in the library's store;
  // a tcp: or serial: line is never written there), then starts the worker thread. Returns the
  // library's code of the setup.
  int Start();
  // Refuses new work and answers whoever waits with a failure, at once, from the calling thread;
  // an exchange under way ends by itself (within one transfer time-out).
  void BeginStop();
  // BeginStop, then waits for the worker thread until `deadline`, and closes and destroys the
  // device. False when the thread was still in a library call at the deadline: it is then left
  // running, the device with it, and the process must end without destroying the library.
  bool Stop(std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

  // `callback` gets, on the worker thread, the first exchange that starts after this call.
  void RequestReading(ReadingCallback callback);
  // Every exchange while subscribed, on the worker thread; the worker polls without pause (or at
  // the poll interval) while anyone is subscribed.
  int Subscribe(ReadingCallback callback);
  void Unsubscribe(int id);
  // Runs between exchanges; `tareGrams` for SpecifyTare.
  void RunCommand(ScaleCommand command, long tareGrams, CommandCallback callback);
  // A sale weight within `timeoutMs`: the worker keeps polling (streams get every reading) and,
  // once its reading is settled or over capacity, asks the library for the sale weight. One
  // worker per scale: every client shares the scale's zero-return interlock.
  void RequestSaleWeight(int timeoutMs, SaleCallback callback);
  // pdx_check_health of `level` (1: no I/O; 2: one exchange), between exchanges.
  void CheckHealth(int level, HealthCallback callback);

  ScaleInfo Info() const;
  const std::string& Name() const { return spec_.name; }

 private:
  struct PendingCommand {
    ScaleCommand command;
    long tareGrams;
    CommandCallback callback;
  };
  struct PendingSale {
    std::chrono::steady_clock::time_point deadline;
    SaleCallback callback;
  };

  void Run();
  // The saved logic device of a profile (a step of Start).
  int FindProfile();
  // The steps of Run. False when woken for something else than a read (look again); true when a
  // read is due. Then one exchange for every waiting reader and stream: true when it succeeded,
  // its end in `end`.
  bool WaitForWork(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point lastEnd, bool lastFailed);
  bool ReadAndDeliver(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point& end,
                      Reading& reading);
  // After an exchange: the sales whose reading is settled (or over capacity) are decided by the
  // library, those out of time or whose exchange failed are answered with that reading.
  void DecideSales(std::unique_lock<std::mutex>& lock, const Reading& reading);
  bool EnsureOpen();
  void CloseLine();
  Reading Exchange();
  int Execute(const PendingCommand& command);

  const ScaleSpec spec_;
  const ServiceSettings settings_;
  Metrics& metrics_;
  pdx_handle handle_ = 0;
  int logicDevice_ = -1;
  bool open_ = false;
  std::uint64_t exchanges_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool finished_ = false;  // the worker thread left Run
  std::vector<ReadingCallback> waiting_;
  std::vector<ReadingCallback> reading_;  // readers of the exchange under way
  std::map<int, ReadingCallback> subscribers_;
  int nextSubscriber_ = 1;
  std::deque<PendingCommand> commands_;
  std::vector<PendingSale> sales_;
  std::deque<std::function<void()>> jobs_;  // health checks, between exchanges
  ScaleInfo info_;
  std::thread thread_;
};

// The library's name of a result code ("ConnectionError") and its English text.
std::string ResultName(int code);
std::string ResultMessage(int code);

}  // namespace ScaleService
