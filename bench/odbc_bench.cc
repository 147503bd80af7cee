// Fetching 10,000 rows with bound columns and 10,000 cp_wc_mess_set calls,
// through the stand-in driver and, on a copy of the same data, through
// Debian's SQLite ODBC driver (plain SQL; the procedure becomes an INSERT).
// Both go through the unixODBC driver manager. Prints stand-in/reference
// throughput ratios at the end.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "testing/odbc/standin.h"
#include "tests/temp_folder.h"
#include "tools/demo_db/demo_db.h"

namespace {

constexpr int kRows = 10000;
constexpr const char* kReferenceDsn = "SqliteReference";

struct Setup {
  Setup();
  TempFolder folder;
  std::optional<standin::Installation> standin;
  bool ok = false;
};

Setup::Setup() {
  std::string error;
  standin::Options options;
  options.wal = true;
  standin = standin::Installation::Create(folder.path(), options, &error);
  demo_db::DemoOptions demo;
  demo.accounts = 500;
  demo.consignments = kRows + 500;
  if (!standin || !demo_db::GenerateDemoDatabase(standin->qorvu_db(), standin->pandel_db(), demo, nullptr, &error)) {
    std::fprintf(stderr, "setup: %s\n", error.c_str());
    return;
  }
  const std::string reference = folder.path() + "/reference.db";
  std::filesystem::copy_file(standin->qorvu_db(), reference);
  // The reference driver beside ours in the same private configuration.
  std::ofstream(folder.path() + "/odbcinst.ini", std::ios::app)
      << "\n[SQLite3Reference]\nDriver=" << QORVU_SQLITEODBC_DRIVER << "\n";
  std::ofstream(folder.path() + "/odbc.ini", std::ios::app)
      << "\n[" << kReferenceDsn << "]\nDriver=SQLite3Reference\nDatabase=" << reference
      << "\nStepAPI=1\nSyncPragma=NORMAL\nJournalMode=WAL\nTimeout=5000\n";
  ok = standin->Activate(&error);
}

Setup& Bench() {
  static Setup setup;
  return setup;
}

class Connection {
 public:
  explicit Connection(const std::string& dsn) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    ok_ = SQL_SUCCEEDED(SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn.c_str())), SQL_NTS, nullptr,
                                   0, nullptr, 0));
  }
  ~Connection() {
    if (ok_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  bool ok() const { return ok_; }
  SQLHDBC get() const { return dbc_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool ok_ = false;
};

void FetchRows(benchmark::State& state, const std::string& dsn, const std::string& sql) {
  if (!Bench().ok) return state.SkipWithError("setup failed");
  Connection db(dsn);
  if (!db.ok()) return state.SkipWithError("connect failed");
  SQLUINTEGER irid = 0, icid = 0, nstate = 0;
  char cnum[32], cdes[64];
  SQL_TIMESTAMP_STRUCT ddate{};
  double famount = 0;
  SQLLEN ind[7];
  for (auto _ : state) {
    SQLHSTMT s = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, db.get(), &s);
    if (!SQL_SUCCEEDED(SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS))) {
      SQLFreeHandle(SQL_HANDLE_STMT, s);
      return state.SkipWithError("query failed");
    }
    SQLBindCol(s, 1, SQL_C_ULONG, &irid, 0, &ind[0]);
    SQLBindCol(s, 2, SQL_C_ULONG, &icid, 0, &ind[1]);
    SQLBindCol(s, 3, SQL_C_CHAR, cnum, sizeof cnum, &ind[2]);
    SQLBindCol(s, 4, SQL_C_CHAR, cdes, sizeof cdes, &ind[3]);
    SQLBindCol(s, 5, SQL_C_TYPE_TIMESTAMP, &ddate, sizeof ddate, &ind[4]);
    SQLBindCol(s, 6, SQL_C_DOUBLE, &famount, 0, &ind[5]);
    SQLBindCol(s, 7, SQL_C_ULONG, &nstate, 0, &ind[6]);
    int rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(s))) ++rows;
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    if (rows != kRows) return state.SkipWithError("wrong row count");
    benchmark::DoNotOptimize(irid);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_Fetch_Standin(benchmark::State& state) {
  FetchRows(state, "QorvuStandin",
            "SELECT TOP 10000 irid,icid,cnum,cdes,ddate,famount,nstate FROM qorvu.dbo.client_rec ORDER BY irid");
}
void BM_Fetch_SqliteOdbc(benchmark::State& state) {
  FetchRows(state, kReferenceDsn, "SELECT irid,icid,cnum,cdes,ddate,famount,nstate FROM client_rec ORDER BY irid LIMIT 10000");
}

