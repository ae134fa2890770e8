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

namespace {

void PutLoad(Readings& readings, std::int64_t weight, std::chrono::milliseconds settle) {
  readings.weight = weight;
  readings.settlePolls = 0;
  readings.stable = true;
  readings.settlesAt.reset();
  if (settle.count() > 0) readings.settlesAt = std::chrono::steady_clock::now() + settle;
}

}  // namespace

void ScaleState::Place(std::int64_t weight, std::chrono::milliseconds settle) {
  std::lock_guard<std::mutex> lock(mutex_);
  PutLoad(readings_, weight, settle);
}

void ScaleState::Remove(std::chrono::milliseconds settle) {
  std::lock_guard<std::mutex> lock(mutex_);
  PutLoad(readings_, -readings_.tare, settle);
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
  if (readings_.settlesAt) {
    if (std::chrono::steady_clock::now() < *readings_.settlesAt) {
      reading.stable = false;
    } else {
      readings_.settlesAt.reset();
      reading.settlesAt.reset();
    }
  }
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

// Reads, changes and writes back one part of the state: the readings or the faults.
template <typename Part>
struct StatePart;
template <>
struct StatePart<Readings> {
  static Readings Get(const ScaleState& state) { return state.GetReadings(); }
  static void Set(ScaleState& state, const Readings& readings) { state.SetReadings(readings); }
};
template <>
struct StatePart<ScaleFaults> {
  static ScaleFaults Get(const ScaleState& state) { return state.GetFaults(); }
  static void Set(ScaleState& state, const ScaleFaults& faults) { state.SetFaults(faults); }
};

// How one key's value is checked and stored; false (and nothing stored) for a value it refuses.
using KeySetter = std::function<bool(ScaleState&, const std::string&)>;

// `change(part, value)` edits a copy of the part; the copy is stored when it accepts the value.
template <typename Part, typename Change>
KeySetter Changing(Change change) {
  return [change](ScaleState& state, const std::string& value) {
    Part part = StatePart<Part>::Get(state);
    if (!change(part, value)) return false;
    StatePart<Part>::Set(state, part);
    return true;
  };
}

// A whole number in [low, high] (0x.. accepted).
template <typename Part, typename Field>
KeySetter Number(Field Part::*field, std::int64_t low, std::int64_t high) {
  return Changing<Part>([field, low, high](Part& part, const std::string& value) {
    auto number = ParseInteger(value, low, high);
    if (number) part.*field = static_cast<Field>(*number);
    return number.has_value();
  });
}

// A weight in counts, not below `low` (see ParseCounts).
KeySetter Counts(std::int64_t Readings::*field, std::int64_t low) {
  return Changing<Readings>([field, low](Readings& readings, const std::string& value) {
    auto counts = ParseCounts(value, low);
    if (counts) readings.*field = *counts;
    return counts.has_value();
  });
}

template <typename Part>
KeySetter Flag(bool Part::*field) {
  return Changing<Part>([field](Part& part, const std::string& value) {
    auto flag = ParseBool(value);
    if (flag) part.*field = *flag;
    return flag.has_value();
  });
}

// A comma-separated list; empty clears it.
KeySetter List(std::set<std::string> ScaleFaults::*field) {
  return Changing<ScaleFaults>([field](ScaleFaults& faults, const std::string& value) {
    faults.*field = ParseList(value);
    return true;
  });
}

bool SetZeroFlag(Readings& readings, const std::string& value) {
  if (value == "auto") {
    readings.zeroFlag.reset();
    return true;
  }
  auto flag = ParseBool(value);
  if (flag) readings.zeroFlag = *flag;
  return flag.has_value();
}

bool SetUnit(Readings& readings, const std::string& value) {
  if (value.empty() || value.size() > 2) return false;
  readings.unit = value;
  return true;
}

bool SetCasWeightText(Readings& readings, const std::string& value) {
  if (value.size() > 6) return false;
  readings.casWeightText = value;
  return true;
}

bool SetCasState(Readings& readings, const std::string& value) {
  if (value == "auto") {
    readings.casState.reset();
    return true;
  }
  if (value.size() != 1) return false;
  readings.casState = value[0];
  return true;
}

bool SetOkaFlag(Readings& readings, const std::string& value) {
  if (value == "auto") {
    readings.okaFlag.reset();
    return true;
  }
  auto number = ParseInteger(value, 0, 255);
  if (number) readings.okaFlag = static_cast<std::uint8_t>(*number);
  return number.has_value();
}

bool SetEnqReply(ScaleFaults& faults, const std::string& value) {
  static const std::map<std::string, EnqReply> kReplies{
      {"ack", EnqReply::Ack}, {"nak", EnqReply::Nak}, {"none", EnqReply::None}, {"double", EnqReply::DoubleAck}};
  auto reply = kReplies.find(value);
  if (reply == kReplies.end()) return false;
  faults.enqReply = reply->second;
  return true;
}

bool SetStray(ScaleFaults& faults, const std::string& value) {
  auto bytes = ParseHex(value);
  if (bytes) faults.stray = *bytes;
  return bytes.has_value();
}

bool SetActiveInterval(ScaleState& state, const std::string& value) {
  auto number = ParseInteger(value, 1, 3'600'000);
  if (number) state.SetActiveInterval(std::chrono::milliseconds(*number));
  return number.has_value();
}

// The keys of SetScaleValue (see responders.hpp) besides the native keywords.
const std::map<std::string, KeySetter>& KeySetters() {
  static const std::map<std::string, KeySetter> kSetters{
      {"weight", Counts(&Readings::weight, kMin)},
      {"tare", Counts(&Readings::tare, 0)},
      {"decimals", Number(&Readings::decimals, 0, 5)},
      {"pos-state2", Number(&Readings::posState2, 0, 255)},
      {"oka-sum-digit", Number(&Readings::okaSumDigit, 0, 9)},
      {"settle-polls", Number(&Readings::settlePolls, 0, std::numeric_limits<int>::max())},
      {"stable", Flag(&Readings::stable)},
      {"overload", Flag(&Readings::overload)},
      {"zero", Changing<Readings>(SetZeroFlag)},
      {"unit", Changing<Readings>(SetUnit)},
      {"cas-weight", Changing<Readings>(SetCasWeightText)},
      {"cas-state", Changing<Readings>(SetCasState)},
      {"oka-flag", Changing<Readings>(SetOkaFlag)},
      {"active-interval-ms", SetActiveInterval},
      {"enq", Changing<ScaleFaults>(SetEnqReply)},
      {"bad-check", Flag(&ScaleFaults::badCheck)},
      {"stray", Changing<ScaleFaults>(SetStray)},
      {"split-at", Number(&ScaleFaults::splitAt, 0, 1'000'000)},
      {"ignore", List(&ScaleFaults::ignored)},
      {"error-keywords", List(&ScaleFaults::errorKeywords)},
  };
  return kSetters;
}

}  // namespace

std::optional<std::int64_t> ParseWeight(const std::string& text) { return ParseCounts(text, kMin); }

bool SetScaleValue(ScaleState& state, const std::string& key, const std::string& value) {
  auto setter = KeySetters().find(key);
  if (setter != KeySetters().end()) return setter->second(state, value);
  if (!IsNativeKeyword(key) || !IsValidNativeValue(key, value)) return false;
  state.SetNativeValue(key, value);
  return true;
}

}  // namespace Scalesim
