// Loading a shared library at run time and finding its exported functions by name.
#pragma once

#include <string>

namespace Korvalt::Ponderix::Platform {

// Opaque module handle; null when no module is loaded.
using LibraryHandle = void*;

// Loads the library file at `path` (a bare file name uses the system's search order). Null on
// failure; LastLibraryError() then tells why.
LibraryHandle OpenLibrary(const std::string& path);
// Address of the exported symbol `name`, null when the module has none.
void* FindSymbol(LibraryHandle library, const std::string& name);
// Unloads a module loaded by OpenLibrary; a null handle is ignored.
void CloseLibrary(LibraryHandle library);
// The system's own text for the last failed OpenLibrary on this thread; empty when it gives none.
std::string LastLibraryError();
// Folder holding the running program's file, without a trailing separator; empty if unknown.
std::string ProgramFolder();
// File name of the driver library on this platform: "libdriver.so.1" or "driver.dll".
std::string DriverLibraryFileName();

}  // namespace Korvalt::Ponderix::Platform
