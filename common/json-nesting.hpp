// A look at a JSON text's nesting before it is parsed: Boost.PropertyTree's reader recurses once
// per array or object level, so a file of a few hundred thousand "[" would exhaust the stack.
#pragma once

#include <cstddef>
#include <string_view>

namespace Korvalt::Ponderix::Text {

// Deepest nesting the files of this system may have; the real ones nest 3 to 8 levels.
constexpr std::size_t kMaxJsonNesting = 64;

// False when arrays and objects nest deeper than `limit` anywhere in `text`. Brackets inside
// strings do not count; the text need not be valid JSON (the parser judges the rest).
inline bool JsonNestingWithin(std::string_view text, std::size_t limit = kMaxJsonNesting) {
  std::size_t depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return false;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return true;
}

}  // namespace Korvalt::Ponderix::Text
