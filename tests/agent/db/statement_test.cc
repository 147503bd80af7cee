// Connections and statements through the real unixODBC driver manager and the
// stand-in courier database.
#include "agent/db/statement.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "agent/db/connection.h"
#include "agent/db/db_settings.h"
#include "agent/db/statement_text.h"
#include "testing/odbc/standin.h"
#include "tests/agent/db/statement_handles.h"
#include "tests/agent/standin_db.h"
#include "tests/standin_environment.h"

namespace {

using standin_test::Standin;

const auto* const kStandin = standin_test::AddStandinEnvironment({}, FreeDbEnvironment);

class DbTest : public standin_test::StandinTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(StandinTest::SetUp());
    ASSERT_TRUE(standin_test::PointAgentAtStandin());
    handlesBefore_ = LiveStatementHandles();
  }
  void TearDown() override { EXPECT_EQ(LiveStatements(), 0u) << "a statement handle was not freed"; }

  // Statement handles this test holds now (a leak of an earlier test aside).
  std::size_t LiveStatements() const { return LiveStatementHandles() - handlesBefore_; }

  std::size_t handlesBefore_ = 0;

  void SetFaults(const standin::Faults& faults) {
    std::string error;
    ASSERT_TRUE(Standin().SetFaults(faults, &error)) << error;
  }

  // Runs a change that must succeed.
  static void Change(const DbConnection& connection, const char* text) {
    const SQLRETURN rc = RunChange(connection, text);
    ASSERT_TRUE(DbSucceeded(rc)) << text << " gave " << rc;
  }
};

TEST_F(DbTest, ReadsEveryBoundTypeFromCourierRows) {
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  Change(connection,
         "INSERT INTO qorvu.dbo.client_rec(irid,icid,cnum,nstate,iquantity,famount,ddate) "
         "VALUES(7,3,'SF1000001',3,-5,12.75,'2026-03-04 05:06:07')");
  Change(connection,
         "INSERT INTO qorvu.dbo.client_rec(irid,icid,cnum,nstate,iquantity,famount,ddate) "
         "VALUES(9,3,'SF1000002',3,42,0.5,'2025-12-31 23:59:58')");
  Change(connection,
         "INSERT INTO qorvu.dbo.client_rec(irid,icid,cnum,nstate) VALUES(8,3,'SF1000003',1)");

  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  ASSERT_TRUE(statement.Execute(
      "SELECT irid,iquantity,famount,ddate,cnum FROM qorvu.dbo.client_rec "
      "WHERE nstate=3 ORDER BY irid"));
  std::uint32_t irid = 0;
  std::int32_t quantity = 0;
  double amount = 0;
  SQL_TIMESTAMP_STRUCT date{};
  char number[32] = {};
  ASSERT_TRUE(statement.BindUInt32(1, irid));
  ASSERT_TRUE(statement.BindInt32(2, quantity));
  ASSERT_TRUE(statement.BindDouble(3, amount));
  ASSERT_TRUE(statement.BindTimestamp(4, date));
  ASSERT_TRUE(statement.BindText(5, number));

  ASSERT_TRUE(statement.Fetch());
  EXPECT_EQ(irid, 7u);
  EXPECT_EQ(quantity, -5);
  EXPECT_DOUBLE_EQ(amount, 12.75);
  EXPECT_EQ(date.year, 2026);
  EXPECT_EQ(date.month, 3);
  EXPECT_EQ(date.day, 4);
  EXPECT_EQ(date.hour, 5);
  EXPECT_EQ(date.minute, 6);
  EXPECT_EQ(date.second, 7);
  EXPECT_STREQ(number, "SF1000001");
  EXPECT_EQ(statement.Indicator(5), 9);

  ASSERT_TRUE(statement.Fetch());
  EXPECT_EQ(irid, 9u);
  EXPECT_EQ(quantity, 42);
  EXPECT_DOUBLE_EQ(amount, 0.5);
  EXPECT_EQ(date.year, 2025);
  EXPECT_EQ(date.second, 58);
  EXPECT_STREQ(number, "SF1000002");

  EXPECT_FALSE(statement.Fetch());
  EXPECT_EQ(statement.LastResult(), SQL_NO_DATA);
}

