// The byte stream between the library and one scale. This is the only seam to the transport:
// nothing above it knows whether bytes travel over a serial port or a TCP socket.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "driver/vocabulary/bytes.hpp"
#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

enum class TransferState : int { Idle = 0, InProgress = 1, Finished = 2 };

class Connection {
 public:
  virtual ~Connection() = default;

  virtual void Open(ErrorCase& result) = 0;
  virtual bool IsOpen() = 0;
  virtual void Close() = 0;
  virtual void SetDefaultOptions(ErrorCase& result) = 0;
  virtual bool IsOptionSupported(const Option& option) = 0;
  virtual void SetOption(const Option& option, std::string value, ErrorCase& result) = 0;
  virtual std::string GetOption(const Option& option, ErrorCase& result) = 0;
  // Writes all of `data` within the transfer time-out.
  virtual void WriteData(const ByteVector& data, ErrorCase& result) = 0;
  // Appends to `response` until `isComplete` accepts the bytes gathered so far or the transfer
  // time-out ends the read; a time-out by itself leaves `result` untouched.
  virtual void ReadData(ByteVector& response, ResponseValidator isComplete, ErrorCase& result) = 0;
  // Drops the bytes already waiting on the line (frames a self-transmitting scale sent while
  // nobody listened), so that the next read sees only what arrives from now on.
  virtual void DiscardInput() {}
  // Detection's quick pass: while `wait` is above zero every read ends after `wait` at the latest
  // instead of the line's own time-out, and the line counts as quiet again after a short gap.
  // Zero gives the line its own time-outs back.
  virtual void SetQuickWait(std::chrono::milliseconds /*wait*/) {}
  // Every byte taken from the line since it was made: replies, and what was dropped as stale
  // or late.
  virtual std::uint64_t BytesReceived() const { return 0; }
  // Times the line was lost and opened again since it was made.
  virtual std::uint64_t Reopens() const { return 0; }
  virtual int GetTransferState() = 0;
  virtual void SetTransferState(const int& state) = 0;
};

// A serial port by device name ("/dev/ttyUSB0", "COM3"); nothing is opened here.
std::shared_ptr<Connection> MakeSerialPortConnection(const std::string& portName);
// A TCP connection to `host` ("10.0.0.5", "scale.local", "[::1]") on `port`.
std::shared_ptr<Connection> MakeTCPConnection(const std::string& host, const std::string& port);

}  // namespace Korvalt::Ponderix::Driver
