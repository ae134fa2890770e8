// One rotating log file for the whole process, configured by "config.ini" in the logs folder.
//
// The logger in use is held here, behind a mutex, and every log call writes through a copy of
// that pointer; spdlog's registry and default logger are only told about it. So a log call never
// meets a missing logger while ChangeConfigFile replaces it on another thread, and none of our
// lines ever reaches spdlog's console logger (the library never prints).
#include "driver/logging/logging.hpp"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

#include <boost/filesystem.hpp>
#include <spdlog/sinks/rotating_file_sink.h>
#include <spdlog/spdlog.h>

#include "platform/paths.hpp"

namespace Korvalt::Ponderix::Driver::Logging {
namespace {

using Settings = std::map<std::string, std::string>;

const char* const kFileNameKey = "file_name";
const char* const kMaxSizeKey = "max_size";
const char* const kMaxFilesKey = "max_files";
const char* const kSeverityKey = "severity_level";
const char* const kLoggerName = "file_logger";
const char* const kPattern = "[%Y-%m-%d %H:%M:%S.%e] [%l] %v";

// The defaults in the order a newly created file lists them.
const std::pair<const char*, const char*> kDefaults[] = {
    {kFileNameKey, "driver.log"},
    {kMaxSizeKey, "104857600"},  // 100 MiB
    {kMaxFilesKey, "10"},
    {kSeverityKey, "trace"},
};

struct Severity {
  const char* name;
  spdlog::level::level_enum level;
};
const Severity kSeverities[] = {
    {"trace", spdlog::level::trace}, {"debug", spdlog::level::debug},     {"info", spdlog::level::info},
    {"warning", spdlog::level::warn}, {"error", spdlog::level::err}, {"critical", spdlog::level::critical},
};

struct State {
  // Serialises the set-up, its repetition by ChangeConfigFile, and the writers of "config.ini".
  std::mutex setUpMutex;
  std::atomic<bool> setUp{false};
  // Guards `logger` only; held for a pointer copy, never while writing a line.
  std::mutex loggerMutex;
  std::shared_ptr<spdlog::logger> logger;
  // spdlog's default logger before ours replaced it; given back when our log goes away.
  std::shared_ptr<spdlog::logger> previousDefault;
  bool havePreviousDefault = false;

