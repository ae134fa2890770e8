#include <algorithm>
#include <cctype>
#include <functional>
#include <limits>
#include <sstream>

#include "simulator/responders.hpp"
#include "simulator/responders/native-protocol.hpp"

namespace Scalesim {

ScaleState::ScaleState() : native_(NativeDefaults()) {}

Readings ScaleState::GetReadings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return readings_;
}

void ScaleState::SetReadings(const Readings& readings) {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_ = readings;
}

void ScaleState::SetWeight(std::int64_t weight) {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_.weight = weight;
}

void ScaleState::SetTare(std::int64_t tare) {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_.tare = tare;
}

void ScaleState::SetStable(bool stable) {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_.stable = stable;
}

ScaleFaults ScaleState::GetFaults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

void ScaleState::SetFaults(const ScaleFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_ = faults;
}

std::string ScaleState::NativeValue(const std::string& keyword) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = native_.find(keyword);
  return it == native_.end() ? std::string() : it->second;
}

void ScaleState::SetNativeValue(const std::string& keyword, const std::string& value) {
  std::lock_guard<std::mutex> lock(mutex_);
  native_[keyword] = value;
}

std::chrono::milliseconds ScaleState::ActiveInterval() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return activeInterval_;
}

void ScaleState::SetActiveInterval(std::chrono::milliseconds interval) {
  std::lock_guard<std::mutex> lock(mutex_);
  activeInterval_ = interval;
}

int ScaleState::RequestCount(const std::string& kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(kind);
  return it == counts_.end() ? 0 : it->second;
}

void ScaleState::ResetRequestCounts() {
  std::lock_guard<std::mutex> lock(mutex_);
  counts_.clear();
}

void ScaleState::Count(const std::string& kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++counts_[kind];
}

Readings ScaleState::TakeStatusReading() {
  std::lock_guard<std::mutex> lock(mutex_);
  Readings reading = readings_;
  if (readings_.settlePolls > 0) {
    reading.stable = false;
    if (--readings_.settlePolls == 0) readings_.stable = true;
  }
  return reading;
}

void ScaleState::ApplyZero() {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_.weight = 0;
}

void ScaleState::ApplyTare() {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_.tare += readings_.weight;
  readings_.weight = 0;
}

void ScaleState::ApplyTareValue(std::int64_t tare) {
  std::lock_guard<std::mutex> lock(mutex_);
  readings_.weight += readings_.tare - tare;
  readings_.tare = tare;
}

std::shared_ptr<ScaleState> MakeScaleState() { return std::make_shared<ScaleState>(); }

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::optional<std::int64_t> ParseInteger(const std::string& text, std::int64_t low, std::int64_t high) {
  if (text.empty()) return std::nullopt;
  try {
    std::size_t used = 0;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const long long value = std::stoll(text, &used, hex ? 16 : 10);
    if (used != text.size() || value < low || value > high) return std::nullopt;
    return value;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<bool> ParseBool(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  if (text == "1" || text == "true" || text == "yes" || text == "on") return true;
  if (text == "0" || text == "false" || text == "no" || text == "off") return false;
  return std::nullopt;
}

std::optional<Bytes> ParseHex(const std::string& text) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += c;
  }
  if (digits.size() % 2 != 0) return std::nullopt;
  Bytes bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::set<std::string> ParseList(const std::string& text) {
  std::set<std::string> items;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (!item.empty()) items.insert(item);
  }
  return items;
}

// "1250", or "1.25" / "1.250" in thousandths (kilograms when a count is a gram); at most 3 decimals.
std::optional<std::int64_t> ParseCounts(const std::string& text, std::int64_t low) {
  const auto point = text.find('.');
  if (point == std::string::npos) return ParseInteger(text, low, kMax / 2);
  std::string decimals = text.substr(point + 1);
  if (decimals.size() > 3 || !IsDigits(decimals)) return std::nullopt;
  decimals.resize(3, '0');
  const std::string whole = text.substr(0, point);
  const bool negative = !whole.empty() && whole[0] == '-';
  auto units = ParseInteger(whole.empty() || whole == "-" ? whole + "0" : whole, kMin / 2000, kMax / 2000);
  if (!units) return std::nullopt;
  const std::int64_t fraction = std::stoll(decimals);
  const std::int64_t counts = *units * 1000 + (negative ? -fraction : fraction);
  if (counts < low) return std::nullopt;
  return counts;
}

bool SetReading(ScaleState& state, const std::function<bool(Readings&)>& change) {
  Readings readings = state.GetReadings();
  if (!change(readings)) return false;
  state.SetReadings(readings);
  return true;
}

