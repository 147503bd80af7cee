#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "agent/host/agent_service.h"
#include "platform/fake_env.h"
#include "tests/temp_folder.h"

namespace {

using platform::ServiceErrc;
using platform::ServiceState;

// Builds an argv that lives as long as the object.
class Args {
 public:
  explicit Args(std::vector<std::string> args) : strings_(std::move(args)) {
    strings_.insert(strings_.begin(), "CSTessaly");
    for (std::string& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(strings_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

std::string ErrorText(ServiceErrc code, const std::string& detail = "") {
  return platform::ServiceErrorText({code, detail});
}

class ServiceHostTest : public ::testing::Test {
 protected:
  ServiceHostTest() {
    env_.SetProgramPath("/opt/qorvu/CSTessaly");
    deps_.manager = &manager_;
    deps_.eventLog = &eventLog_;
    deps_.console = &console_;
    deps_.env = &env_;
  }

  // A service whose run records that it ran and returns at once.
  std::unique_ptr<CAgentService> QuickService() {
    auto service = std::make_unique<CAgentService>("CSTessaly", "CS Tessaly", deps_);
    service->SetPollInterval(0);
    service->SetHooks([this](CAgentService& s, int, char**) { runs_.push_back(s.IsDebug()); },
                      [this](CAgentService&) { ++stops_; });
    return service;
  }

  int Process(CAgentService& service, std::vector<std::string> args) {
    Args a(std::move(args));
    return service.ProcessCommandLine(a.argc(), a.argv());
  }

  platform::FakeServiceManager manager_;
  platform::FakeEventLog eventLog_;
  platform::FakeConsole console_;
  platform::FakeClockEnv env_;
  ServiceHostDeps deps_;
  std::vector<int> runs_;  // the debug flag of each run
  int stops_ = 0;
};

TEST_F(ServiceHostTest, CommandLineRunsOneAction) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> calls;  // of the service manager
    std::string output;
    std::size_t runs;
    int detaches;
  } cases[] = {
      {{"-i"}, {"Open", "Create CSTessaly"}, "CS Tessaly installed.\n", 0, 0},
      {{"-i", "-u"}, {"Open", "Find CSTessaly", "SendStop CSTessaly", "Delete CSTessaly"},
       "CS Tessaly removed.\n", 0, 0},
      {{"-u", "x", "-i"}, {"Open", "Create CSTessaly"}, "CS Tessaly installed.\n", 0, 0},
      {{"-d", "-i"}, {}, "Debugging CS Tessaly.\n", 1, 0},
      {{"-x", "-f", "-i"}, {}, "", 1, 1},
      {{"-s"}, {"Open", "Find CSTessaly", "Start CSTessaly", "QueryState CSTessaly"},
       "Starting up CS Tessaly.\nCS Tessaly failed to start.\n", 0, 0},
      {{"-e"}, {"Open", "Find CSTessaly", "SendStop CSTessaly"}, "", 0, 0},
      {{"-install"}, {"RunDispatcher CSTessaly"}, "", 0, 0},  // not a switch
      {{"i", "/i"}, {"RunDispatcher CSTessaly"}, "", 0, 0},
  };
  for (Case& c : cases) {
    std::string label;
    for (const std::string& a : c.args) label += a + " ";
    platform::FakeServiceManager manager;
    platform::FakeConsole console;
    manager.installed =
        std::find(c.calls.begin(), c.calls.end(), "Create CSTessaly") == c.calls.end();
    manager.stopResult = {ServiceErrc::kNotActive, ""};
    deps_.manager = &manager;
    deps_.console = &console;
    runs_.clear();
    auto service = QuickService();
    Process(*service, c.args);
    EXPECT_EQ(manager.calls(), c.calls) << label;
    EXPECT_EQ(console.output(), c.output) << label;
    EXPECT_EQ(runs_.size(), c.runs) << label;
    EXPECT_EQ(console.detaches(), c.detaches) << label;
    if (!runs_.empty()) {
      EXPECT_EQ(runs_[0], 1) << "a debug run sets the debug flag";
    }
  }
}

TEST_F(ServiceHostTest, AccountAndPasswordTakeTheirValueBothWays) {
  struct Case {
    std::vector<std::string> args;
    std::string account;
    std::string password;
  } cases[] = {
      {{"-lqorvu", "-i"}, "qorvu", ""},
      {{"-l", "qorvu", "-i"}, "qorvu", ""},
      {{"-i", "-l"}, "", ""},
      {{"-psecret", "-lqorvu", "-i"}, "qorvu", "secret"},
      {{"-i", "-p", "secret"}, "", "secret"},
      {{"-l", "-i"}, "-i", ""},  // the next argument is the value, whatever it looks like
  };
  for (Case& c : cases) {
    platform::FakeServiceManager manager;
    platform::FakeConsole console;
    deps_.manager = &manager;
    deps_.console = &console;
    auto service = QuickService();
    Process(*service, c.args);
    EXPECT_EQ(service->Account(), c.account) << c.args[0];
    EXPECT_EQ(service->Password(), c.password) << c.args[0];
    bool installs = c.account != "-i";
    EXPECT_EQ(manager.created.account, installs ? c.account : "") << c.args[0];
    bool noted = console.output().find("Note: -p is ignored") != std::string::npos;
    EXPECT_EQ(noted, !c.password.empty()) << c.args[0];
  }
}

TEST_F(ServiceHostTest, NoSwitchesOutsideTheServiceManagerWritesOneErrorRecord) {
  auto service = QuickService();
  EXPECT_EQ(Process(*service, {}), 0);
  auto entries = eventLog_.entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].source, "CSTessaly");
  EXPECT_EQ(entries[0].type, platform::EventType::kError);
  EXPECT_EQ(entries[0].eventId, 0xC0000002u);
  EXPECT_EQ(entries[0].message, ErrorText(ServiceErrc::kNotStartedByManager));
  EXPECT_EQ(manager_.calls(), std::vector<std::string>{"RunDispatcher CSTessaly"});
  EXPECT_EQ(console_.output(), "");
  EXPECT_EQ(console_.opens(), 0);
  EXPECT_TRUE(runs_.empty());
}

TEST_F(ServiceHostTest, InstallPrintsAndLogsItsOutcome) {
  {
    auto service = QuickService();
    EXPECT_EQ(Process(*service, {"-i"}), 1);
    EXPECT_EQ(manager_.created.name, "CSTessaly");
    EXPECT_EQ(manager_.created.programPath, "/opt/qorvu/CSTessaly");
    EXPECT_FALSE(manager_.created.description.empty());
    auto entries = eventLog_.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message, "Service installed");
    EXPECT_EQ(entries[0].type, platform::EventType::kInformation);
    EXPECT_EQ(entries[0].eventId, 0x40000000u);
    EXPECT_EQ(console_.opens(), 1);
  }
  struct Case {
    const char* setup;
    std::string output;
  } cases[] = {
      {"no systemd", "OpenSCManager failed - " + ErrorText(ServiceErrc::kNoServiceManager) + "\n"},
      {"exists", "CreateService failed - " + ErrorText(ServiceErrc::kServiceExists) + "\n"},
      {"no path", "Unable to install CS Tessaly - " +
                      ErrorText(ServiceErrc::kInvalidPath, "the program's own path cannot be read") +
                      "\n"},
  };
  for (const Case& c : cases) {
    platform::FakeServiceManager manager;
    platform::FakeConsole console;
    platform::FakeEventLog eventLog;
    platform::FakeClockEnv env;
    env.SetProgramPath(std::string(c.setup) == "no path" ? "" : "/opt/qorvu/CSTessaly");
    if (std::string(c.setup) == "no systemd") manager.openResult = {ServiceErrc::kNoServiceManager, ""};
    manager.installed = std::string(c.setup) == "exists";
    deps_ = {&manager, &eventLog, &console, &env};
    auto service = QuickService();
    EXPECT_EQ(Process(*service, {"-i"}), 0) << c.setup;
    EXPECT_EQ(console.output(), c.output) << c.setup;
    EXPECT_TRUE(eventLog.entries().empty()) << c.setup;
  }
}

