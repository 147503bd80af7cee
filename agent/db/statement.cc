#include "agent/db/statement.h"

#include <sqlext.h>

#include <utility>

namespace {

// A procedure that reports row counts hands its output parameters over only
// once its results are consumed; a bound keeps a misbehaving driver from
// holding us forever.
constexpr int kMaxResultsDrained = 64;

static_assert(sizeof(std::uint32_t) == sizeof(SQLUINTEGER), "SQL_C_ULONG is 32 bits here");
static_assert(sizeof(std::int32_t) == sizeof(SQLINTEGER), "SQL_C_SLONG is 32 bits here");
static_assert(sizeof(SQL_TIMESTAMP_STRUCT) == 16, "timestamp record of 16 bytes");

}  // namespace

DbStatement::DbStatement(DbStatement&& other) noexcept
    : stmt_(std::exchange(other.stmt_, SQLHSTMT{})),
      last_(std::exchange(other.last_, SQL_INVALID_HANDLE)),
      executed_(std::exchange(other.executed_, false)),
      indicators_(std::move(other.indicators_)),
      parameterIndicators_(std::move(other.parameterIndicators_)) {
  other.indicators_.clear();
  other.parameterIndicators_.clear();
}

DbStatement& DbStatement::operator=(DbStatement&& other) noexcept {
  if (this != &other) {
    Free();
    stmt_ = std::exchange(other.stmt_, SQLHSTMT{});
    last_ = std::exchange(other.last_, SQL_INVALID_HANDLE);
    executed_ = std::exchange(other.executed_, false);
    indicators_ = std::move(other.indicators_);
    parameterIndicators_ = std::move(other.parameterIndicators_);
    other.indicators_.clear();
    other.parameterIndicators_.clear();
  }
  return *this;
}

bool DbStatement::Allocate(const DbConnection& connection) {
  Free();
  indicators_.clear();
  parameterIndicators_.clear();
  if (!connection.IsOpen()) {
    last_ = SQL_INVALID_HANDLE;
    return false;
  }
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  last_ = SQLAllocHandle(SQL_HANDLE_STMT, connection.Handle(), &stmt);
  if (last_ != SQL_SUCCESS) {
    // Success with info still hands out a live handle that nobody else frees.
    if (last_ == SQL_SUCCESS_WITH_INFO && stmt != SQL_NULL_HSTMT) {
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    return false;
  }
  if (stmt == SQL_NULL_HSTMT) {
    last_ = SQL_INVALID_HANDLE;
    return false;
  }
  stmt_ = stmt;
  return true;
}

bool DbStatement::Execute(const char* text) {
  if (stmt_ == SQL_NULL_HSTMT || executed_ || text == nullptr) {
    last_ = stmt_ == SQL_NULL_HSTMT ? SQL_INVALID_HANDLE : SQL_ERROR;
    return false;
  }
  executed_ = true;
  last_ = SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)), SQL_NTS);
  if (DbSucceeded(last_)) return true;
  const SQLRETURN failed = last_;
  Free();
  last_ = failed;
  return false;
}

bool DbStatement::BindColumn(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER buffer,
                             SQLLEN size) {
  if (stmt_ == SQL_NULL_HSTMT) {
    last_ = SQL_INVALID_HANDLE;
    return false;
  }
  if (column == 0) {  // the bookmark column is never used
    last_ = SQL_ERROR;
    return false;
  }
  SQLLEN& indicator = indicators_[column];
  indicator = SQL_NULL_DATA;
  last_ = SQLBindCol(stmt_, column, cType, buffer, size, &indicator);
  return DbSucceeded(last_);
}

bool DbStatement::BindTextBuffer(SQLUSMALLINT column, char* buffer, std::size_t size) {
  if (size == 0) {
    last_ = SQL_ERROR;
    return false;
  }
  return BindColumn(column, SQL_C_CHAR, buffer, static_cast<SQLLEN>(size));
}

bool DbStatement::BindUInt32(SQLUSMALLINT column, std::uint32_t& value) {
  return BindColumn(column, SQL_C_ULONG, &value, 0);
}

bool DbStatement::BindInt32(SQLUSMALLINT column, std::int32_t& value) {
  return BindColumn(column, SQL_C_SLONG, &value, 0);
}

bool DbStatement::BindDouble(SQLUSMALLINT column, double& value) {
  return BindColumn(column, SQL_C_DOUBLE, &value, 0);
}

bool DbStatement::BindTimestamp(SQLUSMALLINT column, SQL_TIMESTAMP_STRUCT& value) {
  return BindColumn(column, SQL_C_TYPE_TIMESTAMP, &value, 0);
}

bool DbStatement::BindReturnValue(std::int32_t& value) {
  if (stmt_ == SQL_NULL_HSTMT) {
    last_ = SQL_INVALID_HANDLE;
    return false;
  }
  SQLLEN& indicator = parameterIndicators_[1];
  indicator = SQL_NULL_DATA;
  last_ = SQLBindParameter(stmt_, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &value, 0,
                           &indicator);
  return DbSucceeded(last_);
}

bool DbStatement::Fetch() {
  if (stmt_ == SQL_NULL_HSTMT) {
    last_ = SQL_INVALID_HANDLE;
    return false;
  }
  last_ = SQLFetch(stmt_);
  return DbSucceeded(last_);
}

void DbStatement::Free() {
  if (stmt_ != SQL_NULL_HSTMT) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
  }
  executed_ = false;
  // Indicators stay readable after freeing: a return value is read then.
}

SQLLEN DbStatement::Indicator(SQLUSMALLINT column) const {
  const auto it = indicators_.find(column);
  return it == indicators_.end() ? SQL_NULL_DATA : it->second;
}

bool DbStatement::ReturnValueIsNull() const {
  const auto it = parameterIndicators_.find(1);
  return it == parameterIndicators_.end() || it->second == SQL_NULL_DATA;
}

SQLRETURN RunChange(const DbConnection& connection, const char* text) {
  DbStatement statement;
  if (!statement.Allocate(connection)) return SQL_ERROR;
  statement.Execute(text);
  return statement.LastResult();
}

SQLRETURN CallProcedure(const DbConnection& connection, const char* text,
                        std::int32_t& returnValue) {
  DbStatement statement;
  if (!statement.Allocate(connection)) return SQL_ERROR;
  std::int32_t value = returnValue;
  if (!statement.BindReturnValue(value)) return SQL_ERROR;
  if (!statement.Execute(text)) return statement.LastResult();
  const SQLRETURN executed = statement.LastResult();
  for (int i = 0; i < kMaxResultsDrained; ++i) {
    if (!DbSucceeded(SQLMoreResults(statement.Handle()))) break;
  }
  statement.Free();
  if (!statement.ReturnValueIsNull()) returnValue = value;
  return executed;
}
