#include "driver/protocols/pos-protocol.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "driver/logging/logging.hpp"
#include "driver/protocols/pos-communicator.hpp"
#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kExecutorLog("command-executor");
const Logging::UnitLog kCommunicatorLog("pos-communicator");

// Status reply layout, offsets from the ACK.
constexpr std::size_t kLengthOffset = 2;
constexpr std::size_t kStateOffset = 5;
constexpr std::size_t kWeightOffset = 7;
constexpr std::size_t kTareOffset = 11;
// Data bytes needed to reach the end of the tare field.
constexpr std::size_t kMinStatusDataLength = kTareOffset + 2 - 3;

bool ContainsSequence(const ByteVector& bytes, const ByteVector& pattern) {
  return std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end()) != bytes.end();
}

std::uint64_t LittleEndian(const ByteVector& bytes, std::size_t offset, std::size_t length) {
  std::uint64_t value = 0;
  for (std::size_t i = length; i-- > 0;) value = (value << 8) | bytes[offset + i];
  return value;
}

// Optional sign and at least one decimal digit, nothing else.
bool ParseDecimal(const std::string& text, long long& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long long magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > 1000000) return false;  // far outside every accepted range already
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

namespace Pos {

ByteVector StatusRequest() { return {0x02, 0x05, 0x3A, 0x30, 0x30, 0x33, 0x30, 0x3C}; }
ByteVector SetZeroRequest() { return {0x02, 0x05, 0x30, 0x30, 0x30, 0x33, 0x30, 0x36}; }
ByteVector SetTareRequest() { return {0x02, 0x05, 0x31, 0x30, 0x30, 0x33, 0x30, 0x37}; }
ByteVector SpecifyTareTemplate() { return {0x05, 0x02, 0x07, 0x32, 0x30, 0x30, 0x33, 0x30, 0x00, 0x00, 0x00}; }

std::optional<std::size_t> FindStatusFrame(const ByteVector& bytes) {
  for (std::size_t p = 0; p + 4 <= bytes.size(); ++p) {
    if (bytes[p] != kAck || bytes[p + 1] != kStx) continue;
    const std::size_t length = bytes[p + kLengthOffset];
    const std::size_t end = p + length + 4;  // one past the check byte
    // A candidate whose length byte reaches past the bytes gathered is either still arriving or
    // line noise (06 02 FF) that will never be whole: a later candidate that is complete and
    // passes its check byte is the frame.
    if (bytes.size() < end) continue;
    std::uint8_t check = 0;
    for (std::size_t i = p + kLengthOffset; i < end - 1; ++i) check ^= bytes[i];
    if (check == bytes[end - 1]) return p;
  }
  return std::nullopt;
}

ByteVector MakeSpecifyTareRequest(const std::string& tare, ErrorCase& code) {
  long long value = 0;
  if (!ParseDecimal(tare, value) || value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::uint16_t>::max()) {
    code = ErrorCase::ParamValueUnsupported;
    return {};
  }
  ByteVector frame = SpecifyTareTemplate();
  const auto raw = static_cast<std::uint16_t>(value);
  frame[kSpecifyTareValueOffset] = static_cast<std::uint8_t>(raw & 0xFF);
  frame[kSpecifyTareValueOffset + 1] = static_cast<std::uint8_t>(raw >> 8);
  std::uint8_t check = 0;
  for (std::size_t i = 3; i + 1 < frame.size(); ++i) check ^= frame[i];
  frame.back() = check;
  return frame;
}

std::string DecodeWeightState(const ByteVector& stateBytes, ErrorCase& code) {
  if (stateBytes.size() != 2) {
    code = ErrorCase::IncorrectArgumnts;
    return {};
  }
  std::string text;
  for (int bit = 0; bit < 8; ++bit) text += (stateBytes[0] >> bit) & 1 ? '1' : '0';
  text += (stateBytes[1] >> 7) & 1 ? '1' : '0';
  text += (stateBytes[1] >> 6) & 1 ? '1' : '0';
  return text;
}

WeightReading DecodeStatusReading(const ByteVector& response, ErrorCase& code) {
  if (response.size() <= 2) {
    code = ErrorCase::DeviceUnexpectedResponse;
    return {};
  }
  const auto start = FindStatusFrame(response);
  if (!start || response[*start + kLengthOffset] < kMinStatusDataLength) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const std::size_t p = *start;
  WeightReading reading;
  reading.stateText =
      DecodeWeightState(ByteVector(response.begin() + p + kStateOffset, response.begin() + p + kStateOffset + 2), code);
  if (code != ErrorCase::Correct) return {};
  const auto grams = static_cast<std::int32_t>(LittleEndian(response, p + kWeightOffset, 4));
  const auto tareGrams = LittleEndian(response, p + kTareOffset, 2);
  reading.text = std::to_string(grams);
  reading.tareText = std::to_string(tareGrams);
  reading.unitText = "gr";
  reading.weightMg = static_cast<std::int64_t>(grams) * 1000;
  reading.unit = "g";
  // Bit 0 of the first state byte is the stability flag; no other bit is defined, so the scale
  // says nothing of overload.
  reading.stable = FlagOf(reading.stateText[0] == '1');
  reading.tareKnown = true;
  reading.tareMg = static_cast<std::int64_t>(tareGrams) * 1000;
  reading.net = FlagOf(tareGrams != 0);
  return reading;
}

OutputValues DecodeStatusReply(const ByteVector& response, ErrorCase& code) {
  const WeightReading reading = DecodeStatusReading(response, code);
  if (code != ErrorCase::Correct) return {};
  return RenderOutputs(reading);
}

}  // namespace Pos

