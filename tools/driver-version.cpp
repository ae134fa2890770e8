// Loads the driver library from beside this program and prints the library's version.
#include <iostream>
#include <string>

#include "driver/api/driver-types.hpp"
#include "platform/dynamic-library.hpp"
#include "platform/paths.hpp"

namespace Platform = Korvalt::Ponderix::Platform;

int main() {
  const std::string path = Platform::JoinPath(Platform::ProgramFolder(), Platform::DriverLibraryFileName());
  Platform::LibraryHandle library = Platform::OpenLibrary(path);
  if (!library) {
    std::cerr << path << ": " << Platform::LastLibraryError() << "\n";
    return 1;
  }
  auto version = reinterpret_cast<Korvalt::Ponderix::Driver::GetCurrentVersionFn>(
      Platform::FindSymbol(library, "GetCurrentVersion"));
  if (!version) {
    std::cerr << "GetCurrentVersion not found\n";
    return 1;
  }
  std::string text;
  version(text);
  std::cout << "driver " << text << "\n";
  return 0;
}
