#include "platform/paths.hpp"

#include <cstdlib>

namespace Korvalt::Ponderix::Platform {
namespace {
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}
}  // namespace

// An empty variable names no folder: it counts as not set. Without any root the answer is empty,
// never a path relative to whatever folder the process happens to run in.
std::string AppDataRoot() {
  auto appData = Env("APPDATA");
  if (!appData.empty()) return appData;
  auto xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty()) return xdg;
  auto home = Env("HOME");
  return home.empty() ? std::string() : JoinPath(home, ".config");
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Without a root the folder hangs off the file system's root, not off the working folder.
std::string DataFolder() {
  auto root = AppDataRoot();
  return JoinPath(JoinPath(root.empty() ? std::string("/") : root, "KORVALT"), "Trelvane");
}
std::string LogsFolder() { return JoinPath(DataFolder(), "logs"); }
std::string FirstSerialPort() { return "/dev/ttyS0"; }

}  // namespace Korvalt::Ponderix::Platform
