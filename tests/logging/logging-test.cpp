// The file log through the library's internals: set-up, config.ini handling, levels, changes.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>

#include "driver/logging/logging.hpp"
#include "tests/logging/log-files.hpp"

namespace Logging = Korvalt::Ponderix::Driver::Logging;
using Korvalt::Ponderix::Driver::ErrorCase;
using namespace LogFiles;

namespace {

// Every case starts as a fresh process would: no logs folder, no set-up.
class LoggingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Logging::ResetForTesting();
    RemoveLogs();
  }
  void TearDown() override {
    Logging::ResetForTesting();
    RemoveLogs();
  }
  // Windows deletes no open file, and the library the export tests loaded keeps its log open
  // there: everything else goes.
  static void RemoveLogs() {
    boost::system::error_code ignored;
    for (boost::filesystem::directory_iterator entry(LogsFolder(), ignored), end; entry != end;
         entry.increment(ignored)) {
      boost::filesystem::remove_all(entry->path(), ignored);
    }
    boost::filesystem::remove(LogsFolder(), ignored);
  }

  static ErrorCase Change(const std::map<std::string, std::string>& settings) {
    ErrorCase result = ErrorCase::Correct;
    Logging::ChangeConfigFile(settings, result);
    return result;
  }
};

TEST_F(LoggingTest, FirstLogCallCreatesFolderConfigAndLogFile) {
  EXPECT_FALSE(Logging::IsSetUp());
  EXPECT_EQ(Logging::GetLoggingPath(), LogsFolder());  // answered before any set-up
  EXPECT_FALSE(Exists(LogsFolder()));

  Logging::Trace("first {} line");
  Logging::Info("second");
  Logging::Warning("third");
  Logging::Error("fourth");

  EXPECT_TRUE(Logging::IsSetUp());
  EXPECT_TRUE(Logging::HasFileLog());
  EXPECT_EQ(Read(ConfigPath()), kFirstDefaults);
  const auto lines = Lines(InLogs("driver.log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(IsLogLine(lines[0], "trace", "first {} line")) << lines[0];
  EXPECT_TRUE(IsLogLine(lines[1], "info", "second")) << lines[1];
  EXPECT_TRUE(IsLogLine(lines[2], "warning", "third")) << lines[2];
  EXPECT_TRUE(IsLogLine(lines[3], "error", "fourth")) << lines[3];
}

TEST_F(LoggingTest, UnitLogPrefixesItsLines) {
  Logging::UnitLog("device").Info("Device::Open()");
  EXPECT_TRUE(HasLine(InLogs("driver.log"), "info", "Korvalt::Ponderix::Driver::device, Device::Open()"));
}

TEST_F(LoggingTest, ConcurrentFirstCallsSetUpOnce) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) Logging::Info("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(Read(ConfigPath()), kFirstDefaults);
  const auto lines = Lines(InLogs("driver.log"));
  EXPECT_EQ(lines.size(), 200u);
  for (const auto& line : lines) EXPECT_NE(line.find("] [info] thread "), std::string::npos) << line;
}

TEST_F(LoggingTest, PartialConfigRunsWithItsValueAndIsRewrittenWithDefaults) {
  Write(ConfigPath(), "max_size=2048\n");
  const std::string filler(100, 'x');
  for (int i = 0; i < 60; ++i) Logging::Info(filler);

  EXPECT_EQ(Read(ConfigPath()), kSortedDefaults);
  // 2048 bytes per file: the 60 lines of about 140 bytes have rotated.
  EXPECT_TRUE(Exists(InLogs("driver.1.log")));
  EXPECT_LE(boost::filesystem::file_size(InLogs("driver.log")), 2048u);
}

TEST_F(LoggingTest, EmptyValueCountsAsMissing) {
  Write(ConfigPath(), "file_name =  \t\nmax_size = 4096\nmax_files = 2\nseverity_level = info\n");
  Logging::Trace("dropped");
  Logging::Info("kept");
  EXPECT_EQ(Read(ConfigPath()), kSortedDefaults);
  const auto lines = Lines(InLogs("driver.log"));
  ASSERT_EQ(lines.size(), 1u);  // "info" still served this start
  EXPECT_TRUE(IsLogLine(lines[0], "info", "kept"));
}

struct InvalidCase {
  std::string line;
  std::string message;
};

void PrintTo(const InvalidCase& invalid, std::ostream* out) { *out << '"' << invalid.line << '"'; }

class InvalidConfigTest : public LoggingTest, public ::testing::WithParamInterface<InvalidCase> {};

TEST_P(InvalidConfigTest, IsReportedResetAndLeavesNoFileLog) {
  Write(ConfigPath(), "file_name = driver.log\nmax_size = 1000\nmax_files = 5\nseverity_level = info\n" +
                          GetParam().line + "\n");
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Logging::Error("nowhere to go");
  Logging::Trace("nor this");
  const std::string err = ::testing::internal::GetCapturedStderr();
  const std::string out = ::testing::internal::GetCapturedStdout();

  EXPECT_EQ(err, "Error in config values: " + GetParam().message + "\n");
  EXPECT_EQ(out, "");
  EXPECT_EQ(Read(ConfigPath()), kSortedDefaults);
  EXPECT_TRUE(Logging::IsSetUp());
  EXPECT_FALSE(Logging::HasFileLog());
  EXPECT_FALSE(Exists(InLogs("driver.log")));
}

INSTANTIATE_TEST_SUITE_P(
    Values, InvalidConfigTest,
    ::testing::Values(InvalidCase{"max_size=0", "Invalid max_size"}, InvalidCase{"max_files = -3", "Invalid max_files"},
                      InvalidCase{"severity_level = Trace", "Invalid severity level: Trace"},
                      InvalidCase{"severity_level = warn", "Invalid severity level: warn"},
                      InvalidCase{"max_size = 100MB", "invalid stoll argument"},
                      InvalidCase{"max_size = 99999999999999999999", "stoll argument out of range"},
                      InvalidCase{"max_files = ten", "invalid stoi argument"},
                      InvalidCase{"max_files = 3000000000", "stoi argument out of range"},
                      InvalidCase{"max_files = 300000", "rotating sink constructor: max_files arg cannot exceed 200000"},
                      // The log stays a plain file of the logs folder, and never the settings.
                      InvalidCase{"file_name = config.ini", "Invalid file_name"},
                      InvalidCase{"file_name = Config.INI. ", "Invalid file_name"},
                      InvalidCase{"file_name = ../outside.log", "Invalid file_name"},
                      InvalidCase{"file_name = ..", "Invalid file_name"},
                      InvalidCase{"file_name = sub/driver.log", "Invalid file_name"},
                      InvalidCase{"file_name = sub\\driver.log", "Invalid file_name"},
                      InvalidCase{"file_name = C:driver.log", "Invalid file_name"}));

TEST_F(LoggingTest, UncreatableLogsFolderDropsLinesQuietly) {
  // A plain file where the logs folder should be.
  Write(LogsFolder(), "not a folder");
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  Logging::Error("dropped");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(Logging::IsSetUp());
  EXPECT_FALSE(Logging::HasFileLog());

  ErrorCase result = ErrorCase::Correct;
  EXPECT_TRUE(Logging::GetDataFromConfigFile(result).empty());
  EXPECT_EQ(result, ErrorCase::UnableToOpenFile);
  EXPECT_EQ(Change({{"max_files", "3"}}), ErrorCase::UnableToOpenFile);
}

TEST_F(LoggingTest, ReadingFollowsTheLineRules) {
  Write(ConfigPath(),
        "  colour\t=\t blue  \n"
        "no equals sign here\n"
        "empty =  \n"
        "bare =\n"
        "formula = a=b\n"
        "twice = 1\n"
        "twice = 2\n"
        "windows = yes\r\n"
        " = keyless\n");
  ErrorCase result = ErrorCase::Correct;
  const auto settings = Logging::GetDataFromConfigFile(result);
  EXPECT_EQ(result, ErrorCase::Correct);
  const std::map<std::string, std::string> expected{
      {"", "keyless"}, {"colour", "blue"}, {"empty", ""}, {"formula", "a=b"}, {"twice", "2"}, {"windows", "yes"}};
  EXPECT_EQ(settings, expected);
  EXPECT_FALSE(Logging::IsSetUp());  // reading adds no defaults and sets nothing up
}

TEST_F(LoggingTest, GetDataFromMissingFile) {
  ErrorCase result = ErrorCase::Correct;
  EXPECT_TRUE(Logging::GetDataFromConfigFile(result).empty());
  EXPECT_EQ(result, ErrorCase::UnableToOpenFile);
}

TEST_F(LoggingTest, ChangeKeepsOtherLinesAddsUnknownKeysAndTakesEffectAtOnce) {
  Logging::Info("before");
  EXPECT_EQ(Change({{"max_files", "3"}, {"colour", "blue"}}), ErrorCase::Correct);
  EXPECT_EQ(Read(ConfigPath()),
            "colour = blue\nfile_name = driver.log\nmax_files = 3\nmax_size = 104857600\nseverity_level = trace\n");
  ErrorCase result = ErrorCase::Correct;
  EXPECT_EQ(Logging::GetDataFromConfigFile(result).at("colour"), "blue");

  EXPECT_EQ(Change({{"file_name", "other.log"}, {"max_size", "1024"}}), ErrorCase::Correct);
  Logging::Info("after");
  EXPECT_TRUE(HasLine(InLogs("driver.log"), "info", "before"));
  EXPECT_FALSE(HasLine(InLogs("driver.log"), "info", "after"));
  EXPECT_TRUE(HasLine(InLogs("other.log"), "info", "after"));
  for (int i = 0; i < 40; ++i) Logging::Info(std::string(80, 'y'));
  EXPECT_TRUE(Exists(InLogs("other.1.log")));
  EXPECT_LE(boost::filesystem::file_size(InLogs("other.log")), 1024u);
}

TEST_F(LoggingTest, ChangeWithoutConfigFileFails) {
  Logging::Info("set up");
  boost::filesystem::remove(ConfigPath());
  EXPECT_EQ(Change({{"max_files", "3"}}), ErrorCase::UnableToOpenFile);
  EXPECT_FALSE(Exists(ConfigPath()));
  EXPECT_TRUE(Logging::HasFileLog());
}

TEST_F(LoggingTest, RefusedChangeIsReportedAndLaterCallsAreHarmless) {
  Logging::Info("before");
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Change({{"max_size", "0"}}), ErrorCase::IncorrectArgumnts);
  Logging::Error("dropped");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error in config values: Invalid max_size\n");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(Logging::HasFileLog());
  EXPECT_EQ(Read(ConfigPath()), kSortedDefaults);
  EXPECT_FALSE(HasLine(InLogs("driver.log"), "error", "dropped"));
  EXPECT_NO_THROW(Logging::SetMode(1));

  // A good change brings the file log back.
  EXPECT_EQ(Change({{"max_files", "4"}}), ErrorCase::Correct);
  Logging::Error("back");
  EXPECT_TRUE(HasLine(InLogs("driver.log"), "error", "back"));
}