TEST_F(ServiceHostTest, UninstallStopsWaitsAndRemoves) {
  manager_.installed = true;
  manager_.states = {ServiceState::kStopPending, ServiceState::kStopPending,
                     ServiceState::kStopped};
  auto service = QuickService();
  EXPECT_EQ(Process(*service, {"-u"}), 1);
  EXPECT_EQ(console_.output(),
            "Stopping CS Tessaly...\nCS Tessaly stopped.\nCS Tessaly removed.\n");
  EXPECT_FALSE(manager_.installed);

  struct Case {
    const char* setup;
    std::string output;
  } cases[] = {
      {"not installed", "OpenService failed - " + ErrorText(ServiceErrc::kNoSuchService) + "\n"},
      {"delete fails", "Stopping CS Tessaly.\nCS Tessaly failed to stop.\nDeleteService failed - " +
                           ErrorText(ServiceErrc::kAccessDenied) + "\n"},
  };
  for (const Case& c : cases) {
    platform::FakeServiceManager manager;
    platform::FakeConsole console;
    manager.installed = std::string(c.setup) != "not installed";
    manager.states = {ServiceState::kRunning};
    manager.deleteResult = {ServiceErrc::kAccessDenied, ""};
    deps_.manager = &manager;
    deps_.console = &console;
    auto other = QuickService();
    EXPECT_EQ(Process(*other, {"-u"}), 0) << c.setup;
    EXPECT_EQ(console.output(), c.output) << c.setup;
  }
}

