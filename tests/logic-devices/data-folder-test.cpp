// Where the store lives when the environment names its folder in other ways than APPDATA.
#include <cstdlib>
#include <optional>
#include <string>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "driver/logging/logging.hpp"
#include "driver/logic-devices/logic-devices.hpp"
#include "platform/paths.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using namespace Korvalt::Ponderix;

// Puts the variables back as they were, whatever the test did to them.
class EnvironmentGuard {
 public:
  EnvironmentGuard() {
    // The log settles on its folder at its first line: let that be the test's own folder, before
    // the environment changes.
    Driver::Logging::Info("DataFolderTest");
    for (auto& [name, value] : saved_) {
      if (const char* text = std::getenv(name)) value = text;
    }
  }
  ~EnvironmentGuard() {
    for (auto& [name, value] : saved_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

 private:
  std::pair<const char*, std::optional<std::string>> saved_[3] = {
      {"APPDATA", std::nullopt}, {"XDG_CONFIG_HOME", std::nullopt}, {"HOME", std::nullopt}};
};

TEST(DataFolderTest, EmptyAppDataCountsAsNotSet) {
  EnvironmentGuard guard;
  const std::string root = TestSupport::AppData() + "/xdg";
  setenv("APPDATA", "", 1);
  setenv("XDG_CONFIG_HOME", root.c_str(), 1);
  EXPECT_EQ(Platform::AppDataRoot(), root);
  EXPECT_EQ(Platform::DataFolder(), root + "/KORVALT/Trelvane");

  // The store is made there, not below the working folder.
  Driver::LogicDeviceManager store;
  EXPECT_EQ(store.JsonPath(), root + "/KORVALT/Trelvane/logic-devices-connection-config.json");
  EXPECT_TRUE(boost::filesystem::exists(store.JsonPath()));
  EXPECT_FALSE(boost::filesystem::exists("KORVALT"));
}

TEST(DataFolderTest, WithoutAnyRootTheFoldersAreNeverRelative) {
  EnvironmentGuard guard;
  setenv("APPDATA", "", 1);
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "", 1);
  EXPECT_EQ(Platform::AppDataRoot(), "");
  EXPECT_EQ(Platform::DataFolder(), "/KORVALT/Trelvane");
  EXPECT_EQ(Platform::LogsFolder(), "/KORVALT/Trelvane/logs");
  // No root: the store refuses to be made anywhere.
  EXPECT_THROW(Driver::LogicDeviceManager(), Driver::LogicDeviceStoreError);
}

}  // namespace
