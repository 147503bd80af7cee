#include "agent/host/service_host.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

using platform::ServiceControl;
using platform::ServiceErrc;
using platform::ServiceResult;
using platform::ServiceState;

namespace {

// The host that the static entry points reach.
std::atomic<CServiceHost*> g_host{nullptr};

constexpr std::uint32_t kEventIdError = 0xC0000002u;
constexpr std::uint32_t kEventIdWarning = 0x80000001u;
constexpr std::uint32_t kEventIdInformation = 0x40000000u;
constexpr std::uint32_t kErrorServiceSpecific = 1066;
constexpr const char* kDescription = "CS Tessaly - Qorvu courier notification agent";
constexpr const char* kPasswordNote =
    "Note: -p is ignored on Linux: systemd starts the service as the -l user, "
    "without a password.\n";

}  // namespace

ServiceHostDeps DefaultServiceHostDeps() {
  static const std::unique_ptr<platform::ServiceManager> manager =
      platform::NewSystemdServiceManager();
  static const std::unique_ptr<platform::EventLog> eventLog = platform::NewSyslogEventLog();
  static const std::unique_ptr<platform::Console> console = platform::NewPosixConsole();
  ServiceHostDeps deps;
  deps.manager = manager.get();
  deps.eventLog = eventLog.get();
  deps.console = console.get();
  deps.env = platform::Env::Default();
  return deps;
}

CServiceHost::CServiceHost(const char* serviceName, const char* displayName,
                           const ServiceHostDeps& deps)
    : m_pManager(deps.manager),
      m_pEventLog(deps.eventLog),
      m_pConsole(deps.console),
      m_pEnv(deps.env != nullptr ? deps.env : platform::Env::Default()),
      m_strServiceName(serviceName != nullptr ? serviceName : ""),
      m_strDisplayName(displayName != nullptr && *displayName != '\0' ? displayName
                                                                     : m_strServiceName) {
  m_status.state = ServiceState::kStopped;
  g_host.store(this);
}

CServiceHost::~CServiceHost() {
  CServiceHost* self = this;
  g_host.compare_exchange_strong(self, nullptr);
}

CServiceHost* CServiceHost::Instance() { return g_host.load(); }

void CServiceHost::Print(const char* format, ...) {
  char small[512];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(length) < sizeof small) {
    va_end(again);
    if (m_pConsole != nullptr) m_pConsole->Write(std::string_view(small, length));
    return;
  }
  std::vector<char> large(static_cast<std::size_t>(length) + 1);
  std::vsnprintf(large.data(), large.size(), format, again);
  va_end(again);
  if (m_pConsole != nullptr) m_pConsole->Write(std::string_view(large.data(), length));
}

void CServiceHost::SetLastError(const ServiceResult& result) {
  std::lock_guard<std::mutex> lock(m_errorMutex);
  m_lastError = result;
}

const char* CServiceHost::GetLastErrorText(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return buffer;
  buffer[0] = '\0';
  std::string text;
  {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    if (m_lastError.ok()) return buffer;
    text = platform::ServiceErrorText(m_lastError);
  }
  if (size < text.size() + 14) return buffer;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return buffer;
}

void CServiceHost::OpenConsole() {
  if (m_bConsoleOpened) return;
  if (m_pConsole != nullptr) m_pConsole->Open();
  m_bConsoleOpened = 1;
}

ServiceState CServiceHost::CurrentState() const {
  std::lock_guard<std::mutex> lock(m_statusMutex);
  return m_status.state;
}

int CServiceHost::CheckPoint() const {
  std::lock_guard<std::mutex> lock(m_statusMutex);
  return m_nCheckPoint;
}

int CServiceHost::ProcessCommandLine(int argc, char** argv) {
  char action = 0;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr || arg[0] != '-' || arg[1] < 'a' || arg[1] > 'z') continue;
    char letter = arg[1];
    if (letter == 'l' || letter == 'p') {
      // The value follows the letter directly or is the next argument; a
      // switch with nothing after it leaves the value empty.
      std::string value;
      if (arg[2] != '\0') {
        value = arg + 2;
      } else if (i + 1 < argc && argv[i + 1] != nullptr) {
        value = argv[++i];
      }
      (letter == 'l' ? m_strAccount : m_strPassword) = value;
      continue;
    }
    if (arg[2] != '\0') continue;  // not a switch
    switch (letter) {
      case 'i':
      case 'u':
      case 's':
      case 'e':
        action = letter;  // a later action replaces an earlier one
        break;
      case 'd':
      case 'f':
        m_bDebug = 1;
        return RunDebug(argc, argv, letter == 'f');
      default:
        break;
    }
  }
  switch (action) {
    case 'i': return Install();
    case 'u': return Uninstall();
    case 's': return StartInstalled();
    case 'e': return StopInstalled();
    default: break;
  }
  if (m_bNT) return RunAsService(argc, argv);
  m_bDebug = 1;
  return RunDebug(argc, argv, 1);
}

