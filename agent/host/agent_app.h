// The agent's application object: start-up (registry settings, ODBC
// environment, configuration), then the service host's command line; and the
// service's work: the ten-second run loop that starts one worker at a time,
// and the stop request.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

#include "agent/db/db_settings.h"
#include "agent/host/agent_service.h"
#include "agent/host/workers.h"
#include "platform/env.h"
#include "platform/registry.h"

// What the run loop waits on and starts; tests replace pieces of it to run
// hundreds of ticks in milliseconds. Empty members keep the real behaviour.
struct RunLoopHooks {
  // Waits up to milliseconds for the stop event: 1 signalled, 0 time-out.
  std::function<int(unsigned milliseconds)> waitStop;
  // Starts a job on a new thread; false when the thread could not start.
  std::function<bool(std::function<void()> job)> startThread;
  std::function<int()> probe;        // LoadDictionarySettings
  std::function<int()> initNetwork;  // InitNetwork
};

struct AgentAppDeps {
  platform::Env* env = platform::Env::Default();
  platform::Registry* registry = nullptr;  // null: the registry file
  ServiceHostDeps host = DefaultServiceHostDeps();
};

class CAgentApp {
 public:
  static constexpr std::size_t kProgramFolderSize = 260;  // 259 characters and the zero
  static constexpr unsigned kTickMs = 10000;
  static constexpr unsigned kTokenWaitMs = 200;
  // How long a stop waits for a running worker before it leaves the shared
  // resources to the end of the process instead of pulling them from under it.
  static constexpr unsigned kStopWorkerWaitMs = 60000;

  explicit CAgentApp(AgentAppDeps deps = AgentAppDeps());
  CAgentApp(const CAgentApp&) = delete;
  CAgentApp& operator=(const CAgentApp&) = delete;

  // The whole life of the program: start-up, then the command line. Always
  // false, so that the process ends when it returns.
  bool InitInstance(int argc, char** argv);

  // The run loop; returns when the stop event is signalled or start-up fails.
  void Run();
  // The stop request (from the service manager or a signal).
  void Stop();

  CAgentService& Service() { return m_service; }
  const char* ProgramFolder() const { return m_szProgramFolder; }
  int DictionaryDone() const { return m_bDictionaryDone; }

  // --- the jobs and the loop's facilities (tests) ---
  void SetScannerChain(std::vector<ScannerStep> chain) { m_chain = std::move(chain); }
  void SetSendJob(SendJob send) { m_send = std::move(send); }
  void SetRunLoopHooks(RunLoopHooks hooks) { m_hooks = std::move(hooks); }

 private:
  void StartJob(std::function<void()> job);

  platform::Env* m_pEnv;
  platform::Registry* m_pRegistry;
  CAgentService m_service;
  // Connection settings, defaults until the registry gives better.
  char m_szDsn[kDsnSize] = "qorvu";
  char m_szPwd[kPwdSize] = "8067";
  char m_szUid[kUidSize] = "sa";
  char m_szProgramFolder[kProgramFolderSize] = {};
  std::atomic<int> m_bDictionaryDone{0};
  std::atomic<bool> m_bTokenLive{false};  // the loop has handed out the token
  std::atomic<bool> m_bStopping{false};   // a stop request has been taken
  std::vector<ScannerStep> m_chain;
  SendJob m_send;
  RunLoopHooks m_hooks;
};
