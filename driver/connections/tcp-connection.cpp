// A scale on the network (a serial-to-Ethernet converter or a scale with its own TCP port).
#include <boost/asio/connect.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/error_code.hpp>

#include "common/text-template.hpp"
#include "driver/connections/asio-connections.hpp"
#include "driver/logging/logging.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("connection");

using Text::Fill;
using boost::asio::ip::tcp;
namespace errc = boost::system::errc;

// Connect, write and read time-out [ms].
constexpr std::chrono::milliseconds kTCPTimeout(700);

}  // namespace

TCPConnection::TCPConnection(std::string ip, std::string port)
    : socket_(std::make_shared<tcp::socket>(*io_)) {
  auto endPoint = SplitTCPEndPoint(ip, port);
  ip_ = std::move(endPoint.host);
  port_ = std::move(endPoint.port);
  kLog.Trace(Fill("TCPConnection::TCPConnection(...) with ip: @, port: @", ip_, port_));
}

TCPConnection::~TCPConnection() {
  boost::system::error_code ignored;
  socket_->close(ignored);
}

void TCPConnection::Open(ErrorCase& result) {
  kLog.Trace(Fill("TCPConnection::Open(...) with ip: @, port: @", ip_, port_));
  if (socket_->is_open()) Close();
  if (ip_.empty() || port_.empty()) {
    result = ErrorCase::Unset;
    return;
  }
  auto endpoints = Resolve(result);
  if (result != ErrorCase::Correct) return;
  Connect(endpoints, result);
}

tcp::resolver::results_type TCPConnection::Resolve(ErrorCase& result) {
  // An address literal is never looked up; a name may give several addresses (IPv6 and IPv4
  // for "localhost"), tried in turn within the one time-out.
  boost::system::error_code notLiteral;
  boost::asio::ip::make_address(ip_, notLiteral);
  auto flags = notLiteral ? tcp::resolver::flags() : tcp::resolver::numeric_host;
  boost::system::error_code ec;
  tcp::resolver resolver(*io_);
  auto endpoints = resolver.resolve(ip_, port_, flags, ec);
  if (ec) {
    kLog.Error(Fill("TCPConnection::Open(), cannot resolve @:@", ip_, port_));
    CheckBoostErrorCase(ec, result);
  } else if (endpoints.empty()) {
    kLog.Error(Fill("TCPConnection::Open(), no address for @:@", ip_, port_));
    result = ErrorCase::BoostErrorUnknown;
  }
  return endpoints;
}

void TCPConnection::Connect(const tcp::resolver::results_type& endpoints, ErrorCase& result) {
  tcp::endpoint connected;
  auto outcome = RunWithDeadline(
      kTCPTimeout,
      [this, &endpoints, &connected](Completion done) {
        boost::asio::async_connect(*socket_, endpoints,
                                   [&connected, done](const boost::system::error_code& ec, const tcp::endpoint& chosen) {
                                     if (!ec) connected = chosen;
                                     done(ec);
                                   });
      },
      result);
  if (outcome) {
    CheckBoostErrorCase(outcome, result);
    boost::system::error_code ignored;
    socket_->close(ignored);
    return;
  }
  kLog.Info(Fill("TCPConnection::Open(), connected to @:@", connected.address().to_string(), connected.port()));
}

bool TCPConnection::IsOpen() { return socket_->is_open(); }

void TCPConnection::Close() {
  if (!socket_->is_open()) return;
  ResetReceiveBuffer();
  boost::system::error_code ignored;
  socket_->shutdown(tcp::socket::shutdown_both, ignored);  // fails harmlessly on a dead peer
  socket_->close();
}

void TCPConnection::SetDefaultOptions(ErrorCase&) {}

bool TCPConnection::IsOptionSupported(const Option&) { return false; }

void TCPConnection::SetOption(const Option&, std::string, ErrorCase& result) { result = ErrorCase::OptionUnsupported; }

std::string TCPConnection::GetOption(const Option&, ErrorCase& result) {
  result = ErrorCase::OptionUnsupported;
  return {};
}

void TCPConnection::AsyncReadSome(boost::asio::mutable_buffer buffer, IoHandler handler) {
  socket_->async_read_some(buffer, std::move(handler));
}

void TCPConnection::AsyncWrite(boost::asio::const_buffer buffer, IoHandler handler) {
  boost::asio::async_write(*socket_, buffer, std::move(handler));
}

void TCPConnection::CancelIo() { socket_->cancel(); }

std::chrono::milliseconds TCPConnection::TransferTimeout() { return kTCPTimeout; }

bool TCPConnection::IsLineLost(const boost::system::error_code& ec) {
  // Access denied, or a peer that closed or reset the connection (a scale or converter that
  // restarted): a new connection may reach it again.
  return ec == errc::permission_denied || ec == errc::operation_not_permitted || ec == boost::asio::error::eof ||
         ec == errc::connection_reset || ec == errc::broken_pipe || ec == errc::not_connected ||
         ec == errc::connection_aborted;
}

void TCPConnection::Reopen(ErrorCase& result) {
  Close();
  Open(result);
}

std::size_t TCPConnection::WriteWithoutWaiting(const ByteVector& data) {
  boost::system::error_code ec;
  if (!socket_->non_blocking()) socket_->non_blocking(true, ec);
  if (ec) return 0;
  std::size_t written = socket_->write_some(boost::asio::buffer(data), ec);
  return ec ? 0 : written;
}

bool TCPConnection::MayHaveInput() {
  boost::system::error_code ec;
  return socket_->available(ec) > 0 || ec;
}

std::string TCPConnection::ClosedPortMessage() { return ", SocketConnection::WriteData, port is closed."; }

void TCPConnection::LogWritten(const ByteVector& data) {
  kLog.Trace("WriteData(): bytes written: " + std::string(data.begin(), data.end()));
}

}  // namespace Korvalt::Ponderix::Driver
