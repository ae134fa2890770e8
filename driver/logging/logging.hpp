// The library's log: one rotating file for the process, set up lazily on the first log call.
// Logging never throws into the caller: when no file log can be had, lines are dropped.
#pragma once

#include <map>
#include <string>

#include "driver/vocabulary/bytes.hpp"
#include "driver/api/driver-types.hpp"

namespace Korvalt::Ponderix::Driver::Logging {

void Trace(const std::string& message);
void Info(const std::string& message);
void Warning(const std::string& message);
void Error(const std::string& message);

// Makes the log's own state exist now (nothing is set up or written), so that it outlives
// whatever is created after it: objects destroyed at unload may still log.
void Prepare();

// True once the set-up has run in this process (whether or not it produced a file log).
bool IsSetUp();

// True while lines go to the log file. False before the set-up, when the logs folder could not
// be made, and after settings were refused; log calls are then dropped.
bool HasFileLog();

// The logs folder, without a trailing separator.
std::string GetLoggingPath();

// 0 trace, 1 info, 2 warning, 3 error; anything else throws std::logic_error
// "Logging::SetMode, Unknown logmode.".
void SetMode(const int& mode);

// Every setting of "config.ini" as it stands, unknown keys included; UnableToOpenFile and an
// empty map when the file cannot be read.
std::map<std::string, std::string> GetDataFromConfigFile(ErrorCase& result);

// Merges `settings` into "config.ini" and rebuilds the log from the file at once. UnableToOpenFile
// when the file cannot be read or written; IncorrectArgumnts when the merged settings are refused
// (the file is then reset to the defaults and the process goes on without a file log).
void ChangeConfigFile(const std::map<std::string, std::string>& settings, ErrorCase& result);

// Forgets the set-up so the next log call runs it again, as at the start of a process. For tests.
void ResetForTesting();

// "<title>\nByte vector: 0x01, 0x02, \n"
std::string ByteDump(const std::string& title, const ByteVector& bytes);

// The log of one source unit: every line begins "Korvalt::Ponderix::Driver::<unit>, ".
class UnitLog {
 public:
  explicit UnitLog(const std::string& unit) : prefix_("Korvalt::Ponderix::Driver::" + unit + ", ") {}
  void Trace(const std::string& text) const { Logging::Trace(prefix_ + text); }
  void Info(const std::string& text) const { Logging::Info(prefix_ + text); }
  void Warning(const std::string& text) const { Logging::Warning(prefix_ + text); }
  void Error(const std::string& text) const { Logging::Error(prefix_ + text); }
  const std::string& Prefix() const { return prefix_; }

 private:
  std::string prefix_;
};

}  // namespace Korvalt::Ponderix::Driver::Logging
