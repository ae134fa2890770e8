// The Windows service host's parts, over the Service Control Manager's and the Event Log's calls
// (ServiceControlCalls), which tests replace with a stand-in. Windows only.
#pragma once

#include "platform/windows-text.hpp"

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace Korvalt::Ponderix::Platform {

// The bound of a stop, as systemd's TimeoutStopSec= gives the Linux unit [ms]: the program ends
// within a transfer time-out and a second; past the bound the host ends the process itself.
constexpr DWORD kServiceStopBoundMs = 10000;
// Start pending: the program opens its scales, each up to a few transfer time-outs; the host
// moves the checkpoint on every second while it does [ms].
constexpr DWORD kServiceStartHintMs = 5000;
// Recovery: restart after this long on the first and the second failure [ms]; the failure count
// goes back to zero after a day without one [s].
constexpr DWORD kServiceRestartDelayMs = 5000;
constexpr DWORD kServiceFailureResetSeconds = 24 * 60 * 60;

struct ServiceRegistration {
  std::wstring name;
  std::wstring displayName;
  std::wstring description;
  std::wstring commandLine;  // quoted program path and its arguments
  std::wstring account;      // L"NT AUTHORITY\\LocalService"
  DWORD startType = SERVICE_AUTO_START;
  DWORD failureResetSeconds = kServiceFailureResetSeconds;
  std::vector<SC_ACTION> failureActions;
  bool failureActionsOnNonCrashFailures = true;  // SERVICE_FAILURE_ACTIONS_FLAG
};

// What the host asks of Windows. Results are Win32 error codes (ERROR_SUCCESS when done).
class ServiceControlCalls {
 public:
  virtual ~ServiceControlCalls() = default;
  // Creates the service, or updates it when it exists, with its description and recovery.
  virtual DWORD Register(const ServiceRegistration& registration) = 0;
  // Stops the service (waiting up to `stopWaitMs`) and deletes it; ERROR_SERVICE_DOES_NOT_EXIST
  // when there is none.
  virtual DWORD Unregister(const std::wstring& name, DWORD stopWaitMs) = 0;
  // The Event Log source `name`, its messages taken from `messageFile` (a program holding the
  // message table).
  virtual DWORD AddEventSource(const std::wstring& name, const std::wstring& messageFile) = 0;
  virtual DWORD RemoveEventSource(const std::wstring& name) = 0;
  // Asks the service manager to start the service (it does not wait for running).
  virtual DWORD Start(const std::wstring& name) = 0;
  virtual void SetStatus(const SERVICE_STATUS& status) = 0;
  // type: EVENTLOG_INFORMATION_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_ERROR_TYPE.
  virtual void WriteEvent(WORD type, const std::wstring& text) = 0;
};

// The real calls (advapi32).
class WindowsServiceControlCalls : public ServiceControlCalls {
 public:
  explicit WindowsServiceControlCalls(const std::wstring& eventSource);
  ~WindowsServiceControlCalls() override;
  void Attach(SERVICE_STATUS_HANDLE handle) { handle_ = handle; }
  DWORD Register(const ServiceRegistration& registration) override;
  DWORD Unregister(const std::wstring& name, DWORD stopWaitMs) override;
  DWORD AddEventSource(const std::wstring& name, const std::wstring& messageFile) override;
  DWORD RemoveEventSource(const std::wstring& name) override;
  DWORD Start(const std::wstring& name) override;
  void SetStatus(const SERVICE_STATUS& status) override;
  void WriteEvent(WORD type, const std::wstring& text) override;

 private:
  std::wstring eventSource_;
  HANDLE eventLog_ = nullptr;
  SERVICE_STATUS_HANDLE handle_ = nullptr;
};

// The service's states as the Service Control Manager is told them. Thread-safe: the control
// handler, the program's output and its exit call in from their own threads.
class ServiceState {
 public:
  // `stop` asks the program to stop; called once, on the first stop or shutdown.
  ServiceState(ServiceControlCalls& calls, std::wstring name, std::function<void()> stop);
  void Starting();       // start pending, no control accepted yet
  void StillStarting();  // the checkpoint moves on while start pending
  void Running();        // once: running, stop and shutdown accepted
  // The control handler: stop and shutdown begin the stop (stop pending with the bound as wait
  // hint); interrogate reports again. Returns the handler's answer.
  DWORD Control(DWORD control);
  // The program exited: stopped, exit code 0 after a stop, otherwise a service-specific error 1
  // (the program ended by itself: a failure, which the recovery actions count).
  void Exited();
  bool StopRequested() const;
  DWORD Current() const;

 private:
  void Report(DWORD state, DWORD waitHint);  // with mutex_ held

  ServiceControlCalls& calls_;
  std::wstring name_;
  std::function<void()> stop_;
  mutable std::mutex mutex_;
  SERVICE_STATUS status_{};
  bool stopRequested_ = false;
};

// --install-service and --uninstall-service, their messages written to `out`; the exit status.
// `program` is the full path of this program, `config` the full path of --config (may be empty).
int InstallService(ServiceControlCalls& calls, const ServiceRegistration& identity, const std::wstring& program,
                   const std::wstring& config, std::ostream& out);
int UninstallService(ServiceControlCalls& calls, const std::wstring& name, std::ostream& out);
// --start-service (the installer's START_SERVICE=1).
int StartInstalledService(ServiceControlCalls& calls, const std::wstring& name, std::ostream& out);

// The registration --install-service makes, from the service's names, the program and --config.
ServiceRegistration RegistrationFor(const ServiceRegistration& identity, const std::wstring& program,
                                    const std::wstring& config);

}  // namespace Korvalt::Ponderix::Platform
