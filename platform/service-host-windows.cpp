#include "platform/service-host.hpp"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <thread>

#include "platform/service-control-windows.hpp"
#include "platform/windows-text.hpp"

namespace Korvalt::Ponderix::Platform {

// ---- the states ----

ServiceState::ServiceState(ServiceControlCalls& calls, std::wstring name, std::function<void()> stop)
    : calls_(calls), name_(std::move(name)), stop_(std::move(stop)) {
  status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
}

void ServiceState::Report(DWORD state, DWORD waitHint) {
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  status_.dwCheckPoint = pending && status_.dwCurrentState == state ? status_.dwCheckPoint + 1 : (pending ? 1 : 0);
  status_.dwCurrentState = state;
  status_.dwWaitHint = waitHint;
  status_.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  calls_.SetStatus(status_);
}

void ServiceState::Starting() {
  std::lock_guard<std::mutex> lock(mutex_);
  Report(SERVICE_START_PENDING, kServiceStartHintMs);
}

void ServiceState::StillStarting() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.dwCurrentState == SERVICE_START_PENDING) Report(SERVICE_START_PENDING, kServiceStartHintMs);
}

void ServiceState::Running() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.dwCurrentState != SERVICE_START_PENDING) return;
  Report(SERVICE_RUNNING, 0);
  calls_.WriteEvent(EVENTLOG_INFORMATION_TYPE, name_ + L" started");
}

DWORD ServiceState::Control(DWORD control) {
  std::function<void()> stop;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (control) {
      case SERVICE_CONTROL_STOP:
      case SERVICE_CONTROL_SHUTDOWN:
        if (status_.dwCurrentState != SERVICE_RUNNING) return NO_ERROR;  // stopping already
        stopRequested_ = true;
        Report(SERVICE_STOP_PENDING, kServiceStopBoundMs);
        calls_.WriteEvent(EVENTLOG_INFORMATION_TYPE,
                          name_ + (control == SERVICE_CONTROL_STOP ? L" stopping: stop requested"
                                                                   : L" stopping: the system shuts down"));
        stop = stop_;
        break;
      case SERVICE_CONTROL_INTERROGATE:
        calls_.SetStatus(status_);
        return NO_ERROR;
      default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
  }
  if (stop) stop();
  return NO_ERROR;
}

void ServiceState::Exited() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.dwCurrentState == SERVICE_STOPPED) return;
  if (stopRequested_) {
    status_.dwWin32ExitCode = NO_ERROR;
    status_.dwServiceSpecificExitCode = 0;
    calls_.WriteEvent(EVENTLOG_INFORMATION_TYPE, name_ + L" stopped");
  } else {
    status_.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    status_.dwServiceSpecificExitCode = 1;
    calls_.WriteEvent(EVENTLOG_ERROR_TYPE,
                      name_ + L" ended without a stop request (the errors before this one say why)");
  }
  Report(SERVICE_STOPPED, 0);
}

bool ServiceState::StopRequested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopRequested_;
}

DWORD ServiceState::Current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_.dwCurrentState;
}

// ---- --install-service and --uninstall-service ----

namespace {

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                      nullptr);
  return narrow;
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length ? std::string(text, length) : "error " + std::to_string(error);
  if (text) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) result.pop_back();
  return result;
}

// The one line a refusal gets; without administrator rights it says how to get them.
int Refused(std::ostream& out, const std::wstring& name, const char* option, DWORD error) {
  out << Narrow(name) << ": " << option << ": ";
  if (error == ERROR_ACCESS_DENIED) {
    out << "needs administrator rights: run it from a command prompt opened with \"Run as administrator\"\n";
  } else {
    out << SystemText(error) << " (error " << error << ")\n";
  }
  return 1;
}

}  // namespace

ServiceRegistration RegistrationFor(const ServiceRegistration& identity, const std::wstring& program,
                                    const std::wstring& config) {
  ServiceRegistration registration = identity;
  registration.commandLine = L"\"" + program + L"\"";
  if (!config.empty()) registration.commandLine += L" --config \"" + config + L"\"";
  registration.account = L"NT AUTHORITY\\LocalService";
  registration.startType = SERVICE_AUTO_START;
  registration.failureResetSeconds = kServiceFailureResetSeconds;
  registration.failureActions = {{SC_ACTION_RESTART, kServiceRestartDelayMs},
                                 {SC_ACTION_RESTART, kServiceRestartDelayMs},
                                 {SC_ACTION_NONE, 0}};
  registration.failureActionsOnNonCrashFailures = true;
  return registration;
}

