// The run loop, its workers and the stop request, with a fake clock, fake
// service facilities and the stand-in courier database behind the real
// unixODBC driver manager.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "agent/db/connection.h"
#include "agent/db/db_settings.h"
#include "agent/db/statement.h"
#include "agent/host/agent_app.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"
#include "agent/host/workers.h"
#include "platform/fake_env.h"
#include "shared/reg_settings.h"
#include "testing/odbc/standin.h"
#include "tests/agent/standin_db.h"
#include "tests/standin_environment.h"
#include "tests/temp_folder.h"

namespace {

using standin_test::Standin;

const auto* const kStandin = standin_test::AddStandinEnvironment({}, FreeDbEnvironment);

using platform::LocalTime;

class RunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSettings();
    std::string error;
    ASSERT_TRUE(Standin().ResetDatabases(&error)) << error;
    Standin().ClearStatements();
    ASSERT_TRUE(standin_test::PointAgentAtStandin());
    env_.SetLocalTime({2026, 12, 9, 8, 0, 0, 0});
    g_log.SetEnv(&env_);
    g_log.SetFolder((tmp_.path() + "/").c_str(), "LOG_WC", true);
    g_log.SetEcho([this](std::string_view entry) {
      std::lock_guard<std::mutex> lock(mutex_);
      entries_.emplace_back(entry.substr(entry.find(']') + 1));
    });
    // Whatever an earlier test left, the token starts taken.
    while (g_evWorker.Wait(0)) {
    }
    g_nPackLastHour = g_nArrearsLastHour = 0;
  }
  void TearDown() override {
    g_log.SetEcho(nullptr);
    g_log.SetFolder("/nonexistent-qorvu/", "LOG_WC", false);
    g_log.SetEnv(platform::Env::Default());
    g_evWorker.Set();
    ResetSettings();
  }

  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  // The worker kinds in the order their begin lines were logged: 'U' or 'S'.
  std::string Jobs() {
    std::string jobs;
    for (const std::string& e : Entries()) {
      if (e == "***Begin MessUpdateProc") jobs += 'U';
      if (e == "***Begin MessSendProc") jobs += 'S';
    }
    return jobs;
  }

  // Hooks of a loop that ticks without sleeping: each wait moves the fake
  // clock on by its time-out, and the stop event is signalled after `ticks`
  // waits. Jobs run at once on the loop's thread; the network starts.
  RunLoopHooks FakeHooks(int ticks) {
    RunLoopHooks hooks;
    hooks.waitStop = [this, ticks](unsigned ms) {
      if (++waits_ > ticks) return 1;
      env_.Advance(ms);
      return 0;
    };
    hooks.startThread = [](std::function<void()> job) {
      job();
      return true;
    };
    hooks.initNetwork = [] { return 1; };
    return hooks;
  }

  // An application on fake facilities whose loop runs on FakeHooks(ticks).
  std::unique_ptr<CAgentApp> MakeApp(int ticks) {
    AgentAppDeps deps;
    deps.env = &env_;
    deps.registry = &registry_;
    deps.host = ServiceHostDeps{&manager_, &eventLog_, &console_, &env_};
    auto app = std::make_unique<CAgentApp>(deps);
    app->SetRunLoopHooks(FakeHooks(ticks));
    return app;
  }

  TempFolder tmp_;
  platform::FakeClockEnv env_;
  platform::FakeRegistry registry_;
  platform::FakeServiceManager manager_;
  platform::FakeEventLog eventLog_;
  platform::FakeConsole console_;
  int waits_ = 0;
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

TEST_F(RunLoopTest, UpdateEveryLoopMinuteSendAtTheOtherTicks) {
  g_nLoopMinute = 1;
  auto app = MakeApp(13);
  app->Run();
  EXPECT_EQ(Jobs(), "USSSSSUSSSSSU");
  const std::vector<std::string> e = Entries();
  ASSERT_GE(e.size(), 2u);
  EXPECT_EQ(e.front(), "Begin Running...");
  EXPECT_EQ(e.back(), "End Running!!!");
}

