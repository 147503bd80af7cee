// qorvu_demo_db: writes a demo courier database for the stand-in driver.
//   qorvu_demo_db QORVU.db [PANDEL.db] [--accounts N] [--consignments N] [--seed N] [--no-wal]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/demo_db/demo_db.h"

namespace {

bool ParseCount(const char* text, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 0 || v > 10000000) return false;
  *out = static_cast<int>(v);
  return true;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qorvu_demo_db QORVU.db [PANDEL.db] [--accounts N] [--consignments N] [--seed N] [--no-wal]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  demo_db::DemoOptions options;
  std::string qorvu, pandel;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    int value = 0;
    if (arg == "--no-wal") {
      options.wal = false;
    } else if ((arg == "--accounts" || arg == "--consignments" || arg == "--seed") && i + 1 < argc) {
      if (!ParseCount(argv[++i], &value)) return Usage();
      if (arg == "--accounts") options.accounts = value > 0 ? value : 1;
      if (arg == "--consignments") options.consignments = value;
      if (arg == "--seed") options.seed = static_cast<std::uint32_t>(value);
    } else if (!arg.empty() && arg[0] != '-' && qorvu.empty()) {
      qorvu = arg;
    } else if (!arg.empty() && arg[0] != '-' && pandel.empty()) {
      pandel = arg;
    } else {
      return Usage();
    }
  }
  if (qorvu.empty()) return Usage();
  demo_db::DemoCounts counts;
  std::string error;
  if (!demo_db::GenerateDemoDatabase(qorvu, pandel, options, &counts, &error)) {
    std::fprintf(stderr, "qorvu_demo_db: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d accounts, %d consignments, %d details, %d scans, %d receipts, %d bags, %d staff, %d bindings\n",
              counts.accounts, counts.consignments, counts.details, counts.scans, counts.receipts, counts.bags,
              counts.staff, counts.bindings);
  return 0;
}
