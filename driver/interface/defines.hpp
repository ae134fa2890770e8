// Result codes: text names and the English and Russian descriptions.
#pragma once

#include <stdexcept>
#include <string>

#include "driver/interface/driver-types.hpp"

namespace Korvalt::Ponderix::Driver {

// What GetCurrentVersion and pdx_get_version answer.
inline constexpr const char* kDriverVersion = "1.1.3";

// Text name of a result code; throws std::logic_error for a number outside the list.
std::string ToString(ErrorCase ecase);
bool IsKnown(ErrorCase ecase);

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
