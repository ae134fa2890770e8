// A scale on a serial line: a COM port, a USB serial adapter, or a pseudo-terminal.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <boost/asio/error.hpp>
#include <boost/asio/write.hpp>
#include <boost/system/error_code.hpp>

#include "common/text-template.hpp"
#include "driver/connections/asio-connections.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/logging/logging.hpp"
#include "platform/serial-line.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("connection");

using Text::Fill;
using boost::asio::serial_port_base;
namespace errc = boost::system::errc;

// Serial time-outs [ms]. Scales run at 4800 baud take longer to answer than the faster ones.
constexpr std::chrono::milliseconds kSerialTimeout(500);
constexpr std::chrono::milliseconds kSlowSerialTimeout(1000);

struct OptionRule {
  Option option;
  const char* logTemplate;
  long minimum;
  long maximum;
  const char* violation;
  void (*apply)(boost::asio::serial_port&, long, boost::system::error_code&);
};

const OptionRule kRules[] = {
    {Option::BaudRate, "SetBaudRate(option: @, value: @)", 1, INT_MAX, "invalid baud_rate value",
     [](boost::asio::serial_port& port, long v, boost::system::error_code& ec) {
       port.set_option(serial_port_base::baud_rate(static_cast<unsigned>(v)), ec);
     }},
    {Option::CharacterSize, "SetCharacterSize(option: @, value: @)", 5, 8, "invalid character_size value",
     [](boost::asio::serial_port& port, long v, boost::system::error_code& ec) {
       port.set_option(serial_port_base::character_size(static_cast<unsigned>(v)), ec);
     }},
    {Option::StopBits, "SetStopBits(option: @, value: @)", 0, 2, "invalid stop_bits value",
     [](boost::asio::serial_port& port, long v, boost::system::error_code& ec) {
       port.set_option(serial_port_base::stop_bits(static_cast<serial_port_base::stop_bits::type>(v)), ec);
     }},
    {Option::Parity, "SetParity(option: @, value: @)", 0, 2, "invalid parity value",
     [](boost::asio::serial_port& port, long v, boost::system::error_code& ec) {
       port.set_option(serial_port_base::parity(static_cast<serial_port_base::parity::type>(v)), ec);
     }},
    {Option::FlowControl, "SetFlowControl(option: @, value: @)", 0, 2, "invalid flow_control value",
     [](boost::asio::serial_port& port, long v, boost::system::error_code& ec) {
       port.set_option(
           serial_port_base::flow_control(static_cast<serial_port_base::flow_control::type>(v)), ec);
     }},
};

const OptionRule* FindRule(Option option) {
  for (const auto& rule : kRules) {
    if (rule.option == option) return &rule;
  }
  return nullptr;
}

// A decimal integer with optional blanks around it and an optional sign; false for anything
// else (empty, letters, trailing garbage, outside `long`).
bool ParseDecimal(const std::string& text, long& number) {
  const char* begin = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  if (*begin == '\0') return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(begin, &end, 10);
  if (end == begin || errno == ERANGE) return false;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (*end != '\0') return false;
  number = parsed;
  return true;
}

}  // namespace

SerialPortConnection::SerialPortConnection(std::string portName)
    : portName_(std::move(portName)), port_(std::make_shared<boost::asio::serial_port>(*io_)) {
  options_.emplace(Option::BaudRate, OptionEntry{"", &SerialPortConnection::SetBaudRate});
  options_.emplace(Option::CharacterSize, OptionEntry{"", &SerialPortConnection::SetCharacterSize});
  options_.emplace(Option::StopBits, OptionEntry{"", &SerialPortConnection::SetStopBits});
  options_.emplace(Option::Parity, OptionEntry{"", &SerialPortConnection::SetParity});
  options_.emplace(Option::FlowControl, OptionEntry{"", &SerialPortConnection::SetFlowControl});
  kLog.Trace("SerialPortConnection::SerialPortConnection(...) with portName: " + portName_);
}

SerialPortConnection::~SerialPortConnection() {
  boost::system::error_code ignored;
  port_->close(ignored);
}

void SerialPortConnection::Open(ErrorCase& result) {
  kLog.Trace("SerialPortConnection::Open(...) with full path: " + portName_);
  if (port_->is_open()) return;
  boost::system::error_code ec;
  port_->open(portName_, ec);
  CheckBoostErrorCase(ec, result);
  // Asio opens the device non-blocking and relies on that for its own reads and writes; so does
  // WriteWithoutWaiting. Make sure of it rather than depend on Asio's internals.
  if (!ec) Platform::EnsureNonBlocking(Platform::ToLineHandle(port_->native_handle()));
}

bool SerialPortConnection::IsOpen() { return port_->is_open(); }

void SerialPortConnection::Close() {
  if (!port_->is_open()) return;
  ResetReceiveBuffer();
  port_->close();
}

void SerialPortConnection::SetDefaultOptions(ErrorCase& result) {
  SetBaudRate("9600", result);
  if (result != ErrorCase::Correct) return;
  SetCharacterSize("8", result);
  if (result != ErrorCase::Correct) return;
  SetStopBits("0", result);
  if (result != ErrorCase::Correct) return;
  SetParity("0", result);
  if (result != ErrorCase::Correct) return;
  SetFlowControl("0", result);
}

bool SerialPortConnection::IsOptionSupported(const Option& option) { return options_.count(option) != 0; }

