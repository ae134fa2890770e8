#include "platform/paths.hpp"

#include <cstdlib>

namespace Korvalt::Ponderix::Platform {

// An empty variable names no folder: it counts as not set.
std::string AppDataRoot() {
  const char* appData = std::getenv("APPDATA");
  return appData ? std::string(appData) : std::string();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

// Without a root the folder hangs off the current drive's root, not off the working folder.
std::string DataFolder() {
  auto root = AppDataRoot();
  return JoinPath(JoinPath(root.empty() ? std::string("\\") : root, "KORVALT"), "Trelvane");
}
std::string LogsFolder() { return JoinPath(DataFolder(), "logs"); }
std::string FirstSerialPort() { return "COM1"; }

}  // namespace Korvalt::Ponderix::Platform
