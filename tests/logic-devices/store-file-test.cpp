// The store's file on its own: creation under the lock, and a replacement that does not read
// back leaves the file as it was.
#include <gtest/gtest.h>

#include <string>

#include "driver/logic-devices/store-file.hpp"
#include "platform/paths.hpp"
#include "tests/logic-devices/store-files.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using namespace LogicDeviceTests;
using Mode = Platform::FileLock::Mode;

TEST(StoreFileTest, AMissingFileIsCreatedOnceUnderEitherLock) {
  for (const Mode mode : {Mode::Shared, Mode::Exclusive}) {
    RemoveStore();
    const StoreFile file(Platform::DataFolder(), "logic-devices-connection-config.json");
    ASSERT_EQ(file.Path(), StorePath());
    int created = 0;
    const auto create = [&] {
      ++created;
      file.Replace("first", [](const std::string&) { return true; });
    };
    file.Lock(mode, create).reset();
    file.Lock(mode, create).reset();
    EXPECT_EQ(created, 1);
    EXPECT_EQ(file.Read(), "first");
  }
}

TEST(StoreFileTest, ContentThatDoesNotReadBackNeverReplacesTheFile) {
  RemoveStore();
  const StoreFile file(Platform::DataFolder(), "logic-devices-connection-config.json");
  const auto lock = file.Lock(Mode::Exclusive, [&] { file.Replace("kept", [](const std::string&) { return true; }); });
  EXPECT_THROW(file.Replace("lost", [](const std::string& bytes) { return bytes == "kept"; }), std::runtime_error);
  EXPECT_EQ(file.Read(), "kept");
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
