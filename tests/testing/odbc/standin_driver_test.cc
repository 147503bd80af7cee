// The stand-in driver through the real unixODBC driver manager: bound C
// types, truncation, NULLs, procedure calls, the no-data rule, collation,
// refusals, the statement log and fault injection.
#include <cmath>
#include <cstring>
#include <ctime>

#include "tests/testing/odbc/odbc_test_util.h"

namespace standin_test {
namespace {

class DriverTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    ASSERT_EQ(SQL_SUCCESS, db_.Connect()) << db_.diag();
  }
  Connection db_;
};

TEST_F(DriverTest, EveryBoundCTypeReadsItsColumn) {
  db_.Run("INSERT INTO qorvu.dbo.client_rec(irid,icid,cnum,iquantity,famount,ddate,dsenddate) "
          "VALUES(4000000000,7,'SF100',-12,12.75,'2024-03-05 06:07:08','2024-12-31 23:59:59')");
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS,
            s.Exec("SELECT irid,iquantity,famount,cnum,ddate,dsenddate FROM qorvu.dbo.client_rec WHERE icid=7"))
      << s.diag();
  SQLUINTEGER irid = 0;
  SQLINTEGER quantity = 0;
  double amount = 0;
  char cnum[16] = {};
  SQL_TIMESTAMP_STRUCT ddate{}, dsend{};
  SQLLEN ind[6] = {};
  SQLBindCol(s.get(), 1, SQL_C_ULONG, &irid, 0, &ind[0]);
  SQLBindCol(s.get(), 2, SQL_C_SLONG, &quantity, 0, &ind[1]);
  SQLBindCol(s.get(), 3, SQL_C_DOUBLE, &amount, 0, &ind[2]);
  SQLBindCol(s.get(), 4, SQL_C_CHAR, cnum, sizeof cnum, &ind[3]);
  SQLBindCol(s.get(), 5, SQL_C_TYPE_TIMESTAMP, &ddate, sizeof ddate, &ind[4]);
  SQLBindCol(s.get(), 6, SQL_C_TIMESTAMP, &dsend, sizeof dsend, &ind[5]);  // what ODBC 2 clients send
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get())) << s.diag();
  EXPECT_EQ(4000000000u, irid);
  EXPECT_EQ(-12, quantity);
  EXPECT_DOUBLE_EQ(12.75, amount);
  EXPECT_STREQ("SF100", cnum);
  EXPECT_EQ(5, ind[3]);
  EXPECT_EQ(2024, ddate.year);
  EXPECT_EQ(3, ddate.month);
  EXPECT_EQ(5, ddate.day);
  EXPECT_EQ(6, ddate.hour);
  EXPECT_EQ(7, ddate.minute);
  EXPECT_EQ(8, ddate.second);
  EXPECT_EQ(31, dsend.day);
  EXPECT_EQ(59, dsend.second);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(s.get()));
}

TEST_F(DriverTest, ValuesThatDoNotFitTheirCTypeAreErrorsNotWrongNumbers) {
  db_.Run("INSERT INTO qorvu.dbo.client_rec(irid,icid,cnum,ddate) VALUES(1,-5,'abc','not a date')");
  struct Case {
    const char* column;
    SQLSMALLINT ctype;
    const char* state;
  } cases[] = {{"icid", SQL_C_ULONG, "22003"}, {"cnum", SQL_C_SLONG, "22018"}, {"ddate", SQL_C_TYPE_TIMESTAMP, "22007"}};
  for (const Case& c : cases) {
    Statement s(db_.get());
    ASSERT_EQ(SQL_SUCCESS, s.Exec(std::string("SELECT ") + c.column + " FROM qorvu.dbo.client_rec")) << s.diag();
    char buffer[32] = {};
    SQLLEN ind = 0;
    SQLBindCol(s.get(), 1, c.ctype, buffer, sizeof buffer, &ind);
    EXPECT_EQ(SQL_ERROR, SQLFetch(s.get())) << c.column;
    EXPECT_EQ(c.state, s.diag().substr(0, 5)) << c.column;
  }
}

TEST_F(DriverTest, LongTextArrivesCutAndTerminatedWithItsFullLength) {
  const std::string cnum(40, 'N');
  db_.Run("INSERT INTO qorvu.dbo.client_rec(irid,cnum) VALUES(1,'" + cnum + "')");
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT cnum FROM qorvu.dbo.client_rec"));
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  SQLLEN ind = 0;
  SQLBindCol(s.get(), 1, SQL_C_CHAR, buffer, sizeof buffer, &ind);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetch(s.get()));
  EXPECT_EQ("01004", s.diag().substr(0, 5));
  EXPECT_EQ(std::string(31, 'N'), std::string(buffer));
  EXPECT_EQ(40, ind);
}

