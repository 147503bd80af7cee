#include "tools/queue_report/queue_report.h"

#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "agent/db/connection.h"
#include "agent/db/db_settings.h"
#include "agent/db/statement.h"
#include "testing/odbc/standin.h"
#include "tests/temp_folder.h"

namespace {

TEST(QueueReportTest, CountsByTypeAndStateThroughTheDriverManager) {
  TempFolder folder;
  std::string error;
  auto installation = standin::Installation::Create(folder.path(), {}, &error);
  ASSERT_TRUE(installation) << error;
  ASSERT_TRUE(installation->Activate(&error)) << error;
  ASSERT_TRUE(CreateDbEnvironment());
  ASSERT_TRUE(SetDbSetting(g_szDsn, installation->dsn()));
  {
    DbConnection c;
    ASSERT_TRUE(c.Open());
    QueueCounts counts;
    ASSERT_TRUE(ReadQueueCounts(c, &counts));
    EXPECT_EQ(FormatQueueCounts(counts),
              "    total                    pending      0  done      0\n");

    for (const char* row : {"(2, 0, 11)", "(2, 0, 12)", "(2, 1, 13)", "(23, 0, 14)", "(99, 0, 15)"}) {
      ASSERT_TRUE(DbSucceeded(RunChange(
          c, (std::string("INSERT INTO qorvu.dbo.wc_mess (ntype, nstate, iidref) VALUES ") + row)
                 .c_str())));
    }
    ASSERT_TRUE(ReadQueueCounts(c, &counts));
    EXPECT_EQ(counts.pending[2], 2u);
    EXPECT_EQ(counts.other[2], 1u);
    EXPECT_EQ(counts.pending[23], 1u);
    EXPECT_EQ(counts.unknownType, 1u);
    const std::string text = FormatQueueCounts(counts);
    // Type names come out as UTF-8 for the terminal.
    EXPECT_NE(text.find("  2 \xE7\xAD\xBE\xE6\x94\xB6\xE9\x80\x9A\xE7\x9F\xA5"), std::string::npos) << text;
    EXPECT_NE(text.find("pending      2  done      1"), std::string::npos) << text;
    EXPECT_NE(text.find("total                    pending      3  done      1"), std::string::npos);
    EXPECT_NE(text.find("rows of unknown type: 1"), std::string::npos);
  }
  FreeDbEnvironment();
}

}  // namespace
