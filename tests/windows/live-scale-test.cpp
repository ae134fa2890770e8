// driver.dll against the simulated scales the test pass runs as Linux processes, each over TCP on
// 127.0.0.1 or over a COM port that the Wine prefix maps to the simulator's pseudo-terminal; and
// the logic-device store shared by Windows processes.
//
// PONDERIX_SCALES lists the scales, "PROTOCOL=END-POINT" separated by ";", for example
// "POS2M=127.0.0.1:47002;POS2MProV1=COM5". Each simulates 1250 g on the platform.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/driver-library.hpp"
#include "tests/support/test-environment.hpp"

namespace {

using namespace Korvalt::Ponderix::Driver;
using TestSupport::Driver;

struct Scale {
  std::string protocol;
  std::string endPoint;
};

std::vector<Scale> ScalesFromEnvironment() {
  std::vector<Scale> scales;
  const char* list = std::getenv("PONDERIX_SCALES");
  std::istringstream entries(list ? list : "");
  std::string entry;
  while (std::getline(entries, entry, ';')) {
    const auto equals = entry.find('=');
    if (equals != std::string::npos) scales.push_back({entry.substr(0, equals), entry.substr(equals + 1)});
  }
  return scales;
}

// A device of the library with one logic device describing `endPoint`, opened.
class OpenedDevice {
 public:
  OpenedDevice(const std::string& endPoint, const std::string& protocol) {
    EXPECT_EQ(Driver().create(handle_), ErrorCase::Correct);
    int id = 0;
    EXPECT_EQ(Driver().add_logic_device(handle_, id), ErrorCase::Correct);
    const bool serial = endPoint.rfind("COM", 0) == 0;
    const std::pair<LogicDeviceParamType, std::string> params[] = {
        {LogicDeviceParamType::Name, "bench scale"},
        {LogicDeviceParamType::ConnectionType, serial ? "Serial Port" : "TCP"},
        {LogicDeviceParamType::EndPoint, endPoint},
        {LogicDeviceParamType::BaudRate, "9600"},
        {LogicDeviceParamType::Model, "auto"},
        {LogicDeviceParamType::Protocol, protocol},
    };
    for (const auto& [type, value] : params) {
      EXPECT_EQ(Driver().set_logic_device_param(handle_, id, type, value), ErrorCase::Correct);
    }
    opened = Driver().open(handle_, id);
  }
  ~OpenedDevice() { Driver().destroy(handle_); }

  std::string Run(Command command, ParamType output, ErrorCase& result) {
    std::string value;
    result = Driver().execute_command(handle_, command);
    if (result == ErrorCase::Correct) Driver().get_param(handle_, output, value);
    return value;
  }
  DeviceHandle Handle() const { return handle_; }

  ErrorCase opened = ErrorCase::Unset;

 private:
  DeviceHandle handle_ = nullptr;
};

// The live weight in each protocol's own form of 1250 g.
const std::map<std::string, std::string> kWeightText = {
    {"POS2M", "1250"},   {"POS2MProV1", "1250"},   {"CAS-M", "1.250"},
    {"CAS-M ProV1", "1.250"}, {"CAS-M-Active", "1.250"}, {"OKA", "1.250"},
};

TEST(LiveScales, EveryProtocolEndToEnd) {
  const auto scales = ScalesFromEnvironment();
  if (scales.empty()) GTEST_SKIP() << "PONDERIX_SCALES names no running simulator";
  for (const auto& scale : scales) {
    SCOPED_TRACE(scale.protocol + " on " + scale.endPoint);
    OpenedDevice device(scale.endPoint, scale.protocol);
    ASSERT_EQ(device.opened, ErrorCase::Correct);
    ErrorCase result = ErrorCase::Unset;
    if (scale.protocol.find("Pro") != std::string::npos) {
      // The Pro scales answer the native text protocol too.
      EXPECT_EQ(device.Run(Command::GetSerialNumber, ParamType::SerialNumber, result), "00012345");
      EXPECT_EQ(result, ErrorCase::Correct);
    }
    const std::string weight = device.Run(Command::StatusOfWeightChannel, ParamType::Weight, result);
    EXPECT_EQ(result, ErrorCase::Correct);
    EXPECT_NE(weight.find(kWeightText.at(scale.protocol)), std::string::npos) << weight;
    // "auto" finds the same protocol on the same line.
    OpenedDevice detecting(scale.endPoint, "auto");
    ASSERT_EQ(detecting.opened, ErrorCase::Correct);
    std::string protocol;
    EXPECT_EQ(Driver().get_protocol(detecting.Handle(), protocol), ErrorCase::Correct);
    EXPECT_EQ(protocol, scale.protocol);
  }
}

TEST(LiveScales, MissingComPortCannotBeOpened) {
  OpenedDevice device("COM42", "POS2M");
  EXPECT_EQ(device.opened, ErrorCase::UnableToOpenSerialPort);
}

// Two Windows processes adding logic devices to one store at the same time.
constexpr int kChildren = 2;
constexpr int kRounds = 25;

std::string Named(int child, int round) { return "child" + std::to_string(child) + "-" + std::to_string(round); }

// The child's half: runs only in the processes the test below starts.
TEST(SharedStoreProcesses, DISABLED_Child) {
  const char* child = std::getenv("PONDERIX_STORE_CHILD");
  const char* appData = std::getenv("PONDERIX_STORE_APPDATA");
  ASSERT_TRUE(child && appData);
  _putenv_s("APPDATA", appData);
  DeviceHandle handle = nullptr;
  ASSERT_EQ(Driver().create(handle), ErrorCase::Correct);
  for (int round = 0; round < kRounds; ++round) {
    int id = 0;
    ASSERT_EQ(Driver().add_logic_device(handle, id), ErrorCase::Correct);
    ASSERT_EQ(Driver().set_logic_device_param(handle, id, LogicDeviceParamType::Name, Named(std::atoi(child), round)),
              ErrorCase::Correct);
  }
  Driver().destroy(handle);
}

TEST(SharedStoreProcesses, TwoProcessesLoseNothing) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  _putenv_s("PONDERIX_STORE_APPDATA", TestSupport::AppData().c_str());
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                           OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  std::vector<PROCESS_INFORMATION> children;
  for (int child = 0; child < kChildren; ++child) {
    _putenv_s("PONDERIX_STORE_CHILD", std::to_string(child).c_str());
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=SharedStoreProcesses.DISABLED_Child";
    // The children's own gtest report goes nowhere: only this process reports.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        << GetLastError();
    children.push_back(process);
  }
  for (auto& process : children) {
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    EXPECT_EQ(status, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(nul);

  DeviceHandle handle = nullptr;
  ASSERT_EQ(Driver().create(handle), ErrorCase::Correct);
  std::vector<int> ids;
  ASSERT_EQ(Driver().get_all_sorted_logic_device_id(handle, ids), ErrorCase::Correct);
  std::multiset<std::string> names;
  for (int id : ids) {
    std::string name;
    Driver().get_logic_device_param(handle, id, LogicDeviceParamType::Name, name);
    names.insert(name);
  }
  Driver().destroy(handle);
  for (int child = 0; child < kChildren; ++child) {
    for (int round = 0; round < kRounds; ++round) EXPECT_EQ(names.count(Named(child, round)), 1u) << Named(child, round);
  }
}

}  // namespace
