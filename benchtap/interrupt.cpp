#include "benchtap/interrupt.hpp"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "benchtap/wrapper.hpp"

namespace Korvalt::Ponderix::Benchtap {
namespace {

// Written by the signal handler, so lock-free.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnTerminatingSignal(int signal) { g_signal.store(signal); }

// The handler may do next to nothing; a watcher thread does the clean-up. A pause of a few tens of
// milliseconds before it notices is nothing next to a person pressing Ctrl-C.
void Watch() {
  for (;;) {
    int signal = g_signal.load();
    if (signal != 0) {
      std::fputs("\nInterrupted: deleting the logic device of this run\n", stderr);
      Wrapper::ReleaseOnInterrupt();
      std::fflush(stdout);
      std::fflush(stderr);
      std::_Exit(128 + signal);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

void EndRunsCleanlyOnInterrupt() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::signal(SIGINT, OnTerminatingSignal);
    std::signal(SIGTERM, OnTerminatingSignal);
#ifdef SIGHUP
    std::signal(SIGHUP, OnTerminatingSignal);
#endif
    std::thread(Watch).detach();
  });
}

}  // namespace Korvalt::Ponderix::Benchtap