TEST_F(DriverTest, NullColumnLeavesTheBoundBufferAsItWas) {
  db_.Run("INSERT INTO qorvu.dbo.client_rec(irid,cnum,nstate,famount,ddate) VALUES(1,NULL,NULL,NULL,NULL)");
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT cnum,nstate,famount,ddate FROM qorvu.dbo.client_rec"));
  char cnum[16] = "previous";
  SQLUINTEGER state = 77;
  double amount = 1.5;
  SQL_TIMESTAMP_STRUCT ddate{};
  ddate.year = 1999;
  SQLLEN ind[4] = {};
  SQLBindCol(s.get(), 1, SQL_C_CHAR, cnum, sizeof cnum, &ind[0]);
  SQLBindCol(s.get(), 2, SQL_C_ULONG, &state, 0, &ind[1]);
  SQLBindCol(s.get(), 3, SQL_C_DOUBLE, &amount, 0, &ind[2]);
  SQLBindCol(s.get(), 4, SQL_C_TYPE_TIMESTAMP, &ddate, sizeof ddate, &ind[3]);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get())) << s.diag();
  EXPECT_STREQ("previous", cnum);
  EXPECT_EQ(77u, state);
  EXPECT_EQ(1.5, amount);
  EXPECT_EQ(1999, ddate.year);
  for (SQLLEN i : ind) EXPECT_EQ(SQL_NULL_DATA, i);
}

TEST_F(DriverTest, QueryWithoutRowsEndsAtTheFirstFetch) {
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT TOP 50 iid FROM qorvu.dbo.wc_mess WHERE nstate=0 AND iid>0 ORDER BY iid"));
  SQLUINTEGER iid = 12345;
  SQLLEN ind = 99;
  SQLBindCol(s.get(), 1, SQL_C_ULONG, &iid, 0, &ind);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(s.get()));
  EXPECT_EQ(12345u, iid);
  EXPECT_EQ(99, ind);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(s.get()));  // and stays at the end
}

TEST_F(DriverTest, WcMessSetCreatesOnePendingRowAndReturnsItsId) {
  for (int expected = 1; expected <= 2; ++expected) {
    Statement s(db_.get());
    SQLINTEGER iid = -1;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(s.get(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &iid, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS,
              s.Exec("{?=CALL qorvu.dbo.cp_wc_mess_set(12,340,6,'','oABC','O''Brien|2|','http://x/?a=1')}"))
        << s.diag();
    EXPECT_EQ(expected, iid);
  }
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT nstate,ntype,iidref,icid,copenid,cparam,curl,ddate FROM qorvu.dbo.wc_mess WHERE iid=2"));
  SQLUINTEGER nstate = 9, ntype = 0, iidref = 0, icid = 0;
  char openid[32], param[1024], url[256];
  SQL_TIMESTAMP_STRUCT ddate{};
  SQLLEN ind[8];
  SQLBindCol(s.get(), 1, SQL_C_ULONG, &nstate, 0, &ind[0]);
  SQLBindCol(s.get(), 2, SQL_C_ULONG, &ntype, 0, &ind[1]);
  SQLBindCol(s.get(), 3, SQL_C_ULONG, &iidref, 0, &ind[2]);
  SQLBindCol(s.get(), 4, SQL_C_ULONG, &icid, 0, &ind[3]);
  SQLBindCol(s.get(), 5, SQL_C_CHAR, openid, sizeof openid, &ind[4]);
  SQLBindCol(s.get(), 6, SQL_C_CHAR, param, sizeof param, &ind[5]);
  SQLBindCol(s.get(), 7, SQL_C_CHAR, url, sizeof url, &ind[6]);
  SQLBindCol(s.get(), 8, SQL_C_TYPE_TIMESTAMP, &ddate, sizeof ddate, &ind[7]);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get())) << s.diag();
  EXPECT_EQ(0u, nstate);
  EXPECT_EQ(6u, ntype);
  EXPECT_EQ(340u, iidref);
  EXPECT_EQ(12u, icid);
  EXPECT_STREQ("oABC", openid);
  EXPECT_STREQ("O'Brien|2|", param);
  EXPECT_STREQ("http://x/?a=1", url);
  std::tm created{};
  created.tm_year = ddate.year - 1900;
  created.tm_mon = ddate.month - 1;
  created.tm_mday = ddate.day;
  created.tm_hour = ddate.hour;
  created.tm_min = ddate.minute;
  created.tm_sec = ddate.second;
  created.tm_isdst = -1;
  EXPECT_LE(std::abs(std::difftime(std::mktime(&created), std::time(nullptr))), 120.0);  // local time, now
}

