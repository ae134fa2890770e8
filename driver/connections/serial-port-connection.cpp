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

// Sets one Boost.Asio serial-port option from the checked number.
template <typename Setting, typename Value>
void ApplyTo(boost::asio::serial_port& port, long number, boost::system::error_code& ec) {
  port.set_option(Setting(static_cast<Value>(number)), ec);
}

// The serial options: what each accepts, its default, and how it reaches the port. The order is
// the order SetDefaultOptions and Reopen apply them in.
struct SerialOption {
  Option option;
  const char* logTemplate;
  long minimum;
  long maximum;
  const char* violation;
  const char* defaultValue;
  void (*apply)(boost::asio::serial_port&, long, boost::system::error_code&);
};

const SerialOption kSerialOptions[] = {
    {Option::BaudRate, "SetBaudRate(option: @, value: @)", 1, INT_MAX, "invalid baud_rate value", "9600",
     &ApplyTo<serial_port_base::baud_rate, unsigned>},
    {Option::CharacterSize, "SetCharacterSize(option: @, value: @)", 5, 8, "invalid character_size value", "8",
     &ApplyTo<serial_port_base::character_size, unsigned>},
    {Option::StopBits, "SetStopBits(option: @, value: @)", 0, 2, "invalid stop_bits value", "0",
     &ApplyTo<serial_port_base::stop_bits, serial_port_base::stop_bits::type>},
    {Option::Parity, "SetParity(option: @, value: @)", 0, 2, "invalid parity value", "0",
     &ApplyTo<serial_port_base::parity, serial_port_base::parity::type>},
    {Option::FlowControl, "SetFlowControl(option: @, value: @)", 0, 2, "invalid flow_control value", "0",
     &ApplyTo<serial_port_base::flow_control, serial_port_base::flow_control::type>},
};