TEST_F(ServiceHostTest, StartAndStopPollUntilTheStateSettles) {
  manager_.installed = true;
  manager_.states = {ServiceState::kStartPending, ServiceState::kStartPending,
                     ServiceState::kRunning};
  auto service = QuickService();
  EXPECT_EQ(Process(*service, {"-s"}), 1);
  EXPECT_EQ(console_.output(), "Starting up CS Tessaly...\nCS Tessaly started.\n");
  EXPECT_EQ(console_.opens(), 0) << "-s opens no console of its own";

  struct Case {
    std::string arg;
    platform::ServiceResult request;
    ServiceState end;
    int result;
    std::string output;
  } cases[] = {
      {"-s", {ServiceErrc::kAlreadyRunning, ""}, ServiceState::kRunning, 0,
       "Starting up CS Tessaly.\nCS Tessaly failed to start: " +
           ErrorText(ServiceErrc::kAlreadyRunning) + "\n"},
      {"-e", {}, ServiceState::kStopped, 1, "Stopping CS Tessaly..\nCS Tessaly stopped.\n"},
      {"-e", {}, ServiceState::kRunning, 0, "Stopping CS Tessaly..\nCS Tessaly failed to stop.\n"},
      {"-e", {ServiceErrc::kNotActive, ""}, ServiceState::kStopped, 0, ""},
  };
  for (Case& c : cases) {
    platform::FakeServiceManager manager;
    platform::FakeConsole console;
    manager.installed = true;
    manager.startResult = c.request;
    manager.stopResult = c.request;
    manager.states = {ServiceState::kStopPending, c.end};
    deps_.manager = &manager;
    deps_.console = &console;
    auto other = QuickService();
    EXPECT_EQ(Process(*other, {c.arg}), c.result) << c.output;
    EXPECT_EQ(console.output(), c.output);
  }
}

TEST_F(ServiceHostTest, CheckPointsGrowAcrossTheProcessAndAreZeroWhenSettled) {
  auto service = QuickService();
  struct Step {
    ServiceState state;
    unsigned exitCode;
    std::uint32_t checkPoint;
    std::uint32_t controls;
  } steps[] = {
      {ServiceState::kStartPending, 0, 1, 0}, {ServiceState::kStartPending, 0, 2, 0},
      {ServiceState::kRunning, 0, 0, 1},      {ServiceState::kStopPending, 0, 3, 1},
      {ServiceState::kStopped, 0, 0, 1},      {ServiceState::kStartPending, 0, 4, 0},
      {ServiceState::kStopped, 5, 0, 1},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(service->ReportStatus(step.state, 3000, step.exitCode), 1);
  }
  auto statuses = manager_.statuses();
  ASSERT_EQ(statuses.size(), std::size(steps));
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    EXPECT_EQ(statuses[i].state, steps[i].state) << i;
    EXPECT_EQ(statuses[i].checkPoint, steps[i].checkPoint) << i;
    EXPECT_EQ(statuses[i].controlsAccepted, steps[i].controls) << i;
    EXPECT_EQ(statuses[i].waitHint, 3000u);
  }
  EXPECT_EQ(statuses.back().serviceExitCode, 5u);
  EXPECT_EQ(statuses.back().win32ExitCode, 1066u);
  EXPECT_EQ(statuses.front().win32ExitCode, 0u);

  // A report that does not arrive is written to the event log.
  manager_.statusResult = {ServiceErrc::kNotifyFailed, ""};
  EXPECT_EQ(service->ReportStatus(ServiceState::kRunning), 0);
  ASSERT_EQ(eventLog_.entries().size(), 1u);
  EXPECT_EQ(eventLog_.entries()[0].message, "SetServiceStatus() failed");
}

