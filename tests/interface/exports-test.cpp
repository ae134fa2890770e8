// The exported surface: handle life cycle, argument checks and the call frame, through the real
// library loaded at run time.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>

#include "tests/support/driver-library.hpp"
#include "tests/support/test-environment.hpp"

using namespace Korvalt::Ponderix::Driver;
using TestSupport::Driver;

namespace {

// The library's defined dynamic symbols of one symbol version, sorted.
std::vector<std::string> DefinedDynamicSymbols(const std::string& version) {
  std::vector<std::string> names;
  std::string command = "nm -D --defined-only --with-symbol-versions '" + TestSupport::DriverLibraryPath() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return names;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    std::string text(line);
    auto space = text.rfind(' ');
    auto name = text.substr(space + 1);
    name.erase(name.find_last_not_of("\r\n") + 1);
    auto at = name.find('@');
    if (at == std::string::npos) continue;  // the version nodes themselves
    const std::string symbolVersion = name.substr(name.find_first_not_of('@', at));
    name.erase(at);
    if (symbolVersion == version) names.push_back(name);
  }
  pclose(pipe);
  std::sort(names.begin(), names.end());
  return names;
}

struct DeviceGuard {
  DeviceHandle handle = nullptr;
  DeviceGuard() { EXPECT_EQ(Driver().create(handle), ErrorCase::Correct); }
  ~DeviceGuard() {
    if (handle) Driver().destroy(handle);
  }
};

}  // namespace

TEST(Exports, ExactlyTheTwentyFiveNamesAreExported) {
#if defined(_WIN32)
  GTEST_SKIP() << "driver.dll's export table is read by x86_64-w64-mingw32-objdump -p in the Windows test pass";
#endif
  std::vector<std::string> expected{
      "GetCurrentVersion", "GetLoggingPath", "LoggingSetMode", "add_logic_device", "change_logging_config_file",
      "close", "create", "delete_logic_device", "destroy", "execute_command", "get_all_sorted_logic_device_id",
      "get_current_logic_device_id", "get_data_from_log_config_file", "get_error_case_description",
      "get_input_param", "get_logic_device_param", "get_option", "get_param", "get_protocol", "is_open",
      "open", "set_current_logic_device", "set_logic_device_param", "set_option", "set_param"};
  EXPECT_EQ(DefinedDynamicSymbols("DRIVER_1"), expected);
}

TEST(Exports, TheCInterfaceHasItsOwnSymbolVersion) {
#if defined(_WIN32)
  GTEST_SKIP() << "driver.dll's export table is read by x86_64-w64-mingw32-objdump -p in the Windows test pass";
#endif
  // Exactly the functions the header declares.
  std::ifstream header(std::string(SOURCE_DIR) + "/driver/api/ponderix.h");
  const std::string text((std::istreambuf_iterator<char>(header)), std::istreambuf_iterator<char>());
  std::vector<std::string> expected;
  for (auto at = text.find("PDX_CALL pdx_"); at != std::string::npos; at = text.find("PDX_CALL pdx_", at + 1)) {
    const auto name = at + std::string("PDX_CALL ").size();
    expected.push_back(text.substr(name, text.find('(', name) - name));
  }
  std::sort(expected.begin(), expected.end());
  ASSERT_GT(expected.size(), 30u);
  EXPECT_EQ(DefinedDynamicSymbols("PONDERIX_C_1"), expected);
}

TEST(Exports, LibrarysOwnOpenAndCloseCallsGoToTheCLibrary) {
#if defined(_WIN32)
  GTEST_SKIP() << "ELF symbol versions: a DLL's imports name their DLL, nothing can bind to the exports";
#endif
  // Boost.Asio's ::open()/::close() inside the library must not bind to the exports of the
  // same names.
  std::string command = "nm -D --with-symbol-versions '" + TestSupport::DriverLibraryPath() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  int pinned = 0;
  while (fgets(line, sizeof line, pipe)) {
    std::string text(line);
    for (const char* name : {" U close@", " U open@"}) {
      auto at = text.find(name);
      if (at == std::string::npos) continue;
      EXPECT_EQ(text.compare(at + std::string(name).size(), 5, "GLIBC"), 0) << text;
      ++pinned;
    }
  }
  pclose(pipe);
  EXPECT_EQ(pinned, 2);
}

TEST(Exports, VersionIs113) {
  std::string version = "old";
  EXPECT_EQ(Driver().GetCurrentVersion(version), ErrorCase::Correct);
  EXPECT_EQ(version, "1.1.3");
}

