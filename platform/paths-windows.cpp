#include "platform/paths.hpp"

#include <cstdlib>

namespace Korvalt::Ponderix::Platform {

std::string AppDataRoot() {
  const char* appData = std::getenv("APPDATA");
  return appData ? std::string(appData) : std::string();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

std::string DataFolder() { return JoinPath(JoinPath(AppDataRoot(), "KORVALT"), "Trelvane"); }
std::string LogsFolder() { return JoinPath(DataFolder(), "logs"); }
std::string FirstSerialPort() { return "COM1"; }

}  // namespace Korvalt::Ponderix::Platform
