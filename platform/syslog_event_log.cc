#include <syslog.h>

#include <climits>
#include <mutex>
#include <string>

#include "platform/event_log.h"

namespace platform {
namespace {

class SyslogEventLog : public EventLog {
 public:
  bool Report(std::string_view source, EventType type, std::uint32_t /*eventId*/,
              std::string_view message) override {
    // openlog keeps the identifier's pointer and the connection is process
    // wide, so a record is opened, written and closed under one lock, like an
    // event source that is registered for one report.
    std::lock_guard<std::mutex> lock(Mutex());
    std::string ident(source);
    int length = message.size() > static_cast<std::size_t>(INT_MAX)
                     ? INT_MAX
                     : static_cast<int>(message.size());
    ::openlog(ident.c_str(), LOG_PID, LOG_DAEMON);
    ::syslog(SyslogPriority(type), "%.*s", length, message.data());
    ::closelog();
    return true;
  }

 private:
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
};

}  // namespace

int SyslogPriority(EventType type) {
  switch (type) {
    case EventType::kError: return LOG_ERR;
    case EventType::kWarning: return LOG_WARNING;
    default: return LOG_INFO;
  }
}

std::unique_ptr<EventLog> NewSyslogEventLog() { return std::make_unique<SyslogEventLog>(); }

bool FakeEventLog::Report(std::string_view source, EventType type, std::uint32_t eventId,
                          std::string_view message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fail_) return false;
  entries_.push_back({std::string(source), type, eventId, std::string(message)});
  return true;
}

std::vector<FakeEventLog::Entry> FakeEventLog::entries() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

void FakeEventLog::set_fail(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_ = fail;
}

}  // namespace platform
