// File helpers shared by the logging tests.
#pragma once

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "platform/paths.hpp"
#include "tests/support/test-environment.hpp"

namespace LogFiles {

inline std::string LogsFolder() {
  using Korvalt::Ponderix::Platform::JoinPath;
  return JoinPath(JoinPath(JoinPath(TestSupport::AppData(), "KORVALT"), "Trelvane"), "logs");
}
inline std::string InLogs(const std::string& name) { return Korvalt::Ponderix::Platform::JoinPath(LogsFolder(), name); }
inline std::string ConfigPath() { return InLogs("config.ini"); }

inline bool Exists(const std::string& path) { return boost::filesystem::exists(path); }

// Text mode: on Windows the files end their lines with CR LF, as the system's text files do.
inline std::string Read(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline void Write(const std::string& path, const std::string& text) {
  boost::filesystem::create_directories(boost::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A line of the log: local time with milliseconds, the level's full name, the message.
inline bool IsLogLine(const std::string& line, const std::string& level, const std::string& message) {
  static const std::regex stamp(R"(^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] \[([a-z]+)\] )");
  std::smatch match;
  if (!std::regex_search(line, match, stamp)) return false;
  return match[1] == level && line.substr(match.length(0)) == message;
}

inline bool HasLine(const std::string& path, const std::string& level, const std::string& message) {
  for (const auto& line : Lines(path)) {
    if (IsLogLine(line, level, message)) return true;
  }
  return false;
}

inline const char* const kFirstDefaults =
    "file_name = driver.log\nmax_size = 104857600\nmax_files = 10\nseverity_level = trace\n";
inline const char* const kSortedDefaults =
    "file_name = driver.log\nmax_files = 10\nmax_size = 104857600\nseverity_level = trace\n";

}  // namespace LogFiles
