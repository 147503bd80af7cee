// The consignment status scanners: entered, sent, signed for, in error.
#include "agent/scanners/scanners.h"

#include "agent/db/connection.h"
#include "agent/scanners/scan_common.h"

int Update_Take(DbConnection&, char*, DbConnection&) { return 0; }
int Update_Send(DbConnection&, char*, DbConnection&) { return 0; }
int Update_Sign(DbConnection&, char*, DbConnection&) { return 0; }
int Update_Error(DbConnection&, char*, DbConnection&) { return 0; }
