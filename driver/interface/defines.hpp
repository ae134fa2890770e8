// Result codes: the English and Russian descriptions (their names are in the vocabulary).
#pragma once

#include <stdexcept>
#include <string>

#include "driver/api/driver-types.hpp"
#include "driver/vocabulary/enumeration-names.hpp"

namespace Korvalt::Ponderix::Driver {

// What GetCurrentVersion and pdx_get_version answer.
inline constexpr const char* kDriverVersion = "1.1.3";

// Description in the given language (kLanguageRussian, kLanguageEnglish). Throws
// std::logic_error when the language has no table or the code has no text in it.
std::wstring Description(ErrorCase ecase, int language);
bool HasDescription(ErrorCase ecase, int language);
bool IsKnownLanguage(int language);

// A failure thrown through the library that knows its own result code (for example a
// logic-device file that cannot be read while a device is built). The exports' call frame
// returns `Code()` for it.
class DriverError : public std::runtime_error {
 public:
  DriverError(ErrorCase code, const std::string& what) : std::runtime_error(what), code_(code) {}
  ErrorCase Code() const { return code_; }

 private:
  ErrorCase code_;
};

}  // namespace Korvalt::Ponderix::Driver
