// The stand-in ODBC driver: answers the statements our programs send to the
// courier database from SQLite files. Loaded by the unixODBC driver manager.
//
// DSN keys (odbc.ini) and connection-string keys:
//   Database      the qorvu database file (the default database)
//   Pandel        the pandel database file (optional), ATTACHed as pandel
//   StatementLog  file that receives every statement text, in order
//   Faults        file with fault-injection keys, read at every connect
//   Password      when set, the password a connect must give
//   FailConnect, FailAllocStmt, InfoAllocStmt, FailExecute, FailFetch,
//   FailExecuteContaining   fault injection (see testing/odbc/standin.h)

#include <fcntl.h>
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "testing/odbc/sql_rewrite.h"
#include "testing/odbc/sqlite_schema.h"
#include "testing/odbc/standin.h"

namespace standin {
namespace {

constexpr std::string_view kPrefix = "[Qorvu][Standin]";

// ---------------------------------------------------------------- helpers

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using SqliteStmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using SqliteDb = std::unique_ptr<sqlite3, DbCloser>;

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
      reset();
      fd_ = o.release();
    }
    return *this;
  }
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

// Length of a text argument given with an ODBC length (SQL_NTS or a count).
std::string_view ArgText(const SQLCHAR* text, SQLINTEGER length) {
  if (text == nullptr) return {};
  const auto* chars = reinterpret_cast<const char*>(text);
  if (length == SQL_NTS) return std::string_view(chars);
  if (length < 0) return {};
  return std::string_view(chars, static_cast<size_t>(length));
}

// Copies text into a caller buffer of capacity bytes, always terminated when
// capacity > 0. Returns true when the whole text fit.
bool CopyOut(std::string_view text, SQLCHAR* buffer, SQLLEN capacity) {
  if (buffer == nullptr || capacity <= 0) return text.empty();
  const size_t room = static_cast<size_t>(capacity) - 1;
  const size_t n = text.size() < room ? text.size() : room;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n == text.size();
}

// ---------------------------------------------------------------- diagnostics

struct DiagRecord {
  std::string state;
  std::string message;
  SQLINTEGER native = 0;
};

enum class HandleKind : std::uint32_t { kEnv = 0x51454e56, kDbc = 0x51444243, kStmt = 0x51535453 };

struct HandleBase {
  explicit HandleBase(HandleKind k) : kind(k) {}
  HandleKind kind;
  std::vector<DiagRecord> diag;
  SQLRETURN last_rc = SQL_SUCCESS;

  void Clear() { diag.clear(); }
  SQLRETURN Fail(std::string_view state, std::string_view message, SQLRETURN rc = SQL_ERROR) {
    diag.push_back(DiagRecord{std::string(state), std::string(kPrefix) + std::string(message), 0});
    return rc;
  }
  SQLRETURN Info(std::string_view state, std::string_view message) {
    return Fail(state, message, SQL_SUCCESS_WITH_INFO);
  }
};

// ---------------------------------------------------------------- handles

struct FaultCounter {
  Trigger trigger;
  int count = 0;
  bool Next() {
    ++count;
    return trigger.nth > 0 && (count == trigger.nth || (trigger.and_later && count > trigger.nth));
  }
};

struct ConnectSettings {
  std::map<std::string, std::string> keys;  // upper-case key -> value
  std::string Get(const std::string& key) const {
    auto it = keys.find(key);
    return it == keys.end() ? std::string() : it->second;
  }
};

struct Env : HandleBase {
  Env() : HandleBase(HandleKind::kEnv) {}
  SQLINTEGER odbc_version = SQL_OV_ODBC3;
};

struct Stmt;

struct Dbc : HandleBase {
  explicit Dbc(Env* e) : HandleBase(HandleKind::kDbc), env(e) {}
  Env* env;
  SqliteDb db;
  std::string dsn;
  SQLUINTEGER login_timeout = 0;
  UniqueFd log;
  FaultCounter fail_alloc, info_alloc, fail_execute, fail_fetch;
  int alloc_count = 0;
  std::string fail_containing;
  SqliteStmt insert_mess;
  SqliteStmt set_update;
};

struct ColumnBinding {
  SQLSMALLINT type = 0;
  SQLPOINTER ptr = nullptr;
  SQLLEN length = 0;
  SQLLEN* ind = nullptr;
};

struct ParamBinding {
  SQLSMALLINT io = 0;
  SQLSMALLINT ctype = 0;
  SQLSMALLINT sqltype = 0;
  SQLPOINTER ptr = nullptr;
  SQLLEN length = 0;
  SQLLEN* ind = nullptr;
};

struct Stmt : HandleBase {
  explicit Stmt(Dbc* d) : HandleBase(HandleKind::kStmt), dbc(d) {}
  Dbc* dbc;
  SqliteStmt cursor;
  bool cursor_open = false;
  bool pending_row = false;  // the first row, stepped at execution, not yet fetched
  bool on_row = false;       // a fetched row is current
  SQLLEN row_count = -1;
  std::vector<ColumnBinding> columns;  // index = column number
  std::map<SQLUSMALLINT, ParamBinding> params;
  bool prepared = false;
  std::string prepared_text;
  Rewritten prepared_plan;
  std::vector<SQLLEN> getdata_offset;

  void CloseCursor() {
    cursor.reset();
    cursor_open = false;
    pending_row = false;
    on_row = false;
    getdata_offset.clear();
  }
};

template <typename T>
T* As(SQLHANDLE h, HandleKind kind) {
  auto* base = static_cast<HandleBase*>(h);
  if (base == nullptr || base->kind != kind) return nullptr;
  return static_cast<T*>(base);
}

// Runs the body of an exported function so that no exception crosses the
// ODBC boundary.
template <typename F>
SQLRETURN Guard(HandleBase* h, F&& body) {
  if (h == nullptr) return SQL_INVALID_HANDLE;
  try {
    h->Clear();
    h->last_rc = body();
  } catch (const std::bad_alloc&) {
    h->last_rc = h->Fail("HY001", "memory allocation failed");
  } catch (const std::exception& e) {
    h->last_rc = h->Fail("HY000", std::string("internal error: ") + e.what());
  } catch (...) {
    h->last_rc = h->Fail("HY000", "internal error");
  }
  return h->last_rc;
}

// ---------------------------------------------------------------- SQLite errors

std::string SqliteState(sqlite3* db, int rc) {
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const int primary = rc & 0xff;
  if (primary == SQLITE_CONSTRAINT) return "23000";
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return "HYT00";
  if (primary == SQLITE_NOMEM) return "HY001";
  if (message.find("no such table") != std::string::npos) return "42S02";
  if (message.find("no such column") != std::string::npos) return "42S22";
  if (message.find("already exists") != std::string::npos) return "42S01";
  if (message.find("syntax error") != std::string::npos || primary == SQLITE_ERROR) return "42000";
  return "HY000";
}

SQLRETURN FailSqlite(HandleBase* h, sqlite3* db, int rc) {
  h->Fail(SqliteState(db, rc), db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  h->diag.back().native = rc;
  return SQL_ERROR;
}

// ---------------------------------------------------------------- connect

void ParseTrigger(const std::string& text, Trigger* t) {
  *t = Trigger{};
  if (text.empty()) return;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (n <= 0 || n > std::numeric_limits<int>::max()) return;
  t->nth = static_cast<int>(n);
  t->and_later = end != nullptr && *end == '+';
}

void ParseKeyValues(std::string_view text, char separator, ConnectSettings* out) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(separator, pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = text.substr(pos, end - pos);
    const size_t eq = item.find('=');
    if (eq != std::string_view::npos) {
      std::string key(item.substr(0, eq));
      while (!key.empty() && (key.back() == ' ' || key.back() == '\r')) key.pop_back();
      while (!key.empty() && key.front() == ' ') key.erase(0, 1);
      std::string value(item.substr(eq + 1));
      while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
      for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (!key.empty()) out->keys[key] = value;
    }
    pos = end + 1;
  }
}

