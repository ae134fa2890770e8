// Message and request templates: "@" marks where an argument goes. Each argument in turn
// replaces the first "@" of the text left by the previous replacements, so an argument that
// itself contains "@" is taken as it is and may receive a later argument.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace Korvalt::Ponderix::Text {

inline std::string ToText(const std::string& value) { return value; }
inline std::string ToText(const char* value) { return value ? std::string(value) : std::string(); }
inline std::string ToText(char value) { return std::string(1, value); }
inline std::string ToText(bool value) { return value ? "true" : "false"; }
template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T>>>
std::string ToText(T value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

inline void FillOne(std::string& text, const std::string& argument) {
  auto at = text.find('@');
  if (at == std::string::npos) {
    throw std::logic_error("Utility, formating, critical error, sub str not found");
  }
  text.replace(at, 1, argument);
}

// Fill("ptype [@], value [@]", "Weight", 12) -> "ptype [Weight], value [12]".
template <typename... Args>
std::string Fill(std::string text, const Args&... args) {
  (FillOne(text, ToText(args)), ...);
  return text;
}

}  // namespace Korvalt::Ponderix::Text
