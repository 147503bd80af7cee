#include "tests/agent/db/statement_handles.h"

#include <sql.h>

#include <mutex>
#include <set>

namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::set<SQLHANDLE>& Live() {
  static std::set<SQLHANDLE> live;
  return live;
}

}  // namespace

std::size_t LiveStatementHandles() {
  std::lock_guard<std::mutex> guard(Lock());
  return Live().size();
}

extern "C" {

SQLRETURN __real_SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN __real_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle);

SQLRETURN __wrap_SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  const SQLRETURN rc = __real_SQLAllocHandle(type, input, output);
  if (type == SQL_HANDLE_STMT && output != nullptr && *output != SQL_NULL_HANDLE &&
      (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO)) {
    std::lock_guard<std::mutex> guard(Lock());
    Live().insert(*output);
  }
  return rc;
}

SQLRETURN __wrap_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  const SQLRETURN rc = __real_SQLFreeHandle(type, handle);
  if (type == SQL_HANDLE_STMT && rc == SQL_SUCCESS) {
    std::lock_guard<std::mutex> guard(Lock());
    Live().erase(handle);
  }
  return rc;
}

}  // extern "C"