TEST_F(ServiceHostTest, DebugRunReportsNothingAndStopsOnceOnCtrlC) {
  auto service = std::make_unique<CAgentService>("CSTessaly", "CS Tessaly", deps_);
  service->SetHooks({}, [this](CAgentService& s) {
    ++stops_;
    s.ReportStatus(ServiceState::kStopPending, 11000);
    s.SignalStopEvent();
  });
  std::thread signals([this] {
    while (!console_.watching()) std::this_thread::yield();
    console_.Raise(SIGTERM);  // not a stop signal of a console run
    console_.Raise(SIGINT);
    console_.Raise(SIGINT);
  });
  EXPECT_EQ(Process(*service, {"-d"}), 1);
  signals.join();
  EXPECT_EQ(stops_, 1);
  EXPECT_EQ(console_.output(), "Debugging CS Tessaly.\nStopping CS Tessaly.\n");
  EXPECT_TRUE(manager_.statuses().empty());
  EXPECT_TRUE(manager_.calls().empty());
  EXPECT_FALSE(console_.watching()) << "the signals are released after the run";
}

TEST_F(ServiceHostTest, FacelessRunStopsOnTheEndOfTheSession) {
  for (int signal : {SIGHUP, SIGTERM, SIGINT}) {
    platform::FakeConsole console;
    deps_.console = &console;
    auto service = std::make_unique<CAgentService>("CSTessaly", "CS Tessaly", deps_);
    std::thread signals([&console, signal] {
      while (!console.watching()) std::this_thread::yield();
      console.Raise(signal);
    });
    EXPECT_EQ(Process(*service, {"-f"}), 1);
    signals.join();
    EXPECT_EQ(console.output(), "");
    EXPECT_EQ(console.detaches(), 1);
  }
}

TEST_F(ServiceHostTest, ServiceRunReportsItsStatesAndStopsOnTheStopControl) {
  manager_.startedByManager = true;
  manager_.stopWhenMainRuns = true;
  CAgentService service("CSTessaly", "CS Tessaly", deps_);
  EXPECT_EQ(Process(service, {}), 1);
  auto statuses = manager_.statuses();
  std::vector<std::pair<ServiceState, std::uint32_t>> seen;
  for (const auto& s : statuses) seen.emplace_back(s.state, s.checkPoint);
  EXPECT_EQ(seen, (std::vector<std::pair<ServiceState, std::uint32_t>>{
                      {ServiceState::kStartPending, 1},
                      {ServiceState::kStartPending, 2},
                      {ServiceState::kRunning, 0},
                      {ServiceState::kStopPending, 3},
                      {ServiceState::kStopped, 0}}));
  EXPECT_EQ(statuses[3].waitHint, 11000u);
  EXPECT_TRUE(eventLog_.entries().empty());
}

TEST_F(ServiceHostTest, StopBeforeTheStopEventExistsIsNotLost) {
  CAgentService service("CSTessaly", "CS Tessaly", deps_);
  EXPECT_EQ(service.WaitStopEvent(0), -1);
  EXPECT_FALSE(service.SignalStopEvent());
  service.CreateStopEvent();
  EXPECT_EQ(service.WaitStopEvent(0), 1);
  service.CloseStopEvent();
  service.CreateStopEvent();
  EXPECT_EQ(service.WaitStopEvent(10), 0);
  service.CloseStopEvent();
}

TEST_F(ServiceHostTest, LogEventChoosesIdsByTypeAndErrorTextFitsOrIsEmpty) {
  auto service = QuickService();
  service->LogEvent("e", CServiceHost::kEventError);
  service->LogEvent("w", CServiceHost::kEventWarning);
  service->LogEvent("i", CServiceHost::kEventInformation);
  service->LogEvent("x", CServiceHost::kEventWarning, 77);
  auto entries = eventLog_.entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].eventId, 0xC0000002u);
  EXPECT_EQ(entries[1].eventId, 0x80000001u);
  EXPECT_EQ(entries[1].type, platform::EventType::kWarning);
  EXPECT_EQ(entries[2].eventId, 0x40000000u);
  EXPECT_EQ(entries[3].eventId, 77u);

  manager_.openResult = {ServiceErrc::kNoServiceManager, ""};
  Process(*service, {"-e"});
  std::string text = ErrorText(ServiceErrc::kNoServiceManager);
  std::vector<char> buffer(text.size() + 14, 'z');
  EXPECT_EQ(std::string(service->GetLastErrorText(buffer.data(), buffer.size())), text);
  EXPECT_EQ(std::string(service->GetLastErrorText(buffer.data(), buffer.size() - 1)), "");
}

