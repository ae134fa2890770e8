#include "platform/caller-text.hpp"

#include "common/utf8.hpp"

namespace Korvalt::Ponderix::Platform {

bool CallerTextToUtf8(const std::string& text, std::string& utf8) {
  if (!Text::IsValidUtf8(text)) return false;
  utf8 = text;
  return true;
}

std::string Utf8ToCallerText(const std::string& utf8) { return utf8; }

}  // namespace Korvalt::Ponderix::Platform
