// Texts that cross the library's exports. The library keeps its texts in UTF-8; callers on Windows
// pass and expect texts in the active code page (a Russian-language program: Windows-1251).
#pragma once

#include <string>

namespace Korvalt::Ponderix::Platform {

// The caller's text as UTF-8; false (and `utf8` untouched) when it is no valid text of the
// caller's encoding. On POSIX callers speak UTF-8: the text is only checked.
bool CallerTextToUtf8(const std::string& text, std::string& utf8);
// UTF-8 as the caller's text; characters the code page lacks become its default character.
std::string Utf8ToCallerText(const std::string& utf8);

}  // namespace Korvalt::Ponderix::Platform