// --- with the real systemd layer ---

class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const char* old = std::getenv("NOTIFY_SOCKET");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  }
  ~NotifySocket() {
    if (hadOld_) ::setenv("NOTIFY_SOCKET", old_.c_str(), 1); else ::unsetenv("NOTIFY_SOCKET");
    ::close(fd_);
  }
  bool bound() const { return bound_; }
  // The next message, or "" after five seconds.
  std::string Receive() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return "";
    char buffer[1024];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
  bool hadOld_ = false;
  std::string old_;
};

TEST_F(ServiceHostTest, StatusReportsReachTheNotifySocket) {
  TempFolder tmp;
  NotifySocket socket(tmp.path() + "/notify");
  ASSERT_TRUE(socket.bound());
  auto systemd = platform::NewSystemdServiceManager();
  deps_.manager = systemd.get();
  CAgentService service("CSTessaly", "CS Tessaly", deps_);

  ASSERT_EQ(service.ReportStatus(ServiceState::kRunning, 3000), 1);
  EXPECT_EQ(socket.Receive(), "READY=1\nSTATUS=Running\n");
  ASSERT_EQ(service.ReportStatus(ServiceState::kStopPending, 11000), 1);
  EXPECT_EQ(socket.Receive(),
            "STOPPING=1\nSTATUS=Stopping (check point 1)\nEXTEND_TIMEOUT_USEC=11000000\n");
  EXPECT_TRUE(eventLog_.entries().empty());
}

TEST_F(ServiceHostTest, UnderSystemdSigtermStopsTheService) {
  TempFolder tmp;
  NotifySocket socket(tmp.path() + "/notify");
  ASSERT_TRUE(socket.bound());
  auto systemd = platform::NewSystemdServiceManager();
  deps_.manager = systemd.get();
  CAgentService service("CSTessaly", "CS Tessaly", deps_);

  // SIGTERM must be blocked in every thread, or the helper thread would take
  // it with its default action; the dispatcher blocks it in its own.
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &old), 0);
  std::vector<std::string> messages;
  std::thread systemdSide([&] {
    for (;;) {
      std::string m = socket.Receive();
      messages.push_back(m);
      if (m.empty() || m.rfind("STATUS=Stopped", 0) == 0) return;
      if (m.rfind("READY=1", 0) == 0) ::kill(::getpid(), SIGTERM);
    }
  });
  int result = Process(service, {});
  systemdSide.join();
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);

  EXPECT_EQ(result, 1);
  EXPECT_EQ(messages, (std::vector<std::string>{
                          "STATUS=Starting (check point 1)\nEXTEND_TIMEOUT_USEC=3000000\n",
                          "STATUS=Starting (check point 2)\nEXTEND_TIMEOUT_USEC=3000000\n",
                          "READY=1\nSTATUS=Running\n",
                          "STOPPING=1\nSTATUS=Stopping (check point 3)\nEXTEND_TIMEOUT_USEC=11000000\n",
                          "STATUS=Stopped\n"}));
  EXPECT_TRUE(eventLog_.entries().empty());
}

