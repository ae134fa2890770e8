// The simulated scale's line: a pseudo-terminal pair or a TCP listener on 127.0.0.1, served by
// a thread of its own that hands what the driver wrote to a Responder and sends its answer back,
// with faults chosen per test (and changeable while it runs).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "simulator/responder.hpp"

namespace Scalesim {

// Character framing on a serial line: one start bit, the data bits, an optional parity bit and
// the stop bits.
struct Framing {
  int dataBits = 8;
  char parity = 'N';  // 'N', 'E', 'O'
  int stopBits = 1;
  int BitsPerCharacter() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
};
// "8N1", "8E2", "7O1"; false for anything else.
bool ParseFraming(const std::string& text, Framing& framing);

struct LineFaults {
  // Requests are taken in (the responder sees them) but nothing is ever sent.
  bool silent = false;
  // Pause before each reply starts.
  std::chrono::milliseconds delay{0};
  // Reply written in pieces of this many bytes (0: in one piece) with a pause between pieces.
  std::size_t chunkSize = 0;
  std::chrono::milliseconds chunkPause{0};
  // Sent in front of every reply.
  Bytes garbage;
  // Hang up the line once this many bytes of the next reply (garbage included) are out. Happens
  // once; the fault clears itself.
  std::optional<std::size_t> hangUpAfter;
  // Pseudo-terminal: after the hang-up a new pair takes its place behind the link path and the
  // rest of the reply goes out there (a USB adapter pulled and plugged back in). Otherwise the
  // line stays dead. TCP always stays dead for that connection and accepts the next one.
  bool comeBack = false;
  // Replies paced at this line rate (0: as fast as the transport goes); a pseudo-terminal or a
  // socket on its own transfers instantly.
  int baud = 0;
  Framing framing;
};

// The pseudo-terminal's line settings as the driver left them (read from the master side).
struct LineSettings {
  int baud = 0;
  int stopBits = 1;
};

class Simulator {
 public:
  // A pseudo-terminal pair in raw mode. With a `linkPath`, a symbolic link of that name points at
  // the slave and follows it when the line comes back after a hang-up; the driver should use it.
  static std::unique_ptr<Simulator> StartPty(std::shared_ptr<Responder> responder, const std::string& linkPath = "");
  // Listens on 127.0.0.1:`port` (0: a free port chosen by the system).
  static std::unique_ptr<Simulator> StartTcp(std::shared_ptr<Responder> responder, std::uint16_t port = 0);

  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  void Stop();

  // The name to open: the link path when there is one, else the slave's path.
  std::string Path() const;
  std::string SlavePath() const;
  std::uint16_t Port() const { return port_; }

  void SetFaults(const LineFaults& faults);
  LineFaults GetFaults() const;

  // Sends bytes unprompted (a late reply, a scale's own transmission).
  void Send(const Bytes& bytes);

  LineSettings GetLineSettings() const;
  // Hang-ups done so far, and TCP connections accepted so far.
  int HangUps() const { return hangUps_.load(); }
  int Connections() const { return connections_.load(); }
  // Bytes written to the line so far, and read from it (what the driver sent).
  std::size_t BytesSent() const { return bytesSent_.load(); }
  std::size_t BytesReceived() const { return bytesReceived_.load(); }

 private:
  enum class Transport { Pty, Tcp };
  Simulator(Transport transport, std::shared_ptr<Responder> responder);

  void OpenPseudoTerminal();
  void PointLink();
  void OpenListener(std::uint16_t port);
  // The transport's thread: waits for requests, connections, queued sends and ticks.
  void Run();
  // Run's steps: sends what Send queued; takes a new TCP connection (true when it did); reads
  // one request from `line` and answers it.
  void SendOutbox();
  bool Accept();
  void ReadRequest(int line, std::vector<std::uint8_t>& buffer);
  void Answer(const Bytes& reply);
  void HangUp(bool comeBack);
  // Waits for `duration` unless the simulator is stopping; false when stopping.
  bool Pause(std::chrono::nanoseconds duration);
  bool WriteAll(const std::uint8_t* data, std::size_t size);
  bool WritePaced(const std::uint8_t* data, std::size_t size, std::chrono::nanoseconds characterTime);
  void Wake();

  Transport transport_;
  std::shared_ptr<Responder> responder_;
  std::atomic<bool> stopping_{false};
  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;

  // Pseudo-terminal: the master, and a slave descriptor kept open so the line never reads as
  // hung up while the driver has it closed.
  mutable std::mutex lineMutex_;
  int master_ = -1;
  int holdSlave_ = -1;
  std::string slavePath_;
  std::string linkPath_;

  // TCP
  int listener_ = -1;
  int client_ = -1;
  std::uint16_t port_ = 0;

  mutable std::mutex faultsMutex_;
  LineFaults faults_;
  std::deque<Bytes> outbox_;

  std::atomic<int> hangUps_{0};
  std::atomic<int> connections_{0};
  std::atomic<std::size_t> bytesSent_{0};
  std::atomic<std::size_t> bytesReceived_{0};
  std::thread thread_;
};

}  // namespace Scalesim