TEST(Handles, LifeCycle) {
  DeviceHandle first = nullptr, second = nullptr;
  ASSERT_EQ(Driver().create(first), ErrorCase::Correct);
  ASSERT_EQ(Driver().create(second), ErrorCase::Correct);
  EXPECT_NE(first, nullptr);
  EXPECT_NE(second, nullptr);
  EXPECT_NE(first, second);

  DeviceHandle staleCopy = first;
  EXPECT_EQ(Driver().destroy(first), ErrorCase::Correct);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(Driver().destroy(first), ErrorCase::HandleNull);
  EXPECT_EQ(Driver().destroy(staleCopy), ErrorCase::HandleDoesNotExist);
  EXPECT_EQ(staleCopy, static_cast<DeviceHandle>(staleCopy)) << "a failed destroy leaves the variable";

  bool open = true;
  EXPECT_EQ(Driver().is_open(second, open), ErrorCase::Correct);
  EXPECT_FALSE(open);
  EXPECT_EQ(Driver().destroy(second), ErrorCase::Correct);
}

TEST(Handles, StaleHandleNeverReachesANewDevice) {
  DeviceHandle old = nullptr;
  ASSERT_EQ(Driver().create(old), ErrorCase::Correct);
  DeviceHandle stale = old;
  ASSERT_EQ(Driver().destroy(old), ErrorCase::Correct);
  std::vector<DeviceHandle> fresh(20, nullptr);
  for (auto& h : fresh) ASSERT_EQ(Driver().create(h), ErrorCase::Correct);
  for (auto h : fresh) EXPECT_NE(h, stale);

  const std::string untouched = "untouched";
  std::string text = untouched;
  EXPECT_EQ(Driver().set_param(stale, ParamType::Tare, "5"), ErrorCase::HandleInvalid);
  EXPECT_EQ(Driver().get_param(stale, ParamType::Tare, text), ErrorCase::HandleInvalid);
  EXPECT_EQ(Driver().get_protocol(stale, text), ErrorCase::HandleInvalid);
  EXPECT_EQ(text, untouched);
  bool flag = true;
  EXPECT_EQ(Driver().is_open(stale, flag), ErrorCase::HandleInvalid);
  EXPECT_TRUE(flag);
  EXPECT_EQ(Driver().destroy(stale), ErrorCase::HandleDoesNotExist);
  for (auto& h : fresh) EXPECT_EQ(Driver().destroy(h), ErrorCase::Correct);
}

TEST(Handles, NullAndUnknownHandlesAreRefusedWithoutTouchingOutputs) {
  DeviceHandle null = nullptr;
  DeviceHandle bogus = reinterpret_cast<DeviceHandle>(0xdeadbeef);
  for (DeviceHandle h : {null, bogus}) {
    std::string text = "keep";
    int id = 42;
    std::vector<int> ids{7};
    bool flag = true;
    EXPECT_EQ(Driver().open(h, 1), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().close(h), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().is_open(h, flag), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().execute_command(h, Command::GetMaxWeight), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().get_input_param(h, ParamType::Weight, text), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().get_option(h, Option::BaudRate, text), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().set_option(h, Option::BaudRate, "9600"), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().add_logic_device(h, id), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().get_current_logic_device_id(h, id), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().get_logic_device_param(h, 1, LogicDeviceParamType::Name, text), ErrorCase::HandleInvalid);
    EXPECT_EQ(Driver().get_all_sorted_logic_device_id(h, ids), ErrorCase::HandleInvalid);
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(id, 42);
    EXPECT_EQ(ids, std::vector<int>{7});
    EXPECT_TRUE(flag);
  }
  EXPECT_EQ(Driver().destroy(bogus), ErrorCase::HandleDoesNotExist);
}

TEST(Arguments, NumbersOutsideAnEnumerationAreRefusedBeforeAnythingHappens) {
  DeviceGuard device;
  const auto badType = static_cast<ParamType>(26);
  std::string text = "keep";
  EXPECT_EQ(Driver().set_param(device.handle, badType, "1"), ErrorCase::ParamTypeUnknown);
  EXPECT_EQ(Driver().get_param(device.handle, badType, text), ErrorCase::ParamTypeUnknown);
  EXPECT_EQ(Driver().get_input_param(device.handle, static_cast<ParamType>(-1), text), ErrorCase::ParamTypeUnknown);
  EXPECT_EQ(Driver().get_option(device.handle, static_cast<Option>(8), text), ErrorCase::OptionUnknown);
  EXPECT_EQ(Driver().set_option(device.handle, static_cast<Option>(8), "1"), ErrorCase::OptionUnknown);
  EXPECT_EQ(Driver().get_logic_device_param(device.handle, 1, static_cast<LogicDeviceParamType>(8), text),
            ErrorCase::ParamTypeUnknown);
  EXPECT_EQ(Driver().set_logic_device_param(device.handle, 1, static_cast<LogicDeviceParamType>(8), "x"),
            ErrorCase::ParamTypeUnknown);
  EXPECT_EQ(text, "keep");
  // The command number is checked before the handle.
  EXPECT_EQ(Driver().execute_command(nullptr, static_cast<Command>(66)), ErrorCase::CommandUnknown);
  EXPECT_EQ(Driver().execute_command(device.handle, static_cast<Command>(-1)), ErrorCase::CommandUnknown);
  int badMode = 4;
  EXPECT_EQ(Driver().LoggingSetMode(badMode), ErrorCase::IncorrectArgumnts);
}

