#include "platform/paths.hpp"

#include <cstdlib>

namespace Korvalt::Ponderix::Platform {
namespace {
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}
}  // namespace

std::string AppDataRoot() {
  if (const char* appData = std::getenv("APPDATA")) return appData;
  auto xdg = Env("XDG_CONFIG_HOME");
  if (!xdg.empty()) return xdg;
  return JoinPath(Env("HOME"), ".config");
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string DataFolder() { return JoinPath(JoinPath(AppDataRoot(), "KORVALT"), "Trelvane"); }
std::string LogsFolder() { return JoinPath(DataFolder(), "logs"); }
std::string FirstSerialPort() { return "/dev/ttyS0"; }

}  // namespace Korvalt::Ponderix::Platform
