#include "platform/dynamic-library.hpp"

#include "platform/windows-text.hpp"

#include <vector>

namespace Korvalt::Ponderix::Platform {
namespace {
thread_local std::string t_lastLibraryError;

std::string SystemMessage(DWORD code) {
  LPSTR buffer = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return {};
  std::string text(buffer, length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}
}  // namespace

LibraryHandle OpenLibrary(const std::string& path) {
  HMODULE module = LoadLibraryW(WideFromAnsi(path).c_str());
  t_lastLibraryError = module == nullptr ? SystemMessage(GetLastError()) : std::string();
  return reinterpret_cast<LibraryHandle>(module);
}

void* FindSymbol(LibraryHandle library, const std::string& name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name.c_str()));
}

void CloseLibrary(LibraryHandle library) {
  if (library != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

std::string LastLibraryError() { return t_lastLibraryError; }

std::string ProgramFolder() {
  std::vector<char> buffer(MAX_PATH + 1);
  DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0) return {};
  std::string path(buffer.data(), length);
  auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string DriverLibraryFileName() { return "driver.dll"; }

}  // namespace Korvalt::Ponderix::Platform