TEST_F(DriverTest, ProcedureCallThatCannotReportItsResultChangesNothing) {
  {
    Statement s(db_.get());
    EXPECT_EQ(SQL_ERROR, s.Exec("{?=CALL qorvu.dbo.cp_wc_mess_set(1,2,3,'','o','p|','')}"));
    EXPECT_EQ("07002", s.diag().substr(0, 5));
  }
  {
    Statement s(db_.get());
    SQLINTEGER iid = -1;
    SQLLEN ind = 0;
    SQLBindParameter(s.get(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &iid, 0, &ind);
    EXPECT_EQ(SQL_ERROR, s.Exec("{?=CALL qorvu.dbo.cp_wc_mess_set(1,2,3,'o','p|','')}"));  // six arguments
    EXPECT_EQ(-1, iid);
  }
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT COUNT(*) FROM qorvu.dbo.wc_mess"));
  SQLINTEGER count = -1;
  SQLBindCol(s.get(), 1, SQL_C_SLONG, &count, 0, nullptr);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get()));
  EXPECT_EQ(0, count);
}

TEST_F(DriverTest, ServerUpdateSetRecordsTheComponentVersion) {
  db_.Run("{CALL qorvu.dbo.cp_sys_server_update_set(2,105,'CSTessaly','agent')}");
  db_.Run("{CALL qorvu.dbo.cp_sys_server_update_set(2,107,'CSTessaly','agent 1.07')}");
  db_.Run("{CALL qorvu.dbo.cp_sys_server_update_set(0,31,'Server','core')}");
  Statement s(db_.get());
  ASSERT_EQ(SQL_SUCCESS, s.Exec("SELECT ii,nn FROM qorvu.dbo.sys_server_update ORDER BY nn DESC"));
  SQLUINTEGER ii = 0, nn = 0;
  SQLBindCol(s.get(), 1, SQL_C_ULONG, &ii, 0, nullptr);
  SQLBindCol(s.get(), 2, SQL_C_ULONG, &nn, 0, nullptr);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get()));
  EXPECT_EQ(2u, ii);
  EXPECT_EQ(107u, nn);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.get()));
  EXPECT_EQ(0u, ii);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(s.get()));
}

TEST_F(DriverTest, ChangeThatTouchesNoRowAnswersNoData) {
  db_.Run("INSERT INTO qorvu.dbo.check_track(irid,wpos,nlan) VALUES(5,2,0)");
  struct Case {
    const char* sql;
    SQLRETURN expected;
    SQLLEN rows;
  } cases[] = {
      {"UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=5 AND wpos=2 AND nlan=0", SQL_SUCCESS, 1},
      {"UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=5 AND wpos=2 AND nlan=0", SQL_NO_DATA, 0},
      {"DELETE FROM qorvu.dbo.check_track WHERE irid=6", SQL_NO_DATA, 0},
      {"INSERT INTO qorvu.dbo.check_track(irid) SELECT irid FROM qorvu.dbo.client_rec", SQL_NO_DATA, 0},
      {"UPDATE qorvu.dbo.wc_mess SET ctext='t',msgid='m',nstate=1,dsdate=GETDATE() WHERE iid=1", SQL_NO_DATA, 0},
  };
  for (const Case& c : cases) {
    Statement s(db_.get());
    EXPECT_EQ(c.expected, s.Exec(c.sql)) << c.sql << " " << s.diag();
    SQLLEN rows = -7;
    SQLRowCount(s.get(), &rows);
    EXPECT_EQ(c.rows, rows) << c.sql;
  }
}

