// The service manager that installs, starts, stops and removes the agent's
// service, and that a running service reports its state to. On Linux this is
// systemd:
//
// - a service is a unit file <name>.service in the unit folder (by default
//   /etc/systemd/system, or the folder named by QORVU_UNIT_DIR), enabled so
//   that it starts with the system; systemctl does the rest;
// - "opening the manager" fails unless systemd runs (/run/systemd/system
//   exists, the test sd_booted makes);
// - a service is started by systemd with NOTIFY_SOCKET set. Its main function
//   then runs on a thread of its own, SIGTERM is its stop control, and its
//   status reports reach systemd through sd_notify: READY=1 for running,
//   STOPPING=1 for stop-pending, STATUS= with the state in words, and
//   EXTEND_TIMEOUT_USEC= from the wait hint of a pending state.
//
// systemd's ActiveState maps to the service states as: active, reloading ->
// running; activating -> start-pending; deactivating -> stop-pending;
// inactive, failed -> stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Numbered as the Windows service control manager numbers them.
enum class ServiceState : std::uint32_t {
  kStopped = 1,
  kStartPending = 2,
  kStopPending = 3,
  kRunning = 4,
  kContinuePending = 5,
  kPausePending = 6,
  kPaused = 7,
};

enum class ServiceControl : std::uint32_t {
  kStop = 1,
  kPause = 2,
  kContinue = 3,
  kInterrogate = 4,
  kShutdown = 5,
};

enum class ServiceErrc {
  kOk = 0,
  kNoServiceManager,     // systemd is not running
  kAccessDenied,         // the unit folder or systemctl refused this user
  kServiceExists,        // install: the unit file is already there
  kNoSuchService,        // the unit is not installed (or not in the unit folder)
  kNotActive,            // stop: the service is not running
  kAlreadyRunning,       // start: the service is running or starting
  kInvalidName,          // a service name that cannot be a unit name
  kInvalidAccount,       // a -l account that cannot be a Linux user name
  kInvalidPath,          // a program path that cannot go into ExecStart
  kCommandFailed,        // systemctl ran and failed (detail: what it said)
  kUnknownState,         // systemctl reported a state this layer does not know
  kNotStartedByManager,  // the dispatcher: the process was not started by systemd
  kNotifyFailed,         // a status report did not reach systemd
  kIoError,              // any other system failure (detail: the system's words)
};

struct ServiceResult {
  ServiceErrc code = ServiceErrc::kOk;
  std::string detail;
  bool ok() const { return code == ServiceErrc::kOk; }
};

// Words for a result, with its detail when it has one.
std::string ServiceErrorText(const ServiceResult& result);

struct ServiceConfig {
  std::string name;         // unit name without ".service"
  std::string description;  // Description=
  std::string programPath;  // ExecStart=, absolute
  std::string account;      // User=; empty: root. A leading ".\" (local account) is dropped.
};

// What a running service reports about itself.
struct ServiceStatus {
  ServiceState state = ServiceState::kStopped;
  std::uint32_t controlsAccepted = 0;
  std::uint32_t win32ExitCode = 0;
  std::uint32_t serviceExitCode = 0;
  std::uint32_t checkPoint = 0;
  std::uint32_t waitHint = 0;  // milliseconds
};

struct ServiceCallbacks {
  // The service's main function; it runs on a thread of its own and the
  // service has ended when it returns.
  std::function<void(int argc, char** argv)> main;
  // Called on the dispatcher's (the calling) thread for each control.
  std::function<void(ServiceControl control)> control;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // --- installing and controlling, as an administrator does ---
  // Connects to the manager; fails with kNoServiceManager without systemd.
  virtual ServiceResult Open() = 0;
  // Installs the service, set to start with the system.
  virtual ServiceResult Create(const ServiceConfig& config) = 0;
  // Succeeds when the service is installed.
  virtual ServiceResult Find(std::string_view name) = 0;
  // Stops (when running), disables and removes the service.
  virtual ServiceResult Delete(std::string_view name) = 0;
  // Asks for a start and returns at once; kAlreadyRunning when it runs.
  virtual ServiceResult Start(std::string_view name) = 0;
  // Asks for a stop and returns at once; kNotActive when it does not run.
  virtual ServiceResult SendStop(std::string_view name) = 0;
  virtual ServiceResult QueryState(std::string_view name, ServiceState* state) = 0;

