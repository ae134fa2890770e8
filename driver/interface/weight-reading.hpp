// One weight reading in plain numbers, made from the output texts of a successful status
// command. Each protocol family writes its weight and state its own way (POS: grams and ten
// state bits; CAS: the scale's text and unit and a state with '*' for what it does not say;
// OKA: kilograms and a flag byte "0x.."); the family is told by the state text's form.
#pragma once

#include <cstdint>
#include <string>

#include "driver/vocabulary/output-values.hpp"

namespace Korvalt::Ponderix::Driver {

enum class Flag { No = 0, Yes = 1, Unknown = -1 };

struct WeightReading {
  std::string text;  // the weight as the scale sent it
  std::int64_t weightMg = 0;
  std::string unit;  // "g", "kg" or "lb"
  Flag stable = Flag::Unknown;
  Flag overload = Flag::Unknown;
  Flag net = Flag::Unknown;
  bool tareKnown = false;
  std::int64_t tareMg = 0;
};

// False (and `reading` untouched) when the texts do not make a reading: a weight that is not a
// decimal number while no overload is reported, a state of no known form, an unknown unit.
bool MakeWeightReading(const OutputValues& outputs, WeightReading& reading);

// "-1.25" in `unit` ("g", "kg", "lb") -> milligrams, rounded to the nearest; false for anything
// but an optional sign, digits and at most one decimal point, or a value beyond 10^12 mg.
bool ToMilligrams(const std::string& text, const std::string& unit, std::int64_t& milligrams);

}  // namespace Korvalt::Ponderix::Driver
