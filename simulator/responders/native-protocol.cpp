#include "simulator/responders/native-protocol.hpp"

#include <algorithm>
#include <cctype>

#include "simulator/responders.hpp"

namespace Scalesim {
namespace {

// What the scale does with each keyword.
struct Keyword {
  const char* name;
  bool get;           // "G<name>" answers "<name>=<value>"
  bool setValue;      // "S<name><value>" stores the value
  bool setBare;       // "S<name>" alone is an action
  const char* initial;  // value of a new scale
};

// Set-only keywords keep what they were last given so tests can read it back.
constexpr Keyword kKeywords[] = {
    {"mode", true, true, false, "510"},     {"ver1", true, true, false, "1.12"},
    {"ver2", true, false, false, "2.05"},   {"prov", true, true, false, "2"},
    {"sern", true, true, false, "00012345"}, {"max", true, true, false, "15"},
    {"div", true, true, false, "1"},        {"azr", true, true, false, "1"},
    {"azt", true, true, false, "2"},        {"pzr", true, true, false, "2"},
    {"kzr", true, true, false, "2"},        {"ktr", true, true, false, "100"},
    {"ovr", true, true, false, "9"},        {"off", true, true, false, "0"},
    {"bkl", true, true, false, "3"},        {"cal", true, true, false, "10000"},
    {"zcal", false, false, true, ""},       {"wcal", false, true, true, ""},
    {"rst", false, false, true, ""},        {"cnt", true, false, true, "0"},
    {"modc", true, true, false, "0"},       {"u2en", true, true, false, "0"},
    {"u3en", true, true, false, "0"},       {"sav", true, true, false, "0"},
    {"init", false, false, true, ""},       {"cell1", false, true, false, ""},
    {"cell2", false, true, false, ""},
};

const Keyword* Find(const std::string& name) {
  for (const auto& keyword : kKeywords) {
    if (name == keyword.name) return &keyword;
  }
  return nullptr;
}

// The longest keyword the text starts with ("modc1" is "modc", "cell15" is "cell1").
const Keyword* FindPrefix(const std::string& text) {
  const Keyword* best = nullptr;
  for (const auto& keyword : kKeywords) {
    const std::string name = keyword.name;
    if (text.compare(0, name.size(), name) == 0 && (!best || name.size() > std::string(best->name).size())) {
      best = &keyword;
    }
  }
  return best;
}

const std::string kOk = "OK\r\n";
const std::string kError = "ERROR\r\n";
constexpr std::size_t kMaxLine = 256;

}  // namespace

std::map<std::string, std::string> NativeDefaults() {
  std::map<std::string, std::string> values;
  for (const auto& keyword : kKeywords) values[keyword.name] = keyword.initial;
  return values;
}

bool IsNativeKeyword(const std::string& keyword) { return Find(keyword) != nullptr; }

bool IsValidNativeValue(const std::string& keyword, const std::string& value) {
  if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; })) return false;
  // The division is an index into the scale's table of six divisions.
  if (keyword == "div") return value.size() == 1 && value[0] >= '0' && value[0] <= '5';
  return true;
}

std::string AnswerNativeLine(const std::string& line, ScaleState& state) {
  if (line.empty()) return {};
  const char letter = line[0];
  const std::string rest = line.substr(1);
  const Keyword* keyword = letter == 'G' ? Find(rest) : FindPrefix(rest);
  if ((letter != 'G' && letter != 'S') || keyword == nullptr) {
    state.Count("native-unknown");
    return state.GetFaults().ignored.count("native-unknown") ? std::string() : kError;
  }
  const std::string kind = std::string(1, letter) + keyword->name;
  state.Count(kind);
  const ScaleFaults faults = state.GetFaults();
  if (faults.ignored.count(kind)) return {};
  if (faults.errorKeywords.count(keyword->name)) return kError;

  if (letter == 'G') {
    if (!keyword->get) return kError;
    return std::string(keyword->name) + "=" + state.NativeValue(keyword->name) + "\r\n";
  }
  const std::string value = rest.substr(std::string(keyword->name).size());
  if (value.empty()) {
    if (!keyword->setBare) return kError;
    if (kind == "Scnt") {
      // Each calibration run is counted by the scale itself.
      const std::string count = state.NativeValue("cnt");
      state.SetNativeValue("cnt", IsDigits(count) && count.size() < 9 ? std::to_string(std::stol(count) + 1) : "1");
    }
    return kOk;
  }
  if (!keyword->setValue || !IsValidNativeValue(keyword->name, value)) return kError;
  state.SetNativeValue(keyword->name, value);
  return kOk;
}

void NativeLines::Feed(std::uint8_t byte, ScaleState& state, Bytes& out) {
  line_.push_back(static_cast<char>(byte));
  if (line_.size() >= 2 && line_.compare(line_.size() - 2, 2, "\r\n") == 0) {
    const std::string answer = AnswerNativeLine(line_.substr(0, line_.size() - 2), state);
    out.insert(out.end(), answer.begin(), answer.end());
    line_.clear();
  } else if (line_.size() > kMaxLine) {
    // Not a line the scale can hold: dropped without an answer.
    line_.clear();
  }
}

}  // namespace Scalesim
