// The serial and TCP connections on Boost.Asio. Internal to the library: everything above the
// connection layer goes through `Connection` and the two factories.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/system/error_code.hpp>

#include "driver/connections/connection.hpp"
#include "platform/serial-ports.hpp"

namespace Korvalt::Ponderix::Driver {

// The one mapping from a Boost.System error to a result: success leaves `result` alone; "no such
// file or device" (a serial port that does not exist) gives UnableToOpenSerialPort; anything else,
// an aborted operation included, gives ConnectionError.
void CheckBoostErrorCase(const boost::system::error_code& ec, ErrorCase& result);

// Host and port of a TCP end point text: "host" and "[v6]" keep `defaultPort`; "host:port" and
// "[v6]:port" name their own. A bare IPv6 address ("::1", "fe80::1") keeps `defaultPort` too.
struct TCPEndPoint {
  std::string host;
  std::string port;
};
TCPEndPoint SplitTCPEndPoint(const std::string& endPoint, const std::string& defaultPort);

// What serial and TCP share: the I/O context run on the caller's thread for one transfer at a
// time, the transfer timer, the receive buffer, stale-input discarding and the reopen retry.
class AsioConnection : public Connection {
 public:
  void WriteData(const ByteVector& data, ErrorCase& result) override;
  void ReadData(ByteVector& response, ResponseValidator isComplete, ErrorCase& result) override;
  void DiscardInput() override {
    // A read without a request starts a transfer of its own.
    reopenedInTransfer_ = false;
    lastRequest_.clear();
    DiscardStaleInput();
  }
  void SetQuickWait(std::chrono::milliseconds wait) override { quickWait_ = wait; }
  std::uint64_t BytesReceived() const override { return bytesReceived_; }
  std::uint64_t Reopens() const override { return reopens_; }
  int GetTransferState() override { return transferState_; }
  void SetTransferState(const int& state) override { transferState_ = state; }

 protected:
  using Completion = std::function<void(const boost::system::error_code&)>;
  using IoHandler = std::function<void(const boost::system::error_code&, std::size_t)>;

  AsioConnection();

  // The transfer timer. Starts one asynchronous operation (which calls the completion it is given
  // exactly once) and runs the I/O context on this thread until the operation has completed or
  // `timeout` has passed; on the time-out the pending I/O is cancelled and the operation
  // completes as aborted. Returns the operation's outcome.
  boost::system::error_code RunWithDeadline(std::chrono::milliseconds timeout,
                                            const std::function<void(Completion)>& start, ErrorCase& result);

  virtual void AsyncReadSome(boost::asio::mutable_buffer buffer, IoHandler handler) = 0;
  virtual void AsyncWrite(boost::asio::const_buffer buffer, IoHandler handler) = 0;
  // Cancels the pending reads and writes (their handlers run as aborted).
  virtual void CancelIo() = 0;
  virtual std::chrono::milliseconds TransferTimeout() = 0;
  // True for the errors after which closing and reopening the line may bring it back.
  virtual bool IsLineLost(const boost::system::error_code& ec) = 0;
  // Close and open again, with the line settings that were in force.
  virtual void Reopen(ErrorCase& result) = 0;
  // Whether a read cut off by a lost line asks again on the reopened line. A reply is never
  // pieced together from two lines: a TCP scale that restarted never saw the request, and the
  // bytes a serial line held when its adapter was pulled are gone with it.
  virtual bool RepeatsRequestAfterReopen() { return true; }
  // Whether the reopened line may still carry the rest of the interrupted reply, to be let go
  // before the request goes out again (a serial scale finishing its sentence; a new TCP
  // connection starts empty).
  virtual bool MayCarryOldReply() { return false; }
  // ", SerialPortConnection::WriteData, port is closed." and its TCP twin.
  virtual std::string ClosedPortMessage() = 0;
  virtual void LogWritten(const ByteVector& /*data*/) {}
  // False when the line surely holds no unread input (saves the stale-input probe).
  virtual bool MayHaveInput() { return true; }
  // Writes what the line takes at once without waiting; returns the count written (0 when the
  // line cannot do that, or on an error, which the asynchronous write then meets and reports).
  virtual std::size_t WriteWithoutWaiting(const ByteVector& /*data*/) { return 0; }

  // Drops what the peer sent before the request; a late reply to an earlier request would
  // otherwise be taken for the start of the next one.
  void DiscardStaleInput();
  // Empties the receive buffer (on close: nothing of a previous line survives).
  void ResetReceiveBuffer();

  std::shared_ptr<boost::asio::io_context> io_;
  boost::asio::streambuf receiveBuffer_;
  std::int32_t transferState_ = 0;
  // End of the transfer under way.
  std::chrono::steady_clock::time_point deadline_;

 private:
  // RunWithDeadline's steps: runs the I/O context until the operation completed or the deadline
  // passed; on the time-out cancels the pending I/O until the operation has completed as aborted;
  // after a throw lets the pending handlers run out.
  void RunUntilDone(const bool& done, boost::system::error_code& outcome, ErrorCase& result);
  void CancelUntilDone(const bool& done);
  void AbandonPendingIo();
  // One step of a transfer (the write of a request, or the reads of a reply) with the reopen
  // retry: runs `start` within `timeout`; when the line is lost and the transfer has not
  // reopened it yet, reopens it, lets `resumeAfterReopen` prepare the next attempt and runs
  // `start` again. `caller` and `operation` name the step in the log ("WriteData", "write").
  void RunWithOneReopen(const char* caller, const char* operation, std::chrono::milliseconds timeout,
                        const std::function<void(Completion)>& start,
                        const std::function<void(ErrorCase&)>& resumeAfterReopen, ErrorCase& result);
  // Reads until `isComplete` accepts the response, the deadline passes or the line fails.
  void ReadUntilComplete(ByteVector& response, const ResponseValidator& isComplete, Completion done);
  // The write itself, with the reopen retry; the line's checks and the stale-input discard are
  // WriteData's.
  void WriteRequest(const ByteVector& request, ErrorCase& result);

