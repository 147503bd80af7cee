// The process-wide ODBC environment and the connection settings that every
// connection of the agent uses. Start-up fills them before any worker runs;
// afterwards they are only read.
#pragma once

#include <sql.h>

#include <cstddef>
#include <cstring>
#include <string_view>

// Sizes of the settings, terminating zero included. The update program keeps
// the same limits, so a longer registry value keeps the default (start-up
// logs it) rather than being cut into a wrong login.
inline constexpr std::size_t kDsnSize = 32;
inline constexpr std::size_t kUidSize = 32;
inline constexpr std::size_t kPwdSize = 64;

extern SQLHENV g_hEnv;         // ODBC 3 environment; null until created
extern char g_szDsn[kDsnSize];  // data source name, NUL-terminated
extern char g_szUid[kUidSize];  // database user name, NUL-terminated
extern char g_szPwd[kPwdSize];  // database password, NUL-terminated

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
