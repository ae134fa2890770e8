// The Windows service host against a stand-in of the Service Control Manager's and the Event
// Log's calls: what Wine's service manager cannot show (recovery actions as set, refusals without
// administrator rights, the order of the reported states).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/service-control-windows.hpp"

namespace {

using namespace Korvalt::Ponderix::Platform;

class StandInCalls : public ServiceControlCalls {
 public:
  DWORD Register(const ServiceRegistration& registration) override {
    registered.push_back(registration);
    return registerResult;
  }
  DWORD Unregister(const std::wstring& name, DWORD stopWaitMs) override {
    unregistered.push_back(name);
    stopWait = stopWaitMs;
    return unregisterResult;
  }
  DWORD AddEventSource(const std::wstring& name, const std::wstring& messageFile) override {
    sources.push_back(name + L"|" + messageFile);
    return ERROR_SUCCESS;
  }
  DWORD RemoveEventSource(const std::wstring& name) override {
    sources.push_back(L"-" + name);
    return ERROR_SUCCESS;
  }
  DWORD Start(const std::wstring&) override { return ERROR_SUCCESS; }
  void SetStatus(const SERVICE_STATUS& status) override { statuses.push_back(status); }
  void WriteEvent(WORD type, const std::wstring& text) override { events.push_back({type, text}); }

  DWORD registerResult = ERROR_SUCCESS;
  DWORD unregisterResult = ERROR_SUCCESS;
  DWORD stopWait = 0;
  std::vector<ServiceRegistration> registered;
  std::vector<std::wstring> unregistered;
  std::vector<std::wstring> sources;
  std::vector<SERVICE_STATUS> statuses;
  std::vector<std::pair<WORD, std::wstring>> events;
};

class ServiceHostTest : public ::testing::Test {
 protected:
  ServiceRegistration Identity() {
    ServiceRegistration identity;
    identity.name = L"scale-service";
    identity.displayName = L"Ponderix scale service";
    identity.description = L"Serves the scales";
    return identity;
  }
  StandInCalls calls;
  int stops = 0;
  ServiceState state{calls, L"scale-service", [this] { ++stops; }};
};

TEST_F(ServiceHostTest, InstallRegistersAutomaticLocalServiceWithRestartsThatCountANonZeroExit) {
  std::ostringstream out;
  ASSERT_EQ(InstallService(calls, Identity(), L"C:\\Program Files\\Ponderix\\scale-service.exe",
                           L"C:\\ProgramData\\Ponderix\\scale-service.json", out),
            0);
  ASSERT_EQ(calls.registered.size(), 1u);
  const ServiceRegistration& r = calls.registered[0];
  EXPECT_EQ(r.name, L"scale-service");
  EXPECT_EQ(r.commandLine,
            L"\"C:\\Program Files\\Ponderix\\scale-service.exe\" --config \"C:\\ProgramData\\Ponderix\\scale-service.json\"");
  EXPECT_EQ(r.account, L"NT AUTHORITY\\LocalService");
  EXPECT_EQ(r.startType, static_cast<DWORD>(SERVICE_AUTO_START));
  ASSERT_EQ(r.failureActions.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(r.failureActions[i].Type, SC_ACTION_RESTART);
    EXPECT_EQ(r.failureActions[i].Delay, 5000u);
  }
  EXPECT_EQ(r.failureActions[2].Type, SC_ACTION_NONE);
  EXPECT_TRUE(r.failureActionsOnNonCrashFailures);
  EXPECT_EQ(calls.sources, std::vector<std::wstring>{L"scale-service|C:\\Program Files\\Ponderix\\scale-service.exe"});
  EXPECT_NE(out.str().find("installed the service scale-service"), std::string::npos) << out.str();
  // Without --config the program runs with its defaults.
  InstallService(calls, Identity(), L"C:\\p\\scale-service.exe", L"", out);
  EXPECT_EQ(calls.registered.back().commandLine, L"\"C:\\p\\scale-service.exe\"");
}

TEST_F(ServiceHostTest, RefusalsSayWhatIsMissing) {
  struct Case {
    bool install;
    DWORD error;
    const char* says;
  };
  const Case cases[] = {
      {true, ERROR_ACCESS_DENIED, "--install-service: needs administrator rights"},
      {false, ERROR_ACCESS_DENIED, "--uninstall-service: needs administrator rights"},
      {true, ERROR_INVALID_PARAMETER, "(error 87)"},
  };
  for (const auto& c : cases) {
    StandInCalls refusing;
    refusing.registerResult = refusing.unregisterResult = c.error;
    std::ostringstream out;
    const int status = c.install ? InstallService(refusing, Identity(), L"C:\\p\\s.exe", L"", out)
                                 : UninstallService(refusing, L"scale-service", out);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.str().find(c.says), std::string::npos) << out.str();
    EXPECT_TRUE(refusing.sources.empty());  // nothing half done
  }
}