bool POSStartResponseValidator(const ByteVector& bytes) {
  kCommunicatorLog.Trace("POSCommunicator::POSStartResponseValidator()");
  return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == kAck || b == kNak; });
}

bool POSStatusOfWeightChannelResponseValidator(const ByteVector& bytes) {
  kExecutorLog.Trace("POSCommunicator::POSStatusOfWeightChannelResponseValidator()");
  return Pos::FindStatusFrame(bytes).has_value();
}

bool POSSetZeroResponseValidator(const ByteVector& bytes) {
  return ContainsSequence(bytes, {0x06, 0x02, 0x02, 0x30, 0x00, 0x32});
}

bool POSSetTareResponseValidator(const ByteVector& bytes) {
  return ContainsSequence(bytes, {0x06, 0x02, 0x02, 0x31, 0x00, 0x33});
}

bool POSSpecifyTareResponseValidator(const ByteVector& bytes) { return ContainsSequence(bytes, {0x02, 0x32, 0x00}); }

}  // namespace Korvalt::Ponderix::Driver

namespace Korvalt::Ponderix::Driver {

ByteVector POSCommandExecutor::MakeRequest(ProtocolContext& context, ErrorCase& code) {
  if (inputPositions_.empty()) return requestTemplate_;
  // Only specify-tare carries an input: the tare, range- and format-checked before anything
  // is sent.
  const std::string tare = context.GetInputParam(ParamType::Tare, code);
  if (code != ErrorCase::Correct) return {};
  ByteVector request = Pos::MakeSpecifyTareRequest(tare, code);
  if (code != ErrorCase::Correct) {
    kExecutorLog.Error("POSCommandExecutor::MakeRequest, tare [" + tare + "] is not an integer in -32768..65535");
  }
  return request;
}

OutputValues POSCommandExecutor::ParseResponse(ProtocolContext&, const ByteVector& response, ErrorCase& code) {
  if (response.size() <= 2) {
    code = ErrorCase::DeviceUnexpectedResponse;
    return {};
  }
  if (outputPositions_.empty()) return {};
  reading_ = Pos::DecodeStatusReading(response, code);
  if (code != ErrorCase::Correct) {
    reading_.reset();
    return {};
  }
  return RenderOutputs(*reading_);
}

namespace {

struct POSCommandRow {
  Command command;
  ByteVector (*request)();
  bool (*validator)(const ByteVector&);
};

const POSCommandRow kPOSCommands[] = {
    {Command::POSStatusOfWeightChannel, Pos::StatusRequest, POSStatusOfWeightChannelResponseValidator},
    {Command::POSSetZero, Pos::SetZeroRequest, POSSetZeroResponseValidator},
    {Command::POSSetTare, Pos::SetTareRequest, POSSetTareResponseValidator},
    {Command::POSSpecifyTare, Pos::SpecifyTareTemplate, POSSpecifyTareResponseValidator},
};

}  // namespace

std::unique_ptr<ICommandExecutor> CreatePOSExecutor(Command command) {
  for (const auto& row : kPOSCommands) {
    if (row.command != command) continue;
    std::vector<ParamPosition> inputs;
    std::vector<ParamPosition> outputs;
    if (command == Command::POSSpecifyTare) {
      inputs.push_back({static_cast<std::int32_t>(Pos::kSpecifyTareValueOffset), 2, ParamType::Tare});
    }
    if (command == Command::POSStatusOfWeightChannel) {
      outputs = {{5, 2, ParamType::WeightState}, {7, 4, ParamType::Weight}, {11, 2, ParamType::Tare}};
    }
    return std::make_unique<POSCommandExecutor>(command, std::make_unique<POSCommunicator>(), row.request(),
                                                std::move(inputs), std::move(outputs),
                                                std::vector<ResponseValidator>{row.validator});
  }
  return nullptr;
}

}  // namespace Korvalt::Ponderix::Driver
