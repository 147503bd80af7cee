// A waitable event, auto-reset or manual-reset, like the signalling objects
// the agent's run loop and workers hand between each other.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
 public:
  enum class Reset { kAuto, kManual };

  explicit Event(Reset reset, bool signalled = false)
      : manual_(reset == Reset::kManual), signalled_(signalled) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Signals the event: an auto-reset event lets exactly one waiter through.
  void Set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      signalled_ = true;
    }
    if (manual_) {
      cv_.notify_all();
    } else {
      cv_.notify_one();
    }
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
  }

  // Waits up to milliseconds for the event. True when it was signalled (an
  // auto-reset event is then taken, i.e. not signalled any more).
  bool Wait(unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; })) {
      return false;
    }
    if (!manual_) signalled_ = false;
    return true;
  }

  bool IsSet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return signalled_;
  }

 private:
  const bool manual_;
  bool signalled_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
};

}  // namespace platform
