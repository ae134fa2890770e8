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

#include "driver/interface/ponderix.h"
#include "service/service-config.hpp"

namespace ScaleService {

class Metrics;

// The outcome of one status exchange: a weight or the failure, never both.
struct Reading {
  int code = PDX_OK;       // the library's result code
  pdx_weight weight{};     // valid when code == PDX_OK
  std::chrono::system_clock::time_point readAt;
  std::uint64_t exchange = 0;  // number of the exchange on this scale, from 1
  bool Ok() const { return code == PDX_OK; }
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

  ScaleInfo Info() const;
  const std::string& Name() const { return spec_.name; }

 private:
  struct PendingCommand {
    ScaleCommand command;
    long tareGrams;
    CommandCallback callback;
  };

  void Run();
  // The saved logic device of a profile (a step of Start).
  int FindProfile();
  // The steps of Run. False when woken for something else than a read (look again); true when a
  // read is due. Then one exchange for every waiting reader and stream: true when it succeeded,
  // its end in `end`.
  bool WaitForWork(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point lastEnd, bool lastFailed);
  bool ReadAndDeliver(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point& end);
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
  ScaleInfo info_;
  std::thread thread_;
};

// The library's name of a result code ("ConnectionError") and its English text.
std::string ResultName(int code);
std::string ResultMessage(int code);

}  // namespace ScaleService
