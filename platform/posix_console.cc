#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// The write end of the active watch's pipe, for the signal handler: the one
// piece of process-wide state a handler can reach. -1 when no watch exists.
std::atomic<int> g_signalPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free int");

extern "C" void OnStopSignal(int signal) {
  int savedErrno = errno;
  int fd = g_signalPipe.load();
  if (fd >= 0) {
    unsigned char byte = static_cast<unsigned char>(signal);
    ssize_t ignored = ::write(fd, &byte, 1);  // a full pipe drops the signal: one is pending
    (void)ignored;
  }
  errno = savedErrno;
}

std::vector<int> SignalsOf(StopSignalSet set) {
  if (set == StopSignalSet::kInterrupt) return {SIGINT};
  return {SIGINT, SIGTERM, SIGHUP};
}

constexpr unsigned char kQuit = 0;  // no signal has number 0

class PosixSignalWatch : public SignalWatch {
 public:
  PosixSignalWatch(UniqueFd readEnd, UniqueFd writeEnd, std::function<void(int)> onSignal)
      : read_(std::move(readEnd)), write_(std::move(writeEnd)), onSignal_(std::move(onSignal)) {}

  bool Start(const std::vector<int>& signals) {
    int none = -1;
    if (!g_signalPipe.compare_exchange_strong(none, write_.get())) return false;
    ownsPipe_ = true;
    thread_ = std::thread([this] { Loop(); });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : signals) {
      struct sigaction old {};
      if (::sigaction(signal, &action, &old) != 0) return false;
      saved_.push_back({signal, old});
    }
    return true;
  }

  ~PosixSignalWatch() override {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      ::sigaction(it->signal, &it->old, nullptr);
    }
    if (ownsPipe_) g_signalPipe.store(-1);
    if (thread_.joinable()) {
      // The write end is non-blocking for the signal handler; a pipe full of
      // pending signals drains as the thread reads, so the quit byte waits for room.
      unsigned char quit = kQuit;
      while (::write(write_.get(), &quit, 1) < 0 && (errno == EINTR || errno == EAGAIN)) {
        if (errno == EAGAIN) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      thread_.join();
    }
  }

 private:
  struct Saved {
    int signal;
    struct sigaction old;
  };

  void Loop() {
    for (;;) {
      unsigned char byte = 0;
      ssize_t n = ::read(read_.get(), &byte, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || byte == kQuit) return;
      onSignal_(byte);
    }
  }

  UniqueFd read_;
  UniqueFd write_;
  std::function<void(int)> onSignal_;
  std::vector<Saved> saved_;
  bool ownsPipe_ = false;
  std::thread thread_;
};

class PosixConsole : public Console {
 public:
  void Open() override {
    // A Linux process started from a shell already has its terminal; what
    // is left is to make sure nothing printed waits in a buffer.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
  }

  void Write(std::string_view text) override {
    while (!text.empty()) {
      ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return;  // no terminal: the text is dropped, as on a windowed program
      }
      text.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  void Detach() override {
    UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null.valid()) return;
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null.get(), fd);
  }

  std::unique_ptr<SignalWatch> WatchStopSignals(StopSignalSet set,
                                                std::function<void(int)> onSignal) override {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return nullptr;
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    if (::fcntl(writeEnd.get(), F_SETFL, O_NONBLOCK) != 0) return nullptr;
    auto watch = std::make_unique<PosixSignalWatch>(std::move(readEnd), std::move(writeEnd),
                                                    std::move(onSignal));
    if (!watch->Start(SignalsOf(set))) return nullptr;  // the destructor undoes the rest
    return watch;
  }
};

}  // namespace

std::unique_ptr<Console> NewPosixConsole() { return std::make_unique<PosixConsole>(); }

// --- fake ---

class FakeConsole::Watch : public SignalWatch {
 public:
  explicit Watch(FakeConsole* owner) : owner_(owner) {}
  ~Watch() override {
    std::lock_guard<std::mutex> lock(owner_->mutex_);
    owner_->active_ = false;
    owner_->onSignal_ = nullptr;
  }

 private:
  FakeConsole* owner_;
};

void FakeConsole::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++opens_;
}

void FakeConsole::Write(std::string_view text) {
  std::lock_guard<std::mutex> lock(mutex_);
  output_ += text;
}

void FakeConsole::Detach() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++detaches_;
}

std::unique_ptr<SignalWatch> FakeConsole::WatchStopSignals(StopSignalSet set,
                                                           std::function<void(int)> onSignal) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (active_) return nullptr;
  active_ = true;
  set_ = set;
  onSignal_ = std::move(onSignal);
  return std::make_unique<Watch>(this);
}

bool FakeConsole::Raise(int signal) {
  std::function<void(int)> call;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_) return false;
    bool inSet = signal == SIGINT ||
                 (set_ == StopSignalSet::kSession && (signal == SIGTERM || signal == SIGHUP));
    if (!inSet) return false;
    call = onSignal_;
  }
  call(signal);
  return true;
}

std::string FakeConsole::output() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}

int FakeConsole::opens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_;
}

int FakeConsole::detaches() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return detaches_;
}

bool FakeConsole::watching() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return active_;
}

}  // namespace platform
