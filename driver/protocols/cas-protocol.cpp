#include "driver/protocols/cas-protocol.hpp"

#include <algorithm>

#include "driver/logging/logging.hpp"
#include "driver/protocols/default-communicator.hpp"
#include "driver/protocols/one-way-request-communication.hpp"
#include "driver/protocols/one-way-response-communicator.hpp"
#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kExecutorLog("command-executor");

// Frame layout, offsets from SOH.
constexpr std::size_t kStateOffset = 2;
constexpr std::size_t kSignOffset = 3;
constexpr std::size_t kWeightOffset = 4;
constexpr std::size_t kWeightLength = 6;
constexpr std::size_t kUnitOffset = 10;
constexpr std::size_t kBccOffset = 12;
constexpr std::size_t kEtxOffset = 13;

}  // namespace

namespace Cas {

ByteVector StatusRequest() { return {kDc1}; }
ByteVector SetZeroRequest() { return {0x3C, 0x5A, 0x4B, 0x3E, 0x09}; }
ByteVector SetTareRequest() { return {0x3C, 0x54, 0x4B, 0x3E, 0x09}; }

std::uint8_t Bcc(const ByteVector& frame, std::size_t start) {
  std::uint8_t bcc = 0;
  for (std::size_t i = start + kStateOffset; i < start + kBccOffset; ++i) bcc ^= frame[i];
  return bcc;
}

std::optional<std::size_t> FindCheckedFrame(const ByteVector& bytes) {
  if (bytes.size() < kFrameSize) return std::nullopt;
  for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
    if (bytes[k] != kEtx || bytes[k + 1] != kEot) continue;
    if (k < kEtxOffset) return std::nullopt;
    const std::size_t start = k - kEtxOffset;
    if (bytes[start] != kSoh || bytes[start + 1] != kStx) return std::nullopt;
    if (Bcc(bytes, start) != bytes[start + kBccOffset]) return std::nullopt;
    return start;
  }
  return std::nullopt;
}

std::optional<std::size_t> FindUncheckedFrame(const ByteVector& bytes) {
  for (std::size_t s = 0; s + kFrameSize <= bytes.size(); ++s) {
    if (bytes[s] == kSoh && bytes[s + 1] == kStx && bytes[s + kEtxOffset] == kEtx && bytes[s + kEtxOffset + 1] == kEot) {
      return s;
    }
  }
  return std::nullopt;
}

