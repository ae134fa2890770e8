// Placeholder until the file log lands: lines are dropped.
#include "driver/logging/logging.hpp"

#include <cstdio>
#include <stdexcept>

#include "platform/paths.hpp"

namespace Korvalt::Ponderix::Driver::Logging {

void Trace(const std::string&) {}
void Info(const std::string&) {}
void Warning(const std::string&) {}
void Error(const std::string&) {}
bool IsSetUp() { return false; }
std::string GetLoggingPath() { return Platform::LogsFolder(); }
void SetMode(const int& mode) {
  if (mode < 0 || mode > 3) throw std::logic_error("Logging::SetMode, Unknown logmode.");
}
std::map<std::string, std::string> GetDataFromConfigFile(ErrorCase& result) {
  result = ErrorCase::UnableToOpenFile;
  return {};
}
void ChangeConfigFile(const std::map<std::string, std::string>&, ErrorCase& result) {
  result = ErrorCase::UnableToOpenFile;
}
std::string ByteDump(const std::string& title, const ByteVector& bytes) {
  std::string text = title + "\nByte vector: ";
  char hex[8];
  for (auto b : bytes) {
    std::snprintf(hex, sizeof hex, "0x%02x, ", b);
    text += hex;
  }
  return text + "\n";
}

}  // namespace Korvalt::Ponderix::Driver::Logging
