// The terminal and the stop signals of the agent's debug runs.
//
// A debug run with a console (-d) prints to the terminal and stops on Ctrl+C
// (SIGINT). A faceless debug run (-f) writes nothing to the terminal and stops
// when the session ends or the process is asked to end: SIGINT, SIGTERM or
// SIGHUP. Signals are never acted on inside a signal handler: the handler
// only writes the signal's number into a pipe, and a thread of the watch reads
// it and calls the caller's function there.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class StopSignalSet {
  kInterrupt,  // SIGINT (Ctrl+C)
  kSession,    // SIGINT, SIGTERM, SIGHUP
};

// Active while it exists: the signals of its set call its function; when it
// goes away their former dispositions are back.
class SignalWatch {
 public:
  virtual ~SignalWatch() = default;
};

class Console {
 public:
  virtual ~Console() = default;
  // Makes sure the process can print to its terminal; harmless when repeated.
  virtual void Open() = 0;
  // Writes text to standard output.
  virtual void Write(std::string_view text) = 0;
  // Points standard input, output and error at /dev/null so that nothing of
  // the process reaches the terminal any more.
  virtual void Detach() = 0;
  // Calls onSignal(signal number) on a thread of the watch for every signal
  // of the set that arrives. Null when the signals cannot be watched (only
  // one watch may exist at a time in a process).
  virtual std::unique_ptr<SignalWatch> WatchStopSignals(StopSignalSet set,
                                                        std::function<void(int)> onSignal) = 0;
};

// The process's real terminal and signals.
std::unique_ptr<Console> NewPosixConsole();

// Records what is written; Raise delivers a signal to the active watch on the
// caller's thread.
class FakeConsole : public Console {
 public:
  void Open() override;
  void Write(std::string_view text) override;
  void Detach() override;
  std::unique_ptr<SignalWatch> WatchStopSignals(StopSignalSet set,
                                                std::function<void(int)> onSignal) override;

  // Delivers signal to the watch when one is active and the signal is in its
  // set; returns whether it was delivered.
  bool Raise(int signal);
  std::string output() const;
  int opens() const;
  int detaches() const;
  bool watching() const;

 private:
  class Watch;
  mutable std::mutex mutex_;
  std::string output_;
  int opens_ = 0;
  int detaches_ = 0;
  bool active_ = false;
  StopSignalSet set_ = StopSignalSet::kInterrupt;
  std::function<void(int)> onSignal_;
};

}  // namespace platform
