// Windows: the active code page (CP_ACP) through UTF-16.
#include "platform/caller-text.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>

namespace Korvalt::Ponderix::Platform {
namespace {

// `flags` for the conversion to UTF-16: MB_ERR_INVALID_CHARS refuses bytes the code page lacks.
bool ToWide(UINT codePage, DWORD flags, const std::string& text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  const int count = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (count <= 0) return false;
  wide.resize(static_cast<std::size_t>(count));
  return MultiByteToWideChar(codePage, flags, text.data(), size, &wide[0], count) == count;
}

std::string FromWide(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int count = WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string text(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), size, &text[0], count, nullptr, nullptr);
  return text;
}

}  // namespace

bool CallerTextToUtf8(const std::string& text, std::string& utf8) {
  std::wstring wide;
  if (!ToWide(CP_ACP, MB_ERR_INVALID_CHARS, text, wide)) return false;
  utf8 = FromWide(CP_UTF8, wide);
  return true;
}

std::string Utf8ToCallerText(const std::string& utf8) {
  std::wstring wide;
  if (!ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, wide)) return utf8;
  return FromWide(CP_ACP, wide);
}

}  // namespace Korvalt::Ponderix::Platform