int CServiceHost::RunAsService(int argc, char** argv) {
  platform::ServiceCallbacks callbacks;
  callbacks.main = [](int c, char** v) { ServiceMain(c, v); };
  callbacks.control = [](ServiceControl control) { ControlHandler(control); };
  ServiceResult r = m_pManager->RunDispatcher(m_strServiceName, argc, argv, callbacks);
  if (!r.ok()) {
    SetLastError(r);
    char text[kErrorTextSize];
    LogEvent(GetLastErrorText(text, sizeof text), kEventError);
    return 0;
  }
  return 1;
}

void CServiceHost::ServiceMain(int argc, char** argv) {
  CServiceHost* host = Instance();
  if (host == nullptr) return;
  if (host->ReportStatus(ServiceState::kStartPending, 3000)) host->Run(argc, argv);
  host->ReportStatus(ServiceState::kStopped, 3000);
}

void CServiceHost::ControlHandler(ServiceControl control) {
  CServiceHost* host = Instance();
  if (host == nullptr) return;
  auto setState = [host](ServiceState state) {
    std::lock_guard<std::mutex> lock(host->m_statusMutex);
    host->m_status.state = state;
  };
  switch (control) {
    case ServiceControl::kStop:
      setState(ServiceState::kStopPending);
      host->Stop();
      break;
    case ServiceControl::kPause:
      setState(ServiceState::kPausePending);
      host->Pause();
      break;
    case ServiceControl::kContinue:
      setState(ServiceState::kContinuePending);
      host->Continue();
      break;
    case ServiceControl::kInterrogate:
      host->ReportStatus(host->CurrentState(), 3000);
      break;
    case ServiceControl::kShutdown:
      host->Shutdown();
      break;
  }
}

bool CServiceHost::ClaimStop() {
  std::lock_guard<std::mutex> lock(m_stopMutex);
  if (m_bStopCalled) return false;
  m_bStopCalled = true;
  return true;
}

void CServiceHost::ConsoleHandler(int signal) {
  CServiceHost* host = Instance();
  if (host == nullptr || signal != SIGINT || !host->ClaimStop()) return;
  host->Print("Stopping %s.\n", host->m_strDisplayName.c_str());
  host->Stop();
}

void CServiceHost::FacelessHandler(int signal) {
  CServiceHost* host = Instance();
  if (host == nullptr) return;
  if ((signal == SIGINT || signal == SIGTERM || signal == SIGHUP) && host->ClaimStop()) {
    host->Stop();
  }
}

int CServiceHost::ReportStatus(ServiceState state, unsigned waitHint, unsigned exitCode) {
  if (m_bDebug) return 1;
  platform::ServiceStatus status;
  {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    m_status.controlsAccepted = state == ServiceState::kStartPending ? 0 : m_dwControlsAccepted;
    m_status.state = state;
    m_status.win32ExitCode = exitCode != 0 ? kErrorServiceSpecific : 0;
    m_status.waitHint = waitHint;
    m_status.serviceExitCode = exitCode;
    if (state == ServiceState::kRunning || state == ServiceState::kStopped) {
      m_status.checkPoint = 0;
    } else {
      m_status.checkPoint = static_cast<std::uint32_t>(++m_nCheckPoint);
    }
    status = m_status;
  }
  ServiceResult r = m_pManager->SetStatus(status);
  if (!r.ok()) {
    SetLastError(r);
    LogEvent("SetServiceStatus() failed", kEventError);
    return 0;
  }
  return 1;
}

void CServiceHost::LogEvent(const char* message, int type, std::int64_t eventId) {
  {
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_dwErr = static_cast<unsigned>(m_lastError.code);
  }
  std::uint32_t id = static_cast<std::uint32_t>(eventId);
  if (eventId == -1) {
    id = type == kEventError ? kEventIdError
                             : type == kEventWarning ? kEventIdWarning : kEventIdInformation;
  }
  if (m_pEventLog == nullptr) return;
  m_pEventLog->Report(m_strServiceName, static_cast<platform::EventType>(type), id,
                      message != nullptr ? message : "");
}

int CServiceHost::AddEventSource(const char* /*path*/, unsigned /*types*/) { return 1; }

int CServiceHost::RemoveEventSource() { return 1; }

bool CServiceHost::OpenService() {
  char text[kErrorTextSize];
  ServiceResult r = m_pManager->Open();
  if (!r.ok()) {
    SetLastError(r);
    Print("OpenSCManager failed - %s\n", GetLastErrorText(text, sizeof text));
    return false;
  }
  r = m_pManager->Find(m_strServiceName);
  if (!r.ok()) {
    SetLastError(r);
    Print("OpenService failed - %s\n", GetLastErrorText(text, sizeof text));
    return false;
  }
  return true;
}