int InstallService(ServiceControlCalls& calls, const ServiceRegistration& identity, const std::wstring& program,
                   const std::wstring& config, std::ostream& out) {
  const ServiceRegistration registration = RegistrationFor(identity, program, config);
  DWORD error = calls.Register(registration);
  if (error != ERROR_SUCCESS) return Refused(out, identity.name, "--install-service", error);
  error = calls.AddEventSource(identity.name, program);
  if (error != ERROR_SUCCESS) return Refused(out, identity.name, "--install-service", error);
  out << Narrow(identity.name) << ": installed the service " << Narrow(identity.name)
      << " (automatic start, LocalService, restarted after 5 s on its first two failures): "
      << Narrow(registration.commandLine) << "\n";
  return 0;
}

int UninstallService(ServiceControlCalls& calls, const std::wstring& name, std::ostream& out) {
  const DWORD error = calls.Unregister(name, kServiceStopBoundMs);
  if (error != ERROR_SUCCESS && error != ERROR_SERVICE_DOES_NOT_EXIST) {
    return Refused(out, name, "--uninstall-service", error);
  }
  const DWORD sourceError = calls.RemoveEventSource(name);
  if (sourceError != ERROR_SUCCESS && sourceError != ERROR_FILE_NOT_FOUND) {
    return Refused(out, name, "--uninstall-service", sourceError);
  }
  out << Narrow(name) << (error == ERROR_SUCCESS ? ": removed the service " : ": no service named ") << Narrow(name)
      << "\n";
  return 0;
}

int StartInstalledService(ServiceControlCalls& calls, const std::wstring& name, std::ostream& out) {
  const DWORD error = calls.Start(name);
  if (error != ERROR_SUCCESS && error != ERROR_SERVICE_ALREADY_RUNNING) {
    return Refused(out, name, "--start-service", error);
  }
  out << Narrow(name) << ": started the service " << Narrow(name) << "\n";
  return 0;
}

// ---- the real calls ----

namespace {

struct ServiceHandle {
  SC_HANDLE handle;
  explicit ServiceHandle(SC_HANDLE h) : handle(h) {}
  ~ServiceHandle() {
    if (handle) CloseServiceHandle(handle);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
};

const wchar_t kEventSources[] = L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

}  // namespace

WindowsServiceControlCalls::WindowsServiceControlCalls(const std::wstring& eventSource) : eventSource_(eventSource) {}

WindowsServiceControlCalls::~WindowsServiceControlCalls() {
  if (eventLog_) DeregisterEventSource(eventLog_);
}

DWORD WindowsServiceControlCalls::Register(const ServiceRegistration& r) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager.handle) return GetLastError();
  ServiceHandle service(CreateServiceW(manager.handle, r.name.c_str(), r.displayName.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, r.startType, SERVICE_ERROR_NORMAL,
                                       r.commandLine.c_str(), nullptr, nullptr, nullptr, r.account.c_str(), L""));
  if (!service.handle) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_EXISTS) return error;
    // Installed before (an upgrade, or another folder): the same settings again.
    service.handle = OpenServiceW(manager.handle, r.name.c_str(), SERVICE_ALL_ACCESS);
    if (!service.handle) return GetLastError();
    if (!ChangeServiceConfigW(service.handle, SERVICE_WIN32_OWN_PROCESS, r.startType, SERVICE_ERROR_NORMAL,
                              r.commandLine.c_str(), nullptr, nullptr, nullptr, r.account.c_str(), L"",
                              r.displayName.c_str())) {
      return GetLastError();
    }
  }
  std::wstring description = r.description;
  SERVICE_DESCRIPTIONW text{description.data()};
  if (!ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_DESCRIPTION, &text)) return GetLastError();
  std::vector<SC_ACTION> actions = r.failureActions;
  SERVICE_FAILURE_ACTIONSW failure{};
  failure.dwResetPeriod = r.failureResetSeconds;
  failure.cActions = static_cast<DWORD>(actions.size());
  failure.lpsaActions = actions.data();
  SERVICE_FAILURE_ACTIONS_FLAG flag{r.failureActionsOnNonCrashFailures ? TRUE : FALSE};
  if (!ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) ||
      !ChangeServiceConfig2W(service.handle, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
    const DWORD error = GetLastError();
    // Windows keeps both since Vista; a service manager that knows neither (Wine's) still runs
    // the service, only without restarts.
    if (error != ERROR_INVALID_LEVEL) return error;
    std::cerr << Narrow(r.name) << ": this service manager keeps no recovery actions (error 124): the service is "
              << "not restarted after a failure\n";
  }
  return ERROR_SUCCESS;
}

