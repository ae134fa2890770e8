#include "driver/protocols/auto-detection.hpp"

#include <utility>

#include "common/text-template.hpp"
#include "driver/connections/connection.hpp"
#include "driver/device/device.hpp"
#include "driver/vocabulary/enumeration-names.hpp"
#include "driver/interface/defines.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kDetectionLog("get-protocol-version-auto-executable");
const Logging::UnitLog kStatusLog("status-of-weight-channel-auto-executor");

enum class LineFamily { OKA, Other };

// While the protocol is still unknown, each attempt needs the line its scale uses. At 4800
// baud OKA scales run 8 data bits, two stop bits and even parity, the others 8N1; at 9600 all
// use the defaults, and any other speed was left as the system set it, so there is nothing to
// switch. A fixed protocol keeps the line the device opened it with.
class LineSwitcher {
 public:
  explicit LineSwitcher(Device& device) {
    if (device.GetProtocol() != "auto") return;
    connection_ = device.GetConnection();
    if (!connection_ || !connection_->IsOptionSupported(Option::BaudRate)) {
      connection_.reset();
      return;
    }
    ErrorCase ignored = ErrorCase::Correct;
    if (connection_->GetOption(Option::BaudRate, ignored) != "4800") connection_.reset();
  }

  void Apply(LineFamily family, ErrorCase& code) {
    if (!connection_ || (applied_ && current_ == family)) return;
    if (family == LineFamily::OKA) {
      const std::pair<Option, const char*> settings[] = {{Option::BaudRate, "4800"},
                                                         {Option::CharacterSize, "8"},
                                                         {Option::StopBits, "2"},
                                                         {Option::Parity, "2"},
                                                         {Option::FlowControl, "0"}};
      for (const auto& [option, value] : settings) {
        connection_->SetOption(option, value, code);
        if (code != ErrorCase::Correct) return;
      }
    } else {
      connection_->SetDefaultOptions(code);
      if (code == ErrorCase::Correct) connection_->SetOption(Option::BaudRate, "4800", code);
    }
    if (code == ErrorCase::Correct) {
      current_ = family;
      applied_ = true;
    }
  }

 private:
  std::shared_ptr<Connection> connection_;
  // The device opened the line for OKA, but the first attempt applies its settings once more.
  // A flag beside the value rather than std::optional: GCC 12's optimiser takes the optional's
  // payload for uninitialised (a false alarm under -Wall).
  bool applied_ = false;
  LineFamily current_ = LineFamily::Other;
};

LineFamily FamilyOf(Command command) {
  return command == Command::OKAStatusOfWeightChannel ? LineFamily::OKA : LineFamily::Other;
}

// One attempt on a fresh code: the line for its family, then the command with the device's checks.
void Attempt(Device& device, LineSwitcher& line, Command command, ErrorCase& code) {
  code = ErrorCase::Correct;
  line.Apply(FamilyOf(command), code);
  if (code != ErrorCase::Correct) return;
  device.ExecuteCommand(command, code);
}

// A scale of a "ProV1" protocol answers the native serial-number question too. Any whole line
// counts, "ERROR" included: the scale speaks the native protocol even if it keeps that value to
// itself. Only silence (or a broken line) means a plain scale.
bool AnswersNativeProtocol(Device& device, LineSwitcher& line) {
  ErrorCase code = ErrorCase::Correct;
  Attempt(device, line, Command::GetSerialNumber, code);
  return code == ErrorCase::Correct || code == ErrorCase::DeviceReturnsError ||
         code == ErrorCase::DeviceUnexpectedResponse;
}

}  // namespace

OutputValues GetProtocolVersionAutoExecutor::ExecuteCommand(Device& device, ErrorCase& code) {
  kDetectionLog.Trace(Text::Fill("GetProtocolVersionAutoExecutor::ExecuteCommand(command: @, code [@])",
                                 ToString(command_), static_cast<int>(command_)));
  if (code != ErrorCase::Correct) return {};
  LineSwitcher line(device);
  std::string name;

  Attempt(device, line, Command::POSStatusOfWeightChannel, code);
  if (code == ErrorCase::Correct) {
    name = AnswersNativeProtocol(device, line) ? "POS2MProV1" : "POS2M";
  } else {
    Attempt(device, line, Command::OKAStatusOfWeightChannel, code);
    if (code == ErrorCase::Correct) {
      name = "OKA";
    } else {
      Attempt(device, line, Command::CASActiveStatusOfWeightChannel, code);
      if (code == ErrorCase::Correct) {
        name = "CAS-M-Active";
      } else {
        Attempt(device, line, Command::CASStatusOfWeightChannel, code);
        if (code != ErrorCase::Correct) {
          // Leave the line as the device opened it for the still unknown protocol.
          ErrorCase restore = ErrorCase::Correct;
          line.Apply(LineFamily::OKA, restore);
          kDetectionLog.Error(Text::Fill("GetProtocolVersionAutoExecutor::ExecuteCommand, no protocol answered, ecase [@]",
                                         ToString(code)));
          return {};
        }
        name = AnswersNativeProtocol(device, line) ? "CAS-M ProV1" : "CAS-M";
      }
    }
  }
  // The line stays set for the protocol found.
  code = ErrorCase::Correct;
  line.Apply(name == "OKA" ? LineFamily::OKA : LineFamily::Other, code);
  if (code != ErrorCase::Correct) return {};
  kDetectionLog.Info("GetProtocolVersionAutoExecutor::ExecuteCommand, protocol found: " + name);
  return {{ParamType::ProtocolVersion, name}};
}

OutputValues StatusOfWeightChannelAutoExecutor::ExecuteCommand(Device& device, ErrorCase& code) {
  kStatusLog.Trace(Text::Fill("StatusOfWeightChannelAutoExecutor::ExecuteCommand(command: @, code [@])",
                              ToString(command_), static_cast<int>(command_)));
  LineSwitcher line(device);
  for (Command command : {Command::POSStatusOfWeightChannel, Command::CASStatusOfWeightChannel,
                          Command::OKAStatusOfWeightChannel}) {
    Attempt(device, line, command, code);
    if (code == ErrorCase::Correct) break;
  }
  return {};
}

std::unique_ptr<ICommandExecutor> CreateAutoExecutor(Command command) {
  switch (command) {
    case Command::GetProtocolAuto:
      return std::make_unique<GetProtocolVersionAutoExecutor>(command);
    case Command::StatusOfWeightChannelAuto:
      return std::make_unique<StatusOfWeightChannelAutoExecutor>(command);
    default:
      return nullptr;
  }
}

}  // namespace Korvalt::Ponderix::Driver
