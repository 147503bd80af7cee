// Small RAII wrappers over the real unixODBC driver manager for the
// stand-in's tests, and the one stand-in installation of the test process.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <string>

#include "testing/odbc/standin.h"
#include "tests/standin_environment.h"

namespace standin_test {

// The installation every test of this process uses.
inline ::testing::Environment* const kStandinEnvironment = AddStandinEnvironment();

// "SQLSTATE:message" of the first diagnostic record of a handle.
inline std::string Diag(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {};
  SQLCHAR message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length))) return "";
  return std::string(reinterpret_cast<char*>(state)) + ":" + reinterpret_cast<char*>(message);
}

class Statement {
 public:
  explicit Statement(SQLHDBC dbc) { last_ = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h_); }
  ~Statement() {
    if (h_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, h_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLRETURN alloc_result() const { return last_; }
  SQLHSTMT get() const { return h_; }
  SQLRETURN Exec(const std::string& sql) {
    return SQLExecDirect(h_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  }
  std::string diag() const { return Diag(SQL_HANDLE_STMT, h_); }

 private:
  SQLHSTMT h_ = SQL_NULL_HSTMT;
  SQLRETURN last_;
};

class Connection {
 public:
  Connection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(20), 0);
  }
  ~Connection() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  SQLRETURN Connect(const std::string& password = "") {
    const std::string dsn = Standin().dsn();
    const SQLRETURN rc = SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn.c_str())), SQL_NTS,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>("sa")), SQL_NTS,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(password.c_str())), SQL_NTS);
    connected_ = SQL_SUCCEEDED(rc);
    return rc;
  }
  SQLRETURN DriverConnect(const std::string& text) {
    SQLCHAR out[512];
    SQLSMALLINT out_length = 0;
    const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
                                          SQL_NTS, out, sizeof out, &out_length, SQL_DRIVER_NOPROMPT);
    connected_ = SQL_SUCCEEDED(rc);
    return rc;
  }
  SQLHDBC get() const { return dbc_; }
  std::string diag() const { return Diag(SQL_HANDLE_DBC, dbc_); }

  // Runs a statement that must succeed (SQL_NO_DATA counts for changes).
  void Run(const std::string& sql) {
    Statement s(dbc_);
    const SQLRETURN rc = s.Exec(sql);
    ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << " -> " << rc << " " << s.diag();
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace standin_test
