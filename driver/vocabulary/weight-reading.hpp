// One weight reading as the scale's status reply gives it, typed where it is made: each
// protocol family's codec fills it from the bytes, and the legacy output texts (Weight,
// WeightState, UnitOfMeasure, Tare) are rendered from it. Nothing downstream reads a text back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "driver/vocabulary/output-values.hpp"

namespace Korvalt::Ponderix::Driver {

// What a protocol reports of a property; Unknown where it has no such bit.
enum class Flag { No = 0, Yes = 1, Unknown = -1 };

inline Flag FlagOf(bool value) { return value ? Flag::Yes : Flag::No; }

struct WeightReading {
  // The output texts, exactly as the commands have always given them.
  std::string text;       // Weight: the weight as the scale sent it ("1250", "-1.250", "FFFFFF")
  std::string stateText;  // WeightState: the family's state text
  std::string unitText;   // UnitOfMeasure, where the family gives one ("gr", "kg", ...)
  std::optional<std::string> tareText;  // Tare, where the reply carries one

  // The same reading in numbers.
  std::int64_t weightMg = 0;  // signed; 0 where the scale sends no number (overload)
  // False when the weight text is no number and no overload explains it: the outputs stand,
  // but there is no weight to give in numbers.
  bool numeric = true;
  std::string unit;           // unit of `text`: "g", "kg" or "lb"
  Flag stable = Flag::Unknown;
  Flag overload = Flag::Unknown;
  Flag net = Flag::Unknown;
  bool tareKnown = false;
  std::int64_t tareMg = 0;
};

// Weight, WeightState, and UnitOfMeasure and Tare where the reading has them.
OutputValues RenderOutputs(const WeightReading& reading);

// "-1.25" in `unit` ("g", "kg", "lb") -> milligrams, rounded to the nearest; false for anything
// but an optional sign, digits and at most one decimal point, or a value beyond 10^12 mg.
bool ToMilligrams(const std::string& text, const std::string& unit, std::int64_t& milligrams);

}  // namespace Korvalt::Ponderix::Driver