bool SetFault(ScaleState& state, const std::function<bool(ScaleFaults&)>& change) {
  ScaleFaults faults = state.GetFaults();
  if (!change(faults)) return false;
  state.SetFaults(faults);
  return true;
}

}  // namespace

bool SetScaleValue(ScaleState& state, const std::string& key, const std::string& value) {
  if (key == "weight" || key == "tare" || key == "decimals" || key == "pos-state2" || key == "oka-sum-digit" ||
      key == "settle-polls") {
    std::int64_t low = 0, high = kMax;
    if (key == "weight") low = kMin;
    if (key == "decimals") high = 5;
    if (key == "pos-state2") high = 255;
    if (key == "oka-sum-digit") high = 9;
    if (key == "settle-polls") high = std::numeric_limits<int>::max();
    auto number = key == "weight" || key == "tare" ? ParseCounts(value, low) : ParseInteger(value, low, high);
    if (!number) return false;
    return SetReading(state, [&](Readings& r) {
      if (key == "weight") r.weight = *number;
      if (key == "tare") r.tare = *number;
      if (key == "decimals") r.decimals = static_cast<int>(*number);
      if (key == "pos-state2") r.posState2 = static_cast<std::uint8_t>(*number);
      if (key == "oka-sum-digit") r.okaSumDigit = static_cast<std::uint8_t>(*number);
      if (key == "settle-polls") r.settlePolls = static_cast<int>(*number);
      return true;
    });
  }
  if (key == "stable" || key == "overload") {
    auto flag = ParseBool(value);
    if (!flag) return false;
    return SetReading(state, [&](Readings& r) {
      (key == "stable" ? r.stable : r.overload) = *flag;
      return true;
    });
  }
  if (key == "zero") {
    return SetReading(state, [&](Readings& r) {
      if (value == "auto") {
        r.zeroFlag.reset();
        return true;
      }
      auto flag = ParseBool(value);
      if (flag) r.zeroFlag = *flag;
      return flag.has_value();
    });
  }
  if (key == "unit") {
    if (value.empty() || value.size() > 2) return false;
    return SetReading(state, [&](Readings& r) {
      r.unit = value;
      return true;
    });
  }
  if (key == "cas-weight") {
    if (value.size() > 6) return false;
    return SetReading(state, [&](Readings& r) {
      r.casWeightText = value;
      return true;
    });
  }
  if (key == "cas-state") {
    if (value != "auto" && value.size() != 1) return false;
    return SetReading(state, [&](Readings& r) {
      if (value == "auto") r.casState.reset();
      else r.casState = value[0];
      return true;
    });
  }
  if (key == "oka-flag") {
    if (value == "auto") {
      return SetReading(state, [](Readings& r) {
        r.okaFlag.reset();
        return true;
      });
    }
    auto number = ParseInteger(value, 0, 255);
    if (!number) return false;
    return SetReading(state, [&](Readings& r) {
      r.okaFlag = static_cast<std::uint8_t>(*number);
      return true;
    });
  }
  if (key == "active-interval-ms") {
    auto number = ParseInteger(value, 1, 3'600'000);
    if (!number) return false;
    state.SetActiveInterval(std::chrono::milliseconds(*number));
    return true;
  }
  if (key == "enq") {
    return SetFault(state, [&](ScaleFaults& f) {
      if (value == "ack") f.enqReply = EnqReply::Ack;
      else if (value == "nak") f.enqReply = EnqReply::Nak;
      else if (value == "none") f.enqReply = EnqReply::None;
      else if (value == "double") f.enqReply = EnqReply::DoubleAck;
      else return false;
      return true;
    });
  }
  if (key == "bad-check") {
    auto flag = ParseBool(value);
    if (!flag) return false;
    return SetFault(state, [&](ScaleFaults& f) {
      f.badCheck = *flag;
      return true;
    });
  }
  if (key == "stray") {
    auto bytes = ParseHex(value);
    if (!bytes) return false;
    return SetFault(state, [&](ScaleFaults& f) {
      f.stray = *bytes;
      return true;
    });
  }
  if (key == "split-at") {
    auto number = ParseInteger(value, 0, 1'000'000);
    if (!number) return false;
    return SetFault(state, [&](ScaleFaults& f) {
      f.splitAt = static_cast<std::size_t>(*number);
      return true;
    });
  }
  if (key == "ignore" || key == "error-keywords") {
    return SetFault(state, [&](ScaleFaults& f) {
      (key == "ignore" ? f.ignored : f.errorKeywords) = ParseList(value);
      return true;
    });
  }
  if (IsNativeKeyword(key)) {
    if (!IsValidNativeValue(key, value)) return false;
    state.SetNativeValue(key, value);
    return true;
  }
  return false;
}

}  // namespace Scalesim