TEST_F(LoggingTest, SeverityFromFileAndSetMode) {
  Logging::Trace("start");
  EXPECT_EQ(Change({{"severity_level", "warning"}}), ErrorCase::Correct);
  Logging::Trace("t1");
  Logging::Info("i1");
  Logging::Warning("w1");
  Logging::SetMode(0);
  Logging::Trace("t2");
  Logging::SetMode(3);
  Logging::Warning("w2");
  Logging::Error("e2");
  // A change of the file brings its severity back, replacing the mode.
  Logging::SetMode(0);
  EXPECT_EQ(Change({{"max_files", "5"}}), ErrorCase::Correct);
  Logging::Trace("t3");
  Logging::Warning("w3");

  const std::string log = InLogs("driver.log");
  EXPECT_FALSE(HasLine(log, "trace", "t1"));
  EXPECT_FALSE(HasLine(log, "info", "i1"));
  EXPECT_TRUE(HasLine(log, "warning", "w1"));
  EXPECT_TRUE(HasLine(log, "trace", "t2"));
  EXPECT_FALSE(HasLine(log, "warning", "w2"));
  EXPECT_TRUE(HasLine(log, "error", "e2"));
  EXPECT_FALSE(HasLine(log, "trace", "t3"));
  EXPECT_TRUE(HasLine(log, "warning", "w3"));
  EXPECT_NE(Read(ConfigPath()).find("severity_level = warning\n"), std::string::npos);  // modes never touch the file
}