TEST_F(RunLoopTest, TenMinutesGiveOneUpdateInSixtyTicks) {
  g_nLoopMinute = 10;
  auto app = MakeApp(121);
  app->Run();
  const std::string jobs = Jobs();
  ASSERT_EQ(jobs.size(), 121u);
  EXPECT_EQ(jobs[0], 'U');
  EXPECT_EQ(jobs[60], 'U');
  EXPECT_EQ(jobs[120], 'U');
  EXPECT_EQ(std::count(jobs.begin(), jobs.end(), 'U'), 3);
}

TEST_F(RunLoopTest, NoWorkerBeforeTheProbeSucceeds) {
  g_nLoopMinute = 1;
  auto app = MakeApp(5);
  int probes = 0;
  RunLoopHooks hooks = FakeHooks(5);
  hooks.probe = [&probes] { return ++probes >= 3 ? 1 : 0; };  // fails at start and once more
  app->SetRunLoopHooks(hooks);
  app->Run();
  EXPECT_EQ(probes, 3);
  EXPECT_EQ(Jobs(), "USS");  // the counter did not move while probing
}

TEST_F(RunLoopTest, RealProbeReadsTheDetailSuffix) {
  EXPECT_EQ(LoadDictionarySettings(), 1);
  EXPECT_STREQ(g_szDetailSuffix, "");

  DbConnection c;
  ASSERT_TRUE(c.Open());
  ASSERT_TRUE(DbSucceeded(RunChange(
      c, "INSERT INTO qorvu.dbo.sys_dict (dcname, dcvalue) VALUES ('55', '0')")));
  EXPECT_EQ(LoadDictionarySettings(), 1);
  EXPECT_STREQ(g_szDetailSuffix, "") << "a value not beginning with 1 keeps it empty";

  ASSERT_TRUE(DbSucceeded(RunChange(c, "UPDATE qorvu.dbo.sys_dict SET dcvalue='1' WHERE dcname='55'")));
  EXPECT_EQ(LoadDictionarySettings(), 1);
  EXPECT_STREQ(g_szDetailSuffix, "_en");

  ASSERT_TRUE(SetDbSetting(g_szDsn, "NoSuchQorvuDsn"));
  EXPECT_EQ(LoadDictionarySettings(), 0);
}

TEST_F(RunLoopTest, BusyTokenSkipsTheTickAndTheJobIsNotKept) {
  g_nLoopMinute = 1;
  auto app = MakeApp(4);
  std::vector<std::function<void()>> held;
  RunLoopHooks hooks = FakeHooks(4);
  hooks.startThread = [&held](std::function<void()> job) {
    held.push_back(std::move(job));  // the worker is still "running"
    return true;
  };
  app->SetRunLoopHooks(hooks);
  app->Run();
  ASSERT_EQ(held.size(), 1u) << "ticks 2 to 4 found the token taken";
  held.front()();  // the worker ends and gives the token back
  EXPECT_TRUE(g_evWorker.Wait(0));
}

TEST_F(RunLoopTest, AThreadThatCannotStartGivesTheTokenBack) {
  g_nLoopMinute = 1;
  auto app = MakeApp(3);
  int attempts = 0;
  RunLoopHooks hooks = FakeHooks(3);
  hooks.startThread = [&attempts](std::function<void()>) {
    ++attempts;
    return false;
  };
  app->SetRunLoopHooks(hooks);
  app->Run();
  EXPECT_EQ(attempts, 3) << "every tick could take the token again";
}

TEST_F(RunLoopTest, NetworkFailureEndsTheRunWithoutBeginLine) {
  auto app = MakeApp(3);
  RunLoopHooks hooks;
  hooks.initNetwork = [] { return 0; };
  app->SetRunLoopHooks(hooks);
  app->Run();
  EXPECT_TRUE(Entries().empty());
}

struct WindowCase {
  const char* begin;
  const char* end;
  int hour, minute;
  bool open;
};