TEST_F(DriverTest, TextComparisonIgnoresLetterCaseAndTrailingSpaces) {
  db_.Run("INSERT INTO qorvu.dbo.ems_kind(cemskind,nsmsign) VALUES('EMS',1)");
  db_.Run("INSERT INTO qorvu.dbo.wc_bind(cphone,copenid) VALUES('13800000000  ','oBound')");
  // "\xb0\x41" is a GBK character whose trail byte is the letter A: no case folding there.
  db_.Run("INSERT INTO qorvu.dbo.man_main(mcname,cmsn) VALUES('\xb0\x41','o1234567890123456789012345678  ')");
  struct Case {
    const char* sql;
    int rows;
  } cases[] = {
      {"SELECT cemskind FROM qorvu.dbo.ems_kind WHERE cemskind='ems'", 1},
      {"SELECT cemskind FROM qorvu.dbo.ems_kind WHERE cemskind='Ems  '", 1},
      {"SELECT cemskind FROM qorvu.dbo.ems_kind WHERE cemskind=' EMS'", 0},
      {"SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone IN('13800000000','13900000000')", 1},
      {"SELECT mcname FROM qorvu.dbo.man_main WHERE mcname='\xb0\x61'", 0},
      {"SELECT mcname FROM qorvu.dbo.man_main WHERE mcname='\xb0\x41 '", 1},
      {"SELECT mcname FROM qorvu.dbo.man_main WHERE LEN(cmsn)=29", 1},  // LEN drops trailing spaces only
      {"SELECT mcname FROM qorvu.dbo.man_main WHERE LEN(mcname)=1", 1},   // one GBK character
  };
  for (const Case& c : cases) {
    Statement s(db_.get());
    ASSERT_EQ(SQL_SUCCESS, s.Exec(c.sql)) << c.sql << " " << s.diag();
    int rows = 0;
    while (SQLFetch(s.get()) == SQL_SUCCESS) ++rows;
    EXPECT_EQ(c.rows, rows) << c.sql;
  }
}

