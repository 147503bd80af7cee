// Writes a realistic courier database (the stand-in's schema) for the demo,
// the tests and the benchmarks: accounts, consignments in every state with
// dates relative to "now", tracking details and scans, transfer receipts and
// bags, staff, WeChat bindings and dictionary entries. Texts are GBK bytes,
// as SQL Server's narrow ODBC functions return them.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace demo_db {

struct DemoOptions {
  int accounts = 200;
  int consignments = 5000;
  std::uint32_t seed = 1;
  std::time_t now = 0;  // 0 = the current time
  bool wal = true;      // WAL journaling, as the demo runs agent and tools side by side
};

struct DemoCounts {
  int accounts = 0;
  int consignments = 0;
  int details = 0;
  int scans = 0;
  int receipts = 0;
  int bags = 0;
  int staff = 0;
  int bindings = 0;
};

// Creates (replacing) qorvu_path and, when not empty, pandel_path.
bool GenerateDemoDatabase(const std::string& qorvu_path, const std::string& pandel_path, const DemoOptions& options,
                          DemoCounts* counts, std::string* error);

// UTF-8 to GBK (code page 936); characters GBK cannot hold become "&#%u;".
std::string ToGbk(const std::string& utf8);

}  // namespace demo_db
