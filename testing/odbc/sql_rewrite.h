// Turns a SQL Server statement text, as our programs send it, into SQLite
// statements, or says why it cannot. Internal to the stand-in driver.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct CallArgument {
  bool is_text = false;
  long long number = 0;
  std::string text;
};

// An ODBC call escape: {?=CALL name(args)} or {CALL name(args)}.
struct ProcedureCall {
  std::string name;  // last part of the name, lower case
  bool has_return = false;
  std::vector<CallArgument> args;
};

enum class Verb { kSelect, kInsert, kUpdate, kDelete, kOther };

struct SqliteStatement {
  std::string sql;
  Verb verb = Verb::kOther;
};

struct Rewritten {
  bool ok = false;
  std::string sqlstate;  // when !ok
  std::string error;     // when !ok
  bool is_call = false;
  ProcedureCall call;                       // when is_call
  std::vector<SqliteStatement> statements;  // otherwise, in order, none empty
};

Rewritten RewriteStatement(std::string_view text);

}  // namespace standin
