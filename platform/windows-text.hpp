// Text conversion shared by the Windows files of the platform layer (included by them only).
#pragma once

#ifndef NOMINMAX
#  define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace Korvalt::Ponderix::Platform {

// A text in the system's ANSI code page (paths, as callers hand them over) as UTF-16, for the
// wide Windows calls.
inline std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

}  // namespace Korvalt::Ponderix::Platform
