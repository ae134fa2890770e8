// The transfer machinery shared by the serial and TCP connections.
#include <algorithm>
#include <utility>

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/system/error_code.hpp>

#include "common/text-template.hpp"
#include "driver/connections/asio-connections.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("connection");

using Text::Fill;
namespace errc = boost::system::errc;

// One read asks the line for at most this many bytes; longer replies take several reads.
constexpr std::size_t kReadChunk = 512;
// After a failed transfer of the quick pass the line counts as quiet after this gap: a few
// bytes' time at 4800 baud, long enough for the tail of a reply that just missed its wait.
constexpr std::chrono::milliseconds kQuickQuietGap{20};
// A line that keeps sending faster than it can be drained is not stale input but a stream.
constexpr std::size_t kMaxStaleBytes = 64 * 1024;

std::string FullText(const boost::system::error_code& ec) {
  return ec.message() + " [" + ec.category().name() + ":" + std::to_string(ec.value()) + "]";
}

}  // namespace

void CheckBoostErrorCase(const boost::system::error_code& ec, ErrorCase& result) {
  if (!ec) return;
  kLog.Error(Fill("CheckBoostErrorCase(boost-ecase: @)", FullText(ec)));
  if (ec == errc::no_such_file_or_directory || ec == errc::no_such_device ||
      ec == errc::no_such_device_or_address) {
    result = ErrorCase::UnableToOpenSerialPort;
  } else {
    result = ErrorCase::ConnectionError;
  }
}

TCPEndPoint SplitTCPEndPoint(const std::string& endPoint, const std::string& defaultPort) {
  if (!endPoint.empty() && endPoint.front() == '[') {
    auto close = endPoint.find(']');
    if (close == std::string::npos) return {endPoint, defaultPort};
    std::string host = endPoint.substr(1, close - 1);
    std::string rest = endPoint.substr(close + 1);
    if (rest.empty()) return {host, defaultPort};
    if (rest.front() == ':') return {host, rest.substr(1)};
    return {endPoint, defaultPort};
  }
  auto colon = endPoint.find(':');
  if (colon != std::string::npos && endPoint.find(':', colon + 1) == std::string::npos) {
    return {endPoint.substr(0, colon), endPoint.substr(colon + 1)};
  }
  return {endPoint, defaultPort};
}

AsioConnection::AsioConnection() : io_(std::make_shared<boost::asio::io_context>(1)) {}

std::chrono::milliseconds AsioConnection::ReadTimeout() {
  const auto own = TransferTimeout();
  return quickWait_.count() > 0 ? std::min(quickWait_, own) : own;
}

std::chrono::milliseconds AsioConnection::QuietInterval() {
  return quickWait_.count() > 0 ? std::min(kQuickQuietGap, TransferTimeout()) : TransferTimeout();
}

boost::system::error_code AsioConnection::RunWithDeadline(std::chrono::milliseconds timeout,
                                                          const std::function<void(Completion)>& start,
                                                          ErrorCase& result) {
  boost::system::error_code outcome;
  bool done = false;
  io_->restart();
  transferState_ = static_cast<int>(TransferState::InProgress);
  // The deadline rides on the I/O context's own wait: no timer object to arm and disarm per
  // transfer, which a short exchange on a fast line would notice.
  deadline_ = std::chrono::steady_clock::now() + timeout;
  try {
    start([&outcome, &done](const boost::system::error_code& ec) {
      outcome = ec;
      done = true;
    });
    RunUntilDone(done, outcome, result);
  } catch (...) {
    // The operation's handlers refer to this frame: let them run out as aborted before leaving.
    AbandonPendingIo();
    transferState_ = static_cast<int>(TransferState::Finished);
    throw;
  }
  transferState_ = static_cast<int>(TransferState::Finished);
  return outcome;
}

void AsioConnection::RunUntilDone(const bool& done, boost::system::error_code& outcome, ErrorCase& result) {
  while (!done) {
    if (io_->run_one_until(deadline_) > 0) continue;
    if (std::chrono::steady_clock::now() < deadline_) {
      // The I/O context ran out of work without the completion: nothing can finish it any more.
      kLog.Error("RunWithDeadline(), the operation never completed");
      result = ErrorCase::BoostErrorUnknown;
      outcome = boost::asio::error::operation_aborted;
      return;
    }
    // Time-out: the pending operation completes as aborted (or with what it had already done).
    transferState_ = static_cast<int>(TransferState::Finished);
    CancelUntilDone(done);
    return;
  }
}

