// One statement on a connection: allocated for exactly one statement text,
// freed when the object goes away (or earlier, when executing fails).
// Results are judged by ODBC return codes only; no diagnostic records are read.
//
// A query:
//   DbStatement st;
//   if (!st.Allocate(conn) || !st.Execute(sql)) return 0;
//   st.BindUInt32(1, id); st.BindText(2, name);
//   while (st.Fetch()) { ... }
#pragma once

#include <sql.h>

#include <cstddef>
#include <cstdint>
#include <map>

#include "agent/db/connection.h"

// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool DbSucceeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

class DbStatement {
 public:
  DbStatement() = default;
  ~DbStatement() { Free(); }
  DbStatement(DbStatement&& other) noexcept;
  DbStatement& operator=(DbStatement&& other) noexcept;
  DbStatement(const DbStatement&) = delete;
  DbStatement& operator=(const DbStatement&) = delete;

  // Allocates the statement on an open connection. Only plain SQL_SUCCESS
  // counts: success with info is a failure, and any handle given back then is
  // freed at once.
  bool Allocate(const DbConnection& connection);
  // Executes the NUL-terminated text directly. True on success or success
  // with info; any other result frees the statement. A statement runs one
  // text only: a second call is refused.
  bool Execute(const char* text);

  // Bind result column `column` (from 1, in select-list order) to a buffer
  // of the caller that must outlive the statement. Each column gets its own
  // length/indicator. A NULL value leaves the buffer unchanged; a text
  // longer than its buffer arrives cut, with its terminating zero.
  template <std::size_t N>
  bool BindText(SQLUSMALLINT column, char (&buffer)[N]) {
    return BindTextBuffer(column, buffer, N);
  }
  // Binds only the first `size` bytes of the buffer (size 1..N).
  template <std::size_t N>
  bool BindText(SQLUSMALLINT column, char (&buffer)[N], std::size_t size) {
    return size <= N && BindTextBuffer(column, buffer, size);
  }
  bool BindUInt32(SQLUSMALLINT column, std::uint32_t& value);
  bool BindInt32(SQLUSMALLINT column, std::int32_t& value);
  bool BindDouble(SQLUSMALLINT column, double& value);
  bool BindTimestamp(SQLUSMALLINT column, SQL_TIMESTAMP_STRUCT& value);

  // Binds a procedure's return value ("{?=CALL ...}") as output parameter 1;
  // call before Execute. The driver writes it when the call returns a value;
  // ReturnValueIsNull() tells when it did not.
  bool BindReturnValue(std::int32_t& value);

  // Fetches the next row into the bound buffers. True for a row (also one
  // that arrived with info, such as a cut text); false at the end of the
  // rows (LastResult() == SQL_NO_DATA) or on an error.
  bool Fetch();

  // Frees the statement; does nothing when there is none.
  void Free();

  bool IsAllocated() const { return stmt_ != SQL_NULL_HSTMT; }
  SQLHSTMT Handle() const { return stmt_; }
  // Return code of the last ODBC call made through this object;
  // SQL_INVALID_HANDLE when a call was refused for want of a statement.
  SQLRETURN LastResult() const { return last_; }
  // Length/indicator of a bound column after the last fetch (SQL_NULL_DATA
  // for a NULL value); SQL_NULL_DATA also for a column that is not bound.
  SQLLEN Indicator(SQLUSMALLINT column) const;
  // True when no return value arrived through BindReturnValue.
  bool ReturnValueIsNull() const;

 private:
  bool BindTextBuffer(SQLUSMALLINT column, char* buffer, std::size_t size);
  bool BindColumn(SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER buffer, SQLLEN size);

  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  SQLRETURN last_ = SQL_INVALID_HANDLE;
  bool executed_ = false;
  // The driver keeps the addresses of these until the statement is freed;
  // map nodes never move, also when the statement object is moved.
  std::map<SQLUSMALLINT, SQLLEN> indicators_;
  std::map<SQLUSMALLINT, SQLLEN> parameterIndicators_;
};

// Runs a change (an update or a procedure call without return value) on its
// own statement, which is freed before returning. Returns the execute result
// for the caller to judge, or SQL_ERROR when no statement could be allocated.
SQLRETURN RunChange(const DbConnection& connection, const char* text);

// Calls a procedure through "{?=CALL ...}" with returnValue bound as output
// parameter 1, then frees the statement. Preset returnValue: it keeps that
// value when the call fails or the procedure returns nothing. Returns the
// execute result, or SQL_ERROR when no statement could be allocated or bound.
SQLRETURN CallProcedure(const DbConnection& connection, const char* text,
                        std::int32_t& returnValue);
