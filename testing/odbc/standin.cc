#include "testing/odbc/standin.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include "testing/odbc/sqlite_schema.h"

#ifndef QORVU_STANDIN_DRIVER_PATH
#error "QORVU_STANDIN_DRIVER_PATH must name the built driver"
#endif

namespace standin {
namespace {

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

bool WriteFile(const std::string& path, std::string_view content, std::string* error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) {
    SetError(error, "cannot write " + path + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

std::string TriggerText(const Trigger& t) {
  if (t.nth <= 0) return "0";
  return std::to_string(t.nth) + (t.and_later ? "+" : "");
}

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

// The driver manager caches the configuration folder, so one process keeps
// the folder it activated first.
std::string& ActivatedFolder() {
  static std::string folder;
  return folder;
}

}  // namespace

std::string_view DriverPath() { return QORVU_STANDIN_DRIVER_PATH; }

bool CreateDatabaseFile(const std::string& path, Database which, bool wal, std::string* error) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::remove((path + suffix).c_str());
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, SqliteCloser> db(raw);
  if (rc != SQLITE_OK) {
    SetError(error, "cannot create " + path + ": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
    return false;
  }
  if (!RegisterSqlServerFunctions(db.get())) {
    SetError(error, "cannot register the collation on " + path);
    return false;
  }
  std::string script = wal ? "PRAGMA journal_mode=WAL;" : "";
  script += "BEGIN;";
  script += which == Database::kQorvu ? QorvuSchemaSql() : PandelSchemaSql();
  script += "COMMIT;";
  char* message = nullptr;
  if (sqlite3_exec(db.get(), script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    SetError(error, "schema of " + path + ": " + (message ? message : "unknown error"));
    sqlite3_free(message);
    return false;
  }
  return true;
}

std::vector<std::string> ParseStatementLog(std::string_view log) {
  // Each record is "<length>\n<text>\n", so texts with line breaks survive.
  std::vector<std::string> texts;
  size_t pos = 0;
  while (pos < log.size()) {
    const size_t eol = log.find('\n', pos);
    if (eol == std::string_view::npos) break;
    size_t length = 0;
    bool valid = eol > pos;
    for (size_t i = pos; i < eol && valid; ++i) {
      const char c = log[i];
      valid = c >= '0' && c <= '9' && length < (1u << 30);
      length = length * 10 + static_cast<size_t>(c - '0');
    }
    if (!valid || eol + 1 + length > log.size()) break;
    texts.emplace_back(log.substr(eol + 1, length));
    pos = eol + 1 + length + 1;
  }
  return texts;
}

std::optional<Installation> Installation::Create(std::string_view folder, const Options& options,
                                                 std::string* error) {
  if (folder.empty() || folder.front() != '/') {
    SetError(error, "the installation folder must be an absolute path");
    return std::nullopt;
  }
  if (options.dsn.empty() || options.dsn.find_first_of("[]=;\n") != std::string::npos) {
    SetError(error, "unusable data source name");
    return std::nullopt;
  }
  Installation inst(std::string(folder), options);
  const std::string odbcinst = "[QorvuStandinDriver]\nDescription=Qorvu stand-in courier database\nDriver=" +
                               std::string(DriverPath()) + "\nThreading=0\n";
  std::string odbc = "[" + options.dsn + "]\nDriver=QorvuStandinDriver\nDescription=stand-in courier database\n";
  odbc += "Database=" + inst.qorvu_db() + "\nPandel=" + inst.pandel_db() + "\n";
  odbc += "StatementLog=" + inst.statement_log() + "\nFaults=" + inst.faults_file() + "\n";
  if (!options.password.empty()) odbc += "Password=" + options.password + "\n";
  if (!WriteFile(inst.folder_ + "/odbcinst.ini", odbcinst, error) ||
      !WriteFile(inst.folder_ + "/odbc.ini", odbc, error) || !WriteFile(inst.statement_log(), "", error) ||
      !inst.SetFaults(Faults{}, error) || !inst.ResetDatabases(error)) {
    return std::nullopt;
  }
  return inst;
}

bool Installation::Activate(std::string* error) const {
  std::string& active = ActivatedFolder();
  if (!active.empty() && active != folder_) {
    SetError(error, "this process already uses the stand-in installation in " + active);
    return false;
  }
  const std::string ini = folder_ + "/odbc.ini";
  if (::setenv("ODBCSYSINI", folder_.c_str(), 1) != 0 || ::setenv("ODBCINSTINI", "odbcinst.ini", 1) != 0 ||
      ::setenv("ODBCINI", ini.c_str(), 1) != 0) {
    SetError(error, "setenv failed");
    return false;
  }
  active = folder_;
  return true;
}

std::vector<std::string> Installation::EnvironmentForChild() const {
  return {"ODBCSYSINI=" + folder_, "ODBCINSTINI=odbcinst.ini", "ODBCINI=" + folder_ + "/odbc.ini"};
}

bool Installation::ResetDatabases(std::string* error) const {
  return CreateDatabaseFile(qorvu_db(), Database::kQorvu, options_.wal, error) &&
         CreateDatabaseFile(pandel_db(), Database::kPandel, options_.wal, error);
}

std::vector<std::string> Installation::Statements() const {
  std::ifstream in(statement_log(), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return ParseStatementLog(content.str());
}

void Installation::ClearStatements() const { WriteFile(statement_log(), "", nullptr); }

bool Installation::SetFaults(const Faults& faults, std::string* error) const {
  if (faults.fail_execute_containing.find('\n') != std::string::npos) {
    SetError(error, "FailExecuteContaining cannot hold a line break");
    return false;
  }
  std::string text = "FailConnect=" + std::string(faults.fail_connect ? "1" : "0") + "\n";
  text += "FailAllocStmt=" + TriggerText(faults.fail_alloc_stmt) + "\n";
  text += "InfoAllocStmt=" + TriggerText(faults.info_alloc_stmt) + "\n";
  text += "FailExecute=" + TriggerText(faults.fail_execute) + "\n";
  text += "FailFetch=" + TriggerText(faults.fail_fetch) + "\n";
  text += "FailExecuteContaining=" + faults.fail_execute_containing + "\n";
  return WriteFile(faults_file(), text, error);
}

}  // namespace standin
