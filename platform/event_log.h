// The system event log that the agent writes its service records to. On
// Linux this is syslog: every record goes out with the identifier of the
// source (the service name, CSTessaly) at the priority of its type, so
// `journalctl -t CSTessaly` or /var/log/syslog shows it.
//
// Event-source registration: syslog needs none. The identifier travels with
// each record and the message texts are plain, so there is no message file to
// register; installing or removing the service therefore leaves the event log
// untouched on Linux. The Windows record's user identifier has no counterpart
// either: the journal stores the sender's uid with every record by itself.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Record types, numbered as the Windows event log numbers them.
enum class EventType : std::uint16_t {
  kError = 1,        // LOG_ERR
  kWarning = 2,      // LOG_WARNING
  kInformation = 4,  // LOG_INFO (also any other type)
};

class EventLog {
 public:
  virtual ~EventLog() = default;
  // Writes one record under the source name. Returns false when the record
  // could not be handed over (nothing is written then).
  virtual bool Report(std::string_view source, EventType type, std::uint32_t eventId,
                      std::string_view message) = 0;
};

// syslog priority of a record type.
int SyslogPriority(EventType type);

// The event log backed by syslog (facility LOG_DAEMON, with the process id).
std::unique_ptr<EventLog> NewSyslogEventLog();

// Records every report; a report can be made to fail.
class FakeEventLog : public EventLog {
 public:
  struct Entry {
    std::string source;
    EventType type;
    std::uint32_t eventId;
    std::string message;
  };

  bool Report(std::string_view source, EventType type, std::uint32_t eventId,
              std::string_view message) override;
  std::vector<Entry> entries() const;
  void set_fail(bool fail);

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  bool fail_ = false;
};

}  // namespace platform
