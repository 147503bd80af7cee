#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "platform/service_manager.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kDefaultUnitFolder = "/etc/systemd/system";
constexpr std::size_t kMaxCommandOutput = 64 * 1024;

// The one place where errno becomes a service result.
ServiceResult FromErrno(int err, std::string_view what) {
  std::string detail(what);
  if (!detail.empty()) detail += ": ";
  detail += std::strerror(err);
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      return {ServiceErrc::kAccessDenied, detail};
    case EEXIST:
      return {ServiceErrc::kServiceExists, detail};
    case ENOENT:
      return {ServiceErrc::kNoSuchService, detail};
    default:
      return {ServiceErrc::kIoError, detail};
  }
}

std::string Trim(std::string_view text) {
  std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(begin, end - begin + 1));
}

bool HasControlCharacter(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// A value of a unit file setting: '%' starts a specifier, so it is doubled.
std::string UnitValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '%') out += '%';
    out += c;
  }
  return out;
}

// The program path as the one quoted word of ExecStart.
std::string QuotedExecPath(std::string_view path) {
  std::string out = "\"";
  for (char c : path) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '%': out += "%%"; break;
      case '$': out += "$$"; break;
      default: out += c;
    }
  }
  out += '"';
  return out;
}

bool IsValidAccount(std::string_view account) {
  if (account.empty() || account.size() > 32) return false;
  for (std::size_t i = 0; i < account.size(); ++i) {
    char c = account[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_';
    if (!letter && (i == 0 || (c != '.' && c != '-'))) return false;
  }
  return true;
}

void ReadAvailable(int fd, std::string* into, bool* open) {
  char chunk[4096];
  ssize_t n = ::read(fd, chunk, sizeof chunk);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    *open = false;
    return;
  }
  std::size_t room = kMaxCommandOutput - std::min(into->size(), kMaxCommandOutput);
  into->append(chunk, std::min(room, static_cast<std::size_t>(n)));
}

// Runs the real program through posix_spawnp.
class SpawnRunner : public CommandRunner {
 public:
  int Run(const std::vector<std::string>& args, std::string* out, std::string* err) override {
    out->clear();
    err->clear();
    if (args.empty()) return -1;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return -1;
    UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return -1;
    UniqueFd errRead(errPipe[0]), errWrite(errPipe[1]);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    outWrite.Reset();
    errWrite.Reset();
    if (spawned != 0) return -1;

    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen) {
      pollfd fds[2] = {{outOpen ? outRead.get() : -1, POLLIN, 0},
                       {errOpen ? errRead.get() : -1, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[0].revents != 0) ReadAvailable(outRead.get(), out, &outOpen);
      if (fds[1].revents != 0) ReadAvailable(errRead.get(), err, &errOpen);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

// Blocks SIGTERM in the calling thread while it exists (threads started
// meanwhile inherit the mask) and reads it through a signalfd.
class TermSignal {
 public:
  TermSignal() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGTERM);
    blocked_ = ::pthread_sigmask(SIG_BLOCK, &set_, &old_) == 0;
    if (blocked_) fd_.Reset(::signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK));
  }
  ~TermSignal() {
    // A SIGTERM that came after the service ended is taken here, not left
    // pending to kill the process when the mask is restored.
    while (Take()) {
    }
    if (blocked_) ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  TermSignal(const TermSignal&) = delete;
  TermSignal& operator=(const TermSignal&) = delete;

  int fd() const { return fd_.get(); }
  bool valid() const { return blocked_ && fd_.valid(); }
  // Reads one pending SIGTERM; false when none is pending.
  bool Take() {
    if (!fd_.valid()) return false;
    signalfd_siginfo info{};
    ssize_t n = ::read(fd_.get(), &info, sizeof info);
    return n == static_cast<ssize_t>(sizeof info);
  }

 private:
  sigset_t set_{};
  sigset_t old_{};
  bool blocked_ = false;
  UniqueFd fd_;
};

class SystemdServiceManager : public ServiceManager {
 public:
  explicit SystemdServiceManager(SystemdOptions options) : options_(std::move(options)) {
    if (options_.unitFolder.empty()) {
      const char* folder = std::getenv("QORVU_UNIT_DIR");
      options_.unitFolder = (folder != nullptr && *folder != '\0') ? folder : kDefaultUnitFolder;
    }
    if (options_.runner == nullptr) options_.runner = &spawnRunner_;
  }