TEST_F(DriverTest, UnsupportedStatementsAreRefusedWithTheirReason) {
  struct Case {
    const char* sql;
    const char* state;
    const char* reason;
  } cases[] = {
      {"SELECT DATEADD(d,-1,GETDATE())", "HYC00", "DATEADD"},
      {"SELECT CONVERT(varchar(10),ddate,120) FROM qorvu.dbo.wc_mess", "HYC00", "CONVERT"},
      {"SELECT 'a'+cnum FROM qorvu.dbo.client_rec", "HYC00", "concatenation"},
      {"SELECT * FROM qorvu.dbo.client_rec WITH(NOLOCK)", "HYC00", "hints"},
      {"SELECT TOP 10 PERCENT irid FROM qorvu.dbo.client_rec", "HYC00", "PERCENT"},
      {"SELECT irid FROM qorvu.dbo.client_rec WHERE irid=?", "07002", "parameter markers"},
      {"SELECT {fn NOW()}", "HYC00", "escape"},
      {"DECLARE @n int", "HYC00", "DECLARE"},
      {"EXEC sp_who", "HYC00", "EXEC"},
      {"SELECT @@IDENTITY", "HYC00", "@@IDENTITY"},
      {"CREATE PROCEDURE p AS SELECT 1", "HYC00", "PROCEDURE"},
      {"{?=CALL qorvu.dbo.cp_unknown(1)}", "42000", "cp_unknown"},
      {"SELECT irid FROM qorvu.dbo.no_such_table", "42S02", "no_such_table"},
      {"SELECT 'unclosed FROM qorvu.dbo.client_rec", "42000", "quotation"},
  };
  for (const Case& c : cases) {
    Statement s(db_.get());
    SQLINTEGER ret = 0;
    SQLLEN ind = 0;
    SQLBindParameter(s.get(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &ret, 0, &ind);
    EXPECT_EQ(SQL_ERROR, s.Exec(c.sql)) << c.sql;
    const std::string diag = s.diag();
    EXPECT_EQ(c.state, diag.substr(0, 5)) << c.sql << " " << diag;
    EXPECT_NE(std::string::npos, diag.find(c.reason)) << c.sql << " " << diag;
  }
}

TEST_F(DriverTest, StatementLogHoldsEveryTextInOrder) {
  const std::string texts[] = {"SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='55'",
                               "SELECT 1\r\n-- a line\nFROM qorvu.dbo.sys_dict", "SELECT DATEADD(d,1,0)"};
  for (const std::string& text : texts) {
    Statement s(db_.get());
    s.Exec(text);
  }
  const std::vector<std::string> logged = Standin().Statements();
  ASSERT_EQ(3u, logged.size());
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(texts[i], logged[i]);
}

TEST_F(StandinTest, InjectedFaultsReachEveryFailurePath) {
  struct Case {
    const char* name;
    standin::Faults faults;
    // Results of: alloc #1, exec #1, fetch #1, alloc #2, exec #2, fetch #2.
    SQLRETURN expected[6];
  };
  auto faults = [](auto set) {
    standin::Faults f;
    set(f);
    return f;
  };
  const Case cases[] = {
      {"none", {}, {SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS}},
      {"alloc 2", faults([](auto& f) { f.fail_alloc_stmt = {2}; }),
       {SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_ERROR, SQL_ERROR, SQL_ERROR}},
      {"alloc info 1", faults([](auto& f) { f.info_alloc_stmt = {1}; }),
       {SQL_SUCCESS_WITH_INFO, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS}},
      {"execute 1", faults([](auto& f) { f.fail_execute = {1}; }),
       {SQL_SUCCESS, SQL_ERROR, SQL_ERROR, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS}},
      {"fetch 1 and later", faults([](auto& f) { f.fail_fetch = {1, true}; }),
       {SQL_SUCCESS, SQL_SUCCESS, SQL_ERROR, SQL_SUCCESS, SQL_SUCCESS, SQL_ERROR}},
      {"containing", faults([](auto& f) { f.fail_execute_containing = "dcname='45'"; }),
       {SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_SUCCESS, SQL_ERROR, SQL_ERROR}},
  };
  {
    Connection writer;
    ASSERT_EQ(SQL_SUCCESS, writer.Connect());
    writer.Run("INSERT INTO qorvu.dbo.sys_dict(dcname,dcvalue) VALUES('45','7'),('29','1')");
  }
  for (const Case& c : cases) {
    // Counters start at every connect, so each case gets a fresh connection.
    ASSERT_TRUE(Standin().SetFaults(c.faults));
    Connection fresh;
    ASSERT_EQ(SQL_SUCCESS, fresh.Connect()) << c.name << " " << fresh.diag();
    const char* queries[] = {"SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='29'",
                             "SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='45'"};
    for (int round = 0; round < 2; ++round) {
      Statement s(fresh.get());
      const SQLRETURN alloc = s.alloc_result();
      EXPECT_EQ(c.expected[round * 3], alloc) << c.name << " round " << round;
      SQLRETURN exec = SQL_ERROR, fetch = SQL_ERROR;
      if (alloc == SQL_SUCCESS || alloc == SQL_SUCCESS_WITH_INFO) {
        exec = s.Exec(queries[round]);
        if (SQL_SUCCEEDED(exec)) {
          char value[128];
          SQLLEN ind = 0;
          SQLBindCol(s.get(), 1, SQL_C_CHAR, value, sizeof value, &ind);
          fetch = SQLFetch(s.get());
        }
        if (exec == SQL_ERROR || fetch == SQL_ERROR) {
          EXPECT_NE("", s.diag()) << c.name;
        }
      } else {
        EXPECT_EQ("HY001", fresh.diag().substr(0, 5)) << c.name;
      }
      EXPECT_EQ(c.expected[round * 3 + 1], exec) << c.name << " round " << round;
      EXPECT_EQ(c.expected[round * 3 + 2], fetch) << c.name << " round " << round;
    }
  }
}

TEST_F(StandinTest, ConnectFailsWhenAskedToAndSucceedsOtherwise) {
  standin::Faults faults;
  faults.fail_connect = true;
  ASSERT_TRUE(Standin().SetFaults(faults));
  {
    Connection db;
    EXPECT_EQ(SQL_ERROR, db.Connect());
    EXPECT_EQ("08001", db.diag().substr(0, 5));
  }
  ASSERT_TRUE(Standin().ClearFaults());
  Connection db;
  EXPECT_EQ(SQL_SUCCESS, db.Connect());
}

TEST_F(StandinTest, ConnectionStringCarriesFaultKeys) {
  Connection db;
  ASSERT_EQ(SQL_SUCCESS, db.DriverConnect("DSN=" + Standin().dsn() + ";FailExecute=2")) << db.diag();
  Statement first(db.get());
  EXPECT_EQ(SQL_SUCCESS, first.Exec("SELECT 1"));
  Statement second(db.get());
  EXPECT_EQ(SQL_ERROR, second.Exec("SELECT 1"));
  EXPECT_NE(std::string::npos, second.diag().find("injected"));
}

}  // namespace
}  // namespace standin_test