void AsioConnection::CancelUntilDone(const bool& done) {
  // A connect to a name with several addresses answers a cancelled attempt by starting the next
  // one, with no time-out of its own: every step is cancelled until the whole is over.
  CancelIo();
  io_->restart();
  while (!done && io_->run_one() > 0) {
    if (!done) CancelIo();
  }
}

void AsioConnection::AbandonPendingIo() {
  try {
    CancelIo();
    io_->restart();
    io_->run();
  } catch (...) {
  }
}

void AsioConnection::DiscardStaleInput() {
  ByteVector stale;
  unsigned char scratch[kReadChunk];
  while (stale.size() < kMaxStaleBytes && MayHaveInput()) {
    bool completed = false;
    boost::system::error_code readError;
    std::size_t count = 0;
    io_->restart();
    AsyncReadSome(boost::asio::buffer(scratch), [&](const boost::system::error_code& ec, std::size_t n) {
      completed = true;
      readError = ec;
      count = n;
    });
    io_->poll();
    if (!completed) {
      CancelIo();
      io_->restart();
      while (!completed && io_->run_one() > 0) {
      }
      break;
    }
    if (readError || count == 0) break;  // a lost line shows up again in the write that follows
    stale.insert(stale.end(), scratch, scratch + count);
    bytesReceived_ += count;
  }
  if (receiveBuffer_.size() > 0) {
    auto data = receiveBuffer_.data();
    const auto* begin = static_cast<const std::uint8_t*>(data.data());
    stale.insert(stale.begin(), begin, begin + data.size());
    receiveBuffer_.consume(receiveBuffer_.size());
  }
  if (!stale.empty()) {
    kLog.Trace(Logging::ByteDump("DiscardStaleInput(): bytes discarded before the request:", stale));
  }
}

void AsioConnection::LetLineGoQuiet() {
  using Clock = std::chrono::steady_clock;
  const auto quiet = QuietInterval();
  const auto bound = Clock::now() + quiet;
  auto quietFrom = unsettledSince_;
  ByteVector late;
  unsigned char scratch[kReadChunk];
  for (;;) {
    const auto until = std::min(quietFrom + quiet, bound);
    const auto now = Clock::now();
    if (now >= until) break;
    std::size_t count = 0;
    ErrorCase ignored = ErrorCase::Correct;
    auto ec = RunWithDeadline(
        std::chrono::duration_cast<std::chrono::milliseconds>(until - now) + std::chrono::milliseconds(1),
        [&](Completion done) {
          AsyncReadSome(boost::asio::buffer(scratch), [&count, done](const boost::system::error_code& error,
                                                                     std::size_t n) {
            count = n;
            done(error);
          });
        },
        ignored);
    if (ec || count == 0) break;  // quiet until the end, or a lost line the write will meet
    late.insert(late.end(), scratch, scratch + count);
    bytesReceived_ += count;
    quietFrom = Clock::now();
  }
  unsettled_ = false;
  if (!late.empty()) kLog.Trace(Logging::ByteDump("LetLineGoQuiet(): late bytes discarded before the request:", late));
}

void AsioConnection::ResetReceiveBuffer() { receiveBuffer_.consume(receiveBuffer_.size()); }

void AsioConnection::WriteData(const ByteVector& data, ErrorCase& result) {
  if (!IsOpen()) throw std::logic_error(kLog.Prefix() + ClosedPortMessage());
  reopenedInTransfer_ = false;
  lastRequest_ = data;
  if (unsettled_) LetLineGoQuiet();
  DiscardStaleInput();
  WriteRequest(lastRequest_, result);
}

