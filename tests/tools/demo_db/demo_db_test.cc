// The demo database, read back through the stand-in driver as the agent
// reads it: every state, look-back windows that find events, GBK texts.
#include "tools/demo_db/demo_db.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sql.h>
#include <sqlext.h>

#include <ctime>
#include <optional>

#include "testing/odbc/standin.h"
#include "tests/temp_folder.h"

namespace {

class DemoDbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder();
    std::string error;
    installation_ = new std::optional<standin::Installation>(standin::Installation::Create(folder_->path(), {}, &error));
    ASSERT_TRUE(*installation_ && (*installation_)->Activate(&error)) << error;
    demo_db::DemoOptions options;
    options.accounts = 50;
    options.consignments = 800;
    ASSERT_TRUE(demo_db::GenerateDemoDatabase((*installation_)->qorvu_db(), (*installation_)->pandel_db(), options,
                                              &counts_, &error))
        << error;
  }
  static void TearDownTestSuite() {
    delete installation_;
    delete folder_;
  }

  void SetUp() override {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    const std::string dsn = (*installation_)->dsn();
    ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn.c_str())), SQL_NTS,
                                      nullptr, 0, nullptr, 0));
  }
  void TearDown() override {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  // First column of every row, as text.
  std::vector<std::string> Column(const std::string& sql) {
    SQLHSTMT s = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &s);
    std::vector<std::string> values;
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)) << sql;
    char buffer[256];
    SQLLEN ind = 0;
    SQLBindCol(s, 1, SQL_C_CHAR, buffer, sizeof buffer, &ind);
    while (SQL_SUCCEEDED(SQLFetch(s))) values.push_back(ind == SQL_NULL_DATA ? "NULL" : buffer);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return values;
  }

  static std::string Window(int days) {
    const std::time_t t = std::time(nullptr) - days * 86400L;
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "'%Y.%m.%d %H:%M:%S'", &tm);
    return text;
  }

  static TempFolder* folder_;
  static std::optional<standin::Installation>* installation_;
  static demo_db::DemoCounts counts_;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
};

TempFolder* DemoDbTest::folder_ = nullptr;
std::optional<standin::Installation>* DemoDbTest::installation_ = nullptr;
demo_db::DemoCounts DemoDbTest::counts_;

TEST_F(DemoDbTest, HoldsEveryStateAndEventsInsideTheLookBackWindows) {
  EXPECT_EQ(50, counts_.accounts);
  EXPECT_EQ(800, counts_.consignments);
  EXPECT_EQ(std::vector<std::string>({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}),
            Column("SELECT DISTINCT nstate FROM qorvu.dbo.client_rec ORDER BY nstate"));
  const std::string wechat = "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)";
  const std::string join = " FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) ";
  const std::string queries[] = {
      "SELECT TOP 100 a.irid" + join + "WHERE a.nstate=3 AND " + wechat + " AND a.ddate>=" + Window(6),
      "SELECT TOP 100 a.irid" + join + "WHERE a.nstate>3 AND " + wechat + " AND a.ddate>=" + Window(5),
      "SELECT TOP 100 a.irid" + join + "INNER JOIN qorvu.dbo.check_detail AS c ON(a.irid=c.irid) WHERE a.nstate=2 AND " +
          wechat + " AND c.npos=100",
      "SELECT TOP 100 a.irid" + join + "INNER JOIN qorvu.dbo.check_track AS c ON(a.irid=c.irid) WHERE c.ikind=2 AND " +
          wechat,
      "SELECT TOP 100 a.iid FROM qorvu.dbo.rec_trans AS a WHERE a.irid<1 AND a.drdate>" + Window(3),
      "SELECT icid FROM qorvu.dbo.rec_trans_bag WHERE irid=0 AND bget=1 AND famount>0 GROUP BY icid",
      "SELECT TOP 100 b.icid FROM qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<0",
      "SELECT mcname FROM qorvu.dbo.man_main WHERE LEN(cmsn)=28",
      "SELECT copenid FROM qorvu.dbo.wc_bind",
      "SELECT dcvalue FROM qorvu.dbo.sys_dict WHERE dcname='55'",
      "SELECT wcroot FROM pandel.dbo.web_main WHERE wcid='1'",
  };
  for (const std::string& sql : queries) EXPECT_FALSE(Column(sql).empty()) << sql;
  for (const std::string& id : Column("SELECT cwebac FROM qorvu.dbo.client_arc WHERE cwebac<>''")) {
    EXPECT_EQ(28u, id.size()) << id;
  }
}

TEST_F(DemoDbTest, TextsAreGbkBytes) {
  const std::vector<std::string> names = Column("SELECT cunitname FROM qorvu.dbo.client_arc");
  ASSERT_FALSE(names.empty());
  iconv_t cd = iconv_open("UTF-8", "GBK");
  ASSERT_NE(reinterpret_cast<iconv_t>(-1), cd);
  for (const std::string& name : names) {
    std::string in = name;
    char out[512];
    char* in_ptr = in.data();
    char* out_ptr = out;
    size_t in_left = in.size(), out_left = sizeof out;
    EXPECT_NE(static_cast<size_t>(-1), iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left)) << name;
    EXPECT_GT(static_cast<unsigned char>(name[0]), 0x80u) << name;  // Chinese, not UTF-8 read as bytes
  }
  iconv_close(cd);
  EXPECT_EQ("\xb1\xb1\xbe\xa9", demo_db::ToGbk("北京"));
  EXPECT_EQ("a&#128512;b", demo_db::ToGbk("a\xf0\x9f\x98\x80" "b"));  // no GBK form: a character reference
}

}  // namespace
