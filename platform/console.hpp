// The console the program's standard output and error go to.
#pragma once

namespace Korvalt::Ponderix::Platform {

// The program's texts (Russian descriptions, model names such as "III(средний)") are UTF-8.
// On Windows the console is switched to the UTF-8 code page, so they print readably rather than
// in the console's OEM code page; elsewhere terminals take UTF-8 as they are. Returns the code page
// in force afterwards (65001 for UTF-8; 0 where there is no such thing or no console).
unsigned UseUtf8Console();

}  // namespace Korvalt::Ponderix::Platform
