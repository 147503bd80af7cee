// The agent's database environment and settings pointed at the stand-in of
// the test program (tests/standin_environment.h).
#pragma once

#include "agent/db/db_settings.h"
#include "tests/standin_environment.h"

namespace standin_test {

// Creates the agent's ODBC environment (when it does not exist) and sets its
// data source, user and password to reach the stand-in. False when one of
// them fails.
inline bool PointAgentAtStandin() {
  return CreateDbEnvironment() && SetDbSetting(g_szDsn, Standin().dsn()) &&
         SetDbSetting(g_szUid, "sa") && SetDbSetting(g_szPwd, "");
}

}  // namespace standin_test
