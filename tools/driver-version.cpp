// Loads libdriver.so from beside this program and prints the library's version.
#include <dlfcn.h>

#include <iostream>
#include <string>

#include "driver/interface/driver-types.hpp"

int main(int, char** argv) {
  std::string self = argv[0];
  auto slash = self.rfind('/');
  std::string path = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/libdriver.so";
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::cerr << dlerror() << "\n";
    return 1;
  }
  auto version = reinterpret_cast<Korvalt::Ponderix::Driver::GetCurrentVersionFn>(dlsym(library, "GetCurrentVersion"));
  if (!version) {
    std::cerr << "GetCurrentVersion not found\n";
    return 1;
  }
  std::string text;
  version(text);
  std::cout << "driver " << text << "\n";
  return 0;
}
