#include "platform/keys.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace Korvalt::Ponderix::Platform {
namespace {

// Settings to put back from a signal handler or at exit while a key wait has the terminal in
// single-key mode. Only async-signal-safe calls touch them from the handlers.
volatile std::sig_atomic_t g_rawActive = 0;
int g_rawFd = -1;
termios g_savedSettings{};
termios g_rawSettings{};

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGTSTP};
struct sigaction g_previousActions[sizeof(kRestoringSignals) / sizeof(int)];

void RestoreTerminal() {
  if (g_rawActive) tcsetattr(g_rawFd, TCSANOW, &g_savedSettings);
}

void OnSignal(int signal) {
  const int savedErrno = errno;
  RestoreTerminal();
  std::size_t index = 0;
  while (kRestoringSignals[index] != signal) ++index;
  const struct sigaction& previous = g_previousActions[index];
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN &&
      !(previous.sa_flags & SA_SIGINFO)) {
    previous.sa_handler(signal);
  } else {
    // Let the default action run (end or stop the process), then take over again if it goes on
    // (Ctrl-Z followed by fg).
    struct sigaction ours {};
    sigaction(signal, &previous, &ours);
    sigset_t only{};
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    sigaction(signal, &ours, nullptr);
  }
  // Back in single-key mode only after Ctrl-Z and fg. After a termination request the program's
  // own handler may end the process from another thread (without exit handlers), so the terminal
  // stays as it was found.
  if (signal == SIGTSTP) {
    if (g_rawActive) tcsetattr(g_rawFd, TCSANOW, &g_rawSettings);
  } else {
    g_rawActive = 0;
  }
  errno = savedErrno;
}

void InstallRestorers() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(RestoreTerminal);
    for (std::size_t i = 0; i < sizeof(kRestoringSignals) / sizeof(int); ++i) {
      struct sigaction current {};
      sigaction(kRestoringSignals[i], nullptr, &current);
      if (current.sa_handler == SIG_IGN) continue;  // e.g. started in the background with nohup
      g_previousActions[i] = current;
      struct sigaction ours {};
      ours.sa_handler = OnSignal;
      sigemptyset(&ours.sa_mask);
      ours.sa_flags = SA_RESTART;
      sigaction(kRestoringSignals[i], &ours, nullptr);
    }
  });
}

// Single-key mode for the length of one key wait: no line editing, no echo. Signals stay on, so
// Ctrl-C still interrupts (and the handlers above put the settings back first).
class SingleKeyMode {
 public:
  explicit SingleKeyMode(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return;
    InstallRestorers();
    g_savedSettings = settings;
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    g_rawSettings = settings;
    g_rawFd = fd;
    g_rawActive = 1;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) g_rawActive = 0;
  }
  ~SingleKeyMode() {
    RestoreTerminal();
    g_rawActive = 0;
  }
  SingleKeyMode(const SingleKeyMode&) = delete;
  SingleKeyMode& operator=(const SingleKeyMode&) = delete;
};

class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) { setg(data_, data_, data_); }

  // 1 when a byte can be read, 0 when timeoutMs passed without one (negative: no limit),
  // Keys::kCancelled when the flag was raised.
  int Wait(int timeoutMs, const std::atomic<bool>* cancel) {
    if (gptr() < egptr()) return 1;
    constexpr int kCancelCheckMs = 50;
    int waited = 0;
    for (;;) {
      if (cancel != nullptr && cancel->load()) return Keys::kCancelled;
      int slice = cancel != nullptr ? kCancelCheckMs : -1;
      if (timeoutMs >= 0) slice = slice < 0 ? timeoutMs - waited : std::min(slice, timeoutMs - waited);
      pollfd poller{fd_, POLLIN, 0};
      const int ready = poll(&poller, 1, slice);
      if (ready > 0) return 1;  // data, hang-up or error: the read tells which
      if (ready < 0 && errno != EINTR) return 1;
      if (ready == 0) waited += slice;
      if (timeoutMs >= 0 && waited >= timeoutMs) return 0;
    }
  }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    ssize_t count;
    do {
      count = ::read(fd_, data_, sizeof data_);
    } while (count < 0 && errno == EINTR);
    if (count <= 0) return traits_type::eof();
    setg(data_, data_, data_ + count);
    return traits_type::to_int_type(*gptr());
  }

 private:
  int fd_;
  char data_[256];
};

}  // namespace

struct KeyboardInput::Impl {
  explicit Impl(int descriptor) : fd(descriptor), terminal(isatty(descriptor) == 1), buffer(descriptor) {}
  int fd;
  bool terminal;
  DescriptorBuffer buffer;
};

KeyboardInput::KeyboardInput(int fd) : impl_(std::make_unique<Impl>(fd)) {}
KeyboardInput::~KeyboardInput() = default;

bool KeyboardInput::IsTerminal() const { return impl_->terminal; }

std::streambuf& KeyboardInput::Buffer() { return impl_->buffer; }

int KeyboardInput::ReadKey(const std::atomic<bool>* cancel) {
  std::unique_ptr<SingleKeyMode> mode;
  if (impl_->terminal) mode = std::make_unique<SingleKeyMode>(impl_->fd);
  auto& buffer = impl_->buffer;
  return DecodeKey(
      [&](int timeoutMs) {
        const int waited = buffer.Wait(timeoutMs, cancel);
        if (waited == 0) return Keys::kTimedOut;
        if (waited < 0) return waited;
        const auto byte = buffer.sbumpc();
        if (byte == std::streambuf::traits_type::eof()) return Keys::kEndOfInput;
        return static_cast<int>(static_cast<unsigned char>(std::streambuf::traits_type::to_char_type(byte)));
      },
      impl_->terminal);
}

KeyboardInput& StandardInput() {
  static KeyboardInput input(STDIN_FILENO);
  return input;
}

}  // namespace Korvalt::Ponderix::Platform
