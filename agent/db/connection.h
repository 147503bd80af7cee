// One connection to the courier database, opened with the process-wide
// settings and closed (disconnected and freed) when the object goes away.
// A connection belongs to the worker thread that opened it.
#pragma once

#include <sql.h>

class DbConnection {
 public:
  // Login time-out of every connection, in seconds.
  static constexpr SQLULEN kLoginTimeoutSeconds = 20;

  DbConnection() = default;
  ~DbConnection() { Close(); }
  DbConnection(DbConnection&& other) noexcept;
  DbConnection& operator=(DbConnection&& other) noexcept;
  DbConnection(const DbConnection&) = delete;
  DbConnection& operator=(const DbConnection&) = delete;

  // Allocates a connection from g_hEnv and connects with g_szDsn, g_szUid and
  // g_szPwd. An open connection is closed first. False (and nothing kept)
  // when there is no environment, a setting lacks its terminating zero, or
  // the allocation or connect fails.
  bool Open();
  // Disconnects and frees; does nothing when not open.
  void Close();

  bool IsOpen() const { return dbc_ != SQL_NULL_HDBC; }
  SQLHDBC Handle() const { return dbc_; }

 private:
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};
