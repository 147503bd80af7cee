#include "agent/db/connection.h"

#include <sqlext.h>

#include <cstring>
#include <utility>

#include "agent/db/db_settings.h"

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

SQLCHAR* AsSqlText(char* text) { return reinterpret_cast<SQLCHAR*>(text); }

// The manager reads the settings up to their zero; one written without it
// must not send it reading past the buffer.
template <std::size_t N>
bool Terminated(const char (&setting)[N]) {
  return std::memchr(setting, '\0', N) != nullptr;
}

}  // namespace

DbConnection::DbConnection(DbConnection&& other) noexcept
    : dbc_(std::exchange(other.dbc_, SQLHDBC{})) {}

DbConnection& DbConnection::operator=(DbConnection&& other) noexcept {
  if (this != &other) {
    Close();
    dbc_ = std::exchange(other.dbc_, SQLHDBC{});
  }
  return *this;
}

bool DbConnection::Open() {
  Close();
  if (g_hEnv == SQL_NULL_HENV) return false;
  if (!Terminated(g_szDsn) || !Terminated(g_szUid) || !Terminated(g_szPwd)) return false;
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, g_hEnv, &dbc)) || dbc == SQL_NULL_HDBC) {
    return false;
  }
  // A driver that cannot honour the time-out still connects; its result does
  // not decide anything.
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), SQL_IS_UINTEGER);
  if (!Succeeded(SQLConnect(dbc, AsSqlText(g_szDsn), SQL_NTS, AsSqlText(g_szUid), SQL_NTS,
                            AsSqlText(g_szPwd), SQL_NTS))) {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return false;
  }
  dbc_ = dbc;
  return true;
}

void DbConnection::Close() {
  if (dbc_ == SQL_NULL_HDBC) return;
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  dbc_ = SQL_NULL_HDBC;
}
