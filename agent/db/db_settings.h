// The process-wide ODBC environment and the connection settings that every
// connection of the agent uses. Start-up fills them before any worker runs;
// afterwards they are only read.
#pragma once

#include <sql.h>

#include <cstddef>
#include <cstring>
#include <string_view>

// Each setting holds what one registry value can give: a 128-byte read, so at
// most 127 characters and the terminating zero.
inline constexpr std::size_t kDbSettingSize = 128;

extern SQLHENV g_hEnv;               // ODBC 3 environment; null until created
extern char g_szDsn[kDbSettingSize];  // data source name, NUL-terminated
extern char g_szUid[kDbSettingSize];  // database user name, NUL-terminated
extern char g_szPwd[kDbSettingSize];  // database password, NUL-terminated

// Allocates g_hEnv and sets it to ODBC version 3. True when it exists
// afterwards (also when it already existed); on failure g_hEnv stays null.
bool CreateDbEnvironment();
// Frees g_hEnv (no connection may be open on it) and sets it to null.
void FreeDbEnvironment();

// Copies value into one of the settings above. A value that does not fit
// (or holds a zero byte) is refused and the setting keeps its text.
template <std::size_t N>
bool SetDbSetting(char (&setting)[N], std::string_view value) {
  if (value.size() >= N || value.find('\0') != std::string_view::npos) return false;
  std::memcpy(setting, value.data(), value.size());
  setting[value.size()] = '\0';
  return true;
}