// One call as the agent makes it: a statement per call, the return value
// bound as output, the statement freed afterwards.
void Calls(benchmark::State& state, const std::string& dsn, bool procedure) {
  if (!Bench().ok) return state.SkipWithError("setup failed");
  Connection db(dsn);
  if (!db.ok()) return state.SkipWithError("connect failed");
  char text[512];
  int n = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRows; ++i, ++n) {
      SQLHSTMT s = SQL_NULL_HSTMT;
      SQLAllocHandle(SQL_HANDLE_STMT, db.get(), &s);
      SQLINTEGER iid = -1;
      SQLLEN ind = 0;
      if (procedure) {
        std::snprintf(text, sizeof text,
                      "{?=CALL qorvu.dbo.cp_wc_mess_set(%d,%d,%d,'%s','%s','%s','%s')}", 1 + n % 500, n, 6, "",
                      "oQvAbCdEfGhIjKlMnOpQrStUvWxY", "QV0100000001|Wang|2024-05-10 10:00|", "");
        SQLBindParameter(s, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &iid, 0, &ind);
      } else {
        std::snprintf(text, sizeof text,
                      "INSERT INTO wc_mess(icid,iidref,ntype,cextra,copenid,cparam,curl,nstate,ddate) "
                      "VALUES(%d,%d,%d,'%s','%s','%s','%s',0,datetime('now','localtime'))",
                      1 + n % 500, n, 6, "", "oQvAbCdEfGhIjKlMnOpQrStUvWxY", "QV0100000001|Wang|2024-05-10 10:00|", "");
      }
      const SQLRETURN rc = SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(text), SQL_NTS);
      SQLFreeHandle(SQL_HANDLE_STMT, s);
      if (!SQL_SUCCEEDED(rc) || (procedure && iid <= 0)) return state.SkipWithError("call failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

void BM_WcMessSet_Standin(benchmark::State& state) { Calls(state, "QorvuStandin", true); }
void BM_WcMessInsert_SqliteOdbc(benchmark::State& state) { Calls(state, kReferenceDsn, false); }

BENCHMARK(BM_Fetch_Standin)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Fetch_SqliteOdbc)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_WcMessSet_Standin)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WcMessInsert_SqliteOdbc)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps each benchmark's rate for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto it = run.counters.find("items_per_second");
      if (it != run.counters.end()) rates_[run.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatio(const char* what, const std::string& ours, const std::string& theirs) const {
    auto a = rates_.find(ours), b = rates_.find(theirs);
    if (a == rates_.end() || b == rates_.end() || b->second <= 0) return;
    std::printf("%s: stand-in %.0f/s, libsqliteodbc %.0f/s, ratio %.2f (target >= 0.67)\n", what, a->second,
                b->second, a->second / b->second);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  Bench();  // configures the driver manager before any ODBC call
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("rows fetched", "BM_Fetch_Standin/min_time:1.000", "BM_Fetch_SqliteOdbc/min_time:1.000");
  reporter.PrintRatio("cp_wc_mess_set calls", "BM_WcMessSet_Standin/iterations:3",
                      "BM_WcMessInsert_SqliteOdbc/iterations:3");
  benchmark::Shutdown();
  return 0;
}
