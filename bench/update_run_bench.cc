// One update run over a generated backlog of about 10,000 new events through
// the stand-in courier database, against the floor of the same work done
// directly through ODBC in the same run: the same main queries (every row
// fetched) and as many cp_wc_mess_set calls as the run queued. Also the peak
// resident memory of a process that does one update run, against a process
// that only connects. Targets: run time within 1.5 times the floor, peak
// memory under 16 MB.
//
//   update_run_bench [consignments]   (default 14000, about 10,000 events)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "agent/compose/mess_channel.h"
#include "agent/db/connection.h"
#include "agent/db/db_settings.h"
#include "agent/db/statement.h"
#include "agent/host/config/settings.h"
#include "agent/host/workers.h"
#include "agent/text/encoding.h"
#include "testing/odbc/standin.h"
#include "tools/demo_db/demo_db.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

bool LoadDemoModels() {
  std::ifstream in(QORVU_SOURCE_DIR "/tools/demo_config/WeChat_Mess.txt", std::ios::binary);
  const std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string gbk(utf8.size() * 2 + 1, '\0');
  std::vector<char16_t> wide(utf8.size() + 1);
  ToWide(utf8.c_str(), wide.data(), wide.size(), kCodePageUtf8);
  gbk.resize(ToGbk(wide.data(), gbk.data(), gbk.size()));
  return g_messChannel.LoadMessDefine(gbk);
}

bool Connect(const std::string& dsn) {
  return CreateDbEnvironment() && SetDbSetting(g_szDsn, dsn) && SetDbSetting(g_szUid, "sa") &&
         SetDbSetting(g_szPwd, "");
}

std::uint32_t PendingRows() {
  DbConnection c;
  if (!c.Open()) return 0;
  DbStatement st;
  std::uint32_t n = 0;
  if (st.Allocate(c) && st.Execute("SELECT COUNT(*) FROM qorvu.dbo.wc_mess WHERE nstate=0") &&
      st.BindUInt32(1, n)) {
    st.Fetch();
  }
  return n;
}

// The kind-filter and main event queries of a run: every SELECT that reads
// the courier tables (not the single-row lookups of the queue and bindings).
std::vector<std::string> MainQueries(const std::vector<std::string>& statements) {
  std::vector<std::string> out;
  for (const std::string& s : statements) {
    if (s.rfind("SELECT", 0) == 0 && s.find("wc_bind") == std::string::npos &&
        s.find("sys_dict") == std::string::npos) {
      out.push_back(s);
    }
  }
  return out;
}

// The floor: the queries with every row fetched, then `calls` queue inserts.
double Floor(const std::vector<std::string>& queries, std::uint32_t calls) {
  const Clock::time_point start = Clock::now();
  DbConnection c;
  if (!c.Open()) return -1;
  std::uint64_t rows = 0;
  for (const std::string& q : queries) {
    DbStatement st;
    if (!st.Allocate(c) || !st.Execute(q.c_str())) continue;
    char first[64];
    st.BindText(1, first);
    while (st.Fetch()) ++rows;
  }
  for (std::uint32_t i = 0; i < calls; ++i) {
    char call[256];
    std::snprintf(call, sizeof call,
                  "{?=CALL qorvu.dbo.cp_wc_mess_set(%d,%d,%d,'%s','%s','%s','%s')}", 2,
                  static_cast<int>(900000 + i), static_cast<int>(i % 200),
                  "oAAAAAAAAAAAAAAAAAAAAAAAAAA1", "",
                  "SF900001|2026-12-09|\xC9\xEE\xDB\xDA|\xD5\xC5\xC8\xFD|", "");
    std::int32_t id = -1;
    CallProcedure(c, call, id);
  }
  (void)rows;
  return Seconds(start);
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

void Restore(const standin::Installation& inst, const std::string& backup) {
  std::error_code ec;
  std::filesystem::remove(inst.qorvu_db() + "-wal", ec);
  std::filesystem::remove(inst.qorvu_db() + "-shm", ec);
  CopyFile(backup, inst.qorvu_db());
  inst.ClearStatements();
}

// Child mode: one update run (or only a connection) in a fresh process.
int Child(const std::string& mode) {
  if (!Connect(std::getenv("QORVU_BENCH_DSN"))) return 2;
  if (mode == "--child-run") {
    if (!LoadDemoModels()) return 3;
    MessUpdateProc(DefaultScannerChain(), platform::Env::Default());
  } else {
    DbConnection c;
    if (!c.Open()) return 4;
  }
  FreeDbEnvironment();
  return 0;
}

// Peak resident memory (KiB) of a child process running this program in mode.
long ChildPeakKiB(const char* self, const char* mode) {
  const pid_t pid = fork();
  if (pid == 0) {
    execl(self, self, mode, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return -1;
  }
  return usage.ru_maxrss;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]).rfind("--child", 0) == 0) return Child(argv[1]);
  const int consignments = argc > 1 ? std::atoi(argv[1]) : 14000;

  const std::string folder =
      (std::filesystem::temp_directory_path() / ("qorvu-update-bench-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(folder);
  std::string error;
  auto inst = standin::Installation::Create(folder, {}, &error);
  if (!inst || !inst->Activate(&error)) {
    std::fprintf(stderr, "update_run_bench: %s\n", error.c_str());
    return 1;
  }
  demo_db::DemoOptions options;
  options.accounts = std::max(50, consignments / 10);
  options.consignments = consignments;
  demo_db::DemoCounts counts;
  if (!demo_db::GenerateDemoDatabase(inst->qorvu_db(), inst->pandel_db(), options, &counts,
                                     &error)) {
    std::fprintf(stderr, "update_run_bench: %s\n", error.c_str());
    return 1;
  }
  const std::string backup = folder + "/qorvu.backlog.db";
  CopyFile(inst->qorvu_db(), backup);
  setenv("QORVU_BENCH_DSN", inst->dsn().c_str(), 1);

  if (!Connect(inst->dsn()) || !LoadDemoModels()) {
    std::fprintf(stderr, "update_run_bench: cannot connect or load the demo models\n");
    return 1;
  }

  std::vector<double> runs, floors;
  std::uint32_t events = 0;
  for (int round = 0; round < 3; ++round) {
    Restore(*inst, backup);
    const std::uint32_t before = PendingRows();
    const Clock::time_point start = Clock::now();
    MessUpdateProc(DefaultScannerChain(), platform::Env::Default());
    runs.push_back(Seconds(start));
    events = PendingRows() - before;
    const std::vector<std::string> queries = MainQueries(inst->Statements());

    Restore(*inst, backup);
    floors.push_back(Floor(queries, events));
  }
  Restore(*inst, backup);
  const long runKiB = ChildPeakKiB(argv[0], "--child-run");
  const long connectKiB = ChildPeakKiB(argv[0], "--child-connect");
  FreeDbEnvironment();

  const double run = Median(runs);
  const double floor = Median(floors);
  std::printf("backlog: %d consignments, %u events queued by one update run\n",
              counts.consignments, events);
  std::printf("update run:  %.3f s  (%.0f events/s)\n", run, events / run);
  std::printf("floor:       %.3f s  (same main queries + %u cp_wc_mess_set calls)\n", floor,
              events);
  std::printf("ratio run/floor: %.2f  (target <= 1.5)\n", run / floor);
  std::printf("peak memory: update run %.1f MB, connect only %.1f MB, ratio %.2f  (target < 16 MB)\n",
              runKiB / 1024.0, connectKiB / 1024.0,
              connectKiB > 0 ? static_cast<double>(runKiB) / connectKiB : 0.0);
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}
