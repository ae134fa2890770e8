// Well-formed UTF-8, as the JSON reader accepts it: no overlong forms, no surrogates (U+D800 to
// U+DFFF), nothing above U+10FFFF, no truncated sequence.
#pragma once

#include <cstddef>
#include <string_view>

namespace Korvalt::Ponderix::Text {

inline bool IsValidUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t trail;
    unsigned char low = 0x80;  // range of the first trail byte, narrowed to refuse the bad forms
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (size - i <= trail) return false;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (std::size_t k = 2; k <= trail; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return false;
    }
    i += trail + 1;
  }
  return true;
}

}  // namespace Korvalt::Ponderix::Text
