// The agent's service: the service host with the stop event that its run loop
// waits on. What Run and Stop do is handed in by the application (its run
// loop and stop request); without them the service just waits for a stop.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "agent/host/service_host.h"

class CAgentService : public CServiceHost {
 public:
  using RunHook = std::function<void(CAgentService& service, int argc, char** argv)>;
  using StopHook = std::function<void(CAgentService& service)>;
  static constexpr unsigned kInfinite = ~0u;

  CAgentService(const char* serviceName, const char* displayName,
                const ServiceHostDeps& deps = DefaultServiceHostDeps());

  // Installs the application's run loop and stop request; set before
  // ProcessCommandLine.
  void SetHooks(RunHook run, StopHook stop);

  // Without a run hook: reports start-pending and running, waits for the
  // stop event, closes it.
  void Run(int argc, char** argv) override;
  // Without a stop hook: reports stop-pending (wait hint 11000 ms) and
  // signals the stop event.
  void Stop() override;

  // --- the stop event (manual reset) ---
  // Creates the event, not signalled; signalled at once when a stop was
  // requested before it existed, so an early stop request is not lost.
  void CreateStopEvent();
  void CloseStopEvent();
  // Signals the event; without an event the request is kept for the next
  // CreateStopEvent. Returns whether an event was signalled.
  bool SignalStopEvent();
  // 1 when the event is signalled, 0 after milliseconds (kInfinite: no time
  // limit), -1 when there is no event.
  int WaitStopEvent(unsigned milliseconds);

 private:
  RunHook m_run;
  StopHook m_stop;
  std::mutex m_eventMutex;
  std::condition_variable m_eventChanged;
  bool m_bEventExists = false;
  bool m_bEventSignalled = false;
  bool m_bStopRequested = false;
};
