// Result codes: text names and the English and Russian descriptions.
#pragma once

#include <string>

#include "driver/interface/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// Text name of a result code; throws std::logic_error for a number outside the list.
std::string ToString(ErrorCase ecase);
bool IsKnown(ErrorCase ecase);

// Description in the given language (kLanguageRussian, kLanguageEnglish). Throws
// std::logic_error when the language has no table or the code has no text in it.
std::wstring Description(ErrorCase ecase, int language);
bool HasDescription(ErrorCase ecase, int language);
bool IsKnownLanguage(int language);

}  // namespace Korvalt::Ponderix::Driver