DWORD WindowsServiceControlCalls::Unregister(const std::wstring& name, DWORD stopWaitMs) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.handle) return GetLastError();
  ServiceHandle service(OpenServiceW(manager.handle, name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service.handle) return GetLastError();
  SERVICE_STATUS status{};
  if (ControlService(service.handle, SERVICE_CONTROL_STOP, &status)) {
    const ULONGLONG deadline = GetTickCount64() + stopWaitMs;
    while (status.dwCurrentState != SERVICE_STOPPED && GetTickCount64() < deadline) {
      Sleep(200);
      if (!QueryServiceStatus(service.handle, &status)) break;
    }
  }
  if (!DeleteService(service.handle)) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_MARKED_FOR_DELETE) return error;
  }
  return ERROR_SUCCESS;
}

DWORD WindowsServiceControlCalls::AddEventSource(const std::wstring& name, const std::wstring& messageFile) {
  HKEY key = nullptr;
  const std::wstring path = kEventSources + name;
  LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (error != ERROR_SUCCESS) return static_cast<DWORD>(error);
  const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  error = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(messageFile.c_str()),
                         static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t)));
  if (error == ERROR_SUCCESS) {
    error = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
  }
  RegCloseKey(key);
  return static_cast<DWORD>(error);
}

DWORD WindowsServiceControlCalls::RemoveEventSource(const std::wstring& name) {
  const std::wstring path = kEventSources + name;
  return static_cast<DWORD>(RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()));
}

DWORD WindowsServiceControlCalls::Start(const std::wstring& name) {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.handle) return GetLastError();
  ServiceHandle service(OpenServiceW(manager.handle, name.c_str(), SERVICE_START));
  if (!service.handle) return GetLastError();
  return StartServiceW(service.handle, 0, nullptr) ? ERROR_SUCCESS : GetLastError();
}

void WindowsServiceControlCalls::SetStatus(const SERVICE_STATUS& status) {
  if (!handle_) return;
  SERVICE_STATUS copy = status;
  SetServiceStatus(handle_, &copy);
}

void WindowsServiceControlCalls::WriteEvent(WORD type, const std::wstring& text) {
  if (!eventLog_) eventLog_ = RegisterEventSourceW(nullptr, eventSource_.c_str());
  if (!eventLog_) return;
  const wchar_t* strings[] = {text.c_str()};
  // Event 1 of the program's message table is "%1": the text as it stands.
  ReportEventW(eventLog_, type, 0, 1, nullptr, 1, 0, strings, nullptr);
}

// ---- the host ----

namespace {

// Lines written to a standard stream go to the Event Log, one event a line. The first line on
// standard output is the program saying that it serves.
class EventLineBuffer : public std::streambuf {
 public:
  EventLineBuffer(ServiceControlCalls& calls, WORD type, std::function<void()> firstLine)
      : calls_(calls), type_(type), firstLine_(std::move(firstLine)) {}

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    std::lock_guard<std::mutex> lock(mutex_);
    if (c == '\n') {
      Emit();
    } else {
      line_.push_back(static_cast<char>(c));
    }
    return c;
  }

 private:
  void Emit() {  // with mutex_ held
    calls_.WriteEvent(type_, WideFromAnsi(line_));
    line_.clear();
    if (firstLine_) {
      firstLine_();
      firstLine_ = nullptr;
    }
  }

  ServiceControlCalls& calls_;
  WORD type_;
  std::function<void()> firstLine_;
  std::mutex mutex_;
  std::string line_;
};

// Set while the host's own SIGTERM handler is in place: a stop raised before the program's
// handler is set up is raised again until the program's handler takes it.
volatile std::sig_atomic_t ownHandlerRan = 0;
void OwnSigterm(int) {
  ownHandlerRan = 1;
  std::signal(SIGTERM, OwnSigterm);
}

// The program stops on SIGTERM as on Linux: raised here until a handler other than the host's
// has taken it.
void RaiseStop() {
  for (int i = 0; i < 400; ++i) {
    ownHandlerRan = 0;
    std::raise(SIGTERM);
    if (!ownHandlerRan) return;
    Sleep(25);
  }
}