TEST_F(DbTest, TextLongerThanItsBufferArrivesCut) {
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  // One value per buffer size in use, nine characters longer than the buffer.
  const std::size_t sizes[] = {16, 24, 32, 64, 128, 256, 1024};
  for (std::size_t size : sizes) {
    const std::string value = std::string(size + 8, 'v') + "X";
    const std::string insert =
        "INSERT INTO qorvu.dbo.wc_mess(ntype,iidref,cparam) VALUES(1," + std::to_string(size) +
        ",'" + value + "')";
    Change(connection, insert.c_str());
  }
  for (std::size_t size : sizes) {
    DbStatement statement;
    ASSERT_TRUE(statement.Allocate(connection));
    const std::string query =
        "SELECT cparam FROM qorvu.dbo.wc_mess WHERE iidref=" + std::to_string(size);
    ASSERT_TRUE(statement.Execute(query.c_str()));
    char buffer[1024 + 8];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(statement.BindText(1, buffer, size));
    ASSERT_TRUE(statement.Fetch()) << "a cut value still delivers its row, size " << size;
    EXPECT_EQ(statement.LastResult(), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(std::string(buffer), std::string(size - 1, 'v')) << "size " << size;
    EXPECT_EQ(buffer[size], '#') << "written past a buffer of " << size;
  }
}

TEST_F(DbTest, NullColumnsLeaveTheirBuffersUnchanged) {
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  Change(connection,
         "INSERT INTO qorvu.dbo.client_rec(irid,icid,iitem,cnum,iquantity,famount,ddate) "
         "VALUES(5,3,NULL,NULL,NULL,NULL,NULL)");
  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  ASSERT_TRUE(statement.Execute(
      "SELECT irid,iitem,iquantity,famount,ddate,cnum FROM qorvu.dbo.client_rec"));
  std::uint32_t irid = 0;
  std::uint32_t items = 77;
  std::int32_t quantity = -77;
  double amount = 7.5;
  SQL_TIMESTAMP_STRUCT date{};
  date.year = 1999;
  char number[16] = "previous";
  ASSERT_TRUE(statement.BindUInt32(1, irid));
  ASSERT_TRUE(statement.BindUInt32(2, items));
  ASSERT_TRUE(statement.BindInt32(3, quantity));
  ASSERT_TRUE(statement.BindDouble(4, amount));
  ASSERT_TRUE(statement.BindTimestamp(5, date));
  ASSERT_TRUE(statement.BindText(6, number));
  ASSERT_TRUE(statement.Fetch());
  EXPECT_EQ(irid, 5u);
  EXPECT_EQ(items, 77u);
  EXPECT_EQ(quantity, -77);
  EXPECT_DOUBLE_EQ(amount, 7.5);
  EXPECT_EQ(date.year, 1999);
  EXPECT_STREQ(number, "previous");
  for (SQLUSMALLINT column = 2; column <= 6; ++column) {
    EXPECT_EQ(statement.Indicator(column), SQL_NULL_DATA) << "column " << column;
  }
}

TEST_F(DbTest, QueryWithoutRowsEndsAtTheFirstFetchAndKeepsTheBuffers) {
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  ASSERT_TRUE(statement.Execute("SELECT dcvalue,dcname FROM qorvu.dbo.sys_dict WHERE dcname='55'"));
  char value[128] = "kept";
  char name[32] = "also kept";
  ASSERT_TRUE(statement.BindText(1, value));
  ASSERT_TRUE(statement.BindText(2, name));
  EXPECT_FALSE(statement.Fetch());
  EXPECT_EQ(statement.LastResult(), SQL_NO_DATA);
  EXPECT_STREQ(value, "kept");
  EXPECT_STREQ(name, "also kept");
}

TEST_F(DbTest, AllocationWithInfoCountsAsFailureAndFreesTheHandle) {
  standin::Faults faults;
  faults.info_alloc_stmt = {1};
  SetFaults(faults);
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  {
    DbStatement statement;
    EXPECT_FALSE(statement.Allocate(connection));
    EXPECT_EQ(statement.LastResult(), SQL_SUCCESS_WITH_INFO);
    EXPECT_FALSE(statement.IsAllocated());
    EXPECT_EQ(LiveStatements(), 0u) << "the handle given back with info leaked";
    EXPECT_FALSE(statement.Execute("SELECT 1"));
    EXPECT_FALSE(statement.Fetch());
  }
  // Only that allocation was affected: the connection goes on working.
  DbStatement next;
  ASSERT_TRUE(next.Allocate(connection));
  EXPECT_TRUE(next.Execute("SELECT iid FROM qorvu.dbo.wc_mess"));
  EXPECT_NE(RunChange(connection, "UPDATE qorvu.dbo.wc_mess SET nstate=1 WHERE iid=1"),
            SQL_ERROR);
  faults.info_alloc_stmt = {1, true};
  SetFaults(faults);
  DbConnection every;
  ASSERT_TRUE(every.Open());
  EXPECT_EQ(RunChange(every, "UPDATE qorvu.dbo.wc_mess SET nstate=1"), SQL_ERROR)
      << "a change without a statement is reported as an error, not as success with info";
  std::int32_t returned = -1;
  EXPECT_EQ(CallProcedure(every, "{?=CALL qorvu.dbo.cp_wc_mess_set(1,2,3,'','o','p|','')}",
                          returned),
            SQL_ERROR);
  EXPECT_EQ(returned, -1);
}

TEST_F(DbTest, FailingAllocationRunsNothing) {
  standin::Faults faults;
  faults.fail_alloc_stmt = {1};
  SetFaults(faults);
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  DbStatement statement;
  EXPECT_FALSE(statement.Allocate(connection));
  EXPECT_EQ(statement.LastResult(), SQL_ERROR);
  EXPECT_TRUE(Standin().Statements().empty());
}

TEST_F(DbTest, FailingExecuteFreesTheStatement) {
  standin::Faults faults;
  faults.fail_execute = {1};
  SetFaults(faults);
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  EXPECT_EQ(LiveStatements(), 1u);
  EXPECT_FALSE(statement.Execute("SELECT iid FROM qorvu.dbo.wc_mess"));
  EXPECT_EQ(statement.LastResult(), SQL_ERROR);
  EXPECT_FALSE(statement.IsAllocated());
  EXPECT_EQ(LiveStatements(), 0u);
  std::uint32_t id = 0;
  EXPECT_FALSE(statement.BindUInt32(1, id));
  EXPECT_FALSE(statement.Fetch());
  EXPECT_EQ(statement.LastResult(), SQL_INVALID_HANDLE);

  // The next operation on the same connection runs.
  DbStatement next;
  ASSERT_TRUE(next.Allocate(connection));
  EXPECT_TRUE(next.Execute("SELECT iid FROM qorvu.dbo.wc_mess"));
}

TEST_F(DbTest, FailingFetchEndsTheRows) {
  standin::Faults faults;
  faults.fail_fetch = {2};
  SetFaults(faults);
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  for (int i = 1; i <= 3; ++i) {
    const std::string insert =
        "INSERT INTO qorvu.dbo.wc_bind(iid,cphone,copenid) VALUES(" + std::to_string(i) +
        ",'1380000000" + std::to_string(i) + "','o')";
    Change(connection, insert.c_str());
  }
  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  ASSERT_TRUE(statement.Execute("SELECT iid FROM qorvu.dbo.wc_bind ORDER BY iid"));
  std::uint32_t id = 0;
  ASSERT_TRUE(statement.BindUInt32(1, id));
  int rows = 0;
  while (statement.Fetch()) ++rows;
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(statement.LastResult(), SQL_ERROR);
}

TEST_F(DbTest, ProcedureReturnsTheNewQueueRow) {
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  char call[512];
  ASSERT_TRUE(FormatStatement(call, "SetMess",
                              "{?=CALL qorvu.dbo.cp_wc_mess_set(%d,%d,%d,'%s','%s','%s','%s')}",
                              11, 22, 2, "", SqlQuote(" oABCDEFGHIJKLMNOPQRSTUVWXYZ0 ").c_str(),
                              SqlQuote("  O'Brien |a'b|\r\n").c_str(), SqlQuote("").c_str()));
  std::int32_t first = -1;
  ASSERT_TRUE(DbSucceeded(CallProcedure(connection, call, first)));
  EXPECT_GT(first, 0);
  std::int32_t second = -1;
  ASSERT_TRUE(DbSucceeded(CallProcedure(connection, call, second)));
  EXPECT_EQ(second, first + 1);

  const auto statements = Standin().Statements();
  ASSERT_FALSE(statements.empty());
  EXPECT_NE(statements.front().find("'O''Brien |a''b|'"), std::string::npos)
      << statements.front();

  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  char query[128];
  ASSERT_TRUE(FormatStatement(query, "SendQueued",
                              "SELECT nstate,ntype,iidref,copenid,cparam FROM qorvu.dbo.wc_mess "
                              "WHERE iid=%d",
                              first));
  ASSERT_TRUE(statement.Execute(query));
  std::uint32_t state = 9, type = 0, ref = 0;
  char openId[32] = {};
  char param[1024] = {};
  statement.BindUInt32(1, state);
  statement.BindUInt32(2, type);
  statement.BindUInt32(3, ref);
  statement.BindText(4, openId);
  statement.BindText(5, param);
  ASSERT_TRUE(statement.Fetch());
  EXPECT_EQ(state, 0u);
  EXPECT_EQ(type, 2u);
  EXPECT_EQ(ref, 22u);
  EXPECT_STREQ(openId, "oABCDEFGHIJKLMNOPQRSTUVWXYZ0");
  EXPECT_STREQ(param, "O'Brien |a'b|");
}

TEST_F(DbTest, FailedProcedureCallKeepsThePresetValue) {
  standin::Faults faults;
  faults.fail_execute = {1};
  SetFaults(faults);
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  std::int32_t returned = -1;
  EXPECT_EQ(CallProcedure(connection,
                          "{?=CALL qorvu.dbo.cp_wc_mess_set(1,2,3,'','o','p|','')}", returned),
            SQL_ERROR);
  EXPECT_EQ(returned, -1);
}

TEST_F(DbTest, ChangeReportsItsResultAndAnExactFitRuns) {
  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  Change(connection,
         "INSERT INTO qorvu.dbo.check_track(irid,ikind,nlan,wpos) VALUES(4,0,0,2)");
  // The buffer holds exactly this text and its zero.
  constexpr char kMark[] = "UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=4 AND wpos=2 AND nlan=0";
  char text[sizeof kMark];
  ASSERT_TRUE(FormatStatement(text, "Update_Check",
                              "UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=%d AND wpos=%d "
                              "AND nlan=0",
                              4, 2));
  EXPECT_TRUE(DbSucceeded(RunChange(connection, text)));
  EXPECT_EQ(Standin().Statements().back(), kMark);

  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(connection));
  ASSERT_TRUE(statement.Execute("SELECT nlan FROM qorvu.dbo.check_track WHERE irid=4"));
  std::int32_t mark = 0;
  statement.BindInt32(1, mark);
  ASSERT_TRUE(statement.Fetch());
  EXPECT_EQ(mark, 10);

  // A statement the database refuses comes back as its error code.
  EXPECT_EQ(RunChange(connection, "UPDATE qorvu.dbo.no_such_table SET x=1"), SQL_ERROR);
  EXPECT_EQ(RunChange(connection, nullptr), SQL_ERROR);
}

