#include "agent/host/agent_service.h"

#include <chrono>

CAgentService::CAgentService(const char* serviceName, const char* displayName,
                             const ServiceHostDeps& deps)
    : CServiceHost(serviceName, displayName, deps) {}

void CAgentService::SetHooks(RunHook run, StopHook stop) {
  m_run = std::move(run);
  m_stop = std::move(stop);
}

void CAgentService::Run(int argc, char** argv) {
  if (m_run) {
    m_run(*this, argc, argv);
    return;
  }
  ReportStatus(platform::ServiceState::kStartPending, 3000);
  CreateStopEvent();
  ReportStatus(platform::ServiceState::kRunning, 3000);
  WaitStopEvent(kInfinite);
  CloseStopEvent();
}

void CAgentService::Stop() {
  if (m_stop) {
    m_stop(*this);
    return;
  }
  ReportStatus(platform::ServiceState::kStopPending, 11000);
  SignalStopEvent();
}

void CAgentService::CreateStopEvent() {
  std::lock_guard<std::mutex> lock(m_eventMutex);
  m_bEventExists = true;
  m_bEventSignalled = m_bStopRequested;
}

void CAgentService::CloseStopEvent() {
  std::lock_guard<std::mutex> lock(m_eventMutex);
  m_bEventExists = false;
  m_bEventSignalled = false;
  m_bStopRequested = false;
  m_eventChanged.notify_all();
}

bool CAgentService::SignalStopEvent() {
  std::lock_guard<std::mutex> lock(m_eventMutex);
  m_bStopRequested = true;
  if (!m_bEventExists) return false;
  m_bEventSignalled = true;
  m_eventChanged.notify_all();
  return true;
}

int CAgentService::WaitStopEvent(unsigned milliseconds) {
  std::unique_lock<std::mutex> lock(m_eventMutex);
  if (!m_bEventExists) return -1;
  auto done = [this] { return m_bEventSignalled || !m_bEventExists; };
  if (milliseconds == kInfinite) {
    m_eventChanged.wait(lock, done);
  } else if (!m_eventChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), done)) {
    return 0;
  }
  return m_bEventSignalled ? 1 : -1;
}