struct Host {
  std::wstring name;
  WindowsServiceControlCalls calls;
  ServiceState state;
  HANDLE decided = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool service = false;

  explicit Host(const std::wstring& serviceName)
      : name(serviceName), calls(serviceName), state(calls, serviceName, [this] { Stop(); }) {}

  void Stop() {
    std::thread([] { RaiseStop(); }).detach();
    // The bound, as systemd keeps it on Linux: past it the host ends the process.
    std::thread([this] {
      if (WaitForSingleObject(stopped, kServiceStopBoundMs) == WAIT_OBJECT_0) return;
      calls.WriteEvent(EVENTLOG_ERROR_TYPE, name + L" did not stop within 10 s and was ended");
      state.Exited();
      ExitProcess(1);
    }).detach();
  }
};

Host* host = nullptr;

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) { return host->state.Control(control); }

void WINAPI ServiceMain(DWORD, wchar_t**) {
  const SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(host->name.c_str(), Handler, nullptr);
  if (!handle) {
    SetEvent(host->decided);
    return;
  }
  host->calls.Attach(handle);
  host->service = true;
  host->state.Starting();
  SetEvent(host->decided);
  // The checkpoint moves on while the program opens its scales, for two minutes at most.
  for (int second = 0; second < 120 && host->state.Current() == SERVICE_START_PENDING; ++second) {
    if (WaitForSingleObject(host->stopped, 1000) == WAIT_OBJECT_0) break;
    host->state.StillStarting();
  }
  WaitForSingleObject(host->stopped, INFINITE);
}

void AtExit() {
  std::cout.flush();
  std::cerr.flush();
  host->state.Exited();
  SetEvent(host->stopped);
}

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);
  }
}

std::wstring FullPath(const std::string& file) {
  const std::wstring wide = WideFromAnsi(file);
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return wide;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
  full.resize(written);
  return full;
}

}  // namespace

std::optional<int> HostService(int argc, char** argv, const ServiceIdentity& identity) {
  const std::wstring name = WideFromAnsi(identity.name);
  for (int i = 1; i < argc; ++i) {
    const bool install = std::strcmp(argv[i], "--install-service") == 0;
    const bool uninstall = std::strcmp(argv[i], "--uninstall-service") == 0;
    const bool start = std::strcmp(argv[i], "--start-service") == 0;
    if (!install && !uninstall && !start) continue;
    WindowsServiceControlCalls calls(name);
    if (!install) {
      if (argc != 2) {
        std::cerr << identity.name << ": " << argv[i] << " takes no other argument\n";
        return 2;
      }
      return uninstall ? UninstallService(calls, name, std::cerr) : StartInstalledService(calls, name, std::cerr);
    }
    std::string config;
    for (int j = 1; j < argc; ++j) {
      if (j == i) continue;
      if (std::strcmp(argv[j], "--config") == 0 && j + 1 < argc && config.empty()) {
        config = argv[++j];
      } else {
        std::cerr << identity.name << ": --install-service takes only --config FILE\n";
        return 2;
      }
    }
    ServiceRegistration names;
    names.name = name;
    names.displayName = WideFromAnsi(identity.displayName);
    names.description = WideFromAnsi(identity.description);
    return InstallService(calls, names, ProgramPath(), config.empty() ? L"" : FullPath(config), std::cerr);
  }

  // Started by the Service Control Manager? The dispatcher finds out: it fails at once in a
  // console start, and otherwise keeps its thread until the service has stopped.
  static Host instance(name);
  host = &instance;
  std::thread([] {
    static std::wstring serviceName = host->name;
    SERVICE_TABLE_ENTRYW table[] = {{serviceName.data(), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) SetEvent(host->decided);
  }).detach();
  WaitForSingleObject(host->decided, INFINITE);
  if (!host->service) return std::nullopt;

  std::signal(SIGTERM, OwnSigterm);
  // There is no console: what the program writes becomes events (leaked on purpose, the
  // streams are flushed at exit after every static object is gone).
  std::cout.rdbuf(new EventLineBuffer(host->calls, EVENTLOG_INFORMATION_TYPE, [] { host->state.Running(); }));
  std::cerr.rdbuf(new EventLineBuffer(host->calls, EVENTLOG_ERROR_TYPE, nullptr));
  std::atexit(AtExit);
  return std::nullopt;
}

}  // namespace Korvalt::Ponderix::Platform
