#include "simulator/control.hpp"

#include <optional>
#include <sstream>
#include <vector>

namespace Scalesim {
namespace {

// A duration [ms]: digits only, at most a day.
std::optional<std::chrono::milliseconds> ParseMilliseconds(const std::string& text) {
  if (text.empty() || text.size() > 8 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const long value = std::stol(text);
  if (value > 86'400'000) return std::nullopt;
  return std::chrono::milliseconds(value);
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

}  // namespace

ControlOutcome ApplyControlLine(ScaleState& state, const std::string& line) {
  ControlOutcome outcome;
  const auto words = Words(line);
  if (words.empty() || words[0][0] == '#') return outcome;
  const std::string& verb = words[0];

  if (verb == "place" || verb == "remove") {
    const std::size_t weightWords = verb == "place" ? 1 : 0;
    if (words.size() < 1 + weightWords || words.size() > 2 + weightWords) {
      outcome.error = verb == "place" ? "usage: place WEIGHT [SETTLE_MS]" : "usage: remove [SETTLE_MS]";
      return outcome;
    }
    std::optional<std::int64_t> weight = std::int64_t{0};
    if (weightWords) weight = ParseWeight(words[1]);
    if (!weight) {
      outcome.error = "bad weight \"" + words[1] + "\"";
      return outcome;
    }
    auto settle = std::optional<std::chrono::milliseconds>(std::chrono::milliseconds(0));
    if (words.size() == 2 + weightWords) settle = ParseMilliseconds(words.back());
    if (!settle) {
      outcome.error = "bad settling time \"" + words.back() + "\" (milliseconds)";
      return outcome;
    }
    if (weightWords) state.Place(*weight, *settle);
    else state.Remove(*settle);
    return outcome;
  }
  if (verb == "sleep") {
    auto pause = words.size() == 2 ? ParseMilliseconds(words[1]) : std::nullopt;
    if (!pause) outcome.error = "usage: sleep MS";
    else outcome.pause = *pause;
    return outcome;
  }
  const auto equals = line.find('=');
  if (equals == std::string::npos) {
    outcome.error = "unknown command \"" + verb + "\" (KEY=VALUE, place, remove, sleep)";
    return outcome;
  }
  // KEY=VALUE: the value is the rest of the line (a value may hold blanks, e.g. cas-weight).
  const auto begin = line.find_first_not_of(" \t");
  std::string key = line.substr(begin, equals - begin);
  key.erase(key.find_last_not_of(" \t") + 1);
  std::string value = line.substr(equals + 1);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
  if (!SetScaleValue(state, key, value)) outcome.error = "unknown key or bad value in " + key + "=" + value;
  return outcome;
}

}  // namespace Scalesim