WeightReading DecodeCASReading(const ByteVector& bytes, std::size_t start, ErrorCase& code) {
  if (start + kFrameSize > bytes.size()) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const char state = static_cast<char>(bytes[start + kStateOffset]);
  if (state != 'S' && state != 'U' && state != 'F') {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const std::string unitField(bytes.begin() + start + kUnitOffset, bytes.begin() + start + kUnitOffset + 2);
  std::string unit;
  if (unitField == "kg") {
    unit = "kg";
  } else if (unitField == "lb") {
    unit = "lb";
  } else if (unitField == " g") {
    unit = "g";
  } else {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const std::string weight(bytes.begin() + start + kWeightOffset,
                           bytes.begin() + start + kWeightOffset + kWeightLength);
  if (std::none_of(weight.begin(), weight.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const char signByte = static_cast<char>(bytes[start + kSignOffset]);
  const std::string sign = signByte == ' ' ? std::string() : std::string(1, signByte);

  std::string weightState(10, '*');
  weightState[0] = weightState[4] = state == 'S' ? '1' : '0';
  const bool overload = state == 'F' || weight.find_first_of("Ff") != std::string::npos;
  weightState[6] = overload ? '1' : '0';

  WeightReading reading;
  reading.text = sign + weight.substr(weight.find_first_not_of(' '));
  reading.stateText = weightState;
  reading.unitText = unit;
  reading.unit = unit;
  reading.stable = FlagOf(state == 'S');
  reading.overload = FlagOf(overload);
  if (!ToMilligrams(reading.text, unit, reading.weightMg)) {
    // An overloaded scale fills its weight field with 'F's: no number to give.
    reading.weightMg = 0;
    reading.numeric = overload;
  }
  return reading;
}

OutputValues DecodeCASFrame(const ByteVector& bytes, std::size_t start, ErrorCase& code) {
  const WeightReading reading = DecodeCASReading(bytes, start, code);
  if (code != ErrorCase::Correct) return {};
  return RenderOutputs(reading);
}

}  // namespace Cas

bool CASStatusOfWeightChannelResponseValidator(const ByteVector& bytes) {
  kExecutorLog.Trace("CASStatusOfWeightChannelResponseValidator()");
  return Cas::FindCheckedFrame(bytes).has_value();
}

bool CASActiveStatusOfWeightChannelResponseValidator(const ByteVector& bytes) {
  kExecutorLog.Trace("CASActiveStatusOfWeightChannelResponseValidator()");
  if (bytes.size() < Cas::kFrameSize) return false;
  for (std::size_t s = 0; s + 1 < bytes.size(); ++s) {
    if (bytes[s] != kSoh || bytes[s + 1] != kStx) continue;
    for (std::size_t k = s + 2; k + 1 < bytes.size(); ++k) {
      if (bytes[k] == kEtx && bytes[k + 1] == kEot) return true;
    }
    return false;
  }
  return false;
}

}  // namespace Korvalt::Ponderix::Driver

namespace Korvalt::Ponderix::Driver {
namespace {

// The reading of the frame found at `start` (none: the reply holds no frame), kept in `reading`
// for the device and rendered as the command's outputs.
OutputValues DecodeFrameAt(std::optional<std::size_t> start, const ByteVector& response,
                           std::optional<WeightReading>& reading, ErrorCase& code) {
  if (!start) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  reading = Cas::DecodeCASReading(response, *start, code);
  if (code != ErrorCase::Correct) {
    reading.reset();
    return {};
  }
  return RenderOutputs(*reading);
}

}  // namespace

ByteVector CASCommandExecutor::MakeRequest(ProtocolContext&, ErrorCase&) { return requestTemplate_; }

OutputValues CASCommandExecutor::ParseResponse(ProtocolContext&, const ByteVector& response, ErrorCase& code) {
  if (command_ != Command::CASStatusOfWeightChannel || code != ErrorCase::Correct) return {};
  // Decode the frame the validator accepted, wherever it starts in the reply.
  return DecodeFrameAt(Cas::FindCheckedFrame(response), response, reading_, code);
}

ByteVector CASActiveCommandExecutor::MakeRequest(ProtocolContext&, ErrorCase&) { return {}; }

OutputValues CASActiveCommandExecutor::ParseResponse(ProtocolContext&, const ByteVector& response, ErrorCase& code) {
  if (command_ != Command::CASActiveStatusOfWeightChannel || code != ErrorCase::Correct) return {};
  return DecodeFrameAt(Cas::FindUncheckedFrame(response), response, reading_, code);
}

std::unique_ptr<ICommandExecutor> CreateCASExecutor(Command command) {
  switch (command) {
    case Command::CASStatusOfWeightChannel:
      return std::make_unique<CASCommandExecutor>(
          command, std::make_unique<DialogCommunicator>(std::vector<HandshakeStep>{{"\x05", "\x06"}}),
          Cas::StatusRequest(), std::vector<ParamPosition>{}, std::vector<ParamPosition>{},
          std::vector<ResponseValidator>{CASStatusOfWeightChannelResponseValidator});
    case Command::CASActiveStatusOfWeightChannel:
      return std::make_unique<CASActiveCommandExecutor>(
          command, std::make_unique<OneWayResponseCommunicator>(), ByteVector{}, std::vector<ParamPosition>{},
          std::vector<ParamPosition>{}, std::vector<ResponseValidator>{CASActiveStatusOfWeightChannelResponseValidator});
    case Command::CASSetZero:
    case Command::CASSetTare:
      return std::make_unique<CASCommandExecutor>(
          command, std::make_unique<OneWayRequestCommunication>(),
          command == Command::CASSetZero ? Cas::SetZeroRequest() : Cas::SetTareRequest(), std::vector<ParamPosition>{},
          std::vector<ParamPosition>{}, std::vector<ResponseValidator>{AlwaysComplete});
    default:
      return nullptr;
  }
}

}  // namespace Korvalt::Ponderix::Driver
