// The event scanners of the update run. Each one reads the new business
// events of its kind on connection 1 and queues one notification per event
// and recipient through connection 2. The result is the number of
// notifications queued; a negative result (only where a scanner says so)
// ends the update run's chain. `work` is the run's 128000-byte buffer,
// handed on to the queue object as its response buffer.
#pragma once

class DbConnection;

// Consignment status, per express kind.
int Update_Take(DbConnection& c1, char* work, DbConnection& c2);   // type 0
int Update_Send(DbConnection& c1, char* work, DbConnection& c2);   // type 1
int Update_Sign(DbConnection& c1, char* work, DbConnection& c2);   // type 2
int Update_Error(DbConnection& c1, char* work, DbConnection& c2);  // type 3

// Transfers and accounts.
int Update_TransRsv(DbConnection& c1, char* work, DbConnection& c2);    // type 7
int Update_TransPack(DbConnection& c1, char* work, DbConnection& c2);   // type 18
int Update_TransSend(DbConnection& c1, char* work, DbConnection& c2);   // type 19
int Update_AcArrears(DbConnection& c1, char* work, DbConnection& c2);   // type 20
int Update_TransWork(DbConnection& c1, char* work, DbConnection& c2);   // type 21

// Tracking and dispatch.
int Update_RecWeb(DbConnection& c1, char* work, DbConnection& c2);  // type 12
int Update_Bear(DbConnection& c1, char* work, DbConnection& c2);    // type 16
// kind 1: departure scans (type 22), 0: arrival scans (23), 2: delivery scans (24).
int Update_Check(DbConnection& c1, char* work, DbConnection& c2, int kind);
