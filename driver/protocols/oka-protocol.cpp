#include "driver/protocols/oka-protocol.hpp"

#include <algorithm>
#include <cstdint>

#include "common/text-template.hpp"
#include "driver/logging/logging.hpp"
#include "driver/protocols/default-communicator.hpp"
#include "driver/protocols/oka-communicator.hpp"
#include "driver/protocols/one-way-request-communication.hpp"
#include "driver/protocols/protocol-families.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kCommunicatorLog("oka-communicator");

constexpr std::size_t kWeightDigits = 6;
constexpr std::size_t kSumDigits = 7;

bool AllDigits(const ByteVector& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b <= 9; });
}

std::uint64_t DigitsValue(const ByteVector& digits) {
  std::uint64_t value = 0;
  for (auto d : digits) value = value * 10 + d;
  return value;
}

std::string DigitsText(const ByteVector& digits) {
  std::string text;
  for (auto d : digits) text += static_cast<char>('0' + d);
  return text;
}

// The first `size` bytes of `bytes`, zero-padded when it is shorter.
ByteVector Prefix(const ByteVector& bytes, std::size_t size) {
  ByteVector head(bytes.begin(), bytes.begin() + std::min(size, bytes.size()));
  head.resize(size, 0);
  return head;
}

}  // namespace

namespace Oka {

ByteVector SetZeroRequest() {
  ByteVector request(16, 0x00);
  request.back() = 0x01;
  return request;
}

ByteVector WeightRequest() { return {0x02, 0x09, 0x09, 0x09, 0x09, 0x09, 0x09}; }

ByteVector SumRequest() {
  ByteVector request(16, 0x00);
  request.back() = 0x06;
  return request;
}

ByteVector SpecifyTareTemplate() { return {0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}; }

ByteVector MakeSpecifyTareRequest(const std::string& tare, ErrorCase& code) {
  if (tare.empty() || tare.size() > kTareDigits ||
      !std::all_of(tare.begin(), tare.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    code = ErrorCase::ParamValueUnsupported;
    return {};
  }
  ByteVector request = SpecifyTareTemplate();
  std::size_t at = 1;
  for (auto c = tare.rbegin(); c != tare.rend(); ++c) request[at++] = static_cast<std::uint8_t>(*c - '0');
  return request;
}

ByteVector WeightAndFlag(const ByteVector& weightReply, ErrorCase& code) {
  ByteVector record = Prefix(weightReply, kWeightDigits + 1);
  const std::uint8_t flag = weightReply.size() > kFlagOffset ? weightReply[kFlagOffset] : 0;
  record[kWeightDigits] = flag;
  if (flag == 0x40 || flag == 0xC0) {
    // The scale marks the weight as not valid (overload, under zero): it reads as zero.
    kCommunicatorLog.Trace("Flag is 0x40 or 0xC0 ");
    std::fill(record.begin(), record.begin() + kWeightDigits, 0);
  }
  std::reverse(record.begin(), record.begin() + kWeightDigits);
  if (!AllDigits(ByteVector(record.begin(), record.begin() + kWeightDigits))) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  return record;
}

ByteVector SumDigits(const ByteVector& sumReply, ErrorCase& code) {
  ByteVector sum = Prefix(sumReply, kSumDigits);
  std::reverse(sum.begin(), sum.end());
  if (!AllDigits(sum)) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  return sum;
}

ByteVector ComputeTareDigits(const ByteVector& weightDigits, const ByteVector& sumDigits, ErrorCase& code) {
  ByteVector tareDigits(kTareDigits, 0);
  if (weightDigits.size() != kWeightDigits || sumDigits.size() != kSumDigits || !AllDigits(weightDigits) ||
      !AllDigits(sumDigits)) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const bool sumIsZero = std::all_of(sumDigits.begin(), sumDigits.end(), [](std::uint8_t d) { return d == 0; });
  if (sumIsZero || std::equal(weightDigits.begin(), weightDigits.end(), sumDigits.begin())) return tareDigits;

  const std::uint64_t weight = DigitsValue(weightDigits);
  kCommunicatorLog.Trace("Weight: " + DigitsText(weightDigits));
  // The sum carries one digit more than the weight; it is rounded away before subtracting, and
  // a sum that rounds below the weight means no tare.
  const std::uint64_t sum = (DigitsValue(sumDigits) + 5) / 10;
  kCommunicatorLog.Trace("Weight plus tare: " + std::to_string(sum));
  if (sum < weight) return tareDigits;
  const std::uint64_t tare = sum - weight;
  kCommunicatorLog.Trace("Tare: " + std::to_string(tare));
  const std::string text = std::to_string(tare);
  if (text.size() > kTareDigits) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    tareDigits[kTareDigits - text.size() + i] = static_cast<std::uint8_t>(text[i] - '0');
  }
  return tareDigits;
}

ByteVector MakeStatusRecord(const ByteVector& weightReply, const ByteVector& sumReply, ErrorCase& code) {
  ByteVector record = WeightAndFlag(weightReply, code);
  if (code != ErrorCase::Correct) return {};
  const ByteVector sum = SumDigits(sumReply, code);
  if (code != ErrorCase::Correct) return {};
  const ByteVector tare = ComputeTareDigits(ByteVector(record.begin(), record.begin() + kWeightDigits), sum, code);
  if (code != ErrorCase::Correct) return {};
  record.insert(record.end(), tare.begin(), tare.end());
  return record;
}

std::string DigitsToKilograms(const ByteVector& digits, ErrorCase& code) {
  if (digits.empty() || digits.size() > 18 || !AllDigits(digits)) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  std::string text = std::to_string(DigitsValue(digits));
  if (text.size() <= 3) text.insert(0, 3 - text.size() + 1, '0');
  text.insert(text.size() - 3, ".");
  return text;
}

WeightReading DecodeStatusRecord(const ByteVector& record, ErrorCase& code) {
  if (record.size() < kRecordSize) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  const ByteVector weight(record.begin(), record.begin() + kWeightDigits);
  const std::uint8_t flag = record[kWeightDigits];
  const ByteVector tare(record.begin() + kWeightDigits + 1, record.begin() + kRecordSize);
  WeightReading reading;
  reading.text = DigitsToKilograms(weight, code);
  if (code == ErrorCase::Correct) reading.tareText = DigitsToKilograms(tare, code);
  if (code != ErrorCase::Correct) return {};
  reading.stateText = FlagText({flag});
  // The scale counts grams.
  reading.unit = "kg";
  reading.weightMg = static_cast<std::int64_t>(DigitsValue(weight)) * 1000;
  reading.tareKnown = true;
  reading.tareMg = static_cast<std::int64_t>(DigitsValue(tare)) * 1000;
  reading.net = FlagOf(reading.tareMg != 0);
  // 0x00 settled, 0x40 settling, 0xC0 overload; the weight then reads zero.
  reading.stable = FlagOf(flag == 0x00);
  reading.overload = FlagOf((flag & 0x80) != 0);
  return reading;
}

std::string FlagText(const ByteVector& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string text = "0x";
  for (auto b : bytes) {
    text += kHex[b >> 4];
    text += kHex[b & 0x0F];
  }
  return text;
}

}  // namespace Oka