TEST(SendWindowTest, BoundsAreExclusiveAndNeverWrap) {
  const WindowCase cases[] = {
      {"08:00", "20:00", 8, 0, false},  {"08:00", "20:00", 8, 1, true},
      {"08:00", "20:00", 19, 59, true}, {"08:00", "20:00", 20, 0, false},
      {"08:00", "20:00", 3, 0, false},  {"22:00", "06:00", 23, 0, false},
      {"22:00", "06:00", 2, 0, false},  {"", "18:00", 0, 0, true},
      {"", "18:00", 17, 59, true},      {"", "18:00", 18, 0, false},
      {"06:30", "", 23, 59, true},      {"", "", 12, 0, true},
  };
  for (const WindowCase& c : cases) {
    SCOPED_TRACE(std::string(c.begin) + "-" + c.end + " at " + std::to_string(c.hour) + ":" +
                 std::to_string(c.minute));
    LocalTime now{2026, 12, 9, c.hour, c.minute, 30, 0};
    EXPECT_EQ(SendWindowOpen(c.begin, c.end, now), c.open);
  }
}

TEST_F(RunLoopTest, ClosedSendWindowSkipsSendTicksOnly) {
  g_nLoopMinute = 1;
  std::snprintf(g_szSendBegin, sizeof g_szSendBegin, "08:00");
  std::snprintf(g_szSendEnd, sizeof g_szSendEnd, "20:00");
  env_.SetLocalTime({2026, 12, 9, 7, 59, 20, 0});
  auto app = MakeApp(10);
  app->Run();
  // Ticks every 10 s from 07:59:30: updates at 07:59:30 and 08:00:30; the
  // send ticks wait for 08:01:00, the first minute after the window's start.
  EXPECT_EQ(Jobs(), "UUS");
}

// Update runs once a minute through a day; returns the admitted times "hh:mm".
std::vector<std::string> AdmissionsOverADay(const std::vector<std::uint32_t>& times, int days) {
  platform::FakeClockEnv env;
  env.SetLocalTime({2026, 12, 9, 0, 0, 5, 0});
  int lastHour = 0;
  std::vector<std::string> admitted;
  for (int minute = 0; minute < days * 24 * 60; ++minute) {
    if (xNeedUpdate(times, lastHour, 18, &env)) {
      LocalTime t = env.LocalNow();
      char text[16];
      std::snprintf(text, sizeof text, "%d %02d:%02d", t.day, t.hour, t.minute);
      admitted.push_back(text);
    }
    env.Advance(60000);
  }
  return admitted;
}

TEST(XNeedUpdateTest, EachTimeAdmitsOnceInItsHour) {
  EXPECT_EQ(AdmissionsOverADay({93000, 150000}, 1),
            (std::vector<std::string>{"9 09:30", "9 15:00"}));
  // Two times in one hour give one run; minute 59 never admits.
  EXPECT_EQ(AdmissionsOverADay({101000, 104000}, 1), (std::vector<std::string>{"9 10:10"}));
  EXPECT_EQ(AdmissionsOverADay({115900}, 1), (std::vector<std::string>{}));
}

TEST(XNeedUpdateTest, HourZeroWaitsForAnotherEntryToFireFirst) {
  // The hour mark starts at 0, the mark of hour 0: 00:10 is passed over on
  // the first day and admitted on the next, once 05:00 has fired.
  EXPECT_EQ(AdmissionsOverADay({1000, 50000}, 2),
            (std::vector<std::string>{"9 05:00", "10 00:10", "10 05:00"}));
}

TEST_F(RunLoopTest, XNeedUpdateLogsItsAdmission) {
  env_.SetLocalTime({2026, 12, 9, 9, 31, 7, 0});
  int lastHour = 80000;
  ASSERT_EQ(xNeedUpdate({93000, 150000}, lastHour, 18, &env_), 1);
  EXPECT_EQ(lastHour, 90000);
  std::string data;
  ASSERT_TRUE(env_.ReadFile(tmp_.path() + "/LOG_WC/xNeedUpdate_2026_12_09.txt", 1000, &data));
  EXPECT_EQ(data, "\r\r\n[09:31:07]18:93000(93107<80000)*");
}