void ReadDsn(const std::string& dsn, ConnectSettings* out) {
  static const char* const kKeys[] = {"Database",   "Pandel",        "StatementLog", "Faults",
                                      "Password",   "FailConnect",   "FailAllocStmt", "InfoAllocStmt",
                                      "FailExecute", "FailFetch",    "FailExecuteContaining"};
  for (const char* key : kKeys) {
    char value[1024] = {};
    const int n = SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "odbc.ini");
    if (n > 0 && value[0] != '\0') {
      std::string upper(key);
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out->keys[upper] = value;
    }
  }
}

std::string QuoteSqlText(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

SQLRETURN Connect(Dbc* dbc, const std::string& dsn, ConnectSettings settings, std::string_view password) {
  if (dbc->db) return dbc->Fail("08002", "connection already open");
  const std::string faults_file = settings.Get("FAULTS");
  if (!faults_file.empty()) {
    std::ifstream in(faults_file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ConnectSettings from_file;
    ParseKeyValues(content, '\n', &from_file);
    // The connection string and DSN keys win over the file.
    for (auto& [key, value] : from_file.keys) settings.keys.emplace(key, value);
  }
  if (settings.Get("FAILCONNECT") == "1") return dbc->Fail("08001", "injected connect failure");
  const std::string expected = settings.Get("PASSWORD");
  if (!expected.empty() && expected != password) {
    return dbc->Fail("28000", "Login failed for user (wrong password)");
  }
  const std::string path = settings.Get("DATABASE");
  if (path.empty()) return dbc->Fail("08001", "data source '" + dsn + "' names no Database file");
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  SqliteDb db(raw);
  if (rc != SQLITE_OK) {
    return dbc->Fail("08001", "cannot open database " + path + ": " +
                                  (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc)));
  }
  if (!RegisterSqlServerFunctions(db.get())) return dbc->Fail("08001", "cannot register the collation");
  sqlite3_busy_timeout(db.get(), 5000);
  std::string setup = "PRAGMA synchronous=NORMAL;";
  const std::string pandel = settings.Get("PANDEL");
  if (!pandel.empty()) {
    if (::access(pandel.c_str(), R_OK | W_OK) != 0) {
      return dbc->Fail("08001", "cannot open database " + pandel + ": " + std::strerror(errno));
    }
    setup += "ATTACH DATABASE " + QuoteSqlText(pandel) + " AS pandel;";
  }
  char* message = nullptr;
  if (sqlite3_exec(db.get(), setup.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "setup failed";
    sqlite3_free(message);
    return dbc->Fail("08001", "cannot open database: " + text);
  }
  const std::string log_path = settings.Get("STATEMENTLOG");
  UniqueFd log;
  if (!log_path.empty()) {
    log = UniqueFd(::open(log_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (log.get() < 0) return dbc->Fail("08001", "cannot open statement log " + log_path);
  }
  ParseTrigger(settings.Get("FAILALLOCSTMT"), &dbc->fail_alloc.trigger);
  ParseTrigger(settings.Get("INFOALLOCSTMT"), &dbc->info_alloc.trigger);
  ParseTrigger(settings.Get("FAILEXECUTE"), &dbc->fail_execute.trigger);
  ParseTrigger(settings.Get("FAILFETCH"), &dbc->fail_fetch.trigger);
  dbc->fail_alloc.count = dbc->info_alloc.count = dbc->fail_execute.count = dbc->fail_fetch.count = 0;
  dbc->fail_containing = settings.Get("FAILEXECUTECONTAINING");
  dbc->dsn = dsn;
  dbc->log = std::move(log);
  dbc->db = std::move(db);
  return SQL_SUCCESS;
}

void Disconnect(Dbc* dbc) {
  dbc->insert_mess.reset();
  dbc->set_update.reset();
  dbc->db.reset();
  dbc->log.reset();
}

void LogStatement(Dbc* dbc, std::string_view text) {
  if (dbc->log.get() < 0) return;
  // One write per record, so that connections sharing the log never mix.
  std::string record = std::to_string(text.size()) + "\n";
  record.append(text.data(), text.size());
  record += '\n';
  size_t done = 0;
  while (done < record.size()) {
    const ssize_t n = ::write(dbc->log.get(), record.data() + done, record.size() - done);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return;
    }
    done += static_cast<size_t>(n);
  }
}

// ---------------------------------------------------------------- execution

std::string LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[32];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return std::string(text, n);
}

SQLRETURN PrepareCached(Dbc* dbc, SqliteStmt* slot, const char* sql, HandleBase* h) {
  if (*slot) {
    sqlite3_reset(slot->get());
    sqlite3_clear_bindings(slot->get());
    return SQL_SUCCESS;
  }
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(dbc->db.get(), sql, -1, &raw, nullptr);
  if (rc != SQLITE_OK) return FailSqlite(h, dbc->db.get(), rc);
  slot->reset(raw);
  return SQL_SUCCESS;
}

void BindText(sqlite3_stmt* s, int index, const std::string& text) {
  sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

SQLRETURN WriteReturnValue(Stmt* stmt, long long value) {
  ParamBinding& p = stmt->params.at(1);
  SQLLEN written = 0;
  SQLSMALLINT ctype = p.ctype;
  if (ctype == SQL_C_DEFAULT) ctype = SQL_C_SLONG;
  if (p.ptr != nullptr) {
    switch (ctype) {
      case SQL_C_SLONG:
      case SQL_C_LONG: {
        const auto v = static_cast<SQLINTEGER>(value);
        std::memcpy(p.ptr, &v, sizeof v);
        written = sizeof v;
        break;
      }
      case SQL_C_ULONG: {
        const auto v = static_cast<SQLUINTEGER>(value);
        std::memcpy(p.ptr, &v, sizeof v);
        written = sizeof v;
        break;
      }
      case SQL_C_SBIGINT: {
        const auto v = static_cast<SQLBIGINT>(value);
        std::memcpy(p.ptr, &v, sizeof v);
        written = sizeof v;
        break;
      }
      case SQL_C_DOUBLE: {
        const auto v = static_cast<double>(value);
        std::memcpy(p.ptr, &v, sizeof v);
        written = sizeof v;
        break;
      }
      case SQL_C_CHAR: {
        const std::string text = std::to_string(value);
        if (!CopyOut(text, static_cast<SQLCHAR*>(p.ptr), p.length)) {
          return stmt->Fail("22003", "the return value does not fit its buffer");
        }
        written = static_cast<SQLLEN>(text.size());
        break;
      }
      default:
        return stmt->Fail("HY003", "unsupported C type " + std::to_string(ctype) + " for the return value");
    }
  }
  if (p.ind != nullptr) *p.ind = written;
  return SQL_SUCCESS;
}

SQLRETURN RunProcedure(Stmt* stmt, const ProcedureCall& call) {
  Dbc* dbc = stmt->dbc;
  auto shape_ok = [&](std::initializer_list<bool> is_text) {
    if (call.args.size() != is_text.size()) return false;
    size_t i = 0;
    for (bool t : is_text) {
      if (call.args[i++].is_text != t) return false;
    }
    return true;
  };
  if (call.has_return) {
    // Checked before the call so that a call that cannot report leaves no row.
    auto it = stmt->params.find(1);
    if (it == stmt->params.end()) {
      return stmt->Fail("07002", "the return value (parameter 1) of {?=CALL ...} is not bound");
    }
    if (it->second.io != SQL_PARAM_OUTPUT && it->second.io != SQL_PARAM_INPUT_OUTPUT) {
      return stmt->Fail("HY105", "the return value (parameter 1) must be bound as an output parameter");
    }
  }
  long long result = 0;
  if (call.name == "cp_wc_mess_set") {
    if (!shape_ok({false, false, false, true, true, true, true})) {
      return stmt->Fail("07001",
                        "cp_wc_mess_set takes (icid, iidref, ntype, extra, openid, param, url): 3 numbers, 4 texts");
    }
    SQLRETURN rc = PrepareCached(dbc, &dbc->insert_mess,
                                 "INSERT INTO main.wc_mess(icid,iidref,ntype,cextra,copenid,cparam,curl,nstate,ddate) "
                                 "VALUES(?,?,?,?,?,?,?,0,?)",
                                 stmt);
    if (rc != SQL_SUCCESS) return rc;
    sqlite3_stmt* s = dbc->insert_mess.get();
    sqlite3_bind_int64(s, 1, call.args[0].number);
    sqlite3_bind_int64(s, 2, call.args[1].number);
    sqlite3_bind_int64(s, 3, call.args[2].number);
    BindText(s, 4, call.args[3].text);
    BindText(s, 5, call.args[4].text);
    BindText(s, 6, call.args[5].text);
    BindText(s, 7, call.args[6].text);
    BindText(s, 8, LocalNow());
    const int step = sqlite3_step(s);
    sqlite3_reset(s);
    if (step != SQLITE_DONE) return FailSqlite(stmt, dbc->db.get(), step);
    result = sqlite3_last_insert_rowid(dbc->db.get());
  } else if (call.name == "cp_sys_server_update_set") {
    if (!shape_ok({false, false, true, true})) {
      return stmt->Fail("07001",
                        "cp_sys_server_update_set takes (index, version, name, description): 2 numbers, 2 texts");
    }
    SQLRETURN rc = PrepareCached(dbc, &dbc->set_update,
                                 "INSERT INTO main.sys_server_update(ii,nn,cname,cdesc,ddate) VALUES(?,?,?,?,?) "
                                 "ON CONFLICT(ii) DO UPDATE SET nn=excluded.nn,cname=excluded.cname,"
                                 "cdesc=excluded.cdesc,ddate=excluded.ddate",
                                 stmt);
    if (rc != SQL_SUCCESS) return rc;
    sqlite3_stmt* s = dbc->set_update.get();
    sqlite3_bind_int64(s, 1, call.args[0].number);
    sqlite3_bind_int64(s, 2, call.args[1].number);
    BindText(s, 3, call.args[2].text);
    BindText(s, 4, call.args[3].text);
    BindText(s, 5, LocalNow());
    const int step = sqlite3_step(s);
    sqlite3_reset(s);
    if (step != SQLITE_DONE) return FailSqlite(stmt, dbc->db.get(), step);
  } else {
    return stmt->Fail("42000", "Could not find stored procedure '" + call.name + "' (the stand-in emulates "
                                                                                 "cp_wc_mess_set and cp_sys_server_update_set)");
  }
  stmt->row_count = 1;
  if (call.has_return) return WriteReturnValue(stmt, result);
  return SQL_SUCCESS;
}

SQLRETURN RunPlan(Stmt* stmt, const Rewritten& plan) {
  if (!plan.ok) return stmt->Fail(plan.sqlstate, plan.error);
  if (plan.is_call) return RunProcedure(stmt, plan.call);
  sqlite3* db = stmt->dbc->db.get();
  for (size_t i = 0; i < plan.statements.size(); ++i) {
    const SqliteStatement& part = plan.statements[i];
    const bool last = i + 1 == plan.statements.size();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db, part.sql.c_str(), static_cast<int>(part.sql.size()), &raw, &tail);
    SqliteStmt s(raw);
    if (rc != SQLITE_OK) return FailSqlite(stmt, db, rc);
    if (!s) continue;  // only white space
    while (tail != nullptr && *tail != '\0' && std::isspace(static_cast<unsigned char>(*tail))) ++tail;
    if (tail != nullptr && *tail != '\0') {
      return stmt->Fail("42000", "more than one statement where one was expected: " + std::string(tail));
    }
    rc = sqlite3_step(s.get());
    if (!last) {
      while (rc == SQLITE_ROW) rc = sqlite3_step(s.get());
      if (rc != SQLITE_DONE) return FailSqlite(stmt, db, rc);
      continue;
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return FailSqlite(stmt, db, rc);
    const bool dml = part.verb == Verb::kInsert || part.verb == Verb::kUpdate || part.verb == Verb::kDelete;
    if (sqlite3_column_count(s.get()) > 0 && !dml) {
      stmt->pending_row = rc == SQLITE_ROW;
      stmt->cursor = std::move(s);
      stmt->cursor_open = true;
      stmt->getdata_offset.assign(static_cast<size_t>(sqlite3_column_count(stmt->cursor.get())) + 1, 0);
      return SQL_SUCCESS;
    }
    while (rc == SQLITE_ROW) rc = sqlite3_step(s.get());
    if (rc != SQLITE_DONE) return FailSqlite(stmt, db, rc);
    if (dml) {
      stmt->row_count = sqlite3_changes(db);
      // A searched change that touches no row answers SQL_NO_DATA, as SQL
      // Server's ODBC 3 driver does.
      if (stmt->row_count == 0) return SQL_NO_DATA;
    }
  }
  return SQL_SUCCESS;
}

SQLRETURN Execute(Stmt* stmt, std::string_view text, const Rewritten& plan) {
  Dbc* dbc = stmt->dbc;
  stmt->CloseCursor();
  stmt->row_count = -1;
  if (dbc->fail_execute.Next()) return stmt->Fail("HY000", "injected execution failure");
  if (!dbc->fail_containing.empty() && text.find(dbc->fail_containing) != std::string_view::npos) {
    return stmt->Fail("HY000", "injected execution failure (statement contains '" + dbc->fail_containing + "')");
  }
  const SQLRETURN rc = RunPlan(stmt, plan);
  if (rc == SQL_ERROR) stmt->CloseCursor();
  return rc;
}

// ---------------------------------------------------------------- results

struct ColumnInfo {
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLULEN size = 255;
  SQLSMALLINT digits = 0;
};

ColumnInfo DescribeColumn(sqlite3_stmt* s, int index) {
  ColumnInfo info;
  const char* decl = sqlite3_column_decltype(s, index);
  std::string type;
  if (decl != nullptr) {
    for (const char* p = decl; *p != '\0'; ++p) type += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  if (type.empty()) {
    switch (sqlite3_column_type(s, index)) {
      case SQLITE_INTEGER: type = "INT"; break;
      case SQLITE_FLOAT: type = "FLOAT"; break;
      default: type = "VARCHAR"; break;
    }
  }
  if (type.find("INT") != std::string::npos) {
    info.sql_type = SQL_INTEGER;
    info.size = 10;
  } else if (type.find("DATE") != std::string::npos || type.find("TIME") != std::string::npos) {
    info.sql_type = SQL_TYPE_TIMESTAMP;
    info.size = 23;
    info.digits = 3;
  } else if (type.find("FLOA") != std::string::npos || type.find("REAL") != std::string::npos ||
             type.find("DOUB") != std::string::npos || type.find("MONEY") != std::string::npos ||
             type.find("NUMERIC") != std::string::npos || type.find("DECIMAL") != std::string::npos) {
    info.sql_type = SQL_DOUBLE;
    info.size = 15;
  } else {
    info.sql_type = SQL_VARCHAR;
    const size_t open = type.find('(');
    if (open != std::string::npos) {
      const long n = std::strtol(type.c_str() + open + 1, nullptr, 10);
      if (n > 0) info.size = static_cast<SQLULEN>(n);
    } else {
      info.size = 8000;
    }
  }
  return info;
}

bool IsSupportedCType(SQLSMALLINT t) {
  switch (t) {
    case SQL_C_CHAR: case SQL_C_SLONG: case SQL_C_LONG: case SQL_C_ULONG: case SQL_C_SSHORT: case SQL_C_SHORT:
    case SQL_C_USHORT: case SQL_C_SBIGINT: case SQL_C_UBIGINT: case SQL_C_DOUBLE: case SQL_C_FLOAT:
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TIMESTAMP: case SQL_C_TYPE_DATE: case SQL_C_DATE: case SQL_C_BINARY:
    case SQL_C_DEFAULT: case SQL_C_BIT: case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_TINYINT:
      return true;
    default:
      return false;
  }
}

// Reads up to width digits; false when none.
bool Digits(std::string_view s, size_t* pos, int width, int* value) {
  int v = 0, n = 0;
  while (*pos < s.size() && n < width && s[*pos] >= '0' && s[*pos] <= '9') {
    v = v * 10 + (s[*pos] - '0');
    ++*pos;
    ++n;
  }
  *value = v;
  return n > 0;
}

bool ParseTimestamp(std::string_view s, SQL_TIMESTAMP_STRUCT* ts) {
  size_t pos = 0;
  int year, month, day, hour = 0, minute = 0, second = 0, fraction = 0;
  auto sep = [&](std::string_view allowed) {
    if (pos < s.size() && allowed.find(s[pos]) != std::string_view::npos) {
      ++pos;
      return true;
    }
    return false;
  };
  if (!Digits(s, &pos, 4, &year) || !sep("-./") || !Digits(s, &pos, 2, &month) || !sep("-./") ||
      !Digits(s, &pos, 2, &day)) {
    return false;
  }
  if (sep(" T")) {
    if (!Digits(s, &pos, 2, &hour) || !sep(":") || !Digits(s, &pos, 2, &minute)) return false;
    if (sep(":")) {
      if (!Digits(s, &pos, 2, &second)) return false;
      if (sep(".")) {
        const size_t start = pos;
        int frac = 0;
        Digits(s, &pos, 9, &frac);
        for (size_t n = pos - start; n < 9; ++n) frac *= 10;
        fraction = frac;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;
      }
    }
  }
  while (pos < s.size() && s[pos] == ' ') ++pos;
  if (pos != s.size()) return false;
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 61) return false;
  ts->year = static_cast<SQLSMALLINT>(year);
  ts->month = static_cast<SQLUSMALLINT>(month);
  ts->day = static_cast<SQLUSMALLINT>(day);
  ts->hour = static_cast<SQLUSMALLINT>(hour);
  ts->minute = static_cast<SQLUSMALLINT>(minute);
  ts->second = static_cast<SQLUSMALLINT>(second);
  ts->fraction = static_cast<SQLUINTEGER>(fraction);
  return true;
}

// The column's value as a number: integer when it is one, else double.
enum class NumberKind { kInteger, kReal, kInvalid };
NumberKind ColumnNumber(sqlite3_stmt* s, int index, long long* i, double* d) {
  switch (sqlite3_column_type(s, index)) {
    case SQLITE_INTEGER:
      *i = sqlite3_column_int64(s, index);
      return NumberKind::kInteger;
    case SQLITE_FLOAT:
      *d = sqlite3_column_double(s, index);
      return NumberKind::kReal;
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
      if (text == nullptr) return NumberKind::kInvalid;
      std::string t(text);
      while (!t.empty() && t.back() == ' ') t.pop_back();
      size_t start = 0;
      while (start < t.size() && t[start] == ' ') ++start;
      if (start == t.size()) return NumberKind::kInvalid;
      char* end = nullptr;
      errno = 0;
      const long long v = std::strtoll(t.c_str() + start, &end, 10);
      if (end != nullptr && *end == '\0' && errno == 0) {
        *i = v;
        return NumberKind::kInteger;
      }
      const double dv = std::strtod(t.c_str() + start, &end);
      if (end != nullptr && *end == '\0' && std::isfinite(dv)) {
        *d = dv;
        return NumberKind::kReal;
      }
      return NumberKind::kInvalid;
    }
  }
}

template <typename T>
SQLRETURN StoreInteger(Stmt* stmt, long long value, SQLPOINTER target, SQLLEN* ind) {
  if (value < static_cast<long long>(std::numeric_limits<T>::min()) ||
      (value > 0 && static_cast<unsigned long long>(value) > static_cast<unsigned long long>(std::numeric_limits<T>::max()))) {
    return stmt->Fail("22003", "numeric value " + std::to_string(value) + " out of range for the bound C type");
  }
  const T v = static_cast<T>(value);
  if (target != nullptr) std::memcpy(target, &v, sizeof v);
  if (ind != nullptr) *ind = sizeof v;
  return SQL_SUCCESS;
}

// Converts column `index` (0-based) of the current row into a C type.
// offset carries the position of piecewise SQLGetData reads of texts.
SQLRETURN ConvertColumn(Stmt* stmt, int index, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN capacity,
                        SQLLEN* ind, SQLLEN* offset) {
  sqlite3_stmt* s = stmt->cursor.get();
  const int type = sqlite3_column_type(s, index);
  if (type == SQLITE_NULL) {
    // The bound buffer keeps what it held; only the indicator tells.
    if (ind == nullptr) return stmt->Fail("22002", "NULL value with no indicator variable");
    *ind = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  if (ctype == SQL_C_DEFAULT) {
    switch (DescribeColumn(s, index).sql_type) {
      case SQL_INTEGER: ctype = SQL_C_SLONG; break;
      case SQL_DOUBLE: ctype = SQL_C_DOUBLE; break;
      case SQL_TYPE_TIMESTAMP: ctype = SQL_C_TYPE_TIMESTAMP; break;
      default: ctype = SQL_C_CHAR; break;
    }
  }
  switch (ctype) {
    case SQL_C_CHAR:
    case SQL_C_BINARY: {
      const bool binary = ctype == SQL_C_BINARY;
      const auto* data = binary ? static_cast<const char*>(sqlite3_column_blob(s, index))
                                : reinterpret_cast<const char*>(sqlite3_column_text(s, index));
      const size_t size = static_cast<size_t>(sqlite3_column_bytes(s, index));
      std::string_view value(data != nullptr ? data : "", data != nullptr ? size : 0);
      const size_t from = offset != nullptr ? static_cast<size_t>(*offset) : 0;
      if (offset != nullptr && from > 0 && from >= value.size()) return SQL_NO_DATA;
      value.remove_prefix(from < value.size() ? from : value.size());
      if (ind != nullptr) *ind = static_cast<SQLLEN>(value.size());
      const size_t room = capacity <= 0 ? 0 : static_cast<size_t>(capacity) - (binary ? 0 : 1);
      const size_t n = value.size() < room ? value.size() : room;
      if (target != nullptr && capacity > 0) {
        std::memcpy(target, value.data(), n);
        if (!binary) static_cast<char*>(target)[n] = '\0';
      }
      if (offset != nullptr) *offset = static_cast<SQLLEN>(from + (n > 0 ? n : (value.empty() ? 1 : 0)));
      if (n < value.size()) return stmt->Info("01004", "String data, right truncated");
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE: {
      if (type != SQLITE_TEXT) return stmt->Fail("22018", "a number cannot be read as a timestamp");
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
      SQL_TIMESTAMP_STRUCT ts{};
      if (text == nullptr || !ParseTimestamp(text, &ts)) {
        return stmt->Fail("22007", std::string("Invalid datetime format: ") + (text ? text : ""));
      }
      if (ctype == SQL_C_TYPE_DATE || ctype == SQL_C_DATE) {
        SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
        if (target != nullptr) std::memcpy(target, &d, sizeof d);
        if (ind != nullptr) *ind = sizeof d;
      } else {
        if (target != nullptr) std::memcpy(target, &ts, sizeof ts);
        if (ind != nullptr) *ind = sizeof ts;
      }
      return SQL_SUCCESS;
    }
    default:
      break;
  }
  long long i = 0;
  double d = 0;
  const NumberKind kind = ColumnNumber(s, index, &i, &d);
  if (kind == NumberKind::kInvalid) {
    return stmt->Fail("22018", "Invalid character value for the target type");
  }
  if (ctype == SQL_C_DOUBLE || ctype == SQL_C_FLOAT) {
    const double v = kind == NumberKind::kInteger ? static_cast<double>(i) : d;
    if (ctype == SQL_C_DOUBLE) {
      if (target != nullptr) std::memcpy(target, &v, sizeof v);
      if (ind != nullptr) *ind = sizeof v;
    } else {
      const auto f = static_cast<float>(v);
      if (target != nullptr) std::memcpy(target, &f, sizeof f);
      if (ind != nullptr) *ind = sizeof f;
    }
    return SQL_SUCCESS;
  }
  bool fraction_lost = false;
  if (kind == NumberKind::kReal) {
    if (!(d > -9.2e18 && d < 9.2e18)) return stmt->Fail("22003", "numeric value out of range");
    i = static_cast<long long>(d);
    fraction_lost = static_cast<double>(i) != d;
  }
  SQLRETURN rc;
  switch (ctype) {
    case SQL_C_SLONG: case SQL_C_LONG: rc = StoreInteger<SQLINTEGER>(stmt, i, target, ind); break;
    case SQL_C_ULONG: rc = StoreInteger<SQLUINTEGER>(stmt, i, target, ind); break;
    case SQL_C_SSHORT: case SQL_C_SHORT: rc = StoreInteger<SQLSMALLINT>(stmt, i, target, ind); break;
    case SQL_C_USHORT: rc = StoreInteger<SQLUSMALLINT>(stmt, i, target, ind); break;
    case SQL_C_STINYINT: case SQL_C_TINYINT: rc = StoreInteger<SQLSCHAR>(stmt, i, target, ind); break;
    case SQL_C_UTINYINT: case SQL_C_BIT: rc = StoreInteger<SQLCHAR>(stmt, i, target, ind); break;
    case SQL_C_SBIGINT: rc = StoreInteger<SQLBIGINT>(stmt, i, target, ind); break;
    case SQL_C_UBIGINT: rc = StoreInteger<SQLUBIGINT>(stmt, i, target, ind); break;
    default: return stmt->Fail("HY003", "C type " + std::to_string(ctype) + " is not supported by the stand-in");
  }
  if (rc == SQL_SUCCESS && fraction_lost) return stmt->Info("01S07", "Fractional truncation");
  return rc;
}

SQLRETURN Fetch(Stmt* stmt) {
  if (!stmt->cursor_open) return stmt->Fail("24000", "Invalid cursor state: no result set");
  if (stmt->dbc->fail_fetch.Next()) return stmt->Fail("HY000", "injected fetch failure");
  sqlite3_stmt* s = stmt->cursor.get();
  if (stmt->pending_row) {
    stmt->pending_row = false;
  } else {
    if (!stmt->on_row) {
      // No row was stepped at execution, or the last one was already the end.
      stmt->on_row = false;
      return SQL_NO_DATA;
    }
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) {
      stmt->on_row = false;
      return SQL_NO_DATA;
    }
    if (rc != SQLITE_ROW) {
      stmt->on_row = false;
      return FailSqlite(stmt, stmt->dbc->db.get(), rc);
    }
  }
  stmt->on_row = true;
  std::fill(stmt->getdata_offset.begin(), stmt->getdata_offset.end(), 0);
  const int count = sqlite3_column_count(s);
  SQLRETURN result = SQL_SUCCESS;
  for (size_t col = 1; col < stmt->columns.size(); ++col) {
    const ColumnBinding& b = stmt->columns[col];
    if (b.ptr == nullptr && b.ind == nullptr) continue;
    if (static_cast<int>(col) > count) return stmt->Fail("07009", "bound column " + std::to_string(col) + " does not exist");
    const SQLRETURN rc = ConvertColumn(stmt, static_cast<int>(col) - 1, b.type, b.ptr, b.length, b.ind, nullptr);
    if (rc == SQL_ERROR) return SQL_ERROR;
    if (rc == SQL_SUCCESS_WITH_INFO) result = rc;
  }
  return result;
}

SQLRETURN NumericAttribute(SQLLEN value, SQLLEN* out) {
  if (out != nullptr) *out = value;
  return SQL_SUCCESS;
}

SQLRETURN StringAttribute(HandleBase* h, std::string_view value, SQLPOINTER out, SQLSMALLINT capacity,
                          SQLSMALLINT* length) {
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(value.size());
  if (!CopyOut(value, static_cast<SQLCHAR*>(out), capacity) && out != nullptr) {
    return h->Info("01004", "String data, right truncated");
  }
  return SQL_SUCCESS;
}

bool RequireColumn(Stmt* stmt, SQLUSMALLINT column) {
  if (!stmt->cursor_open) {
    stmt->Fail("07005", "the statement has no result set");
    return false;
  }
  if (column < 1 || column > sqlite3_column_count(stmt->cursor.get())) {
    stmt->Fail("07009", "Invalid descriptor index " + std::to_string(column));
    return false;
  }
  return true;
}

SQLRETURN InfoString(HandleBase* h, std::string_view v, SQLPOINTER out, SQLSMALLINT capacity, SQLSMALLINT* len) {
  return StringAttribute(h, v, out, capacity, len);
}

template <typename T>
SQLRETURN InfoNumber(T v, SQLPOINTER out, SQLSMALLINT* len) {
  if (out != nullptr) std::memcpy(out, &v, sizeof v);
  if (len != nullptr) *len = sizeof v;
  return SQL_SUCCESS;
}

}  // namespace
}  // namespace standin

using namespace standin;

// ==================================================================== exports

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  if (output == nullptr) return SQL_ERROR;
  *output = SQL_NULL_HANDLE;
  switch (type) {
    case SQL_HANDLE_ENV:
      try {
        *output = new Env();
        return SQL_SUCCESS;
      } catch (...) {
        return SQL_ERROR;
      }
    case SQL_HANDLE_DBC: {
      Env* env = As<Env>(input, HandleKind::kEnv);
      return Guard(env, [&]() -> SQLRETURN {
        *output = new Dbc(env);
        return SQL_SUCCESS;
      });
    }
    case SQL_HANDLE_STMT: {
      Dbc* dbc = As<Dbc>(input, HandleKind::kDbc);
      return Guard(dbc, [&]() -> SQLRETURN {
        if (!dbc->db) return dbc->Fail("08003", "Connection not open");
        const bool fail = dbc->fail_alloc.Next();
        const bool info = dbc->info_alloc.Next();
        if (fail) return dbc->Fail("HY001", "injected statement allocation failure");
        *output = new Stmt(dbc);
        if (info) return dbc->Info("01000", "injected warning at statement allocation");
        return SQL_SUCCESS;
      });
    }
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV:
      if (Env* env = As<Env>(handle, HandleKind::kEnv)) {
        delete env;
        return SQL_SUCCESS;
      }
      return SQL_INVALID_HANDLE;
    case SQL_HANDLE_DBC:
      if (Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc)) {
        Disconnect(dbc);
        delete dbc;
        return SQL_SUCCESS;
      }
      return SQL_INVALID_HANDLE;
    case SQL_HANDLE_STMT:
      if (Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt)) {
        delete stmt;
        return SQL_SUCCESS;
      }
      return SQL_INVALID_HANDLE;
    default:
      return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  if (stmt != nullptr && option == SQL_DROP) {
    delete stmt;
    return SQL_SUCCESS;
  }
  return Guard(stmt, [&]() -> SQLRETURN {
    switch (option) {
      case SQL_CLOSE: stmt->CloseCursor(); return SQL_SUCCESS;
      case SQL_UNBIND: stmt->columns.clear(); return SQL_SUCCESS;
      case SQL_RESET_PARAMS: stmt->params.clear(); return SQL_SUCCESS;
      default: return stmt->Fail("HY092", "Invalid attribute/option identifier");
    }
  });
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  Env* env = As<Env>(handle, HandleKind::kEnv);
  return Guard(env, [&]() -> SQLRETURN {
    if (attribute == SQL_ATTR_ODBC_VERSION) {
      env->odbc_version = static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
    }
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                               SQLINTEGER* length) {
  Env* env = As<Env>(handle, HandleKind::kEnv);
  return Guard(env, [&]() -> SQLRETURN {
    SQLINTEGER v = 0;
    switch (attribute) {
      case SQL_ATTR_ODBC_VERSION: v = env->odbc_version; break;
      case SQL_ATTR_CONNECTION_POOLING: v = SQL_CP_OFF; break;
      case SQL_ATTR_CP_MATCH: v = SQL_CP_STRICT_MATCH; break;
      case SQL_ATTR_OUTPUT_NTS: v = SQL_TRUE; break;
      default: return env->Fail("HY092", "Invalid attribute identifier");
    }
    if (value != nullptr) std::memcpy(value, &v, sizeof v);
    if (length != nullptr) *length = sizeof v;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                                   SQLINTEGER) {
  Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc);
  return Guard(dbc, [&]() -> SQLRETURN {
    const auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
      case SQL_ATTR_LOGIN_TIMEOUT: dbc->login_timeout = static_cast<SQLUINTEGER>(number); return SQL_SUCCESS;
      case SQL_ATTR_AUTOCOMMIT:
        if (number != SQL_AUTOCOMMIT_ON) return dbc->Fail("HYC00", "the stand-in only runs in autocommit mode");
        return SQL_SUCCESS;
      case SQL_ATTR_CONNECTION_TIMEOUT:
      case SQL_ATTR_QUIET_MODE:
      case SQL_ATTR_ACCESS_MODE:
      case SQL_ATTR_TXN_ISOLATION:
      case SQL_ATTR_PACKET_SIZE:
      case SQL_ATTR_TRACE:
      case SQL_ATTR_ODBC_CURSORS:
        return SQL_SUCCESS;
      default:
        return dbc->Fail("HY092", "Invalid attribute identifier " + std::to_string(attribute));
    }
  });
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                                   SQLINTEGER capacity, SQLINTEGER* length) {
  Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc);
  return Guard(dbc, [&]() -> SQLRETURN {
    SQLUINTEGER v = 0;
    switch (attribute) {
      case SQL_ATTR_LOGIN_TIMEOUT: v = dbc->login_timeout; break;
      case SQL_ATTR_AUTOCOMMIT: v = SQL_AUTOCOMMIT_ON; break;
      case SQL_ATTR_CONNECTION_DEAD: v = dbc->db ? SQL_CD_FALSE : SQL_CD_TRUE; break;
      case SQL_ATTR_ACCESS_MODE: v = SQL_MODE_READ_WRITE; break;
      case SQL_ATTR_CURRENT_CATALOG: {
        SQLSMALLINT n = 0;
        const SQLRETURN rc = StringAttribute(dbc, "qorvu", value, static_cast<SQLSMALLINT>(capacity < 32767 ? capacity : 32767), &n);
        if (length != nullptr) *length = n;
        return rc;
      }
      default: return dbc->Fail("HY092", "Invalid attribute identifier " + std::to_string(attribute));
    }
    if (value != nullptr) std::memcpy(value, &v, sizeof v);
    if (length != nullptr) *length = sizeof v;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* dsn, SQLSMALLINT dsn_length, SQLCHAR*,
                                            SQLSMALLINT, SQLCHAR* password, SQLSMALLINT password_length) {
  Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc);
  return Guard(dbc, [&]() -> SQLRETURN {
    const std::string name(ArgText(dsn, dsn_length));
    if (name.empty()) return dbc->Fail("IM002", "no data source name given");
    ConnectSettings settings;
    ReadDsn(name, &settings);
    return Connect(dbc, name, std::move(settings), ArgText(password, password_length));
  });
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND, SQLCHAR* in, SQLSMALLINT in_length,
                                                  SQLCHAR* out, SQLSMALLINT out_capacity, SQLSMALLINT* out_length,
                                                  SQLUSMALLINT) {
  Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc);
  return Guard(dbc, [&]() -> SQLRETURN {
    const std::string_view text = ArgText(in, in_length);
    ConnectSettings given;
    ParseKeyValues(text, ';', &given);
    const std::string name = given.Get("DSN");
    ConnectSettings settings;
    if (!name.empty()) ReadDsn(name, &settings);
    for (auto& [key, value] : given.keys) settings.keys[key] = value;
    std::string password = given.Get("PWD");
    SQLRETURN rc = Connect(dbc, name.empty() ? "(connection string)" : name, std::move(settings), password);
    if (rc != SQL_SUCCESS) return rc;
    if (out_length != nullptr) *out_length = static_cast<SQLSMALLINT>(text.size() < 32767 ? text.size() : 32767);
    if (out != nullptr && !CopyOut(text, out, out_capacity)) return dbc->Info("01004", "String data, right truncated");
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle) {
  Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc);
  return Guard(dbc, [&]() -> SQLRETURN {
    if (!dbc->db) return dbc->Fail("08003", "Connection not open");
    Disconnect(dbc);
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT) {
  auto* base = static_cast<HandleBase*>(handle);
  return Guard(base, []() -> SQLRETURN { return SQL_SUCCESS; });  // autocommit: nothing is pending
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (text == nullptr) return stmt->Fail("HY009", "Invalid use of null pointer");
    const std::string_view sql = ArgText(text, length);
    LogStatement(stmt->dbc, sql);
    stmt->prepared = false;
    return Execute(stmt, sql, RewriteStatement(sql));
  });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (text == nullptr) return stmt->Fail("HY009", "Invalid use of null pointer");
    const std::string_view sql = ArgText(text, length);
    LogStatement(stmt->dbc, sql);
    stmt->CloseCursor();
    stmt->prepared_text = std::string(sql);
    stmt->prepared_plan = RewriteStatement(sql);
    stmt->prepared = stmt->prepared_plan.ok;
    if (!stmt->prepared_plan.ok) return stmt->Fail(stmt->prepared_plan.sqlstate, stmt->prepared_plan.error);
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT handle) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (!stmt->prepared) return stmt->Fail("HY010", "Function sequence error: no prepared statement");
    return Execute(stmt, stmt->prepared_text, stmt->prepared_plan);
  });
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER target,
                                            SQLLEN capacity, SQLLEN* ind) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (column < 1) return stmt->Fail("07009", "bookmark columns are not supported");
    if (target == nullptr && ind == nullptr) {
      if (column < stmt->columns.size()) stmt->columns[column] = ColumnBinding{};
      return SQL_SUCCESS;
    }
    if (!IsSupportedCType(type)) {
      return stmt->Fail("HY003", "C type " + std::to_string(type) + " is not supported by the stand-in");
    }
    if (capacity < 0) return stmt->Fail("HY090", "Invalid string or buffer length");
    if (stmt->columns.size() <= column) stmt->columns.resize(static_cast<size_t>(column) + 1);
    stmt->columns[column] = ColumnBinding{type, target, capacity, ind};
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT io,
                                                  SQLSMALLINT ctype, SQLSMALLINT sqltype, SQLULEN, SQLSMALLINT,
                                                  SQLPOINTER target, SQLLEN capacity, SQLLEN* ind) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (number < 1) return stmt->Fail("07009", "Invalid parameter number");
    if (io != SQL_PARAM_INPUT && io != SQL_PARAM_OUTPUT && io != SQL_PARAM_INPUT_OUTPUT) {
      return stmt->Fail("HY105", "Invalid parameter type");
    }
    if (target == nullptr && ind == nullptr) return stmt->Fail("HY009", "Invalid use of null pointer");
    if (!IsSupportedCType(ctype)) {
      return stmt->Fail("HY003", "C type " + std::to_string(ctype) + " is not supported by the stand-in");
    }
    stmt->params[number] = ParamBinding{io, ctype, sqltype, target, capacity, ind};
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT handle) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN { return Fetch(stmt); });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER target,
                                            SQLLEN capacity, SQLLEN* ind) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (!RequireColumn(stmt, column)) return SQL_ERROR;
    if (!stmt->on_row) return stmt->Fail("24000", "Invalid cursor state: no current row");
    if (!IsSupportedCType(type)) {
      return stmt->Fail("HY003", "C type " + std::to_string(type) + " is not supported by the stand-in");
    }
    if (capacity < 0) return stmt->Fail("HY090", "Invalid string or buffer length");
    return ConvertColumn(stmt, column - 1, type, target, capacity, ind, &stmt->getdata_offset[column]);
  });
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (count != nullptr) *count = stmt->cursor_open ? static_cast<SQLSMALLINT>(sqlite3_column_count(stmt->cursor.get())) : 0;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT column, SQLCHAR* name,
                                                SQLSMALLINT capacity, SQLSMALLINT* name_length, SQLSMALLINT* type,
                                                SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (!RequireColumn(stmt, column)) return SQL_ERROR;
    const ColumnInfo info = DescribeColumn(stmt->cursor.get(), column - 1);
    if (type != nullptr) *type = info.sql_type;
    if (size != nullptr) *size = info.size;
    if (digits != nullptr) *digits = info.digits;
    if (nullable != nullptr) *nullable = SQL_NULLABLE_UNKNOWN;
    const char* n = sqlite3_column_name(stmt->cursor.get(), column - 1);
    return StringAttribute(stmt, n != nullptr ? n : "", name, capacity, name_length);
  });
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                                                 SQLPOINTER text, SQLSMALLINT capacity, SQLSMALLINT* length,
                                                 SQLLEN* number) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
      return NumericAttribute(stmt->cursor_open ? sqlite3_column_count(stmt->cursor.get()) : 0, number);
    }
    if (!RequireColumn(stmt, column)) return SQL_ERROR;
    sqlite3_stmt* s = stmt->cursor.get();
    const ColumnInfo info = DescribeColumn(s, column - 1);
    const char* name = sqlite3_column_name(s, column - 1);
    switch (field) {
      case SQL_DESC_NAME: case SQL_DESC_LABEL: case SQL_COLUMN_NAME: case SQL_DESC_BASE_COLUMN_NAME:
        return StringAttribute(stmt, name != nullptr ? name : "", text, capacity, length);
      case SQL_DESC_TABLE_NAME: case SQL_DESC_BASE_TABLE_NAME: {
        const char* table = sqlite3_column_table_name(s, column - 1);
        return StringAttribute(stmt, table != nullptr ? table : "", text, capacity, length);
      }
      case SQL_DESC_CATALOG_NAME: case SQL_DESC_SCHEMA_NAME:
        return StringAttribute(stmt, "", text, capacity, length);
      case SQL_DESC_TYPE_NAME: {
        const char* decl = sqlite3_column_decltype(s, column - 1);
        return StringAttribute(stmt, decl != nullptr ? decl : "", text, capacity, length);
      }
      case SQL_DESC_TYPE: case SQL_DESC_CONCISE_TYPE:
        return NumericAttribute(info.sql_type, number);
      case SQL_DESC_LENGTH: case SQL_DESC_OCTET_LENGTH: case SQL_COLUMN_LENGTH: case SQL_DESC_PRECISION:
      case SQL_COLUMN_PRECISION:
        return NumericAttribute(static_cast<SQLLEN>(info.size), number);
      case SQL_DESC_DISPLAY_SIZE:
        return NumericAttribute(static_cast<SQLLEN>(info.sql_type == SQL_DOUBLE ? 24 : info.size), number);
      case SQL_DESC_SCALE: case SQL_COLUMN_SCALE:
        return NumericAttribute(info.digits, number);
      case SQL_DESC_NULLABLE: case SQL_COLUMN_NULLABLE:
        return NumericAttribute(SQL_NULLABLE_UNKNOWN, number);
      case SQL_DESC_UNSIGNED:
        return NumericAttribute(info.sql_type == SQL_VARCHAR ? SQL_TRUE : SQL_FALSE, number);
      case SQL_DESC_AUTO_UNIQUE_VALUE: case SQL_DESC_CASE_SENSITIVE: case SQL_DESC_FIXED_PREC_SCALE:
        return NumericAttribute(SQL_FALSE, number);
      case SQL_DESC_SEARCHABLE:
        return NumericAttribute(SQL_PRED_SEARCHABLE, number);
      case SQL_DESC_UPDATABLE:
        return NumericAttribute(SQL_ATTR_READWRITE_UNKNOWN, number);
      default:
        return stmt->Fail("HY091", "Invalid descriptor field identifier " + std::to_string(field));
    }
  });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    if (count != nullptr) *count = stmt->row_count;
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT handle) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    stmt->CloseCursor();
    return SQL_NO_DATA;
  });
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  Stmt* stmt = As<Stmt>(handle, HandleKind::kStmt);
  return Guard(stmt, [&]() -> SQLRETURN {
    const auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(value));
    switch (attribute) {
      case SQL_ATTR_QUERY_TIMEOUT:
      case SQL_ATTR_NOSCAN:
      case SQL_ATTR_MAX_LENGTH:
        return SQL_SUCCESS;
      case SQL_ATTR_CURSOR_TYPE:
        return number == SQL_CURSOR_FORWARD_ONLY ? SQL_SUCCESS : stmt->Fail("HYC00", "only forward-only cursors");
      case SQL_ATTR_CONCURRENCY:
        return number == SQL_CONCUR_READ_ONLY ? SQL_SUCCESS : stmt->Fail("HYC00", "only read-only cursors");
      case SQL_ATTR_ROW_ARRAY_SIZE:
      case SQL_ROWSET_SIZE:
        return number == 1 ? SQL_SUCCESS : stmt->Fail("HYC00", "only one row per fetch");
      case SQL_ATTR_MAX_ROWS:
        return number == 0 ? SQL_SUCCESS : stmt->Fail("HYC00", "SQL_ATTR_MAX_ROWS is not supported; use TOP");
      default:
        return stmt->Fail("HYC00", "statement attribute " + std::to_string(attribute) + " is not supported");
    }
  });
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity,
                                            SQLSMALLINT* length) {
  Dbc* dbc = As<Dbc>(handle, HandleKind::kDbc);
  return Guard(dbc, [&]() -> SQLRETURN {
    switch (type) {
      case SQL_DRIVER_NAME: return InfoString(dbc, "libqorvu_standin_odbc.so", value, capacity, length);
      case SQL_DRIVER_VER: return InfoString(dbc, "01.00.0000", value, capacity, length);
      case SQL_DRIVER_ODBC_VER: return InfoString(dbc, "03.00", value, capacity, length);
      case SQL_DBMS_NAME: return InfoString(dbc, "Qorvu stand-in (SQLite)", value, capacity, length);
      case SQL_DBMS_VER: return InfoString(dbc, sqlite3_libversion(), value, capacity, length);
      case SQL_DATA_SOURCE_NAME: case SQL_SERVER_NAME: return InfoString(dbc, dbc->dsn, value, capacity, length);
      case SQL_DATABASE_NAME: return InfoString(dbc, "qorvu", value, capacity, length);
      case SQL_USER_NAME: return InfoString(dbc, "", value, capacity, length);
      case SQL_IDENTIFIER_QUOTE_CHAR: return InfoString(dbc, "\"", value, capacity, length);
      case SQL_DATA_SOURCE_READ_ONLY: return InfoString(dbc, "N", value, capacity, length);
      case SQL_GETDATA_EXTENSIONS: return InfoNumber<SQLUINTEGER>(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER, value, length);
      case SQL_CURSOR_COMMIT_BEHAVIOR: case SQL_CURSOR_ROLLBACK_BEHAVIOR:
        return InfoNumber<SQLUSMALLINT>(SQL_CB_PRESERVE, value, length);
      case SQL_TXN_CAPABLE: return InfoNumber<SQLUSMALLINT>(SQL_TC_NONE, value, length);
      case SQL_MAX_CONCURRENT_ACTIVITIES: case SQL_MAX_DRIVER_CONNECTIONS:
        return InfoNumber<SQLUSMALLINT>(0, value, length);
      case SQL_MAX_COLUMN_NAME_LEN: case SQL_MAX_TABLE_NAME_LEN: return InfoNumber<SQLUSMALLINT>(128, value, length);
      case SQL_ASYNC_MODE: return InfoNumber<SQLUINTEGER>(SQL_AM_NONE, value, length);
      case SQL_SCROLL_OPTIONS: return InfoNumber<SQLUINTEGER>(SQL_SO_FORWARD_ONLY, value, length);
      case SQL_ODBC_INTERFACE_CONFORMANCE: return InfoNumber<SQLUINTEGER>(SQL_OIC_CORE, value, length);
      default: return dbc->Fail("HY096", "Information type " + std::to_string(type) + " is not supported");
    }
  });
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                               SQLCHAR* state, SQLINTEGER* native, SQLCHAR* message,
                                               SQLSMALLINT capacity, SQLSMALLINT* length) {
  (void)type;
  auto* base = static_cast<HandleBase*>(handle);
  if (base == nullptr) return SQL_INVALID_HANDLE;
  if (record < 1 || capacity < 0) return SQL_ERROR;
  if (static_cast<size_t>(record) > base->diag.size()) return SQL_NO_DATA;
  const DiagRecord& r = base->diag[static_cast<size_t>(record) - 1];
  if (state != nullptr) CopyOut(r.state, state, 6);
  if (native != nullptr) *native = r.native;
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(r.message.size() < 32767 ? r.message.size() : 32767);
  if (message != nullptr && !CopyOut(r.message, message, capacity)) return SQL_SUCCESS_WITH_INFO;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                                 SQLSMALLINT field, SQLPOINTER info, SQLSMALLINT capacity,
                                                 SQLSMALLINT* length) {
  auto* base = static_cast<HandleBase*>(handle);
  if (base == nullptr) return SQL_INVALID_HANDLE;
  auto string_out = [&](std::string_view v) -> SQLRETURN {
    if (length != nullptr) *length = static_cast<SQLSMALLINT>(v.size());
    if (info != nullptr && !CopyOut(v, static_cast<SQLCHAR*>(info), capacity)) return SQL_SUCCESS_WITH_INFO;
    return SQL_SUCCESS;
  };
  // Header fields.
  switch (field) {
    case SQL_DIAG_NUMBER: {
      const auto n = static_cast<SQLINTEGER>(base->diag.size());
      if (info != nullptr) std::memcpy(info, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_RETURNCODE: {
      if (info != nullptr) std::memcpy(info, &base->last_rc, sizeof base->last_rc);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_COUNT:
    case SQL_DIAG_CURSOR_ROW_COUNT: {
      if (type != SQL_HANDLE_STMT) return SQL_ERROR;
      const SQLLEN n = static_cast<Stmt*>(base)->row_count;
      if (info != nullptr) std::memcpy(info, &n, sizeof n);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_DYNAMIC_FUNCTION:
      return string_out("");
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE: {
      const SQLINTEGER code = SQL_DIAG_UNKNOWN_STATEMENT;
      if (info != nullptr) std::memcpy(info, &code, sizeof code);
      return SQL_SUCCESS;
    }
    default:
      break;
  }
  if (record < 1) return SQL_ERROR;
  if (static_cast<size_t>(record) > base->diag.size()) return SQL_NO_DATA;
  const DiagRecord& r = base->diag[static_cast<size_t>(record) - 1];
  switch (field) {
    case SQL_DIAG_SQLSTATE: return string_out(r.state);
    case SQL_DIAG_MESSAGE_TEXT: return string_out(r.message);
    case SQL_DIAG_NATIVE:
      if (info != nullptr) std::memcpy(info, &r.native, sizeof r.native);
      return SQL_SUCCESS;
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return string_out(r.state.rfind("IM", 0) == 0 || r.state == "HYC00" || r.state == "01S07" ? "ODBC 3.0"
                                                                                                  : "ISO 9075");
    case SQL_DIAG_CONNECTION_NAME:
      return string_out("");
    case SQL_DIAG_SERVER_NAME:
      return string_out(type == SQL_HANDLE_DBC ? static_cast<Dbc*>(base)->dsn
                        : type == SQL_HANDLE_STMT ? static_cast<Stmt*>(base)->dbc->dsn
                                                  : std::string());
    case SQL_DIAG_COLUMN_NUMBER: {
      const SQLINTEGER v = SQL_COLUMN_NUMBER_UNKNOWN;
      if (info != nullptr) std::memcpy(info, &v, sizeof v);
      return SQL_SUCCESS;
    }
    case SQL_DIAG_ROW_NUMBER: {
      const SQLLEN v = SQL_ROW_NUMBER_UNKNOWN;
      if (info != nullptr) std::memcpy(info, &v, sizeof v);
      return SQL_SUCCESS;
    }
    default:
      return SQL_ERROR;
  }
}

}  // extern "C"
