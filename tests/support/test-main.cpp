// Every test process gets an application-data folder of its own, so no test touches the
// user's real folder and tests running side by side never share a store or a log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <boost/filesystem.hpp>

#include "tests/support/test-environment.hpp"

namespace {
std::string g_appData;
}

namespace TestSupport {
const std::string& AppData() { return g_appData; }
}

int main(int argc, char** argv) {
  auto dir = boost::filesystem::temp_directory_path() /
             boost::filesystem::unique_path("ponderix-test-%%%%-%%%%-%%%%");
  boost::filesystem::create_directories(dir);
  g_appData = dir.string();
  setenv("APPDATA", g_appData.c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  if (std::getenv("KEEP_TEST_APPDATA") == nullptr) {
    boost::system::error_code ec;
    boost::filesystem::remove_all(dir, ec);
  }
  return rc;
}
