#include "agent/db/db_settings.h"

#include <sqlext.h>

SQLHENV g_hEnv = SQL_NULL_HENV;
char g_szDsn[kDsnSize] = {};
char g_szUid[kUidSize] = {};
char g_szPwd[kPwdSize] = {};

namespace {

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace

bool CreateDbEnvironment() {
  if (g_hEnv != SQL_NULL_HENV) return true;
  SQLHENV env = SQL_NULL_HENV;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)) || env == SQL_NULL_HENV) {
    return false;
  }
  // The version must be set before any connection is allocated from it.
  if (!Succeeded(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)),
                               0))) {
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return false;
  }
  g_hEnv = env;
  return true;
}

void FreeDbEnvironment() {
  if (g_hEnv == SQL_NULL_HENV) return;
  SQLFreeHandle(SQL_HANDLE_ENV, g_hEnv);
  g_hEnv = SQL_NULL_HENV;
}
