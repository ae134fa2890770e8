// The logging exports of the real libdriver.so, loaded as an application loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/logging/log-files.hpp"
#include "tests/support/driver-library.hpp"

using Korvalt::Ponderix::Driver::ErrorCase;
using Korvalt::Ponderix::Driver::LogSettings;
using TestSupport::Driver;
using namespace LogFiles;

namespace {

const std::string kTraceOfRead = "Korvalt::Ponderix::Driver::driver-native, get_data_from_log_config_file()";

class LoggingExportsTest : public ::testing::Test {
 protected:
  // The library keeps its own log for the whole process; each case points it at a file of its
  // own, so earlier cases in the same process do not matter.
  void SetUp() override {
    if (!Exists(ConfigPath())) Write(ConfigPath(), kFirstDefaults);
    logFile_ = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log";
    boost::filesystem::remove(InLogs(logFile_));
    ASSERT_EQ(Driver().change_logging_config_file(
                  {{"file_name", logFile_}, {"severity_level", "trace"}, {"max_size", "104857600"}}),
              ErrorCase::Correct);
  }

  LogSettings Read() {
    LogSettings settings;
    EXPECT_EQ(Driver().get_data_from_log_config_file(settings), ErrorCase::Correct);
    return settings;
  }

  long ReadTraces() {
    const auto lines = Lines(InLogs(logFile_));
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& line) { return IsLogLine(line, "trace", kTraceOfRead); });
  }

  std::string logFile_;
};

TEST_F(LoggingExportsTest, LoggingPathIsTheLogsFolder) {
  std::string path = "junk";
  EXPECT_EQ(Driver().GetLoggingPath(path), ErrorCase::Correct);
  EXPECT_EQ(path, LogsFolder());
}

TEST_F(LoggingExportsTest, ChangeIsMergedAndReadBack) {
  EXPECT_EQ(Driver().change_logging_config_file({{"max_files", "3"}, {"colour", "blue"}}), ErrorCase::Correct);
  const auto settings = Read();
  EXPECT_EQ(settings.at("max_files"), "3");
  EXPECT_EQ(settings.at("colour"), "blue");
  EXPECT_EQ(settings.at("file_name"), logFile_);
  EXPECT_EQ(settings.at("severity_level"), "trace");
  EXPECT_EQ(ReadTraces(), 1);  // the export's own trace line is in the new file at once
}

TEST_F(LoggingExportsTest, SetModeChangesTheThreshold) {
  Read();
  EXPECT_EQ(ReadTraces(), 1);
  EXPECT_EQ(Driver().LoggingSetMode(2), ErrorCase::Correct);
  Read();
  EXPECT_EQ(ReadTraces(), 1);
  EXPECT_EQ(Driver().LoggingSetMode(0), ErrorCase::Correct);
  Read();
  EXPECT_EQ(ReadTraces(), 2);
  EXPECT_NE(Driver().LoggingSetMode(4), ErrorCase::Correct);
  EXPECT_NE(Driver().LoggingSetMode(-1), ErrorCase::Correct);
  Read();
  EXPECT_EQ(ReadTraces(), 3);
}

TEST_F(LoggingExportsTest, RefusedSettingsNeverDisturbTheCaller) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Driver().change_logging_config_file({{"severity_level", "Trace"}}), ErrorCase::IncorrectArgumnts);
  const auto settings = Read();  // logged nowhere, and still answered
  std::string path;
  EXPECT_EQ(Driver().GetLoggingPath(path), ErrorCase::Correct);
  EXPECT_EQ(Driver().LoggingSetMode(0), ErrorCase::Correct);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");  // no console logger gets the lines
  EXPECT_EQ(err, "Error in config values: Invalid severity level: Trace\n");

  EXPECT_EQ(settings.at("severity_level"), "trace");  // reset to the defaults
  EXPECT_EQ(settings.at("file_name"), "driver.log");
  EXPECT_EQ(ReadTraces(), 0);

  // Good settings bring the file log back at once.
  EXPECT_EQ(Driver().change_logging_config_file({{"file_name", logFile_}}), ErrorCase::Correct);
  Read();
  EXPECT_EQ(ReadTraces(), 1);
}

}  // namespace