// Scanners for the chain tests: each records its name.
std::vector<std::string>* g_calls = nullptr;
int Records(const char* name, int result) {
  g_calls->push_back(name);
  return result;
}
int ScanA(DbConnection&, char*, DbConnection&, int) { return Records("A", 2); }
int ScanFails(DbConnection&, char*, DbConnection&, int) { return Records("Fails", -9); }
int ScanB(DbConnection&, char*, DbConnection&, int) { return Records("B", 0); }
int ScanKind(DbConnection& first, char* work, DbConnection& second, int kind) {
  EXPECT_TRUE(first.IsOpen());
  EXPECT_TRUE(second.IsOpen());
  EXPECT_EQ(work[0], 0);
  EXPECT_EQ(work[kWorkBufferSize - 1], 0);
  g_calls->push_back("Kind" + std::to_string(kind));
  return 0;
}

TEST_F(RunLoopTest, NegativeScannerResultSkipsTheRestButNotTheEndLine) {
  std::vector<std::string> calls;
  g_calls = &calls;
  std::vector<std::uint32_t> due{80000};
  int lastHour = 0;
  const std::vector<ScannerStep> chain = {
      {"A", ScanA}, {"Kind", ScanKind, 1}, {"Kind", ScanKind, 0},
      {"Fails", ScanFails}, {"Gated", ScanB, 0, &due, &lastHour, 18}, {"B", ScanB}};
  MessUpdateProc(chain, &env_);
  EXPECT_EQ(calls, (std::vector<std::string>{"A", "Kind1", "Kind0", "Fails"}));
  EXPECT_EQ(lastHour, 0) << "the gate after the failure is not even asked";
  const std::vector<std::string> e = Entries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0], "***Begin MessUpdateProc");
  EXPECT_EQ(e[1].rfind("*****End MessUpdateProc ok!Time:", 0), 0u) << e[1];
  EXPECT_TRUE(g_evWorker.Wait(0)) << "the token is given back";

  // A gate that does not admit counts as done: the chain goes on.
  calls.clear();
  std::vector<std::uint32_t> later{230000};
  const std::vector<ScannerStep> gated = {{"Gated", ScanB, 0, &later, &lastHour, 20},
                                          {"A", ScanA}};
  MessUpdateProc(gated, &env_);
  EXPECT_EQ(calls, (std::vector<std::string>{"A"}));
  g_calls = nullptr;
}

TEST_F(RunLoopTest, WorkerWithoutDatabaseGivesTheTokenBackWithoutEndLine) {
  ASSERT_TRUE(SetDbSetting(g_szDsn, "NoSuchQorvuDsn"));
  MessUpdateProc({}, &env_);
  EXPECT_TRUE(g_evWorker.Wait(0));
  int sends = 0;
  MessSendProc([&sends](DbConnection&, char*, std::size_t) { ++sends; }, &env_);
  EXPECT_TRUE(g_evWorker.Wait(0));
  EXPECT_EQ(sends, 0);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"***Begin MessUpdateProc", "***Begin MessSendProc"}));
}

TEST_F(RunLoopTest, SendRunHandsItsConnectionAndBufferOver) {
  std::size_t seen = 0;
  MessSendProc(
      [&seen](DbConnection& c, char* work, std::size_t size) {
        EXPECT_TRUE(c.IsOpen());
        EXPECT_EQ(work[0], 0);
        seen = size;
      },
      &env_);
  EXPECT_EQ(seen, kWorkBufferSize);
  ASSERT_EQ(Entries().size(), 2u);
  EXPECT_EQ(Entries()[1].rfind("*****End MessSendProc ok!Time:", 0), 0u);
}