TEST_F(ServiceHostTest, UninstallStopsWithinTheBoundAndRemovesTheEventSource) {
  std::ostringstream out;
  EXPECT_EQ(UninstallService(calls, L"scale-service", out), 0);
  EXPECT_EQ(calls.stopWait, kServiceStopBoundMs);
  EXPECT_EQ(calls.sources, std::vector<std::wstring>{L"-scale-service"});
  calls.unregisterResult = ERROR_SERVICE_DOES_NOT_EXIST;  // removing twice is no failure
  EXPECT_EQ(UninstallService(calls, L"scale-service", out), 0);
  EXPECT_NE(out.str().find("no service named scale-service"), std::string::npos);
}

TEST_F(ServiceHostTest, ReportsEachStateWithWaitHintsAndStopsOnce) {
  state.Starting();
  EXPECT_EQ(state.Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(NO_ERROR));  // not accepted yet
  state.StillStarting();
  state.Running();
  state.Running();
  EXPECT_EQ(state.Control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
  state.Control(SERVICE_CONTROL_SHUTDOWN);
  state.Control(SERVICE_CONTROL_STOP);
  state.Exited();
  state.Exited();
  EXPECT_EQ(stops, 1);
  struct Expected {
    DWORD state, checkPoint, waitHint, accepted;
  };
  const Expected expected[] = {
      {SERVICE_START_PENDING, 1, kServiceStartHintMs, 0},
      {SERVICE_START_PENDING, 2, kServiceStartHintMs, 0},
      {SERVICE_RUNNING, 0, 0, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN},
      {SERVICE_STOP_PENDING, 1, kServiceStopBoundMs, 0},
      {SERVICE_STOPPED, 0, 0, 0},
  };
  ASSERT_EQ(calls.statuses.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls.statuses[i].dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(calls.statuses[i].dwCurrentState, expected[i].state);
    EXPECT_EQ(calls.statuses[i].dwCheckPoint, expected[i].checkPoint);
    EXPECT_EQ(calls.statuses[i].dwWaitHint, expected[i].waitHint);
    EXPECT_EQ(calls.statuses[i].dwControlsAccepted, expected[i].accepted);
  }
  EXPECT_EQ(calls.statuses.back().dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
  ASSERT_EQ(calls.events.size(), 3u);
  EXPECT_EQ(calls.events[0].second, L"scale-service started");
  EXPECT_EQ(calls.events[1].second, L"scale-service stopping: the system shuts down");
  EXPECT_EQ(calls.events[2].second, L"scale-service stopped");
}

// A program that ends without being asked has failed: a non-zero exit the recovery counts, and
// an error event.
TEST_F(ServiceHostTest, EndingUnaskedIsAFailure) {
  state.Starting();
  state.Exited();
  ASSERT_EQ(calls.statuses.back().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(calls.statuses.back().dwWin32ExitCode, static_cast<DWORD>(ERROR_SERVICE_SPECIFIC_ERROR));
  EXPECT_EQ(calls.statuses.back().dwServiceSpecificExitCode, 1u);
  ASSERT_FALSE(calls.events.empty());
  EXPECT_EQ(calls.events.back().first, EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(stops, 0);
}

}  // namespace