  // Before the write that follows a transfer which ended without its whole reply: reads and
  // drops what the scale still sends until the line has been quiet for one transfer time-out
  // since that transfer ended and since the last byte dropped; the wait is itself bounded by one
  // time-out. A reply arriving up to one time-out late is so never taken for the next answer.
  void LetLineGoQuiet();
  void MarkUnsettled() {
    unsettled_ = true;
    unsettledSince_ = std::chrono::steady_clock::now();
  }

  // The time-out of one read, and the quiet interval after a failed transfer: the line's own, or
  // those of the quick pass.
  std::chrono::milliseconds ReadTimeout();
  std::chrono::milliseconds QuietInterval();

  std::chrono::milliseconds quickWait_{0};
  std::uint64_t bytesReceived_ = 0;
  // One reopen per transfer (a write and the reads of its reply, or a read of a listener).
  bool reopenedInTransfer_ = false;
  std::uint64_t reopens_ = 0;
  // Whether the last transfer timed out, and when it ended: the scale may still be answering.
  bool unsettled_ = false;
  std::chrono::steady_clock::time_point unsettledSince_;
  // The request of the transfer under way, sent again when the peer was reached anew.
  ByteVector lastRequest_;
};

class SerialPortConnection : public AsioConnection {
 public:
  explicit SerialPortConnection(std::string portName);
  ~SerialPortConnection() override;

  void Open(ErrorCase& result) override;
  bool IsOpen() override;
  void Close() override;
  void SetDefaultOptions(ErrorCase& result) override;
  bool IsOptionSupported(const Option& option) override;
  void SetOption(const Option& option, std::string value, ErrorCase& result) override;
  std::string GetOption(const Option& option, ErrorCase& result) override;

 protected:
  void AsyncReadSome(boost::asio::mutable_buffer buffer, IoHandler handler) override;
  void AsyncWrite(boost::asio::const_buffer buffer, IoHandler handler) override;
  void CancelIo() override;
  std::chrono::milliseconds TransferTimeout() override;
  bool IsLineLost(const boost::system::error_code& ec) override;
  void Reopen(ErrorCase& result) override;
  bool MayCarryOldReply() override { return true; }
  std::string ClosedPortMessage() override;
  bool MayHaveInput() override;
  std::size_t WriteWithoutWaiting(const ByteVector& data) override;

 private:
  // Open's failures that say more than a result code: who holds a busy port, how to gain access
  // to a denied one.
  void ExplainOpenFailure(const boost::system::error_code& ec);
  // Takes the just opened port for this process alone; false (port closed again) when another
  // process holds it.
  bool ClaimOpenedPort();
  // The reopened name must lead to the device first opened; false (and ConnectionError) if not.
  bool IsSameDevice(const Platform::DeviceIdentity& found, ErrorCase& result);
  // Checks `value` against the option's row of the option table, applies it to the open port
  // and stores it.
  void ApplyOption(Option option, const std::string& value, ErrorCase& result);
  // The text in force for `option`; empty until the port took one.
  std::string StoredValue(Option option) const;

  std::string portName_;
  std::shared_ptr<boost::asio::serial_port> port_;
  // The device the first Open found behind the name: a reopen must find it again.
  Platform::DeviceIdentity identity_;
  // As the caller gave them, stored once the port accepted them.
  std::map<Option, std::string> values_;
};

class TCPConnection : public AsioConnection {
 public:
  // `ip` may carry its own port ("host:port", "[v6]:port"); `port` is used otherwise.
  TCPConnection(std::string ip, std::string port);
  ~TCPConnection() override;

  void Open(ErrorCase& result) override;
  bool IsOpen() override;
  void Close() override;
  void SetDefaultOptions(ErrorCase& result) override;
  bool IsOptionSupported(const Option& option) override;
  void SetOption(const Option& option, std::string value, ErrorCase& result) override;
  std::string GetOption(const Option& option, ErrorCase& result) override;

 protected:
  void AsyncReadSome(boost::asio::mutable_buffer buffer, IoHandler handler) override;
  void AsyncWrite(boost::asio::const_buffer buffer, IoHandler handler) override;
  void CancelIo() override;
  std::chrono::milliseconds TransferTimeout() override;
  bool IsLineLost(const boost::system::error_code& ec) override;
  void Reopen(ErrorCase& result) override;
  std::string ClosedPortMessage() override;
  void LogWritten(const ByteVector& data) override;
  bool MayHaveInput() override;
  std::size_t WriteWithoutWaiting(const ByteVector& data) override;

 private:
  // Open's steps: the addresses of `ip_` and `port_`, and the connect to the first that answers.
  boost::asio::ip::tcp::resolver::results_type Resolve(ErrorCase& result);
  void Connect(const boost::asio::ip::tcp::resolver::results_type& endpoints, ErrorCase& result);

  std::string ip_;
  std::string port_;
  std::shared_ptr<boost::asio::ip::tcp::socket> socket_;
};

}  // namespace Korvalt::Ponderix::Driver