  ServiceResult Open() override {
    struct stat st {};
    if (::stat(options_.bootedMarker.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      return {ServiceErrc::kNoServiceManager, ""};
    }
    return {};
  }

  ServiceResult Create(const ServiceConfig& config) override {
    std::string text;
    ServiceResult error;
    if (!FormatUnitFile(config, &text, &error)) return error;
    std::string path = UnitPath(config.name);
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.valid()) {
      int err = errno;
      if (err == ENOENT) return {ServiceErrc::kIoError, options_.unitFolder + ": " + std::strerror(err)};
      return FromErrno(err, path);
    }
    std::string_view rest = text;
    while (!rest.empty()) {
      ssize_t n = ::write(fd.get(), rest.data(), rest.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        ServiceResult r = FromErrno(errno, path);
        ::unlink(path.c_str());
        return r;
      }
      rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fsync(fd.get()) != 0) {
      ServiceResult r = FromErrno(errno, path);
      ::unlink(path.c_str());
      return r;
    }
    fd.Reset();
    ServiceResult r = Systemctl({"daemon-reload"}, nullptr);
    if (r.ok()) r = Systemctl({"enable", Unit(config.name)}, nullptr);
    if (!r.ok()) {
      // Leave nothing half installed behind.
      ::unlink(path.c_str());
      Systemctl({"daemon-reload"}, nullptr);
    }
    return r;
  }

  ServiceResult Find(std::string_view name) override {
    if (!IsValidServiceName(name)) return {ServiceErrc::kInvalidName, std::string(name)};
    std::string loadState;
    ServiceResult r = Systemctl({"show", "--property=LoadState", "--value", Unit(name)}, &loadState);
    if (!r.ok()) return r;
    if (loadState == "not-found" || loadState.empty()) {
      return {ServiceErrc::kNoSuchService, Unit(name)};
    }
    return {};
  }

  ServiceResult Delete(std::string_view name) override {
    if (!IsValidServiceName(name)) return {ServiceErrc::kInvalidName, std::string(name)};
    std::string path = UnitPath(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      return {ServiceErrc::kNoSuchService, path + ": " + std::strerror(errno)};
    }
    ServiceResult r = Systemctl({"disable", "--now", Unit(name)}, nullptr);
    if (!r.ok()) return r;
    if (::unlink(path.c_str()) != 0) return FromErrno(errno, path);
    // The unit is gone from disk; a failed reload only leaves systemd's
    // memory of it until the next reload, so it does not undo the removal.
    Systemctl({"daemon-reload"}, nullptr);
    return {};
  }

  ServiceResult Start(std::string_view name) override {
    ServiceState state;
    ServiceResult r = QueryState(name, &state);
    if (!r.ok()) return r;
    if (state != ServiceState::kStopped) return {ServiceErrc::kAlreadyRunning, ""};
    r = Systemctl({"start", "--no-block", Unit(name)}, nullptr);
    if (r.ok()) Expect(name, ServiceState::kStartPending);
    return r;
  }

  ServiceResult SendStop(std::string_view name) override {
    ServiceState state;
    ServiceResult r = QueryState(name, &state);
    if (!r.ok()) return r;
    if (state == ServiceState::kStopped) return {ServiceErrc::kNotActive, ""};
    r = Systemctl({"stop", "--no-block", Unit(name)}, nullptr);
    if (r.ok()) Expect(name, ServiceState::kStopPending);
    return r;
  }

  ServiceResult QueryState(std::string_view name, ServiceState* state) override {
    if (!IsValidServiceName(name)) return {ServiceErrc::kInvalidName, std::string(name)};
    std::string active;
    ServiceResult r = Systemctl({"show", "--property=ActiveState", "--value", Unit(name)}, &active);
    if (!r.ok()) return r;
    if (!MapActiveState(active, state)) return {ServiceErrc::kUnknownState, active};
    // A job asked for with --no-block may not have begun when the state is
    // read: the unit is then still "inactive" after a start or "active" after
    // a stop. Until the unit moves (or a grace time passes) that counts as
    // pending, so a caller that polls does not give up at once. "failed" is
    // a real outcome and ends the wait.
    std::lock_guard<std::mutex> lock(pendingMutex_);
    auto it = pending_.find(std::string(name));
    if (it != pending_.end()) {
      bool notBegun = std::chrono::steady_clock::now() < it->second.until &&
                      ((it->second.state == ServiceState::kStartPending && active == "inactive") ||
                       (it->second.state == ServiceState::kStopPending &&
                        *state == ServiceState::kRunning));
      if (notBegun) {
        *state = it->second.state;
      } else {
        pending_.erase(it);
      }
    }
    return {};
  }

