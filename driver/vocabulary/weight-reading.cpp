#include "driver/vocabulary/weight-reading.hpp"

#include <cmath>

namespace Korvalt::Ponderix::Driver {

OutputValues RenderOutputs(const WeightReading& reading) {
  OutputValues values;
  values[ParamType::Weight] = reading.text;
  values[ParamType::WeightState] = reading.stateText;
  if (!reading.unitText.empty()) values[ParamType::UnitOfMeasure] = reading.unitText;
  if (reading.tareText) values[ParamType::Tare] = *reading.tareText;
  return values;
}

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

}  // namespace Korvalt::Ponderix::Driver