void SerialPortConnection::SetOption(const Option& option, std::string value, ErrorCase& result) {
  auto entry = options_.find(option);
  if (entry == options_.end()) {
    result = ErrorCase::OptionUnsupported;
    return;
  }
  (this->*(entry->second.setter))(std::move(value), result);
}

std::string SerialPortConnection::GetOption(const Option& option, ErrorCase& result) {
  auto entry = options_.find(option);
  if (entry == options_.end()) {
    result = ErrorCase::OptionUnsupported;
    return {};
  }
  return entry->second.value;
}

void SerialPortConnection::SetBaudRate(std::string value, ErrorCase& result) {
  ApplyOption(Option::BaudRate, value, result);
}
void SerialPortConnection::SetCharacterSize(std::string value, ErrorCase& result) {
  ApplyOption(Option::CharacterSize, value, result);
}
void SerialPortConnection::SetStopBits(std::string value, ErrorCase& result) {
  ApplyOption(Option::StopBits, value, result);
}
void SerialPortConnection::SetParity(std::string value, ErrorCase& result) {
  ApplyOption(Option::Parity, value, result);
}
void SerialPortConnection::SetFlowControl(std::string value, ErrorCase& result) {
  ApplyOption(Option::FlowControl, value, result);
}

// The value is stored only once the port took it, so GetOption never reports a setting that is
// not in force, and a reopened port gets exactly the settings that were in force before.
void SerialPortConnection::ApplyOption(Option option, const std::string& value, ErrorCase& result) {
  const OptionRule* rule = FindRule(option);
  if (!port_->is_open()) {
    kLog.Error(Fill("SetOption(option: @, value: @), port is closed", ToString(option), value));
    result = ErrorCase::UnableToOpenSerialPort;
    return;
  }
  auto entry = options_.find(option);
  if (entry == options_.end() || rule == nullptr) {
    result = ErrorCase::OptionUnsupported;
    return;
  }
  if (result != ErrorCase::Correct) return;

  long number = 0;
  if (!ParseDecimal(value, number) || number < INT_MIN || number > INT_MAX) {
    kLog.Error(Fill("SetOption(option: @, value: @), not a decimal int", ToString(option), value));
    result = ErrorCase::IncorrectArgumnts;
    return;
  }
  kLog.Info(Fill(rule->logTemplate, ToString(option), number));
  if (number < rule->minimum || number > rule->maximum) {
    kLog.Error(Fill("SetOption(option: @, value: @), @", ToString(option), value, rule->violation));
    result = ErrorCase::IncorrectArgumnts;
    return;
  }
  boost::system::error_code ec;
  rule->apply(*port_, number, ec);
  if (ec == errc::invalid_argument || ec == errc::operation_not_supported ||
      ec == boost::asio::error::operation_not_supported) {
    // A rate the line cannot run at, or a setting (1.5 stop bits) this system does not offer.
    kLog.Error(Fill("SetOption(option: @, value: @), the port refused it: @", ToString(option), value,
                    ec.message()));
    result = ErrorCase::IncorrectArgumnts;
    return;
  }
  CheckBoostErrorCase(ec, result);
  if (ec) return;
  entry->second.value = value;
}

void SerialPortConnection::AsyncReadSome(boost::asio::mutable_buffer buffer, IoHandler handler) {
  port_->async_read_some(buffer, std::move(handler));
}

void SerialPortConnection::AsyncWrite(boost::asio::const_buffer buffer, IoHandler handler) {
  boost::asio::async_write(*port_, buffer, std::move(handler));
}

void SerialPortConnection::CancelIo() { port_->cancel(); }

std::chrono::milliseconds SerialPortConnection::TransferTimeout() {
  return options_.at(Option::BaudRate).value == "4800" ? kSlowSerialTimeout : kSerialTimeout;
}

// What an unplugged USB adapter or a vanished pseudo-terminal master gives (end of file, EIO,
// ENXIO, ENODEV), and access denied (a port another program held for a moment).
bool SerialPortConnection::IsLineLost(const boost::system::error_code& ec) {
  return ec == boost::asio::error::eof || ec == errc::io_error || ec == errc::no_such_device_or_address ||
         ec == errc::no_such_device || ec == errc::permission_denied || ec == errc::operation_not_permitted ||
         (ec.category() == boost::system::system_category() && Platform::IsLineLostSystemError(ec.value()));
}

void SerialPortConnection::Reopen(ErrorCase& result) {
  Close();
  Open(result);
  if (result != ErrorCase::Correct) return;
  for (const auto& rule : kRules) {
    auto& entry = options_.at(rule.option);
    if (entry.value.empty()) continue;
    // Stored values were accepted once; the reopened port gets them back in table order.
    std::string value = entry.value;
    ApplyOption(rule.option, value, result);
    if (result != ErrorCase::Correct) return;
  }
  kLog.Info("SerialPortConnection::Reopen(), port reopened with its line settings: " + portName_);
}

std::size_t SerialPortConnection::WriteWithoutWaiting(const ByteVector& data) {
  // A request is a few bytes; the terminal's output queue takes them at once unless the line
  // is stuck, and then the asynchronous write with its time-out takes over.
  return Platform::WriteWithoutWaiting(Platform::ToLineHandle(port_->native_handle()), data.data(), data.size());
}

bool SerialPortConnection::MayHaveInput() {
  // Saves a read attempt and a round through the I/O context before every request.
  return Platform::MayHaveInput(Platform::ToLineHandle(port_->native_handle()));
}

std::string SerialPortConnection::ClosedPortMessage() { return ", SerialPortConnection::WriteData, port is closed."; }

}  // namespace Korvalt::Ponderix::Driver
