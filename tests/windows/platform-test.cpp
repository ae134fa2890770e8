// What the platform layer does differently on Windows: folders, serial error values, file
// replacement and the console's code page.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "driver/connections/asio-connections.hpp"
#include "platform/console.hpp"
#include "platform/file-lock.hpp"
#include "platform/paths.hpp"
#include "platform/serial-line.hpp"
#include "tests/support/test-environment.hpp"

// After Asio, which brings winsock2.h before windows.h.
#include <windows.h>

namespace {

using namespace Korvalt::Ponderix;

class AppDataGuard {
 public:
  explicit AppDataGuard(const char* value) { _putenv_s("APPDATA", value); }
  ~AppDataGuard() { _putenv_s("APPDATA", TestSupport::AppData().c_str()); }
};

TEST(WindowsPaths, DataFolderBelowAppDataWithBackslashes) {
  struct Case {
    const char* appData;
    const char* dataFolder;
  };
  const Case cases[] = {
      {"C:\\Users\\kassa\\AppData\\Roaming", "C:\\Users\\kassa\\AppData\\Roaming\\KORVALT\\Trelvane"},
      {"D:\\profile\\", "D:\\profile\\KORVALT\\Trelvane"},
      // Windows has no empty variables: setting one empty removes it; the root of the current
      // drive is used then, never the working folder.
      {"", "\\KORVALT\\Trelvane"},
  };
  for (const auto& c : cases) {
    AppDataGuard guard(c.appData);
    EXPECT_EQ(Platform::DataFolder(), c.dataFolder) << c.appData;
    EXPECT_EQ(Platform::LogsFolder(), std::string(c.dataFolder) + "\\logs") << c.appData;
  }
  EXPECT_EQ(Platform::FirstSerialPort(), "COM1");
}

TEST(WindowsSerialErrors, SystemValuesOfALostOrMissingPort) {
  struct Case {
    DWORD value;
    bool lost;                        // goes through the reopen-retry
    Driver::ErrorCase whenNotRetried;  // what CheckBoostErrorCase makes of it
  };
  using Driver::ErrorCase;
  const Case cases[] = {
      {ERROR_FILE_NOT_FOUND, false, ErrorCase::UnableToOpenSerialPort},  // no such COM port
      {ERROR_PATH_NOT_FOUND, false, ErrorCase::UnableToOpenSerialPort},
      {ERROR_ACCESS_DENIED, true, ErrorCase::ConnectionError},  // held by another program
      {ERROR_GEN_FAILURE, true, ErrorCase::ConnectionError},    // USB adapter pulled out
      {ERROR_BAD_COMMAND, true, ErrorCase::ConnectionError},
      {ERROR_DEVICE_NOT_CONNECTED, true, ErrorCase::ConnectionError},
      {ERROR_DEVICE_REMOVED, true, ErrorCase::ConnectionError},
      {ERROR_OPERATION_ABORTED, false, ErrorCase::ConnectionError},  // a cancelled transfer
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Platform::IsLineLostSystemError(static_cast<int>(c.value)), c.lost) << c.value;
    ErrorCase result = ErrorCase::Correct;
    Driver::CheckBoostErrorCase(boost::system::error_code(static_cast<int>(c.value), boost::system::system_category()),
                                result);
    EXPECT_EQ(result, c.whenNotRetried) << c.value;
  }
}

TEST(WindowsFiles, ReplacementLeavesTheNewContentAndNoTemporaryFile) {
  const std::string folder = TestSupport::AppData() + "\\replace";
  boost::filesystem::create_directories(folder);
  const std::string path = folder + "\\store.json";
  Platform::ReplaceFileAtomically(path, "old");
  Platform::ReplaceFileAtomically(path, "new content");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new content");
  int files = 0;
  for (const auto& entry : boost::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST(WindowsConsole, Utf8CodePage) {
  const unsigned codePage = Platform::UseUtf8Console();
  if (codePage == 0) GTEST_SKIP() << "no console attached (output redirected)";
  EXPECT_EQ(codePage, static_cast<unsigned>(CP_UTF8));
}

}  // namespace