  ServiceResult RunDispatcher(std::string_view /*name*/, int argc, char** argv,
                              const ServiceCallbacks& callbacks) override {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (socket == nullptr || *socket == '\0') {
      return {ServiceErrc::kNotStartedByManager, ""};
    }
    TermSignal term;
    UniqueFd done(::eventfd(0, EFD_CLOEXEC));
    if (!term.valid() || !done.valid()) return FromErrno(errno, "dispatcher");

    int doneFd = done.get();
    std::thread service([&callbacks, argc, argv, doneFd] {
      callbacks.main(argc, argv);
      std::uint64_t one = 1;
      while (::write(doneFd, &one, sizeof one) < 0 && errno == EINTR) {
      }
    });
    for (;;) {
      pollfd fds[2] = {{term.fd(), POLLIN, 0}, {doneFd, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;  // cannot wait any more: the service still ends by itself
      }
      if (fds[1].revents != 0) break;
      if (fds[0].revents != 0 && term.Take() && callbacks.control) {
        callbacks.control(ServiceControl::kStop);
      }
    }
    service.join();
    return {};
  }

  ServiceResult SetStatus(const ServiceStatus& status) override {
    std::string message = NotifyMessage(status);
    int r = ::sd_notify(0, message.c_str());
    if (r > 0) return {};
    if (r == 0) return {ServiceErrc::kNotStartedByManager, ""};
    return {ServiceErrc::kNotifyFailed, std::strerror(-r)};
  }

 private:
  static std::string Unit(std::string_view name) { return std::string(name) + ".service"; }
  std::string UnitPath(std::string_view name) const {
    return options_.unitFolder + "/" + Unit(name);
  }

  // Runs systemctl with args; *out (when given) receives its trimmed output.
  ServiceResult Systemctl(std::vector<std::string> args, std::string* out) {
    args.insert(args.begin(), "systemctl");
    std::string stdoutText;
    std::string stderrText;
    int status = options_.runner->Run(args, &stdoutText, &stderrText);
    if (out != nullptr) *out = Trim(stdoutText);
    if (status == 0) return {};
    std::string detail = Trim(stderrText);
    if (status < 0) return {ServiceErrc::kCommandFailed, "systemctl could not be run"};
    if (detail.empty()) detail = "systemctl " + args[1] + " exited with status " + std::to_string(status);
    if (detail.find("Access denied") != std::string::npos ||
        detail.find("Permission denied") != std::string::npos ||
        detail.find("authentication required") != std::string::npos) {
      return {ServiceErrc::kAccessDenied, detail};
    }
    return {ServiceErrc::kCommandFailed, detail};
  }

  void Expect(std::string_view name, ServiceState state) {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_[std::string(name)] = {state, std::chrono::steady_clock::now() + kJobGrace};
  }

  struct Pending {
    ServiceState state;
    std::chrono::steady_clock::time_point until;
  };
  static constexpr std::chrono::seconds kJobGrace{10};

  SystemdOptions options_;
  SpawnRunner spawnRunner_;
  std::mutex pendingMutex_;
  std::map<std::string, Pending> pending_;
};

}  // namespace

std::string ServiceErrorText(const ServiceResult& result) {
  std::string text;
  switch (result.code) {
    case ServiceErrc::kOk: text = "success"; break;
    case ServiceErrc::kNoServiceManager:
      text = "systemd is not running (no /run/systemd/system), so there is no service manager";
      break;
    case ServiceErrc::kAccessDenied: text = "access denied"; break;
    case ServiceErrc::kServiceExists: text = "the service is already installed"; break;
    case ServiceErrc::kNoSuchService: text = "the service is not installed"; break;
    case ServiceErrc::kNotActive: text = "the service is not running"; break;
    case ServiceErrc::kAlreadyRunning: text = "the service is already running"; break;
    case ServiceErrc::kInvalidName: text = "invalid service name"; break;
    case ServiceErrc::kInvalidAccount: text = "invalid account name for a Linux user"; break;
    case ServiceErrc::kInvalidPath: text = "the program path cannot be used in a unit file"; break;
    case ServiceErrc::kCommandFailed: text = "systemctl failed"; break;
    case ServiceErrc::kUnknownState: text = "unknown service state"; break;
    case ServiceErrc::kNotStartedByManager:
      text = "the process was not started by systemd (NOTIFY_SOCKET is not set)";
      break;
    case ServiceErrc::kNotifyFailed: text = "the status report did not reach systemd"; break;
    case ServiceErrc::kIoError: text = "input/output error"; break;
  }
  if (!result.detail.empty()) {
    text += ": ";
    text += result.detail;
  }
  return text;
}

bool IsValidServiceName(std::string_view name) {
  if (name.empty() || name.size() > 200) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.' || c == ':';
    if (!ok) return false;
  }
  return true;
}