ServiceState CServiceHost::WaitWhile(ServiceState pending) {
  ServiceState state = pending;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(m_nPollMs));
    ServiceResult q = m_pManager->QueryState(m_strServiceName, &state);
    if (!q.ok()) {
      SetLastError(q);
      break;
    }
    if (state != pending) break;
    Print(".");
  }
  return state;
}

int CServiceHost::StopAndWait() {
  ServiceResult r = m_pManager->SendStop(m_strServiceName);
  if (!r.ok()) {
    SetLastError(r);  // not running (or refused): nothing to wait for
    return 0;
  }
  Print("Stopping %s.", m_strDisplayName.c_str());
  if (WaitWhile(ServiceState::kStopPending) == ServiceState::kStopped) {
    Print("\n%s stopped.\n", m_strDisplayName.c_str());
    return 1;
  }
  Print("\n%s failed to stop.\n", m_strDisplayName.c_str());
  return 0;
}

int CServiceHost::Install() {
  OpenConsole();
  char text[kErrorTextSize];
  std::string path = m_pEnv->ProgramPath();
  if (path.empty() || path.size() > kMaxProgramPath) {
    SetLastError({ServiceErrc::kInvalidPath,
                  path.empty() ? "the program's own path cannot be read" : "path too long"});
    Print("Unable to install %s - %s\n", m_strDisplayName.c_str(),
          GetLastErrorText(text, sizeof text));
    return 0;
  }
  ServiceResult r = m_pManager->Open();
  if (!r.ok()) {
    SetLastError(r);
    Print("OpenSCManager failed - %s\n", GetLastErrorText(text, sizeof text));
    return 0;
  }
  if (!m_strPassword.empty()) Print("%s", kPasswordNote);
  platform::ServiceConfig config;
  config.name = m_strServiceName;
  config.description = kDescription;
  config.programPath = path;
  config.account = m_strAccount;
  r = m_pManager->Create(config);
  if (!r.ok()) {
    SetLastError(r);
    Print("CreateService failed - %s\n", GetLastErrorText(text, sizeof text));
    return 0;
  }
  Print("%s installed.\n", m_strDisplayName.c_str());
  AddEventSource(path.c_str(), 7);
  // The description went into the unit file with the rest.
  LogEvent("Service installed", kEventInformation);
  return 1;
}

int CServiceHost::Uninstall() {
  OpenConsole();
  if (!OpenService()) return 0;
  StopAndWait();
  char text[kErrorTextSize];
  ServiceResult r = m_pManager->Delete(m_strServiceName);
  if (!r.ok()) {
    SetLastError(r);
    Print("DeleteService failed - %s\n", GetLastErrorText(text, sizeof text));
    return 0;
  }
  Print("%s removed.\n", m_strDisplayName.c_str());
  RemoveEventSource();
  return 1;
}

int CServiceHost::StopInstalled() {
  if (!OpenService()) return 0;
  return StopAndWait();
}

int CServiceHost::StartInstalled() {
  if (!OpenService()) return 0;
  Print("Starting up %s.", m_strDisplayName.c_str());
  ServiceResult r = m_pManager->Start(m_strServiceName);
  if (!r.ok()) {
    SetLastError(r);
    char text[kErrorTextSize];
    Print("\n%s failed to start: %s\n", m_strDisplayName.c_str(),
          GetLastErrorText(text, sizeof text));
    return 0;
  }
  if (WaitWhile(ServiceState::kStartPending) == ServiceState::kRunning) {
    Print("\n%s started.\n", m_strDisplayName.c_str());
    return 1;
  }
  Print("\n%s failed to start.\n", m_strDisplayName.c_str());
  return 0;
}

int CServiceHost::RunDebug(int argc, char** argv, int faceless) {
  {
    std::lock_guard<std::mutex> lock(m_stopMutex);
    m_bStopCalled = false;
  }
  std::unique_ptr<platform::SignalWatch> watch;
  if (faceless) {
    // Nothing of a faceless run reaches the terminal; it ends with the
    // session (SIGHUP), a shutdown (SIGTERM) or an interrupt.
    m_pConsole->Detach();
    watch = m_pConsole->WatchStopSignals(platform::StopSignalSet::kSession,
                                         [](int signal) { FacelessHandler(signal); });
  } else {
    OpenConsole();
    Print("Debugging %s.\n", m_strDisplayName.c_str());
    watch = m_pConsole->WatchStopSignals(platform::StopSignalSet::kInterrupt,
                                         [](int signal) { ConsoleHandler(signal); });
  }
  Run(argc, argv);
  return 1;
}