bool OKAWeightResponseValidator(const ByteVector& bytes) {
  if (bytes.size() < Oka::kWeightReplySize) return false;
  return std::all_of(bytes.begin() + 6, bytes.begin() + 11, [](std::uint8_t b) { return b == 0; });
}

bool OKASumResponseValidator(const ByteVector& bytes) { return bytes.size() >= Oka::kSumReplySize; }

}  // namespace Korvalt::Ponderix::Driver

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kExecutorLog("command-executor");

}  // namespace

ByteVector OKACommandExecutor::MakeRequest(ProtocolContext& context, ErrorCase& code) {
  kExecutorLog.Trace("OKACommandExecutor::MakeRequest()");
  if (command_ != Command::OKASpecifyTare) return ByteManExecutor::MakeRequest(context, code);
  const std::string tare = context.GetInputParam(ParamType::Tare, code);
  kExecutorLog.Trace("OKACommandExecutor::MakeRequest(): param: " + tare);
  if (code != ErrorCase::Correct) return {};
  kExecutorLog.Trace("OKACommandExecutor::MakeRequest(): param: " + std::string(tare.rbegin(), tare.rend()));
  ByteVector request = Oka::MakeSpecifyTareRequest(tare, code);
  if (code != ErrorCase::Correct) {
    kExecutorLog.Error("OKACommandExecutor::MakeRequest, tare [" + tare + "] is not 1 to 6 decimal digits");
    return {};
  }
  kExecutorLog.Trace(Logging::ByteDump("OKA TARE REQUEST: ", request));
  return request;
}

OutputValues OKACommandExecutor::ParseResponse(ProtocolContext&, const ByteVector& record, ErrorCase& code) {
  kExecutorLog.Trace("OKACommandExecutor::ParseResponse()");
  if (outputPositions_.empty()) return {};
  if (!OutputsFitIn(record)) {
    code = ErrorCase::DeviceResponseIncorrectFormat;
    return {};
  }
  reading_ = Oka::DecodeStatusRecord(record, code);
  if (code != ErrorCase::Correct) {
    reading_.reset();
    return {};
  }
  kExecutorLog.Trace("Weight: " + reading_->text + "\nFlag: " + reading_->stateText + "\nTare: " +
                     reading_->tareText.value_or("") + "\n");
  return RenderOutputs(*reading_);
}

std::unique_ptr<ICommandExecutor> CreateOKAExecutor(Command command) {
  const std::vector<ResponseValidator> validators{AlwaysComplete};
  switch (command) {
    case Command::OKASetZero:
      return std::make_unique<ByteManExecutor>(command, std::make_unique<OneWayRequestCommunication>(),
                                               Oka::SetZeroRequest(), std::vector<ParamPosition>{},
                                               std::vector<ParamPosition>{}, validators);
    case Command::OKAStatusOfWeightChannel:
      return std::make_unique<OKACommandExecutor>(
          command, std::make_unique<OKACommunicator>(), ByteVector{}, std::vector<ParamPosition>{},
          std::vector<ParamPosition>{{0, 6, ParamType::Weight}, {6, 1, ParamType::WeightState}, {7, 6, ParamType::Tare}},
          validators);
    case Command::OKASpecifyTare:
      return std::make_unique<OKACommandExecutor>(command, std::make_unique<OneWayRequestCommunication>(),
                                                  Oka::SpecifyTareTemplate(),
                                                  std::vector<ParamPosition>{{1, 6, ParamType::Tare}},
                                                  std::vector<ParamPosition>{}, validators);
    default:
      return nullptr;
  }
}

}  // namespace Korvalt::Ponderix::Driver