bool FormatUnitFile(const ServiceConfig& config, std::string* text, ServiceResult* error) {
  if (!IsValidServiceName(config.name)) {
    *error = {ServiceErrc::kInvalidName, config.name};
    return false;
  }
  if (config.programPath.empty() || config.programPath[0] != '/' ||
      HasControlCharacter(config.programPath)) {
    *error = {ServiceErrc::kInvalidPath, config.programPath};
    return false;
  }
  std::string_view account = config.account;
  if (account.substr(0, 2) == ".\\") account.remove_prefix(2);
  if (!config.account.empty() && !IsValidAccount(account)) {
    *error = {ServiceErrc::kInvalidAccount, config.account};
    return false;
  }
  std::string description = config.description.empty() ? config.name : config.description;
  if (HasControlCharacter(description)) description = config.name;

  std::string out;
  out += "# Installed by \"" + config.name + " -i\" and removed by \"" + config.name + " -u\".\n";
  out += "[Unit]\n";
  out += "Description=" + UnitValue(description) + "\n";
  out += "Wants=network-online.target\n";
  out += "After=network-online.target\n";
  out += "\n[Service]\n";
  out += "Type=notify\n";
  out += "NotifyAccess=main\n";
  out += "ExecStart=" + QuotedExecPath(config.programPath) + "\n";
  out += "Restart=on-failure\n";
  if (!account.empty()) out += "User=" + std::string(account) + "\n";
  out += "\n[Install]\n";
  out += "WantedBy=multi-user.target\n";
  *text = std::move(out);
  return true;
}

bool MapActiveState(std::string_view activeState, ServiceState* state) {
  if (activeState == "active" || activeState == "reloading") {
    *state = ServiceState::kRunning;
  } else if (activeState == "activating") {
    *state = ServiceState::kStartPending;
  } else if (activeState == "deactivating") {
    *state = ServiceState::kStopPending;
  } else if (activeState == "inactive" || activeState == "failed") {
    *state = ServiceState::kStopped;
  } else {
    return false;
  }
  return true;
}

std::string NotifyMessage(const ServiceStatus& status) {
  std::string message;
  const char* words = "Stopped";
  switch (status.state) {
    case ServiceState::kRunning: message = "READY=1\n"; words = "Running"; break;
    case ServiceState::kStopPending: message = "STOPPING=1\n"; words = "Stopping"; break;
    case ServiceState::kStartPending: words = "Starting"; break;
    case ServiceState::kPausePending: words = "Pausing"; break;
    case ServiceState::kContinuePending: words = "Continuing"; break;
    case ServiceState::kPaused: words = "Paused"; break;
    case ServiceState::kStopped: words = "Stopped"; break;
  }
  message += "STATUS=";
  message += words;
  if (status.checkPoint != 0) message += " (check point " + std::to_string(status.checkPoint) + ")";
  if (status.state == ServiceState::kStopped && status.serviceExitCode != 0) {
    message += " (exit code " + std::to_string(status.serviceExitCode) + ")";
  }
  message += "\n";
  bool pending = status.state == ServiceState::kStartPending ||
                 status.state == ServiceState::kStopPending ||
                 status.state == ServiceState::kPausePending ||
                 status.state == ServiceState::kContinuePending;
  if (pending && status.waitHint != 0) {
    message += "EXTEND_TIMEOUT_USEC=" +
               std::to_string(static_cast<std::uint64_t>(status.waitHint) * 1000u) + "\n";
  }
  return message;
}

std::unique_ptr<ServiceManager> NewSystemdServiceManager(SystemdOptions options) {
  return std::make_unique<SystemdServiceManager>(std::move(options));
}

}  // namespace platform
