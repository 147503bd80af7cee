// Queue operations against the stand-in courier database, reached through
// the real unixODBC driver manager.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "agent/compose/mess_queue.h"
#include "agent/db/db_settings.h"
#include "agent/db/statement.h"
#include "testing/odbc/standin.h"
#include "tests/agent/compose/compose_test_util.h"
#include "tests/standin_environment.h"

namespace {

using compose_test::Gbk;
using compose_test::kOpenId;

using standin_test::Standin;

const auto* const kStandin = standin_test::AddStandinEnvironment({}, FreeDbEnvironment);

class MessQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(Standin().ResetDatabases(&error)) << error;
    Standin().ClearFaults();
    ASSERT_TRUE(SetDbSetting(g_szDsn, Standin().dsn()));
    ASSERT_TRUE(CreateDbEnvironment());
    ASSERT_TRUE(connection_.Open());
    Standin().ClearStatements();
  }

  struct Row {
    std::int32_t nstate = -1, ntype = -1, iidref = -1;
    char copenid[32] = {}, curl[256] = {}, cparam[4096] = {};
  };
  std::optional<Row> ReadRow(std::int32_t iid) {
    DbStatement st;
    const std::string sql =
        "SELECT nstate,ntype,iidref,copenid,curl,cparam FROM qorvu.dbo.wc_mess WHERE iid=" +
        std::to_string(iid);
    Row row;
    if (!st.Allocate(connection_) || !st.Execute(sql.c_str())) return std::nullopt;
    st.BindInt32(1, row.nstate);
    st.BindInt32(2, row.ntype);
    st.BindInt32(3, row.iidref);
    st.BindText(4, row.copenid);
    st.BindText(5, row.curl);
    st.BindText(6, row.cparam);
    if (!st.Fetch()) return std::nullopt;
    return row;
  }

  CMessChannel channel_;
  DbConnection connection_;
};

TEST_F(MessQueueTest, SetMessCreatesAPendingRowAndReturnsItsId) {
  CMessQueue queue(&channel_, connection_);
  MessRecord record;
  record.clientId = 7;
  record.refId = 4242;
  record.type = 2;
  CopyField(record.openId, kOpenId);
  CopyField(record.url, " https://m.example/d?a=1 ");
  const std::string values = Gbk("SF1001|T9|03-05|上海|O'Neil|03-06|10:30|李四|C001|某公司|北京|");
  CopyField(record.param, values);

  ASSERT_TRUE(queue.SetMess(record));
  EXPECT_GT(record.iid, 0);
  const std::vector<std::string> statements = Standin().Statements();
  ASSERT_EQ(statements.size(), 1u);
  EXPECT_EQ(statements[0].rfind("{?=CALL qorvu.dbo.cp_wc_mess_set(7,4242,2,'','", 0), 0u) << statements[0];
  EXPECT_NE(statements[0].find("O''Neil"), std::string::npos);

  const auto row = ReadRow(record.iid);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->nstate, 0);
  EXPECT_EQ(row->ntype, 2);
  EXPECT_EQ(row->iidref, 4242);
  EXPECT_STREQ(row->copenid, kOpenId);
  EXPECT_STREQ(row->curl, "https://m.example/d?a=1");  // trimmed
  EXPECT_EQ(std::string(row->cparam), values);

  MessRecord second = record;
  ASSERT_TRUE(queue.SetMess(second));
  EXPECT_GT(second.iid, record.iid);
}

TEST_F(MessQueueTest, SetMessFailures) {
  MessRecord record;
  record.type = 2;
  CopyField(record.param, "a|");

  // Without a channel nothing is run.
  CMessQueue noChannel(nullptr, connection_);
  EXPECT_FALSE(noChannel.SetMess(record));
  EXPECT_TRUE(Standin().Statements().empty());

  // A failing call leaves -1 and no row.
  standin::Faults faults;
  faults.fail_execute_containing = "cp_wc_mess_set";
  ASSERT_TRUE(Standin().SetFaults(faults));
  DbConnection failing;
  ASSERT_TRUE(failing.Open());
  CMessQueue queue(&channel_, failing);
  EXPECT_FALSE(queue.SetMess(record));
  EXPECT_EQ(record.iid, -1);
  EXPECT_FALSE(ReadRow(1));

  // A value list full of apostrophes doubles to twice its size and still goes in whole.
  ASSERT_TRUE(Standin().ClearFaults());
  DbConnection plain;
  ASSERT_TRUE(plain.Open());
  CMessQueue ok(&channel_, plain);
  std::memset(record.param, '\'', sizeof record.param - 1);
  ASSERT_TRUE(ok.SetMess(record));
  const auto row = ReadRow(record.iid);
  ASSERT_TRUE(row);
  EXPECT_EQ(std::string(row->cparam), std::string(sizeof record.param - 1, '\''));
}

TEST_F(MessQueueTest, FindOpenIdLooksUpLongNumbersOnly) {
  ASSERT_TRUE(DbSucceeded(RunChange(
      connection_, "INSERT INTO qorvu.dbo.wc_bind(cphone,copenid) VALUES('13800000000','oBOUND000000000000000000000a')")));
  ASSERT_TRUE(DbSucceeded(RunChange(
      connection_, "INSERT INTO qorvu.dbo.wc_bind(cphone,copenid) VALUES('5551234','oBOUND000000000000000000000b')")));
  Standin().ClearStatements();
  CMessQueue queue(&channel_, connection_);
  char out[32] = "stale";

  EXPECT_TRUE(queue.FindOpenId("13800000000", "", out));
  EXPECT_STREQ(out, "oBOUND000000000000000000000a");
  EXPECT_TRUE(queue.FindOpenId("123456", "5551234", out));
  EXPECT_STREQ(out, "oBOUND000000000000000000000b");
  const std::vector<std::string> statements = Standin().Statements();
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0], "SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone IN('13800000000')");
  EXPECT_EQ(statements[1], "SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone IN('5551234')");

  EXPECT_FALSE(queue.FindOpenId("13900000000", "0'1234567", out));
  EXPECT_STREQ(out, "");
  EXPECT_EQ(Standin().Statements().back(),
            "SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone IN('13900000000','0''1234567')");

  // Numbers of six characters or fewer touch no database.
  Standin().ClearStatements();
  EXPECT_FALSE(queue.FindOpenId("123456", "", out));
  EXPECT_FALSE(queue.FindOpenId("", "", out));
  EXPECT_STREQ(out, "");
  EXPECT_TRUE(Standin().Statements().empty());
}

}  // namespace
