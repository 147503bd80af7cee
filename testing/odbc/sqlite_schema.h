// The courier schema in SQLite form and the SQL Server behaviour the schema
// relies on (a case- and trailing-space-insensitive collation, LEN). Shared
// by the stand-in driver, its installation helper and the demo generator.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace standin {

// Name of the collation every text column of the schema uses.
inline constexpr std::string_view kTextCollation = "QNOCASE";

// Registers the collation QNOCASE and the function qorvu_len on a connection.
// Every connection that reads or writes the schema needs them.
bool RegisterSqlServerFunctions(sqlite3* db);

// The CREATE statements of the qorvu and the pandel database.
std::string_view QorvuSchemaSql();
std::string_view PandelSchemaSql();

// Compares as SQL Server's case-insensitive collations do for our data:
// ASCII letters without case, trailing spaces ignored, GBK double-byte
// characters byte for byte. Returns <0, 0 or >0.
int CompareNoCase(std::string_view a, std::string_view b);

// Characters of a GBK text without its trailing spaces (SQL Server's LEN).
long long GbkLength(std::string_view text);

}  // namespace standin
