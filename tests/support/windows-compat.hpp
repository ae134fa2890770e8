// Included first in every Windows test unit: the POSIX environment calls the tests use, on top of
// the C runtime's _putenv_s (which removes a variable set to the empty text, as Windows has no
// empty variables).
#pragma once
#if defined(_WIN32)
#  include <cstdlib>

inline int setenv(const char* name, const char* value, int) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif
