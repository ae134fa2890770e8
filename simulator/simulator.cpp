#include "simulator/simulator.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace Scalesim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kHangUpGrace(20);

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error("scalesim: " + what + ": " + std::strerror(errno));
}

void SetNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

int SpeedToBaud(speed_t speed) {
  static const std::pair<speed_t, int> kSpeeds[] = {
      {B50, 50},       {B75, 75},       {B110, 110},       {B134, 134},       {B150, 150},
      {B200, 200},     {B300, 300},     {B600, 600},       {B1200, 1200},     {B1800, 1800},
      {B2400, 2400},   {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
      {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
  };
  for (const auto& [code, baud] : kSpeeds) {
    if (code == speed) return baud;
  }
  return 0;
}

}  // namespace

bool ParseFraming(const std::string& text, Framing& framing) {
  if (text.size() != 3) return false;
  int dataBits = text[0] - '0';
  char parity = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
  int stopBits = text[2] - '0';
  if (dataBits < 5 || dataBits > 8) return false;
  if (parity != 'N' && parity != 'E' && parity != 'O') return false;
  if (stopBits != 1 && stopBits != 2) return false;
  framing = Framing{dataBits, parity, stopBits};
  return true;
}

Simulator::Simulator(Transport transport, std::shared_ptr<Responder> responder)
    : transport_(transport), responder_(std::move(responder)) {
  if (!responder_) throw std::invalid_argument("scalesim: no responder");
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw SystemError("pipe");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  SetNonBlocking(wakeRead_);
  SetNonBlocking(wakeWrite_);
}

std::unique_ptr<Simulator> Simulator::StartPty(std::shared_ptr<Responder> responder, const std::string& linkPath) {
  std::unique_ptr<Simulator> simulator(new Simulator(Transport::Pty, std::move(responder)));
  simulator->linkPath_ = linkPath;
  simulator->OpenPseudoTerminal();
  simulator->PointLink();
  simulator->thread_ = std::thread([s = simulator.get()] { s->Run(); });
  return simulator;
}

std::unique_ptr<Simulator> Simulator::StartTcp(std::shared_ptr<Responder> responder, std::uint16_t port) {
  std::unique_ptr<Simulator> simulator(new Simulator(Transport::Tcp, std::move(responder)));
  simulator->OpenListener(port);
  simulator->thread_ = std::thread([s = simulator.get()] { s->Run(); });
  return simulator;
}

Simulator::~Simulator() {
  Stop();
  std::lock_guard<std::mutex> lock(lineMutex_);
  CloseFd(master_);
  CloseFd(holdSlave_);
  CloseFd(client_);
  CloseFd(listener_);
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
  if (!linkPath_.empty()) ::unlink(linkPath_.c_str());
}

void Simulator::Stop() {
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopping_ = true;
  }
  stopSignal_.notify_all();
  Wake();
  if (thread_.joinable()) thread_.join();
}

void Simulator::Wake() {
  char byte = 1;
  [[maybe_unused]] auto written = ::write(wakeWrite_, &byte, 1);
}

std::string Simulator::Path() const {
  std::lock_guard<std::mutex> lock(lineMutex_);
  return linkPath_.empty() ? slavePath_ : linkPath_;
}

std::string Simulator::SlavePath() const {
  std::lock_guard<std::mutex> lock(lineMutex_);
  return slavePath_;
}

void Simulator::SetFaults(const LineFaults& faults) {
  std::lock_guard<std::mutex> lock(faultsMutex_);
  faults_ = faults;
}

LineFaults Simulator::GetFaults() const {
  std::lock_guard<std::mutex> lock(faultsMutex_);
  return faults_;
}

void Simulator::Send(const Bytes& bytes) {
  {
    std::lock_guard<std::mutex> lock(faultsMutex_);
    outbox_.push_back(bytes);
  }
  Wake();
}

LineSettings Simulator::GetLineSettings() const {
  LineSettings settings;
  std::lock_guard<std::mutex> lock(lineMutex_);
  termios attributes{};
  // A pseudo-terminal master reports the slave's settings. It forces 8 data bits and no
  // parity whatever the driver asked for, so only the rate and the stop bits tell anything.
  if (master_ >= 0 && ::tcgetattr(master_, &attributes) == 0) {
    settings.baud = SpeedToBaud(::cfgetospeed(&attributes));
    settings.stopBits = (attributes.c_cflag & CSTOPB) ? 2 : 1;
  }
  return settings;
}