  // spdlog's registry is made first, so that it is destroyed after this state.
  State() { spdlog::default_logger(); }
  // At unload: spdlog outlives this library, so our logger leaves its registry and the host's
  // default logger comes back.
  ~State();
};

// Made before the device registry (Prepare), so it is destroyed after it: devices still
// registered at unload log from their destructors.
State& GetState() {
  static State state;
  return state;
}

const std::string& LogsFolder() {
  static const std::string folder = Platform::LogsFolder();
  return folder;
}

std::string ConfigPath() { return Platform::JoinPath(LogsFolder(), "config.ini"); }

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

Settings ReadSettings(std::istream& in) {
  Settings settings;
  std::string line;
  while (std::getline(in, line)) {
    // A file edited on Windows keeps its carriage returns when read here; they end the line,
    // they are not part of the value.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    // Skipped: no "=", or nothing at all after it. "key = " (only blanks after it) is a key with
    // an empty value: it is returned, kept by a change, and counts as missing at the set-up.
    if (equals == std::string::npos || equals + 1 == line.size()) continue;
    settings[Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
  }
  return settings;
}

bool ReadConfigFile(Settings& settings) {
  std::ifstream in(ConfigPath());
  if (!in.is_open()) return false;
  settings = ReadSettings(in);
  return true;
}

// Truncates "config.ini" and writes the lines in the order given; false when the file cannot
// be written.
template <typename Lines>
bool WriteConfigFile(const Lines& lines) {
  std::ofstream out(ConfigPath(), std::ios::out | std::ios::trunc);
  if (!out.is_open()) return false;
  for (const auto& [key, value] : lines) out << key << " = " << value << '\n';
  out.flush();
  return static_cast<bool>(out);
}

void WriteDefaultsInFirstOrder() { WriteConfigFile(kDefaults); }

void WriteDefaultsSorted() {
  Settings defaults;
  for (const auto& [key, value] : kDefaults) defaults[key] = value;
  WriteConfigFile(defaults);
}

// Whole-text decimal conversion; the messages are those of the C++ library's stoll and stoi.
long long ToInteger(const std::string& text, const char* function, long long low, long long high) {
  const std::string invalid = std::string("invalid ") + function + " argument";
  const std::string outOfRange = std::string(function) + " argument out of range";
  if (text.empty()) throw std::invalid_argument(invalid);
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str()) throw std::invalid_argument(invalid);
  if (errno == ERANGE || value < low || value > high) throw std::out_of_range(outOfRange);
  // "100MB" is not a size: trailing text is refused rather than silently cut off.
  if (*end != '\0') throw std::invalid_argument(invalid);
  return value;
}

spdlog::level::level_enum ToLevel(const std::string& name) {
  for (const auto& severity : kSeverities) {
    if (name == severity.name) return severity.level;
  }
  throw std::invalid_argument("Invalid severity level: " + name);
}

// The log is a plain file of the logs folder: no folder part, no "." or "..", and never the
// settings file itself (rotation would move the settings away). Windows ignores case and
// trailing dots and blanks in names, so "CONFIG.INI." is the settings file there too.
bool IsLogFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  std::string plain = name.substr(0, name.find_last_not_of(". ") + 1);
  for (char& c : plain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return !plain.empty() && plain != "config.ini";
}

// Checks the settings and builds the logger; throws on the first fault. Nothing is opened
// before every value has passed, so refused settings leave no empty log file behind.
std::shared_ptr<spdlog::logger> BuildLogger(const Settings& settings) {
  const long long maxSize = ToInteger(settings.at(kMaxSizeKey), "stoll", LLONG_MIN, LLONG_MAX);
  const long long maxFiles = ToInteger(settings.at(kMaxFilesKey), "stoi", INT_MIN, INT_MAX);
  if (maxSize < 1) throw std::invalid_argument("Invalid max_size");
  if (maxFiles < 1) throw std::invalid_argument("Invalid max_files");
  const auto level = ToLevel(settings.at(kSeverityKey));
  if (static_cast<unsigned long long>(maxSize) > std::numeric_limits<std::size_t>::max()) {
    throw std::out_of_range("stoll argument out of range");
  }
  if (!IsLogFileName(settings.at(kFileNameKey))) throw std::invalid_argument("Invalid file_name");
  const std::string path = Platform::JoinPath(LogsFolder(), settings.at(kFileNameKey));
  auto sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(path, static_cast<std::size_t>(maxSize),
                                                                      static_cast<std::size_t>(maxFiles), false);
  auto logger = std::make_shared<spdlog::logger>(kLoggerName, std::move(sink));
  logger->set_pattern(kPattern, spdlog::pattern_time_type::local);
  logger->set_level(level);
  logger->flush_on(spdlog::level::trace);
  // spdlog reports its own write failures on stderr by default; a failing disk must stay quiet.
  logger->set_error_handler([](const std::string&) {});
  return logger;
}

// Puts `logger` in place (null: no file log) and keeps spdlog's registry in step with it.
void Install(State& state, std::shared_ptr<spdlog::logger> logger) {
  std::shared_ptr<spdlog::logger> old;
  {
    std::lock_guard<std::mutex> lock(state.loggerMutex);
    old = std::exchange(state.logger, logger);
  }
  auto current = spdlog::default_logger();
  const bool defaultIsOurs = current != nullptr && (current == old || current->name() == kLoggerName);
  if (!state.havePreviousDefault && !defaultIsOurs) {
    state.previousDefault = current;
    state.havePreviousDefault = true;
  }
  if (logger) {
    spdlog::set_default_logger(logger);
  } else if (defaultIsOurs) {
    // Only our own entry leaves the registry: the host application's loggers are not ours to drop.
    spdlog::drop(kLoggerName);
    if (state.previousDefault) spdlog::set_default_logger(state.previousDefault);
  }
}

State::~State() {
  try {
    Install(*this, nullptr);
  } catch (...) {
  }
}

// Reads, repairs and applies "config.ini". Returns false when the settings were refused.
bool Configure(State& state) {
  Settings settings;
  ReadConfigFile(settings);
  bool repaired = false;
  for (const auto& [key, value] : kDefaults) {
    auto found = settings.find(key);
    if (found == settings.end() || found->second.empty()) {
      settings[key] = value;
      repaired = true;
    }
  }
  // The values that were present still serve this start; the file gets the defaults only.
  if (repaired) WriteDefaultsSorted();

  std::shared_ptr<spdlog::logger> logger;
  try {
    logger = BuildLogger(settings);
  } catch (const std::exception& e) {
    std::cerr << "Error in config values: " << e.what() << '\n';
    WriteDefaultsSorted();
    Install(state, nullptr);
    return false;
  }
  Install(state, std::move(logger));
  return true;
}

void FirstSetUp(State& state) {
  boost::system::error_code error;
  const boost::filesystem::path folder(LogsFolder());
  // Without a logs folder the process runs without a file log: lines are dropped.
  boost::filesystem::create_directories(folder, error);
  if (error || !boost::filesystem::is_directory(folder, error)) return;
  {
    std::ifstream probe(ConfigPath());
    if (!probe.is_open()) WriteDefaultsInFirstOrder();
  }
  Configure(state);
}

void EnsureSetUp() {
  State& state = GetState();
  if (state.setUp.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> lock(state.setUpMutex);
  if (state.setUp.load(std::memory_order_relaxed)) return;
  try {
    FirstSetUp(state);
  } catch (...) {
    // Out of memory or a file-system fault: no file log, and the caller carries on.
  }
  state.setUp.store(true, std::memory_order_release);
}

std::shared_ptr<spdlog::logger> CurrentLogger() {
  EnsureSetUp();
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.loggerMutex);
  return state.logger;
}

void Write(spdlog::level::level_enum level, const std::string& message) noexcept {
  try {
    auto logger = CurrentLogger();
    if (!logger) return;
    logger->log(level, spdlog::string_view_t(message.data(), message.size()));
    logger->flush();
  } catch (...) {
  }
}

}  // namespace

void Trace(const std::string& message) { Write(spdlog::level::trace, message); }
void Info(const std::string& message) { Write(spdlog::level::info, message); }
void Warning(const std::string& message) { Write(spdlog::level::warn, message); }
void Error(const std::string& message) { Write(spdlog::level::err, message); }

void Prepare() { GetState(); }

bool IsSetUp() { return GetState().setUp.load(std::memory_order_acquire); }

bool HasFileLog() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.loggerMutex);
  return state.logger != nullptr;
}