// A scanner that keeps its worker busy on the database until released.
std::atomic<bool> g_release{false};
std::atomic<bool> g_scanning{false};
std::atomic<bool> g_scanEnded{false};
int SlowScanner(DbConnection& first, char*, DbConnection&, int) {
  g_scanning = true;
  while (!g_release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // Still uses its connection after the stop request came in.
  DbStatement st;
  EXPECT_TRUE(st.Allocate(first));
  EXPECT_TRUE(st.Execute("SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='55'"));
  st.Free();
  g_scanEnded = true;
  return 0;
}

TEST_F(RunLoopTest, StopWaitsForARunningWorkerBeforeFreeingTheEnvironment) {
  g_nLoopMinute = 1;
  AgentAppDeps deps;
  deps.env = &env_;
  deps.registry = &registry_;
  deps.host = ServiceHostDeps{&manager_, &eventLog_, &console_, &env_};
  CAgentApp app(deps);
  app.SetScannerChain({{"Slow", SlowScanner}});
  RunLoopHooks hooks;
  hooks.initNetwork = [] { return 1; };
  hooks.waitStop = [&app](unsigned) { return app.Service().WaitStopEvent(5); };
  app.SetRunLoopHooks(hooks);  // real worker threads

  g_release = false;
  g_scanning = false;
  g_scanEnded = false;
  std::thread loop([&app] { app.Run(); });
  while (!g_scanning) std::this_thread::sleep_for(std::chrono::milliseconds(2));

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    app.Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stopped) << "Stop must not free what the worker still uses";
  EXPECT_TRUE(g_hEnv != SQL_NULL_HENV);
  g_release = true;
  stopper.join();
  loop.join();
  EXPECT_TRUE(g_scanEnded);
  EXPECT_TRUE(g_hEnv == SQL_NULL_HENV);
  const std::vector<std::string> e = Entries();
  EXPECT_EQ(e.back(), "End Running!!!");
}

// Regression: the dictionary probe uses the environment on the loop's own
// thread; a stop must not free it under a probe that is still querying.
TEST_F(RunLoopTest, StopWaitsForARunningProbeToo) {
  AgentAppDeps deps;
  deps.env = &env_;
  deps.registry = &registry_;
  deps.host = ServiceHostDeps{&manager_, &eventLog_, &console_, &env_};
  CAgentApp app(deps);
  std::atomic<bool> probing{false};
  std::atomic<bool> release{false};
  RunLoopHooks hooks;
  hooks.initNetwork = [] { return 1; };
  hooks.waitStop = [&app](unsigned) { return app.Service().WaitStopEvent(5); };
  hooks.probe = [&] {
    probing = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(g_hEnv != SQL_NULL_HENV) << "the environment is still there for the probe";
    return LoadDictionarySettings();
  };
  app.SetRunLoopHooks(hooks);

  std::thread loop([&app] { app.Run(); });
  while (!probing) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    app.Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(stopped);
  release = true;
  stopper.join();
  loop.join();
  EXPECT_TRUE(g_hEnv == SQL_NULL_HENV);

  // A second request finds the work done: it does not wait for the token the
  // first one keeps, so it never gives up on a "running" worker.
  app.Stop();
  for (const std::string& e : Entries()) EXPECT_EQ(e.find("Stop: a worker is still running"), std::string::npos);
}

TEST_F(RunLoopTest, MissingRegistryKeyEndsSilently) {
  AgentAppDeps deps;
  deps.env = &env_;
  deps.registry = &registry_;  // exists = false: no key
  deps.host = ServiceHostDeps{&manager_, &eventLog_, &console_, &env_};
  env_.SetProgramPath(tmp_.path() + "/bin/CSTessaly");
  ASSERT_TRUE(env_.CreateFolder(tmp_.path() + "/bin"));
  CAgentApp app(deps);
  char prog[] = "CSTessaly";
  char* argv[] = {prog, nullptr};
  EXPECT_FALSE(app.InitInstance(1, argv));
  std::vector<platform::FolderEntry> files;
  ASSERT_TRUE(env_.ListFolder(tmp_.path() + "/bin/LOG_WC", &files));
  EXPECT_TRUE(files.empty()) << "no log line";
  EXPECT_TRUE(manager_.calls().empty());
  EXPECT_TRUE(eventLog_.entries().empty());
  EXPECT_EQ(console_.output(), "");
}