void Simulator::OpenPseudoTerminal() {
  // Not inherited by programs a test starts: a leaked master would keep a hung-up line alive.
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) throw SystemError("posix_openpt");
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ::close(master);
    throw SystemError("grantpt/unlockpt");
  }
  char name[128];
  if (::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    throw SystemError("ptsname_r");
  }
  int hold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (hold < 0) {
    ::close(master);
    throw SystemError(std::string("open ") + name);
  }
  termios attributes{};
  ::tcgetattr(hold, &attributes);
  ::cfmakeraw(&attributes);
  ::tcsetattr(hold, TCSANOW, &attributes);
  SetNonBlocking(master);

  std::lock_guard<std::mutex> lock(lineMutex_);
  master_ = master;
  holdSlave_ = hold;
  slavePath_ = name;
}

void Simulator::PointLink() {
  if (linkPath_.empty()) return;
  // A new link under a temporary name renamed over the old one: whoever opens the link path
  // finds either the old slave or the new one, never nothing.
  std::string temporary = linkPath_ + ".new";
  ::unlink(temporary.c_str());
  if (::symlink(SlavePath().c_str(), temporary.c_str()) != 0) throw SystemError("symlink " + temporary);
  if (::rename(temporary.c_str(), linkPath_.c_str()) != 0) throw SystemError("rename " + linkPath_);
}

void Simulator::OpenListener(std::uint16_t port) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw SystemError("socket");
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) throw SystemError("bind");
  if (::listen(listener_, 4) != 0) throw SystemError("listen");
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  SetNonBlocking(listener_);
}

bool Simulator::Pause(std::chrono::nanoseconds duration) {
  std::unique_lock<std::mutex> lock(stopMutex_);
  stopSignal_.wait_until(lock, Clock::now() + duration, [this] { return stopping_.load(); });
  return !stopping_;
}

bool Simulator::WriteAll(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    int fd = transport_ == Transport::Pty ? master_ : client_;
    if (fd < 0 || stopping_) return false;
    // A driver that hung up must not kill the test process with SIGPIPE.
    ssize_t written = transport_ == Transport::Tcp ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
    if (written > 0) {
      bytesSent_ += static_cast<std::size_t>(written);
      data += written;
      size -= static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd writable{fd, POLLOUT, 0};
      ::poll(&writable, 1, 50);  // short, so that stopping is noticed
      continue;
    }
    return false;  // the peer is gone
  }
  return true;
}

bool Simulator::WritePaced(const std::uint8_t* data, std::size_t size, std::chrono::nanoseconds characterTime) {
  if (characterTime.count() == 0) return WriteAll(data, size);
  // A character is on the far side once all its bits have gone over the line.
  auto start = Clock::now();
  std::size_t sent = 0;
  while (sent < size) {
    auto due = std::min<std::size_t>(size, static_cast<std::size_t>((Clock::now() - start) / characterTime));
    if (due > sent) {
      if (!WriteAll(data + sent, due - sent)) return false;
      sent = due;
    } else if (!Pause(start + characterTime * (sent + 1) - Clock::now())) {
      return false;
    }
  }
  return true;
}

void Simulator::HangUp(bool comeBack) {
  ++hangUps_;
  // A hung-up terminal drops what its reader has not fetched yet; the bytes already sent are
  // meant to reach the driver, so the line goes down a moment after them.
  Pause(kHangUpGrace);
  if (transport_ == Transport::Tcp) {
    ::shutdown(client_, SHUT_RDWR);
    CloseFd(client_);
    return;
  }
  int oldMaster;
  int oldHold;
  {
    std::lock_guard<std::mutex> lock(lineMutex_);
    oldMaster = master_;
    oldHold = holdSlave_;
    master_ = -1;
    holdSlave_ = -1;
  }
  if (comeBack) {
    // The new pair is in place behind the link before the old one goes, as udev's links do for a
    // replugged adapter: a reopen right after the hang-up already finds it.
    try {
      OpenPseudoTerminal();
      PointLink();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s; the line stays down\n", error.what());
    }
  }
  ::close(oldMaster);
  ::close(oldHold);
}