const SerialOption* FindSerialOption(Option option) {
  for (const auto& row : kSerialOptions) {
    if (row.option == option) return &row;
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

// A decimal int inside the row's range; logs the number it is about to apply.
bool CheckOptionValue(const SerialOption& row, const std::string& value, long& number, ErrorCase& result) {
  const std::string name = ToString(row.option);
  if (!ParseDecimal(value, number) || number < INT_MIN || number > INT_MAX) {
    kLog.Error(Fill("SetOption(option: @, value: @), not a decimal int", name, value));
    result = ErrorCase::IncorrectArgumnts;
    return false;
  }
  kLog.Info(Fill(row.logTemplate, name, number));
  if (number < row.minimum || number > row.maximum) {
    kLog.Error(Fill("SetOption(option: @, value: @), @", name, value, row.violation));
    result = ErrorCase::IncorrectArgumnts;
    return false;
  }
  return true;
}

// Applies the checked number; a setting the port refuses is the caller's mistake, any other
// failure the line's.
bool SetOnPort(boost::asio::serial_port& port, const SerialOption& row, const std::string& value, long number,
               ErrorCase& result) {
  boost::system::error_code ec;
  row.apply(port, number, ec);
  if (ec == errc::invalid_argument || ec == errc::operation_not_supported ||
      ec == boost::asio::error::operation_not_supported) {
    // A rate the line cannot run at, or a setting (1.5 stop bits) this system does not offer.
    kLog.Error(Fill("SetOption(option: @, value: @), the port refused it: @", ToString(row.option), value,
                    ec.message()));
    result = ErrorCase::IncorrectArgumnts;
    return false;
  }
  CheckBoostErrorCase(ec, result);
  return !ec;
}

}  // namespace

SerialPortConnection::SerialPortConnection(std::string portName)
    : portName_(std::move(portName)), port_(std::make_shared<boost::asio::serial_port>(*io_)) {
  kLog.Trace("SerialPortConnection::SerialPortConnection(...) with portName: " + portName_);
}

SerialPortConnection::~SerialPortConnection() {
  if (!port_->is_open()) return;
  Platform::ReleaseLine(Platform::ToLineHandle(port_->native_handle()));
  boost::system::error_code ignored;
  port_->close(ignored);
}

void SerialPortConnection::Open(ErrorCase& result) {
  kLog.Trace("SerialPortConnection::Open(...) with full path: " + portName_);
  if (port_->is_open()) return;
  boost::system::error_code ec;
  port_->open(portName_, ec);
  if (ec) {
    ExplainOpenFailure(ec);
    const bool refused = ec == errc::device_or_resource_busy || ec == errc::permission_denied ||
                         ec == errc::operation_not_permitted;
    // Busy or denied: the port is there but cannot be had; the log says why and what to do.
    if (refused) {
      result = ErrorCase::UnableToOpenSerialPort;
    } else {
      CheckBoostErrorCase(ec, result);
    }
    return;
  }
  if (!ClaimOpenedPort()) {
    result = ErrorCase::UnableToOpenSerialPort;
    return;
  }
  // Asio opens the device non-blocking and relies on that for its own reads and writes; so does
  // WriteWithoutWaiting. Make sure of it rather than depend on Asio's internals.
  const auto line = Platform::ToLineHandle(port_->native_handle());
  Platform::EnsureNonBlocking(line);
  if (!identity_.Known()) {
    identity_ = Platform::IdentifyLine(line, portName_);
    kLog.Info(Fill("SerialPortConnection::Open(), @ is @", portName_, identity_.Known() ? identity_.text : "unknown"));
  }
}

void SerialPortConnection::ExplainOpenFailure(const boost::system::error_code& ec) {
  if (ec == errc::device_or_resource_busy) {
    const std::string holders = Platform::DescribeHolders(Platform::FindPortHolders(portName_));
    kLog.Error(Fill("SerialPortConnection::Open(), port @ is busy: held by @", portName_,
                    holders.empty() ? "another program (the system does not say which)" : holders));
  } else if (ec == errc::permission_denied || ec == errc::operation_not_permitted) {
    const std::string advice = Platform::AccessAdvice(portName_);
    kLog.Error(Fill("SerialPortConnection::Open(), this user may not open @: @", portName_,
                    advice.empty() ? ec.message() : advice));
  }
}

bool SerialPortConnection::ClaimOpenedPort() {
  const auto line = Platform::ToLineHandle(port_->native_handle());
  if (Platform::ClaimLine(line)) return true;
  boost::system::error_code ignored;
  port_->close(ignored);
  // Looked up once our own descriptor is gone: what is left are the others.
  const std::string holders = Platform::DescribeHolders(Platform::FindPortHolders(portName_));
  kLog.Error(Fill("SerialPortConnection::Open(), port @ is busy: held by @", portName_,
                  holders.empty() ? "another program (the system does not say which)" : holders));
  return false;
}

bool SerialPortConnection::IsOpen() { return port_->is_open(); }

void SerialPortConnection::Close() {
  if (!port_->is_open()) return;
  ResetReceiveBuffer();
  Platform::ReleaseLine(Platform::ToLineHandle(port_->native_handle()));
  port_->close();
}

void SerialPortConnection::SetDefaultOptions(ErrorCase& result) {
  for (const auto& row : kSerialOptions) {
    ApplyOption(row.option, row.defaultValue, result);
    if (result != ErrorCase::Correct) return;
  }
}

bool SerialPortConnection::IsOptionSupported(const Option& option) { return FindSerialOption(option) != nullptr; }

void SerialPortConnection::SetOption(const Option& option, std::string value, ErrorCase& result) {
  if (!IsOptionSupported(option)) {
    result = ErrorCase::OptionUnsupported;
    return;
  }
  ApplyOption(option, value, result);
}

std::string SerialPortConnection::GetOption(const Option& option, ErrorCase& result) {
  if (!IsOptionSupported(option)) {
    result = ErrorCase::OptionUnsupported;
    return {};
  }
  return StoredValue(option);
}

std::string SerialPortConnection::StoredValue(Option option) const {
  auto stored = values_.find(option);
  return stored == values_.end() ? std::string() : stored->second;
}

// The value is stored only once the port took it, so GetOption never reports a setting that is
// not in force, and a reopened port gets exactly the settings that were in force before.
void SerialPortConnection::ApplyOption(Option option, const std::string& value, ErrorCase& result) {
  if (!port_->is_open()) {
    kLog.Error(Fill("SetOption(option: @, value: @), port is closed", ToString(option), value));
    result = ErrorCase::UnableToOpenSerialPort;
    return;
  }
  const SerialOption* row = FindSerialOption(option);
  if (row == nullptr) {
    result = ErrorCase::OptionUnsupported;
    return;
  }
  if (result != ErrorCase::Correct) return;
  long number = 0;
  if (!CheckOptionValue(*row, value, number, result)) return;
  if (!SetOnPort(*port_, *row, value, number, result)) return;
  values_[option] = value;
}

void SerialPortConnection::AsyncReadSome(boost::asio::mutable_buffer buffer, IoHandler handler) {
  port_->async_read_some(buffer, std::move(handler));
}

void SerialPortConnection::AsyncWrite(boost::asio::const_buffer buffer, IoHandler handler) {
  boost::asio::async_write(*port_, buffer, std::move(handler));
}

void SerialPortConnection::CancelIo() { port_->cancel(); }

std::chrono::milliseconds SerialPortConnection::TransferTimeout() {
  return StoredValue(Option::BaudRate) == "4800" ? kSlowSerialTimeout : kSerialTimeout;
}

// What an unplugged USB adapter or a vanished pseudo-terminal master gives (end of file, EIO,
// ENXIO, ENODEV), and access denied (a port another program held for a moment).
bool SerialPortConnection::IsLineLost(const boost::system::error_code& ec) {
  return ec == boost::asio::error::eof || ec == errc::io_error || ec == errc::no_such_device_or_address ||
         ec == errc::no_such_device || ec == errc::permission_denied || ec == errc::operation_not_permitted ||
         (ec.category() == boost::system::system_category() && Platform::IsLineLostSystemError(ec.value()));
}

bool SerialPortConnection::IsSameDevice(const Platform::DeviceIdentity& found, ErrorCase& result) {
  if (!identity_.Known() || found == identity_) return true;
  kLog.Error(Fill("SerialPortConnection::Reopen(), @ now leads to another device: @, not the @ opened first; "
                  "nothing is sent to it",
                  portName_, found.Known() ? found.text : "an unknown device", identity_.text));
  result = ErrorCase::ConnectionError;
  return false;
}

void SerialPortConnection::Reopen(ErrorCase& result) {
  Close();
  // The name may meanwhile lead elsewhere (another program's pseudo-terminal, a printer's
  // adapter that took ttyUSB0): checked before the open and, against a name changed in between,
  // on the opened line before a byte is written.
  const Platform::DeviceIdentity behindName = Platform::IdentifyPort(portName_);
  if (behindName.Known() && !IsSameDevice(behindName, result)) return;
  Open(result);
  if (result != ErrorCase::Correct) return;
  if (!IsSameDevice(Platform::IdentifyLine(Platform::ToLineHandle(port_->native_handle()), portName_), result)) {
    Close();
    return;
  }
  for (const auto& row : kSerialOptions) {
    // Stored values were accepted once; the reopened port gets them back in table order.
    const std::string value = StoredValue(row.option);
    if (value.empty()) continue;
    ApplyOption(row.option, value, result);
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
