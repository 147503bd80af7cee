// The agent's service shell: reads the command-line switches, installs and
// removes the service, asks the service manager to start or stop it, runs it
// under the service manager or in a debug run, reports its status and writes
// event-log records. The service's own work is Run and Stop of a derived
// class.
//
// On Linux the service manager is systemd and the event log is syslog (see
// platform/service_manager.h and platform/event_log.h). Differences a user
// sees:
// - -p is accepted and ignored with a printed note: a systemd unit runs as its
//   User= (from -l) and takes no password.
// - -d stops on Ctrl+C (SIGINT); -f points standard input and output at
//   /dev/null and stops on SIGINT, SIGTERM or SIGHUP (the end of the session).
//   In both, only the first signal calls Stop; later ones are ignored while the
//   stop is under way, so Stop never runs twice.
// - A switch is a dash and one lower-case letter on its own ("-i"); only -l
//   and -p may carry their value in the same argument ("-lname").
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "platform/env.h"
#include "platform/event_log.h"
#include "platform/service_manager.h"

// The system facilities the host works through; they must outlive the host.
struct ServiceHostDeps {
  platform::ServiceManager* manager = nullptr;
  platform::EventLog* eventLog = nullptr;
  platform::Console* console = nullptr;
  platform::Env* env = nullptr;
};

// systemd, syslog, the process's terminal and Env::Default(): created on
// first use and kept for the life of the process.
ServiceHostDeps DefaultServiceHostDeps();

class CServiceHost {
 public:
  // Event-log record types.
  static constexpr int kEventError = 1;
  static constexpr int kEventWarning = 2;
  static constexpr int kEventInformation = 4;
  static constexpr std::size_t kErrorTextSize = 256;
  static constexpr std::size_t kMaxProgramPath = 1023;

  // displayName null or empty: the service name is shown.
  CServiceHost(const char* serviceName, const char* displayName,
               const ServiceHostDeps& deps = DefaultServiceHostDeps());
  virtual ~CServiceHost();
  CServiceHost(const CServiceHost&) = delete;
  CServiceHost& operator=(const CServiceHost&) = delete;

  // --- the service's work and the controls ---
  virtual void Run(int argc, char** argv) = 0;
  virtual void Stop() = 0;
  virtual void Pause() {}
  virtual void Continue() {}
  virtual void Shutdown() {}

  // --- actions ---
  // Reads the switches and runs one action; returns its result.
  virtual int ProcessCommandLine(int argc, char** argv);
  // Hands the process to the service manager's dispatcher; returns 1 when the
  // service ran, 0 (after one event-log error record) when the process was not
  // started by the service manager.
  virtual int RunAsService(int argc, char** argv);
  virtual int Install();         // -i
  virtual int Uninstall();       // -u
  virtual int StopInstalled();   // -e
  virtual int StartInstalled();  // -s
  virtual int RunDebug(int argc, char** argv, int faceless);  // -d, -f
  // syslog needs no event source: both do nothing and succeed.
  virtual int AddEventSource(const char* path, unsigned types);
  virtual int RemoveEventSource();
  // eventId -1: chosen by type.
  virtual void LogEvent(const char* message, int type = kEventError, std::int64_t eventId = -1);

  // Reports the service's state to the service manager (nothing in a debug
  // run). Returns nonzero on success.
  int ReportStatus(platform::ServiceState state, unsigned waitHint = 3000, unsigned exitCode = 0);
  // The text of the last failure; empty when there is none or it does not fit
  // size with 14 bytes to spare.
  const char* GetLastErrorText(char* buffer, std::size_t size);
  // Gives the process its console once.
  void OpenConsole();

  // --- entry points of the service manager and the signals ---
  static void ServiceMain(int argc, char** argv);
  static void ControlHandler(platform::ServiceControl control);
  static void ConsoleHandler(int signal);   // -d
  static void FacelessHandler(int signal);  // -f

  // The one host of the process, or null.
  static CServiceHost* Instance();

  // --- state, for the derived class and for tests ---
  const std::string& ServiceName() const { return m_strServiceName; }
  const std::string& DisplayName() const { return m_strDisplayName; }
  const std::string& Account() const { return m_strAccount; }
  const std::string& Password() const { return m_strPassword; }
  int IsDebug() const { return m_bDebug; }
  platform::ServiceState CurrentState() const;
  int CheckPoint() const;
  // Milliseconds between two status queries of -s, -e and -u.
  void SetPollInterval(unsigned milliseconds) { m_nPollMs = milliseconds; }

 protected:
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Keeps a failure as the last error (what GetLastErrorText shows).
  void SetLastError(const platform::ServiceResult& result);
  // Sends the stop control and waits while the service is stop-pending,
  // printing as -e and -u do. Returns 1 when the service reached stopped.
  int StopAndWait();
  // Queries the service's state each poll interval while it stays `pending`,
  // printing a dot for every further wait. A failed query ends the wait and
  // becomes the last error. Returns the last state read.
  platform::ServiceState WaitWhile(platform::ServiceState pending);
  // Opens the manager and finds the service, printing the failure.
  bool OpenService();
  // True for the first stop signal of a debug run only: Stop must not run twice.
  bool ClaimStop();

  platform::ServiceManager* m_pManager;
  platform::EventLog* m_pEventLog;
  platform::Console* m_pConsole;
  platform::Env* m_pEnv;

  std::string m_strServiceName;
  std::string m_strDisplayName;
  int m_nCheckPoint = 0;   // never reset: check points grow across the process
  unsigned m_dwErr = 0;    // last error code as saved by LogEvent
  int m_bDebug = 0;
  mutable std::mutex m_statusMutex;  // the status record is written by two threads
  platform::ServiceStatus m_status;
  std::uint32_t m_dwControlsAccepted = 1;  // stop only
  int m_bNT = 1;  // Linux always has a service manager
  int m_bConsoleOpened = 0;
  std::string m_strAccount;
  std::string m_strPassword;

 private:
  std::mutex m_errorMutex;  // failures are kept by the service and control threads
  platform::ServiceResult m_lastError;
  unsigned m_nPollMs = 1000;
  std::mutex m_stopMutex;
  bool m_bStopCalled = false;
};