void Simulator::Answer(const Bytes& reply) {
  LineFaults faults = GetFaults();
  if (faults.silent || reply.empty()) return;
  if (faults.delay.count() > 0 && !Pause(faults.delay)) return;

  Bytes out = faults.garbage;
  out.insert(out.end(), reply.begin(), reply.end());
  std::chrono::nanoseconds characterTime(0);
  if (faults.baud > 0) {
    characterTime = std::chrono::nanoseconds(1'000'000'000LL * faults.framing.BitsPerCharacter() / faults.baud);
  }
  constexpr std::size_t kNever = static_cast<std::size_t>(-1);
  std::size_t hangUpAt = faults.hangUpAfter.value_or(kNever);
  if (hangUpAt != kNever) {
    std::lock_guard<std::mutex> lock(faultsMutex_);
    faults_.hangUpAfter.reset();
  }

  std::size_t sent = 0;
  while (sent < out.size()) {
    if (sent == hangUpAt) {
      HangUp(faults.comeBack);
      hangUpAt = kNever;
      if (!faults.comeBack || transport_ == Transport::Tcp) return;
    }
    std::size_t end = out.size();
    if (faults.chunkSize > 0) end = std::min(end, (sent / faults.chunkSize + 1) * faults.chunkSize);
    if (hangUpAt > sent) end = std::min(end, hangUpAt);
    if (!WritePaced(out.data() + sent, end - sent, characterTime)) return;
    sent = end;
    bool pieceDone = faults.chunkSize > 0 && sent % faults.chunkSize == 0;
    if (pieceDone && sent < out.size() && !Pause(faults.chunkPause)) return;
  }
  if (sent == hangUpAt) HangUp(faults.comeBack);
}

void Simulator::Run() {
  auto tickInterval = responder_->TickInterval();
  auto nextTick = Clock::now() + tickInterval;
  std::vector<std::uint8_t> buffer(4096);
  while (!stopping_) {
    // Tests may change a self-transmitting scale's interval while it runs.
    auto interval = responder_->TickInterval();
    if (interval != tickInterval) {
      tickInterval = interval;
      nextTick = Clock::now() + tickInterval;
    }
    int timeoutMs = -1;
    if (tickInterval.count() > 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count();
      timeoutMs = static_cast<int>(std::max<long long>(0, left));
    }
    int line = transport_ == Transport::Pty ? master_ : client_;
    pollfd fds[3] = {{wakeRead_, POLLIN, 0}, {line, POLLIN, 0}, {listener_, POLLIN, 0}};
    int count = ::poll(fds, 3, timeoutMs);
    if (stopping_) break;
    if (count < 0 && errno != EINTR) break;

    if (fds[0].revents & POLLIN) SendOutbox();
    // What poll said of the old connection no longer applies to a new one.
    if (listener_ >= 0 && (fds[2].revents & POLLIN) && Accept()) line = -1;
    if (line >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadRequest(line, buffer);
    if (tickInterval.count() > 0 && Clock::now() >= nextTick) {
      nextTick += tickInterval;
      if (transport_ == Transport::Pty ? master_ >= 0 : client_ >= 0) Answer(responder_->OnTick());
    }
  }
}

void Simulator::SendOutbox() {
  char drain[64];
  while (::read(wakeRead_, drain, sizeof drain) > 0) {
  }
  std::deque<Bytes> pending;
  {
    std::lock_guard<std::mutex> lock(faultsMutex_);
    pending.swap(outbox_);
  }
  for (const auto& bytes : pending) WriteAll(bytes.data(), bytes.size());
}

bool Simulator::Accept() {
  int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (accepted < 0) return false;
  // One driver at a time, as a scale's single TCP port: a new connection replaces the old.
  CloseFd(client_);
  client_ = accepted;
  SetNonBlocking(client_);
  int yes = 1;
  ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  ++connections_;
  return true;
}

void Simulator::ReadRequest(int line, std::vector<std::uint8_t>& buffer) {
  ssize_t count = ::read(line, buffer.data(), buffer.size());
  if (count > 0) {
    bytesReceived_ += static_cast<std::size_t>(count);
    Bytes chunk(buffer.begin(), buffer.begin() + count);
    Answer(responder_->OnReceive(chunk));
  } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
    if (transport_ == Transport::Tcp) {
      CloseFd(client_);
    } else {
      // Cannot happen while the held slave is open; do not spin if it does.
      Pause(std::chrono::milliseconds(10));
    }
  }
}

}  // namespace Scalesim
