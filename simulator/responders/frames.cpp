#include "simulator/responders/frames.hpp"

#include <cstdlib>

namespace Scalesim {
namespace {

std::uint64_t Magnitude(std::int64_t value) {
  return value < 0 ? static_cast<std::uint64_t>(-(value + 1)) + 1 : static_cast<std::uint64_t>(value);
}

void PutDigits(Bytes& bytes, std::size_t offset, std::size_t count, std::uint64_t value) {
  for (std::size_t i = 0; i < count; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value % 10);
    value /= 10;
  }
}

// Too wide for the six-character field: the scale shows its overload pattern.
const std::string kCasOverloadField = "FFFFFF";

}  // namespace

Bytes PosFrame(const Bytes& data, bool badCheck) {
  Bytes frame{Control::kAck, Control::kStx, static_cast<std::uint8_t>(data.size())};
  std::uint8_t check = frame[2];
  for (std::uint8_t byte : data) {
    frame.push_back(byte);
    check ^= byte;
  }
  frame.push_back(badCheck ? static_cast<std::uint8_t>(~check) : check);
  return frame;
}

std::uint8_t PosStateByte(const Readings& r) {
  const bool atZero = r.zeroFlag ? *r.zeroFlag : r.weight == 0;
  std::uint8_t state = 0;
  if (r.stable && !r.overload) state |= 0x01;
  if (atZero) state |= 0x02;
  if (r.tare != 0) state |= 0x04;
  if (r.overload) state |= 0x08;
  return state;
}

Bytes PosStatusReply(const Readings& r, bool badCheck) {
  const auto weight = static_cast<std::uint32_t>(static_cast<std::uint64_t>(r.weight));
  const auto tare = static_cast<std::uint16_t>(static_cast<std::uint64_t>(r.tare));
  Bytes data{':', 0x00, PosStateByte(r), r.posState2};
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(weight >> (8 * i)));
  data.push_back(static_cast<std::uint8_t>(tare));
  data.push_back(static_cast<std::uint8_t>(tare >> 8));
  data.push_back(0x00);
  data.push_back(0x00);
  return PosFrame(data, badCheck);
}

std::string CasWeightField(const Readings& r) {
  std::string text = r.casWeightText;
  if (text.empty()) {
    std::string digits = std::to_string(Magnitude(r.weight));
    if (r.decimals > 0) {
      const auto decimals = static_cast<std::size_t>(r.decimals);
      if (digits.size() <= decimals) digits.insert(0, decimals + 1 - digits.size(), '0');
      digits.insert(digits.size() - decimals, ".");
    }
    text = digits;
  }
  if (text.size() > 6) return kCasOverloadField;
  return std::string(6 - text.size(), ' ') + text;
}

Bytes CasFrame(const Readings& r, bool badCheck) {
  const std::string field = CasWeightField(r);
  char state = r.overload || (r.casWeightText.empty() && field == kCasOverloadField) ? 'F' : r.stable ? 'S' : 'U';
  if (r.casState) state = *r.casState;
  const char sign = r.weight < 0 ? '-' : ' ';
  std::string unit = r.unit == "g" ? " g" : r.unit;
  unit.resize(2, ' ');

  Bytes frame;
  frame.reserve(15);
  frame.push_back(Control::kSoh);
  frame.push_back(Control::kStx);
  frame.push_back(static_cast<std::uint8_t>(state));
  frame.push_back(static_cast<std::uint8_t>(sign));
  for (char c : field + unit) frame.push_back(static_cast<std::uint8_t>(c));
  std::uint8_t bcc = 0;
  for (std::size_t i = 2; i < 12; ++i) bcc ^= frame[i];
  frame.push_back(badCheck ? static_cast<std::uint8_t>(~bcc) : bcc);
  frame.push_back(Control::kEtx);
  frame.push_back(Control::kEot);
  return frame;
}

std::uint8_t OkaFlag(const Readings& r) {
  if (r.okaFlag) return *r.okaFlag;
  if (r.overload) return 0xC0;
  return r.stable ? 0x00 : 0x40;
}

Bytes OkaWeightReply(const Readings& r) {
  Bytes reply(24, 0x00);
  PutDigits(reply, 0, 6, Magnitude(r.weight) % 1'000'000);
  reply[11] = OkaFlag(r);
  return reply;
}

Bytes OkaSumReply(const Readings& r) {
  Bytes reply(18, 0x00);
  const std::uint64_t sum = (Magnitude(r.weight) + Magnitude(r.tare)) * 10 + r.okaSumDigit % 10;
  PutDigits(reply, 0, 7, sum % 10'000'000);
  return reply;
}

}  // namespace Scalesim