TEST_F(ServiceHostTest, InstallWritesTheUnitIntoTheUnitFolder) {
  TempFolder tmp;
  std::string units = tmp.path() + "/units";
  std::string marker = tmp.path() + "/run-systemd-system";
  ::mkdir(units.c_str(), 0755);
  struct Recorder : platform::CommandRunner {
    int Run(const std::vector<std::string>& args, std::string*, std::string*) override {
      std::string line;
      for (const auto& a : args) line += (line.empty() ? "" : " ") + a;
      commands.push_back(line);
      return 0;
    }
    std::vector<std::string> commands;
  } recorder;
  platform::SystemdOptions options;
  options.unitFolder = units;
  options.bootedMarker = marker;
  options.runner = &recorder;
  auto systemd = platform::NewSystemdServiceManager(options);
  deps_.manager = systemd.get();

  {
    // Without a running systemd the manager cannot be opened.
    CAgentService service("CSTessaly", "CS Tessaly", deps_);
    EXPECT_EQ(Process(service, {"-i"}), 0);
    EXPECT_EQ(console_.output(),
              "OpenSCManager failed - systemd is not running (no /run/systemd/system), so there "
              "is no service manager\n");
    EXPECT_TRUE(recorder.commands.empty());
  }
  ::mkdir(marker.c_str(), 0755);
  platform::FakeConsole console;
  deps_.console = &console;
  CAgentService service("CSTessaly", "CS Tessaly", deps_);
  EXPECT_EQ(Process(service, {"-l", "qorvu", "-p", "pw", "-i"}), 1);
  EXPECT_EQ(console.output(),
            "Note: -p is ignored on Linux: systemd starts the service as the -l user, without a "
            "password.\nCS Tessaly installed.\n");
  std::ifstream unit(units + "/CSTessaly.service");
  std::stringstream text;
  text << unit.rdbuf();
  EXPECT_NE(text.str().find("ExecStart=\"/opt/qorvu/CSTessaly\"\n"), std::string::npos);
  EXPECT_NE(text.str().find("Type=notify\n"), std::string::npos);
  EXPECT_NE(text.str().find("User=qorvu\n"), std::string::npos);
  EXPECT_NE(text.str().find("Restart=on-failure\n"), std::string::npos);
  EXPECT_EQ(recorder.commands, (std::vector<std::string>{"systemctl daemon-reload",
                                                          "systemctl enable CSTessaly.service"}));
}

// --- a real debug run in a child process ---

// Runs CSTessaly with args in a child whose standard output goes into a pipe,
// sends signal once its run loop runs, and returns the child's exit status
// and what it printed.
struct ChildResult {
  int exitCode = -1;
  std::string output;
  bool stopped = false;
};

ChildResult DebugRunInChild(const std::vector<std::string>& args, int signal) {
  int out[2], ready[2];
  if (::pipe(out) != 0 || ::pipe(ready) != 0) return {};
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::close(out[0]);
    ::close(ready[0]);
    platform::FakeServiceManager manager;
    platform::FakeEventLog eventLog;
    ServiceHostDeps deps = DefaultServiceHostDeps();
    deps.manager = &manager;
    deps.eventLog = &eventLog;
    CAgentService service("CSTessaly", "CS Tessaly", deps);
    int readyFd = ready[1];
    std::atomic<bool> stopped{false};
    service.SetHooks(
        [readyFd](CAgentService& s, int, char**) {
          s.CreateStopEvent();
          ssize_t ignored = ::write(readyFd, "r", 1);
          (void)ignored;
          s.WaitStopEvent(CAgentService::kInfinite);
          s.CloseStopEvent();
        },
        [&stopped](CAgentService& s) {
          stopped = true;
          s.SignalStopEvent();
        });
    Args a(args);
    int result = service.ProcessCommandLine(a.argc(), a.argv());
    ssize_t ignored = ::write(readyFd, stopped ? "s" : "-", 1);
    (void)ignored;
    std::_Exit(result == 1 ? 0 : 3);
  }
  ::close(out[1]);
  ::close(ready[1]);
  ChildResult child;
  char flag = 0;
  if (::read(ready[0], &flag, 1) == 1) ::kill(pid, signal);
  child.stopped = ::read(ready[0], &flag, 1) == 1 && flag == 's';
  char buffer[256];
  ssize_t n;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) child.output.append(buffer, n);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) child.exitCode = WEXITSTATUS(status);
  ::close(out[0]);
  ::close(ready[0]);
  return child;
}

TEST(DebugRunProcessTest, CtrlCStopsAConsoleRun) {
  ChildResult child = DebugRunInChild({"-d"}, SIGINT);
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_TRUE(child.stopped);
  EXPECT_EQ(child.output, "Debugging CS Tessaly.\nStopping CS Tessaly.\n");
}

TEST(DebugRunProcessTest, HangUpStopsAFacelessRunThatPrintsNothing) {
  ChildResult child = DebugRunInChild({"-f"}, SIGHUP);
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_TRUE(child.stopped);
  EXPECT_EQ(child.output, "");
}

}  // namespace
