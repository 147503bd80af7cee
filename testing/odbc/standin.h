// The stand-in courier database: an ODBC driver of our own (loaded by the
// real unixODBC driver manager) that keeps the qorvu and pandel databases in
// SQLite files. This header sets it up for a test, a tool or a benchmark.
//
// Typical use, once per process and before the process makes any ODBC call:
//
//   TempFolder folder;
//   std::string error;
//   auto standin = standin::Installation::Create(folder.path(), {}, &error);
//   ASSERT_TRUE(standin && standin->Activate(&error)) << error;
//   // SQLConnect(dbc, "QorvuStandin", ...) now reaches the stand-in;
//   // the tables of the courier schema exist and are empty.
//   standin::Faults faults;
//   faults.fail_execute = {2};                    // the 2nd execution fails
//   standin->SetFaults(faults);                   // next connections only
//   std::vector<std::string> texts = standin->Statements();
//
// What is in the folder:
//   odbcinst.ini   the driver entry (Driver = absolute path of the built .so)
//   odbc.ini       the data source: Database, Pandel, StatementLog, Faults
//   qorvu.db       the courier database (default database, "qorvu.dbo.X")
//   pandel.db      the web platform database ("pandel.dbo.X")
//   statements.log every statement text the driver received, in order
//   faults.ini     fault injection, read by the driver at every connect
//
// The unixODBC driver manager reads ODBCSYSINI once per process, so a
// process activates one installation folder; Activate() refuses a second,
// different folder. Tests that need fresh data reset the databases of that
// installation (ResetDatabases) while no connection is open.
//
// Fault injection: each trigger counts events per connection, from 1 at
// connect. {n} fires at the n-th event only, {n, true} at the n-th and every
// later one, {} (n = 0) never. The same keys can be given in a connection
// string of SQLDriverConnect ("FailExecute=2", "InfoAllocStmt=1+", ...).
//
// Errors are results: functions return false or nothing and, when given an
// error pointer, put the reason there.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Absolute path of the driver shared library this build made.
std::string_view DriverPath();

// When an injected fault fires: at the nth event (1-based), and every later
// one too when and_later is set; nth = 0 never fires.
struct Trigger {
  int nth = 0;
  bool and_later = false;
};

struct Faults {
  bool fail_connect = false;   // SQLConnect/SQLDriverConnect fail (08001)
  Trigger fail_alloc_stmt;     // SQLAllocHandle(STMT) returns SQL_ERROR (HY001)
  Trigger info_alloc_stmt;     // SQLAllocHandle(STMT) returns SQL_SUCCESS_WITH_INFO (01000)
  Trigger fail_execute;        // SQLExecDirect/SQLExecute returns SQL_ERROR (HY000)
  Trigger fail_fetch;          // SQLFetch returns SQL_ERROR (HY000)
  // Every execution whose statement text contains this (byte for byte)
  // fails with SQL_ERROR (HY000); empty = off.
  std::string fail_execute_containing;
};

struct Options {
  std::string dsn = "QorvuStandin";  // data source name written to odbc.ini
  std::string password;              // when not empty, connects must give it (else 28000)
  bool wal = false;                  // create the databases in WAL journal mode
};

class Installation {
 public:
  // Writes odbcinst.ini, odbc.ini, an empty statement log and no faults into
  // folder (which must exist), and creates qorvu.db and pandel.db with the
  // courier schema (replacing existing files).
  static std::optional<Installation> Create(std::string_view folder, const Options& options,
                                            std::string* error = nullptr);

  // Sets ODBCSYSINI, ODBCINSTINI and ODBCINI of this process so that the
  // driver manager finds this installation. Call before the first ODBC call.
  bool Activate(std::string* error = nullptr) const;

  // Environment assignments ("ODBCSYSINI=...") for a child process, e.g. isql.
  std::vector<std::string> EnvironmentForChild() const;

  // Replaces both database files by empty ones with the schema.
  bool ResetDatabases(std::string* error = nullptr) const;

  // Every statement text received since creation or the last clear, in order.
  std::vector<std::string> Statements() const;
  void ClearStatements() const;

  // Replaces the fault settings; connections made afterwards use them.
  bool SetFaults(const Faults& faults, std::string* error = nullptr) const;
  bool ClearFaults(std::string* error = nullptr) const { return SetFaults(Faults{}, error); }

  const std::string& folder() const { return folder_; }
  const std::string& dsn() const { return options_.dsn; }
  const std::string& password() const { return options_.password; }
  std::string qorvu_db() const { return folder_ + "/qorvu.db"; }
  std::string pandel_db() const { return folder_ + "/pandel.db"; }
  std::string statement_log() const { return folder_ + "/statements.log"; }
  std::string faults_file() const { return folder_ + "/faults.ini"; }

 private:
  Installation(std::string folder, Options options)
      : folder_(std::move(folder)), options_(std::move(options)) {}
  std::string folder_;
  Options options_;
};

// Which of the two databases a schema belongs to.
enum class Database { kQorvu, kPandel };

// Creates (or replaces) one database file with its schema. Used by the
// installation and by the demo data generator.
bool CreateDatabaseFile(const std::string& path, Database which, bool wal, std::string* error = nullptr);

// Parses one statement log (as written by the driver) into its texts.
std::vector<std::string> ParseStatementLog(std::string_view log);

}  // namespace standin