TEST_F(LoggingTest, SetModeRefusesUnknownModes) {
  for (int mode : {-1, 4, 100}) {
    try {
      Logging::SetMode(mode);
      ADD_FAILURE() << "mode " << mode << " accepted";
    } catch (const std::logic_error& e) {
      EXPECT_STREQ(e.what(), "Logging::SetMode, Unknown logmode.");
    }
  }
}

TEST_F(LoggingTest, LoggingWhileTheLogIsReplacedOnAnotherThread) {
  Logging::Info("start");
  std::atomic<bool> stop{false};
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([&stop, t] {
      for (int i = 0; !stop.load(); ++i) {
        Logging::Info("writer " + std::to_string(t) + " line " + std::to_string(i));
        Logging::Trace("writer " + std::to_string(t) + " trace " + std::to_string(i));
      }
    });
  }
  ::testing::internal::CaptureStderr();
  for (int round = 0; round < 30; ++round) {
    std::map<std::string, std::string> settings{{"file_name", round % 2 ? "a.log" : "b.log"},
                                                {"max_files", std::to_string(1 + round % 4)},
                                                {"severity_level", round % 3 ? "trace" : "info"}};
    if (round % 10 == 5) settings["max_size"] = "-1";  // refused: no file log until the next change
    ErrorCase result = ErrorCase::Correct;
    Logging::ChangeConfigFile(settings, result);
    EXPECT_EQ(result, round % 10 == 5 ? ErrorCase::IncorrectArgumnts : ErrorCase::Correct);
    Logging::SetMode(round % 4);
  }
  stop = true;
  for (auto& writer : writers) writer.join();
  ::testing::internal::GetCapturedStderr();

  // Lines from the writers are whole, never torn by the replacement.
  for (const char* name : {"a.log", "b.log"}) {
    for (const auto& line : Lines(InLogs(name))) {
      EXPECT_NE(line.find("] writer "), std::string::npos) << line;
    }
  }
}

}  // namespace