void AsioConnection::WriteRequest(const ByteVector& request, ErrorCase& result) {
  // A short request usually fits the socket's buffer at once: no round through the I/O context.
  std::size_t writtenAtOnce = WriteWithoutWaiting(request);
  if (writtenAtOnce == request.size()) {
    transferState_ = static_cast<int>(TransferState::Finished);
    LogWritten(request);
    return;
  }
  RunWithOneReopen(
      "WriteData", "write", TransferTimeout(),
      [this, &request, &writtenAtOnce](Completion done) {
        AsyncWrite(boost::asio::buffer(request) + writtenAtOnce,
                   [this, &request, done](const boost::system::error_code& ec, std::size_t) {
                     if (!ec) LogWritten(request);
                     done(ec);
                   });
      },
      [&writtenAtOnce](ErrorCase&) { writtenAtOnce = 0; },  // the reopened line gets the whole request
      result);
}

void AsioConnection::RunWithOneReopen(const char* caller, const char* operation, std::chrono::milliseconds timeout,
                                      const std::function<void(Completion)>& start,
                                      const std::function<void(ErrorCase&)>& resumeAfterReopen, ErrorCase& result) {
  for (;;) {
    auto ec = RunWithDeadline(timeout, start, result);
    if (ec == boost::asio::error::operation_aborted) MarkUnsettled();
    if (!ec || ec == boost::asio::error::operation_aborted) return;  // done, or timed out
    if (IsLineLost(ec) && !reopenedInTransfer_) {
      kLog.Error(Fill("@(), line lost (@), reopening", caller, FullText(ec)));
      reopenedInTransfer_ = true;
      ++reopens_;
      Reopen(result);
      if (result != ErrorCase::Correct) return;
      resumeAfterReopen(result);
      if (result != ErrorCase::Correct) return;
      continue;
    }
    kLog.Error(Fill("@(), @ failed: @", caller, operation, FullText(ec)));
    result = IsLineLost(ec) ? ErrorCase::ConnectionError : ErrorCase::BoostErrorUnknown;
    return;
  }
}

void AsioConnection::ReadUntilComplete(ByteVector& response, const ResponseValidator& isComplete, Completion done) {
  auto buffer = receiveBuffer_.prepare(kReadChunk);
  AsyncReadSome(buffer, [this, &response, &isComplete, done](const boost::system::error_code& ec,
                                                                        std::size_t n) {
    if (ec) {
      done(ec);
      return;
    }
    receiveBuffer_.commit(n);
    bytesReceived_ += n;
    auto readable = receiveBuffer_.data();
    const auto* begin = static_cast<const std::uint8_t*>(readable.data());
    response.insert(response.end(), begin, begin + readable.size());
    receiveBuffer_.consume(readable.size());
    bool complete = isComplete ? isComplete(response) : !response.empty();
    kLog.Trace("ReadData(): bytes read: ");
    kLog.Trace(Logging::ByteDump("Response: ", response));
    if (complete) {
      done({});
    } else if (std::chrono::steady_clock::now() >= deadline_) {
      // The deadline passed while these bytes were on their way: the time-out still stands.
      done(boost::asio::error::operation_aborted);
    } else {
      ReadUntilComplete(response, isComplete, done);
    }
  });
}

void AsioConnection::ReadData(ByteVector& response, ResponseValidator isComplete, ErrorCase& result) {
  if (!IsOpen()) {
    kLog.Error("ReadData(), port is closed");
    result = ErrorCase::ConnectionError;
    return;
  }
  const std::size_t gatheredBefore = response.size();
  RunWithOneReopen(
      "ReadData", "read", ReadTimeout(),
      [&](Completion done) { ReadUntilComplete(response, isComplete, std::move(done)); },
      [&](ErrorCase& reopened) {
        if (!RepeatsRequestAfterReopen()) return;
        // What the old line delivered belongs to no reply the new one will give.
        response.resize(gatheredBefore);
        if (lastRequest_.empty()) return;
        if (MayCarryOldReply()) {
          MarkUnsettled();
          LetLineGoQuiet();
          DiscardStaleInput();
        }
        const ByteVector request = lastRequest_;
        WriteRequest(request, reopened);
      },
      result);
}

std::shared_ptr<Connection> MakeSerialPortConnection(const std::string& portName) {
  return std::make_shared<SerialPortConnection>(portName);
}

std::shared_ptr<Connection> MakeTCPConnection(const std::string& host, const std::string& port) {
  return std::make_shared<TCPConnection>(host, port);
}

}  // namespace Korvalt::Ponderix::Driver