std::string GetLoggingPath() { return LogsFolder(); }

void SetMode(const int& mode) {
  static const spdlog::level::level_enum kModes[] = {spdlog::level::trace, spdlog::level::info,
                                                     spdlog::level::warn, spdlog::level::err};
  if (mode < 0 || mode > 3) throw std::logic_error("Logging::SetMode, Unknown logmode.");
  const auto level = kModes[mode];
  // Set up first, so the threshold applies to the file log rather than being replaced by the
  // file's severity at a later first log call.
  if (auto logger = CurrentLogger()) logger->set_level(level);
  spdlog::set_level(level);
}

std::map<std::string, std::string> GetDataFromConfigFile(ErrorCase& result) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.setUpMutex);
  Settings settings;
  if (!ReadConfigFile(settings)) {
    result = ErrorCase::UnableToOpenFile;
    return {};
  }
  return settings;
}

void ChangeConfigFile(const std::map<std::string, std::string>& settings, ErrorCase& result) {
  EnsureSetUp();
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.setUpMutex);
  Settings merged;
  if (!ReadConfigFile(merged)) {
    result = ErrorCase::UnableToOpenFile;
    return;
  }
  for (const auto& [key, value] : settings) merged[key] = value;
  if (!WriteConfigFile(merged)) {
    std::cerr << "Failed to open config file for writing." << '\n';
    result = ErrorCase::UnableToOpenFile;
    return;
  }
  // The new logger is built before the old one is let go, so log calls on other threads
  // always find one of the two (or, when the new settings are refused, none).
  if (!Configure(state)) result = ErrorCase::IncorrectArgumnts;
}

void ResetForTesting() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.setUpMutex);
  Install(state, nullptr);
  state.setUp.store(false, std::memory_order_release);
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
