// A whole update run, every scanner of the chain, over a generated courier
// database: what it queues, and that a second run over the same data queues
// nothing new.
#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "agent/host/config/settings.h"
#include "agent/host/workers.h"
#include "platform/fake_env.h"
#include "tests/agent/scanners/scanner_fixture.h"
#include "tools/demo_db/demo_db.h"

namespace {

using scan_test::ScannerTest;

class UpdateRunTest : public ScannerTest {
 protected:
  // Replaces the courier database by a generated one around the fake now.
  void Generate(int consignments) {
    setup_.Close();
    demo_db::DemoOptions options;
    options.accounts = 100;
    options.consignments = consignments;
    options.now = static_cast<std::time_t>(platform::LocalToEpoch(Now()));
    demo_db::DemoCounts counts;
    std::string error;
    ASSERT_TRUE(demo_db::GenerateDemoDatabase(scan_test::Standin().qorvu_db(),
                                              scan_test::Standin().pandel_db(), options, &counts,
                                              &error))
        << error;
    ASSERT_TRUE(setup_.Open());
  }

  std::map<int, int> PendingByType() {
    std::map<int, int> counts;
    for (const scan_test::QueueRow& row : QueueRows()) {
      if (row.nstate == 0) ++counts[row.ntype];
    }
    return counts;
  }
};

TEST_F(UpdateRunTest, QueuesEveryScannedTypeOnceAndNothingOnTheSecondRun) {
  Generate(1500);
  g_nSendDays = 3;  // the scan scanners look back as far as the sent notices
  const std::map<int, int> before = PendingByType();
  MessUpdateProc(DefaultScannerChain(), &env_);
  const std::map<int, int> first = PendingByType();

  // Every scanner whose events the generated data holds has queued some.
  for (int type : {0, 1, 2, 3, 7, 12, 16, 21, 22, 23}) {
    SCOPED_TRACE("type " + std::to_string(type));
    const int had = before.count(type) ? before.at(type) : 0;
    EXPECT_GT(first.count(type) ? first.at(type) : 0, had);
  }
  EXPECT_EQ(LogEntries().back().rfind("*****End MessUpdateProc ok!Time:", 0), 0u);

  env_.Advance(60 * 1000);
  MessUpdateProc(DefaultScannerChain(), &env_);
  EXPECT_EQ(PendingByType(), first) << "a second run over unchanged data queues nothing new";
}

TEST_F(UpdateRunTest, TimedScannersRunOnlyWhenTheirTimeListAdmitsThem) {
  Generate(300);
  auto ran = [this](const char* line) {
    for (const std::string& e : LogEntries()) {
      if (e == line) return true;
    }
    return false;
  };
  g_nPackLastHour = g_nArrearsLastHour = 0;
  MessUpdateProc(DefaultScannerChain(), &env_);  // 08:00, no time lists
  EXPECT_FALSE(ran("Begin_Update_TransPack"));
  EXPECT_FALSE(ran("Begin_Update_AcArrears"));

  g_adwPackTimes = {80000};
  g_adwArrearsTimes = {90000};
  MessUpdateProc(DefaultScannerChain(), &env_);
  EXPECT_TRUE(ran("Begin_Update_TransPack")) << "08:00 is on the bag-balance list";
  EXPECT_FALSE(ran("Begin_Update_AcArrears")) << "09:00 has not come";
  g_nPackLastHour = g_nArrearsLastHour = 0;
}

}  // namespace
