// Result codes as the C interface names and describes them: each name as the header's constant
// reads (PDX_INCORRECT_ARGUMENTS is "IncorrectArguments"), the library's codes 0..38 described
// by the library's own texts, and the C interface's own codes 100..107 by texts of their own.
#pragma once

#include <string>

namespace Korvalt::Ponderix::Driver::CCalls {

// A static text, never freed; nullptr for a number outside the list.
const char* ResultName(int code);
// The description in UTF-8; false for a code or a language without one.
bool ResultDescription(int code, int language, std::string& text);
// Every code of the list, ascending.
const int* ResultCodes(int& count);

std::string ToUtf8(const std::wstring& text);

}  // namespace Korvalt::Ponderix::Driver::CCalls