  // --- the service's own side ---
  // Runs callbacks.main on its own thread and delivers the stop control to
  // callbacks.control until main returns. Fails at once with
  // kNotStartedByManager when the process was not started by the manager.
  // SIGTERM is blocked in the calling thread (and so in every thread started
  // from then on) while it runs.
  virtual ServiceResult RunDispatcher(std::string_view name, int argc, char** argv,
                                      const ServiceCallbacks& callbacks) = 0;
  // Reports the service's status to the manager.
  virtual ServiceResult SetStatus(const ServiceStatus& status) = 0;
};

// Runs a program with arguments (args[0] is looked up in PATH) and returns
// its exit status, or -1 when it could not be run; collects its output.
class CommandRunner {
 public:
  virtual ~CommandRunner() = default;
  virtual int Run(const std::vector<std::string>& args, std::string* out, std::string* err) = 0;
};

struct SystemdOptions {
  std::string unitFolder;                           // empty: QORVU_UNIT_DIR or /etc/systemd/system
  std::string bootedMarker = "/run/systemd/system"; // exists only while systemd runs
  CommandRunner* runner = nullptr;                  // null: the real systemctl
};

std::unique_ptr<ServiceManager> NewSystemdServiceManager(SystemdOptions options = {});

// Building blocks of the systemd manager, open for tests.
bool IsValidServiceName(std::string_view name);
// The unit file for a configuration; false (with the reason) when the
// configuration cannot be written into a unit.
bool FormatUnitFile(const ServiceConfig& config, std::string* text, ServiceResult* error);
// ActiveState -> service state; false for a state it does not know.
bool MapActiveState(std::string_view activeState, ServiceState* state);
// The sd_notify message for a status report.
std::string NotifyMessage(const ServiceStatus& status);

// Records every call; the installed services and their states are set by the
// test. QueryState hands out the queued states one per call, then stays on
// the last one.
class FakeServiceManager : public ServiceManager {
 public:
  ServiceResult Open() override;
  ServiceResult Create(const ServiceConfig& config) override;
  ServiceResult Find(std::string_view name) override;
  ServiceResult Delete(std::string_view name) override;
  ServiceResult Start(std::string_view name) override;
  ServiceResult SendStop(std::string_view name) override;
  ServiceResult QueryState(std::string_view name, ServiceState* state) override;
  ServiceResult RunDispatcher(std::string_view name, int argc, char** argv,
                              const ServiceCallbacks& callbacks) override;
  ServiceResult SetStatus(const ServiceStatus& status) override;

  // Delivers a control as the dispatcher would (on the caller's thread).
  void SendControl(ServiceControl control);

  std::vector<std::string> calls() const;
  std::vector<ServiceStatus> statuses() const;

  // Set up by the test before use.
  ServiceResult openResult;
  ServiceResult createResult;
  ServiceResult deleteResult;
  ServiceResult startResult;
  ServiceResult stopResult;
  ServiceResult statusResult;
  bool installed = false;
  ServiceConfig created;                     // the configuration Create received
  std::vector<ServiceState> states{ServiceState::kStopped};
  bool startedByManager = false;             // false: RunDispatcher fails
  bool stopWhenMainRuns = false;             // the dispatcher sends stop once main has started

 private:
  void Record(std::string call);
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::vector<ServiceStatus> statuses_;
  std::size_t nextState_ = 0;
  ServiceCallbacks callbacks_;
};

}  // namespace platform
