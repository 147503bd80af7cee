#include <signal.h>
#include <syslog.h>

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/console.h"
#include "platform/event_log.h"

namespace platform {
namespace {

bool HandlerIsDefault(int signal) {
  struct sigaction current {};
  ::sigaction(signal, nullptr, &current);
  return current.sa_handler == SIG_DFL;
}

TEST(PosixConsoleTest, SignalReachesTheWatchThreadAndIsRestoredAfterwards) {
  auto console = NewPosixConsole();
  ASSERT_TRUE(HandlerIsDefault(SIGINT));
  std::promise<int> received;
  std::thread::id handlerThread;
  {
    auto watch = console->WatchStopSignals(StopSignalSet::kInterrupt, [&](int signal) {
      handlerThread = std::this_thread::get_id();
      received.set_value(signal);
    });
    ASSERT_NE(watch, nullptr);
    EXPECT_EQ(console->WatchStopSignals(StopSignalSet::kSession, [](int) {}), nullptr)
        << "one watch at a time";
    EXPECT_TRUE(HandlerIsDefault(SIGTERM)) << "SIGTERM is not part of the interrupt set";
    ASSERT_EQ(::raise(SIGINT), 0);
    auto future = received.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(future.get(), SIGINT);
    EXPECT_NE(handlerThread, std::this_thread::get_id());
  }
  EXPECT_TRUE(HandlerIsDefault(SIGINT));
  // A new watch may start once the old one is gone.
  auto again = console->WatchStopSignals(StopSignalSet::kSession, [](int) {});
  EXPECT_NE(again, nullptr);
  EXPECT_FALSE(HandlerIsDefault(SIGHUP));
  again.reset();
  EXPECT_TRUE(HandlerIsDefault(SIGHUP));
}

TEST(EventLogTest, TypesMapToSyslogPriorities) {
  EXPECT_EQ(SyslogPriority(EventType::kError), LOG_ERR);
  EXPECT_EQ(SyslogPriority(EventType::kWarning), LOG_WARNING);
  EXPECT_EQ(SyslogPriority(EventType::kInformation), LOG_INFO);
  EXPECT_EQ(SyslogPriority(static_cast<EventType>(8)), LOG_INFO);
  // Without a syslog daemon the record is dropped quietly.
  EXPECT_TRUE(NewSyslogEventLog()->Report("CSTessaly", EventType::kError, 1, "test record"));
}

}  // namespace
}  // namespace platform