TEST_F(DbTest, ConnectingFailsCleanly) {
  // Unknown data source.
  ASSERT_TRUE(SetDbSetting(g_szDsn, "NoSuchQorvuDsn"));
  DbConnection missing;
  EXPECT_FALSE(missing.Open());
  EXPECT_FALSE(missing.IsOpen());
  // A setting written without its terminating zero is not sent.
  std::memset(g_szDsn, 'Q', sizeof g_szDsn);
  DbConnection unterminated;
  EXPECT_FALSE(unterminated.Open());
  ASSERT_TRUE(SetDbSetting(g_szDsn, Standin().dsn()));

  // The server refuses the login.
  standin::Faults faults;
  faults.fail_connect = true;
  SetFaults(faults);
  DbConnection refused;
  EXPECT_FALSE(refused.Open());
  EXPECT_FALSE(refused.IsOpen());
  DbStatement statement;
  EXPECT_FALSE(statement.Allocate(refused));
  EXPECT_EQ(statement.LastResult(), SQL_INVALID_HANDLE);
  std::string error;
  ASSERT_TRUE(Standin().ClearFaults(&error)) << error;

  // No environment.
  FreeDbEnvironment();
  DbConnection withoutEnvironment;
  EXPECT_FALSE(withoutEnvironment.Open());
  ASSERT_TRUE(CreateDbEnvironment());

  DbConnection connection;
  ASSERT_TRUE(connection.Open());
  SQLUINTEGER timeout = 0;
  ASSERT_TRUE(DbSucceeded(
      SQLGetConnectAttr(connection.Handle(), SQL_ATTR_LOGIN_TIMEOUT, &timeout, 0, nullptr)));
  EXPECT_EQ(timeout, 20u);
}

TEST_F(DbTest, ConnectionAndStatementMoveTheirHandles) {
  DbConnection first;
  ASSERT_TRUE(first.Open());
  DbConnection second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  ASSERT_TRUE(second.IsOpen());

  DbStatement statement;
  ASSERT_TRUE(statement.Allocate(second));
  ASSERT_TRUE(statement.Execute("SELECT dcvalue FROM qorvu.dbo.sys_dict"));
  char value[16] = "kept";
  ASSERT_TRUE(statement.BindText(1, value));
  DbStatement moved(std::move(statement));
  EXPECT_FALSE(statement.IsAllocated());
  EXPECT_FALSE(moved.Fetch());
  EXPECT_EQ(moved.LastResult(), SQL_NO_DATA);
  EXPECT_EQ(LiveStatements(), 1u);
}

}  // namespace