TEST_F(RunLoopTest, StartUpReadsTheRegistryThenHandsTheCommandLineOver) {
  registry_.exists = true;
  env_.SetProgramPath(tmp_.path() + "/bin/CSTessaly");
  ASSERT_TRUE(env_.CreateFolder(tmp_.path() + "/bin"));
  // A value too long for the 32-byte data source name keeps the default.
  unsigned char dsn[shared::kRegValueSize];
  ASSERT_TRUE(shared::ScrambleRegValue(std::string(40, 'd'), 7, dsn));
  registry_.values["Item1"] = std::string(reinterpret_cast<char*>(dsn), sizeof dsn);
  unsigned char user[shared::kRegValueSize];
  ASSERT_TRUE(shared::ScrambleRegValue("courier", 8, user));
  registry_.values["Item5"] = std::string(reinterpret_cast<char*>(user), sizeof user);
  FreeDbEnvironment();

  AgentAppDeps deps;
  deps.env = &env_;
  deps.registry = &registry_;
  deps.host = ServiceHostDeps{&manager_, &eventLog_, &console_, &env_};
  CAgentApp app(deps);
  char prog[] = "CSTessaly";
  char* argv[] = {prog, nullptr};
  EXPECT_FALSE(app.InitInstance(1, argv));
  EXPECT_STREQ(g_szDsn, "qorvu");
  EXPECT_STREQ(g_szUid, "courier");
  EXPECT_STREQ(g_szPwd, "8067");
  EXPECT_TRUE(g_hEnv != SQL_NULL_HENV);
  // Without switches and outside the service manager: one event-log record.
  EXPECT_EQ(eventLog_.entries().size(), 1u);
  const std::vector<std::string> e = Entries();
  ASSERT_GE(e.size(), 4u);
  EXPECT_EQ(e[0].rfind("Registry value Item1 not used", 0), 0u) << e[0];
  EXPECT_EQ(e[1], "Try DoInit()...");
  EXPECT_EQ(e[e.size() - 2], "DoInit() OK!");
  EXPECT_EQ(e.back(), "InitInstance() ok.");
}

}  // namespace

namespace {

TEST(ScannerChainTest, TwelveScannersInTheirOrderWithTheTwoTimedOnesGated) {
  const std::vector<ScannerStep>& chain = DefaultScannerChain();
  std::vector<std::string> names;
  for (const ScannerStep& step : chain) {
    names.push_back(std::string(step.name) +
                    (std::string(step.name) == "Update_Check" ? std::to_string(step.kind) : ""));
  }
  EXPECT_EQ(names, (std::vector<std::string>{
                       "Update_Error", "Update_Bear", "Update_Sign", "Update_Take",
                       "Update_TransRsv", "Update_RecWeb", "Update_TransSend", "Update_TransPack",
                       "Update_AcArrears", "Update_TransWork", "Update_Send", "Update_Check1",
                       "Update_Check0", "Update_Check2"}));
  for (const ScannerStep& step : chain) {
    SCOPED_TRACE(step.name);
    const std::string name = step.name;
    if (name == "Update_TransPack") {
      EXPECT_EQ(step.gateTimes, &g_adwPackTimes);
      EXPECT_EQ(step.gateLastHour, &g_nPackLastHour);
      EXPECT_EQ(step.gateId, 18u);
    } else if (name == "Update_AcArrears") {
      EXPECT_EQ(step.gateTimes, &g_adwArrearsTimes);
      EXPECT_EQ(step.gateLastHour, &g_nArrearsLastHour);
      EXPECT_EQ(step.gateId, 20u);
    } else {
      EXPECT_EQ(step.gateTimes, nullptr);
    }
  }
}

}  // namespace
