#include <condition_variable>
#include <thread>

#include "platform/service_manager.h"

namespace platform {

void FakeServiceManager::Record(std::string call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(std::move(call));
}

ServiceResult FakeServiceManager::Open() {
  Record("Open");
  return openResult;
}

ServiceResult FakeServiceManager::Create(const ServiceConfig& config) {
  Record("Create " + config.name);
  if (!createResult.ok()) return createResult;
  if (installed) return {ServiceErrc::kServiceExists, ""};
  std::lock_guard<std::mutex> lock(mutex_);
  created = config;
  installed = true;
  return {};
}

ServiceResult FakeServiceManager::Find(std::string_view name) {
  Record("Find " + std::string(name));
  if (!installed) return {ServiceErrc::kNoSuchService, ""};
  return {};
}

ServiceResult FakeServiceManager::Delete(std::string_view name) {
  Record("Delete " + std::string(name));
  if (!deleteResult.ok()) return deleteResult;
  installed = false;
  return {};
}

ServiceResult FakeServiceManager::Start(std::string_view name) {
  Record("Start " + std::string(name));
  return startResult;
}

ServiceResult FakeServiceManager::SendStop(std::string_view name) {
  Record("SendStop " + std::string(name));
  return stopResult;
}

ServiceResult FakeServiceManager::QueryState(std::string_view name, ServiceState* state) {
  Record("QueryState " + std::string(name));
  std::lock_guard<std::mutex> lock(mutex_);
  if (states.empty()) return {ServiceErrc::kUnknownState, ""};
  *state = states[std::min(nextState_, states.size() - 1)];
  ++nextState_;
  return {};
}

ServiceResult FakeServiceManager::RunDispatcher(std::string_view name, int argc, char** argv,
                                                const ServiceCallbacks& callbacks) {
  Record("RunDispatcher " + std::string(name));
  if (!startedByManager) return {ServiceErrc::kNotStartedByManager, ""};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    callbacks_ = callbacks;
  }
  std::thread service([&callbacks, argc, argv] { callbacks.main(argc, argv); });
  if (stopWhenMainRuns) {
    // Waits for the service to report running, then stops it as systemd's
    // SIGTERM would.
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        bool running = false;
        for (const ServiceStatus& s : statuses_) running |= s.state == ServiceState::kRunning;
        if (running) break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    SendControl(ServiceControl::kStop);
  }
  service.join();
  std::lock_guard<std::mutex> lock(mutex_);
  callbacks_ = {};
  return {};
}

ServiceResult FakeServiceManager::SetStatus(const ServiceStatus& status) {
  Record("SetStatus");
  std::lock_guard<std::mutex> lock(mutex_);
  if (!statusResult.ok()) return statusResult;
  statuses_.push_back(status);
  return {};
}

void FakeServiceManager::SendControl(ServiceControl control) {
  std::function<void(ServiceControl)> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler = callbacks_.control;
  }
  if (handler) handler(control);
}

std::vector<std::string> FakeServiceManager::calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<ServiceStatus> FakeServiceManager::statuses() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return statuses_;
}

}  // namespace platform
