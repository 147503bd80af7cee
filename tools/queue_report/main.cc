// qorvu_queue_report: prints how many notifications of each type the queue
// qorvu.dbo.wc_mess holds, pending and done.
//   qorvu_queue_report [DSN [USER [PASSWORD]]]   (defaults qorvu, sa, empty)
#include <cstdio>

#include "agent/db/connection.h"
#include "agent/db/db_settings.h"
#include "tools/queue_report/queue_report.h"

int main(int argc, char** argv) {
  const char* dsn = argc > 1 ? argv[1] : "qorvu";
  const char* user = argc > 2 ? argv[2] : "sa";
  const char* password = argc > 3 ? argv[3] : "";
  if (!SetDbSetting(g_szDsn, dsn) || !SetDbSetting(g_szUid, user) ||
      !SetDbSetting(g_szPwd, password)) {
    std::fprintf(stderr, "qorvu_queue_report: a setting is too long\n");
    return 2;
  }
  if (!CreateDbEnvironment()) {
    std::fprintf(stderr, "qorvu_queue_report: no ODBC environment\n");
    return 1;
  }
  int rc = 0;
  {
    DbConnection connection;
    QueueCounts counts;
    if (!connection.Open()) {
      std::fprintf(stderr, "qorvu_queue_report: cannot connect to data source %s\n", dsn);
      rc = 1;
    } else if (!ReadQueueCounts(connection, &counts)) {
      std::fprintf(stderr, "qorvu_queue_report: cannot read qorvu.dbo.wc_mess\n");
      rc = 1;
    } else {
      std::fputs(FormatQueueCounts(counts).c_str(), stdout);
    }
  }
  FreeDbEnvironment();
  return rc;
}
