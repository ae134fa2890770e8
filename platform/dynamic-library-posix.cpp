#include "platform/dynamic-library.hpp"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <vector>

namespace Korvalt::Ponderix::Platform {
namespace {
// dlerror() forgets its text once read, so the text of the last failure is kept here.
thread_local std::string t_lastLibraryError;
}  // namespace

LibraryHandle OpenLibrary(const std::string& path) {
  dlerror();
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* text = dlerror();
    t_lastLibraryError = text ? text : "";
  } else {
    t_lastLibraryError.clear();
  }
  return library;
}

void* FindSymbol(LibraryHandle library, const std::string& name) {
  if (library == nullptr) return nullptr;
  return dlsym(library, name.c_str());
}

void CloseLibrary(LibraryHandle library) {
  if (library != nullptr) dlclose(library);
}

std::string LastLibraryError() { return t_lastLibraryError; }

std::string ProgramFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  std::string path(buffer.data(), static_cast<std::size_t>(length));
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The SONAME, which the runtime package installs; "libdriver.so" comes only with the headers.
std::string DriverLibraryFileName() { return "libdriver.so." DRIVER_SOVERSION; }

}  // namespace Korvalt::Ponderix::Platform