TEST(Parameters, InputAndOutputSlotsAreIndependent) {
  DeviceGuard device;
  std::string text = "keep";
  EXPECT_EQ(Driver().get_param(device.handle, ParamType::Weight, text), ErrorCase::ParamTypeIsNotSetToGet);
  EXPECT_EQ(text, "");

  EXPECT_EQ(Driver().set_param(device.handle, ParamType::Tare, "0"), ErrorCase::Correct);
  EXPECT_EQ(Driver().get_input_param(device.handle, ParamType::Tare, text), ErrorCase::Correct);
  EXPECT_EQ(text, "0");
  EXPECT_EQ(Driver().get_param(device.handle, ParamType::Tare, text), ErrorCase::ParamTypeIsNotSetToGet);

  EXPECT_EQ(Driver().set_param(device.handle, ParamType::Tare, ""), ErrorCase::Correct);
  EXPECT_EQ(Driver().get_input_param(device.handle, ParamType::Tare, text), ErrorCase::ParamTypeIsNotSetToGet);
}

TEST(Device, NewDeviceHasNoConnection) {
  DeviceGuard device;
  EXPECT_EQ(Driver().execute_command(device.handle, Command::GetMaxWeight), ErrorCase::ConnectionError);
  bool open = true;
  EXPECT_EQ(Driver().is_open(device.handle, open), ErrorCase::Correct);
  EXPECT_FALSE(open);
  std::string value = "keep";
  EXPECT_EQ(Driver().get_option(device.handle, Option::BaudRate, value), ErrorCase::ConnectionError);
  EXPECT_EQ(Driver().set_option(device.handle, Option::BaudRate, "9600"), ErrorCase::ConnectionError);
  std::string protocol = "keep";
  EXPECT_EQ(Driver().get_protocol(device.handle, protocol), ErrorCase::Correct);
  EXPECT_EQ(protocol, "");
}

TEST(Device, CreateThatCannotBuildItsStoreLeavesTheHandleAlone) {
  // The data folder is a plain file: the logic-device store cannot be created. A root of its
  // own: the log stays open in the usual one, and Windows deletes no open file.
  const auto root = boost::filesystem::path(TestSupport::AppData()) / "unbuildable";
  boost::filesystem::create_directories(root);
  setenv("APPDATA", root.string().c_str(), 1);
  auto data = root / "KORVALT";
  std::ofstream(data.string()) << "not a folder";
  DeviceHandle handle = reinterpret_cast<DeviceHandle>(0x1234);
  EXPECT_EQ(Driver().create(handle), ErrorCase::LogicDeviceJSONError);
  EXPECT_EQ(handle, reinterpret_cast<DeviceHandle>(0x1234));
  EXPECT_EQ(Driver().destroy(handle), ErrorCase::HandleDoesNotExist);
  setenv("APPDATA", TestSupport::AppData().c_str(), 1);
}

TEST(Device, CorruptStoreIsKeptAndRefused) {
  auto folder = boost::filesystem::path(TestSupport::AppData()) / "KORVALT" / "Trelvane";
  boost::filesystem::create_directories(folder);
  auto file = folder / "logic-devices-connection-config.json";
  const std::string corrupt = "{ \"devices\": { \"1\": { \"name\": ";
  std::ofstream(file.string(), std::ios::trunc) << corrupt;
  DeviceHandle handle = nullptr;
  EXPECT_EQ(Driver().create(handle), ErrorCase::LogicDeviceJSONError);
  EXPECT_EQ(handle, nullptr);
  std::ifstream in(file.string());
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, corrupt);
  in.close();  // Windows deletes no open file
  boost::filesystem::remove(file);
}

TEST(Handles, ThreadsCreatingCallingAndDestroyingDevicesAtOnce) {
  std::atomic<int> failures{0};
  auto worker = [&] {
    for (int i = 0; i < 50; ++i) {
      DeviceHandle h = nullptr;
      if (Driver().create(h) != ErrorCase::Correct) ++failures;
      if (Driver().set_param(h, ParamType::Tare, std::to_string(i)) != ErrorCase::Correct) ++failures;
      std::string text;
      if (Driver().get_input_param(h, ParamType::Tare, text) != ErrorCase::Correct || text != std::to_string(i))
        ++failures;
      if (Driver().destroy(h) != ErrorCase::Correct) ++failures;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(worker);
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(Handles, CallsRacingADestroyEitherCompleteOrAreRefused) {
  for (int round = 0; round < 20; ++round) {
    DeviceHandle h = nullptr;
    ASSERT_EQ(Driver().create(h), ErrorCase::Correct);
    DeviceHandle copy = h;
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0};
    std::thread caller([&] {
      while (!stop) {
        auto rc = Driver().set_param(copy, ParamType::Weight, "1");
        if (rc != ErrorCase::Correct && rc != ErrorCase::HandleInvalid) ++unexpected;
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(Driver().destroy(h), ErrorCase::Correct);
    stop = true;
    caller.join();
    EXPECT_EQ(unexpected.load(), 0);
  }
}
