// The scale's side of the native text protocol: "G<keyword>\r\n" reads a value ("<keyword>=<value>\r\n"),
// "S<keyword><value>\r\n" writes one ("OK\r\n" or "ERROR\r\n").
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "simulator/responder.hpp"

namespace Scalesim {

class ScaleState;

inline bool IsDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// Values a freshly built scale reports.
std::map<std::string, std::string> NativeDefaults();
bool IsNativeKeyword(const std::string& keyword);
// Whether a Set of this keyword with this value is accepted (also for SetScaleValue).
bool IsValidNativeValue(const std::string& keyword, const std::string& value);

// The answer to one line (without its CR LF); empty when the scale stays silent.
std::string AnswerNativeLine(const std::string& line, ScaleState& state);

// Gathers one command line at a time out of the byte stream.
class NativeLines {
 public:
  // A line starts with the command letter; the scale ignores anything else between lines.
  static bool StartsLine(std::uint8_t byte) { return byte == 'G' || byte == 'S'; }
  bool InLine() const { return !line_.empty(); }
  // Adds one byte of the line in progress; at CR LF appends the answer to `out`.
  void Feed(std::uint8_t byte, ScaleState& state, Bytes& out);
  void Reset() { line_.clear(); }

 private:
  std::string line_;
};

}  // namespace Scalesim
