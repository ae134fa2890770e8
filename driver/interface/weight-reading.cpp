#include "driver/interface/weight-reading.hpp"

#include <cmath>

namespace Korvalt::Ponderix::Driver {
namespace {

std::string Output(const OutputValues& outputs, ParamType type) {
  auto it = outputs.find(type);
  return it == outputs.end() ? std::string() : it->second;
}

Flag FlagOf(bool value) { return value ? Flag::Yes : Flag::No; }

bool IsPosState(const std::string& state) {
  return state.size() == 10 && state.find_first_not_of("01") == std::string::npos;
}

bool IsCasState(const std::string& state) {
  return state.size() == 10 && state.find('*') != std::string::npos &&
         state.find_first_not_of("01*") == std::string::npos;
}

bool OkaFlag(const std::string& state, unsigned& flag) {
  if (state.size() != 4 || state.compare(0, 2, "0x") != 0) return false;
  flag = 0;
  for (char c : state.substr(2)) {
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return false;
    flag = flag * 16 + static_cast<unsigned>(digit);
  }
  return true;
}

}  // namespace

bool ToMilligrams(const std::string& text, const std::string& unit, std::int64_t& milligrams) {
  long double perUnit = 0;
  if (unit == "g") perUnit = 1000.0L;
  else if (unit == "kg") perUnit = 1000000.0L;
  else if (unit == "lb") perUnit = 453592.37L;
  else return false;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long double value = 0;
  long double scale = 1;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits = true;
      value = value * 10 + (c - '0');
      if (point) scale *= 10;
      if (value > 1e15L) return false;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  const long double mg = value / scale * perUnit;
  if (mg > 1e12L) return false;
  milligrams = static_cast<std::int64_t>(std::llround(negative ? -mg : mg));
  return true;
}

bool MakeWeightReading(const OutputValues& outputs, WeightReading& reading) {
  WeightReading made;
  made.text = Output(outputs, ParamType::Weight);
  const std::string state = Output(outputs, ParamType::WeightState);
  const std::string tare = Output(outputs, ParamType::Tare);
  unsigned flag = 0;
  if (IsPosState(state)) {
    // Bit 0 of the first state byte is the stability flag; the others are not defined.
    made.unit = "g";
    made.stable = FlagOf(state[0] == '1');
    made.tareKnown = ToMilligrams(tare, "g", made.tareMg);
  } else if (IsCasState(state)) {
    const std::string unit = Output(outputs, ParamType::UnitOfMeasure);
    if (unit != "g" && unit != "kg" && unit != "lb") return false;
    made.unit = unit;
    made.stable = FlagOf(state[0] == '1');
    made.overload = FlagOf(state[6] == '1');
  } else if (OkaFlag(state, flag)) {
    // 0x00 stable, 0x40 settling, 0xC0 overload (the weight then reads zero).
    made.unit = "kg";
    made.stable = FlagOf(flag == 0x00);
    made.overload = FlagOf((flag & 0x80) != 0);
    made.tareKnown = ToMilligrams(tare, "kg", made.tareMg);
  } else {
    return false;
  }
  if (made.tareKnown) made.net = FlagOf(made.tareMg != 0);
  if (!ToMilligrams(made.text, made.unit, made.weightMg)) {
    // An overloaded CAS scale fills its weight field with 'F's: no number to give.
    if (made.overload != Flag::Yes) return false;
    made.weightMg = 0;
  }
  reading = made;
  return true;
}

}  // namespace Korvalt::Ponderix::Driver
