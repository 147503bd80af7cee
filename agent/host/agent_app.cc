#include "agent/host/agent_app.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "agent/host/config/settings.h"
#include "agent/host/do_init.h"
#include "agent/host/log/daily_log.h"
#include "agent/text/encoding.h"
#include "shared/reg_settings.h"

namespace {

// Copies text into a fixed buffer when it fits; false (buffer unchanged) else.
template <std::size_t N>
bool CopyText(char (&buffer)[N], std::string_view text) {
  if (text.size() >= N) return false;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return true;
}

void LogRegistryItem(const char* name, const shared::RegItemReport& item) {
  if (item.status == shared::RegItemStatus::kSet ||
      item.status == shared::RegItemStatus::kMissing) {
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "Registry value %s not used (%s, %u characters), default kept",
                name, shared::RegItemStatusText(item.status),
                static_cast<unsigned>(item.textLength));
  g_log.Write(line);
}

// Shows a log entry on the terminal of a debug run, as UTF-8 for the terminal.
void EchoToConsole(std::string_view entry) {
  const std::string gbk(entry);
  std::vector<char16_t> wide(gbk.size() + 1);
  ToWide(gbk.c_str(), wide.data(), wide.size(), kCodePageGbk);
  std::vector<char> utf8(3 * gbk.size() + 2);
  const std::size_t n = ToUtf8(wide.data(), utf8.data(), utf8.size());
  utf8[n] = '\n';
  std::fwrite(utf8.data(), 1, n + 1, stdout);
  std::fflush(stdout);
}

}  // namespace

CAgentApp::CAgentApp(AgentAppDeps deps)
    : m_pEnv(deps.env),
      m_pRegistry(deps.registry),
      m_service("CSTessaly", "CS Tessaly", deps.host),
      m_chain(DefaultScannerChain()) {
  m_service.SetHooks([this](CAgentService&, int, char**) { Run(); },
                     [this](CAgentService&) { Stop(); });
}

bool CAgentApp::InitInstance(int argc, char** argv) {
  // 1. Defaults (set by the members' initialisers).
  // 2. The program folder; without it the log stays off.
  CopyText(m_szProgramFolder, platform::ProgramFolder(m_pEnv));
  // 3. The log folder beside the program.
  if (m_szProgramFolder[0] != '\0') g_log.SetFolder(m_szProgramFolder, "LOG_WC", true);

  // 4. The registry settings; without the key nothing else runs.
  std::unique_ptr<platform::FileRegistry> fileRegistry;
  platform::Registry* registry = m_pRegistry;
  if (registry == nullptr) {
    fileRegistry = std::make_unique<platform::FileRegistry>(platform::DefaultRegistryPath());
    registry = fileRegistry.get();
  }
  shared::RegSettingsReport report;
  const platform::RegResult opened =
      shared::ReadRegSettings(*registry, {m_szDsn, sizeof m_szDsn}, {m_szPwd, sizeof m_szPwd},
                              {m_szUid, sizeof m_szUid}, &report);
  if (!opened.ok()) return false;
  LogRegistryItem("Item1", report.dsn);
  LogRegistryItem("Item2", report.password);
  LogRegistryItem("Item5", report.user);

  // 5. The ODBC environment.
  if (!CreateDbEnvironment()) return false;

  // 6. The settings every connection uses.
  SetDbSetting(g_szDsn, m_szDsn);
  SetDbSetting(g_szUid, m_szUid);
  SetDbSetting(g_szPwd, m_szPwd);
  m_bDictionaryDone = 0;

  // 7, 8. The configuration files.
  g_log.Write("Try DoInit()...");
  DoInit(m_pEnv);
  g_log.Write("DoInit() OK!");
  g_log.Write("InitInstance() ok.");

  // 9. The command line: install, remove, start, stop, run.
  m_service.ProcessCommandLine(argc, argv);
  return false;
}

void CAgentApp::StartJob(std::function<void()> job) {
  bool started = false;
  if (m_hooks.startThread) {
    started = m_hooks.startThread(std::move(job));
  } else {
    try {
      std::thread(std::move(job)).detach();
      started = true;
    } catch (const std::system_error&) {
      started = false;
    }
  }
  if (!started) {
    // The job never ran, so it cannot give the token back: do it here.
    g_log.Write("Worker thread could not start");
    g_evWorker.Set();
  }
}

void CAgentApp::Run() {
  if (m_service.IsDebug()) g_log.SetEcho(EchoToConsole);
  m_service.ReportStatus(platform::ServiceState::kStartPending, 3000);
  m_service.CreateStopEvent();
  m_service.ReportStatus(platform::ServiceState::kRunning, 3000);

  const int network = m_hooks.initNetwork ? m_hooks.initNetwork() : InitNetwork();
  if (network == 0) {
    m_service.CloseStopEvent();
    return;
  }

  m_bTokenLive = true;
  g_evWorker.Set();
  g_log.Write("Begin Running...");

  // The probe uses g_hEnv like a worker does, so it holds the worker token
  // too: a stop then waits for it before freeing the environment.
  auto probe = [this] {
    if (!g_evWorker.Wait(kTokenWaitMs)) return 0;  // a stop holds the token
    const int done = m_hooks.probe ? m_hooks.probe() : LoadDictionarySettings();
    g_evWorker.Set();
    return done;
  };
  auto waitStop = [this](unsigned ms) {
    return m_hooks.waitStop ? m_hooks.waitStop(ms) : m_service.WaitStopEvent(ms);
  };
  m_bDictionaryDone = probe();

  int tick = -1;
  for (;;) {
    const int waited = waitStop(kTickMs);
    if (waited == 1) break;
    if (waited != 0) continue;  // woken for another reason: wait again

    if (!m_bDictionaryDone) {
      m_bDictionaryDone = probe();
      continue;
    }
    ++tick;
    const bool update = tick % (g_nLoopMinute * 6) == 0;
    if (!update && !SendWindowOpen(g_szSendBegin, g_szSendEnd, m_pEnv->LocalNow())) continue;

    if (!g_evWorker.Wait(kTokenWaitMs)) continue;  // the last worker still runs
    if (update) {
      StartJob([this] { MessUpdateProc(m_chain, m_pEnv); });
    } else {
      StartJob([this] { MessSendProc(m_send, m_pEnv); });
    }
  }

  g_log.Write("End Running!!!");
  m_service.CloseStopEvent();
}

void CAgentApp::Stop() {
  if (m_bStopping.exchange(true)) {
    // A second request: the first one holds the token and frees what is shared.
    m_service.SignalStopEvent();
    return;
  }
  m_service.ReportStatus(platform::ServiceState::kStopPending, 11000);
  // A running worker still uses the environment and its connections: wait
  // for its token before freeing them, and keep the token so no new worker
  // starts. A worker that does not finish in time keeps what it uses; the
  // process end reclaims it.
  bool released = true;
  if (m_bTokenLive) {
    released = false;
    for (unsigned waited = 0; waited < kStopWorkerWaitMs; waited += 5000) {
      if (g_evWorker.Wait(5000)) {
        released = true;
        break;
      }
      m_service.ReportStatus(platform::ServiceState::kStopPending, 11000);
    }
  }
  if (released) {
    FreeDbEnvironment();
  } else {
    g_log.Write("Stop: a worker is still running, its database environment is left to the process end");
  }
  m_service.SignalStopEvent();
}
