// The tracking and dispatch scanners against the stand-in courier database:
// entry into the tracking network (type 12), courier dispatch (type 16) and
// the station scans (types 22, 23, 24).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "agent/compose/mess_channel.h"
#include "agent/db/statement.h"
#include "agent/host/config/settings.h"
#include "agent/scanners/scanners.h"
#include "tests/agent/scanners/scanner_fixture.h"

namespace {

using scan_test::Gbk;
using scan_test::kOpenIdA;
using scan_test::kOpenIdB;
using scan_test::QueueRow;
using scan_test::SqlValue;

// The fixture's clock reads 2026-12-09 08:00:00; the default batch is 10000.
constexpr char kRecWebWeChatSql[] =
    "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.creceiver,c.cdate,a.cserviceno,"
    "a.ddate,b.cunitname,b.caccount,b.cmsn,a.cemskind,ISNULL(d.ckey,'') AS cc,a.caddrfrom,"
    "a.csphone FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b "
    "ON(a.icid=b.icid) INNER JOIN qorvu.dbo.check_detail AS c ON(a.irid=c.irid) INNER JOIN "
    "qorvu.dbo.ems_kind AS d ON(a.cemskind=d.cemskind) WHERE a.nstate=2 AND (LEN(b.cwebac)=28 OR "
    "LEN(b.cmsn)=28) AND a.ddate>='2026.11.08 08:00:00' AND c.npos=100 AND NOT EXISTS(SELECT 1 "
    "FROM qorvu.dbo.wc_mess WHERE ntype=12 AND iidref=a.irid)";

constexpr char kBearWeChatSql[] =
    "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cserviceno,b.cwebac,b.cmsn,c.ddate,c.cref,"
    "a.creceiver,a.caddr,a.cphone,a.csender,a.csaddr,a.csphone,b.cunitname,b.caccount,"
    "ISNULL(d.clmphone,''),a.caddrfrom FROM qorvu.dbo.client_rec AS a INNER JOIN "
    "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) INNER JOIN qorvu.dbo.check_track AS c "
    "ON(a.irid=c.irid) LEFT OUTER JOIN qorvu.dbo.man_main AS d ON(d.mcname=c.cref) WHERE "
    "a.nstate<3 AND c.ikind=2 AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND "
    "c.ddate>='2026.12.09 05:00:00' AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE "
    "ntype=16 AND iidref=a.irid)";

// Window of two days; the kind is filled in per test.
std::string CheckSql(int kind) {
  return "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.ddate,a.creceiver,a.cserviceno,"
         "b.cunitname,b.caccount,b.cmsn,a.caddrfrom,c.cstation,c.ccheckpoint,ISNULL(c.wpos,0),"
         "c.cinput,c.cref FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b "
         "ON(a.icid=b.icid) INNER JOIN qorvu.dbo.check_track AS c ON(a.irid=c.irid) WHERE "
         "a.ddate>'2026.12.07 08:00:00' AND c.ikind=" +
         std::to_string(kind) +
         " AND c.nlan=0 AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND a.nstate<3";
}

// The text with the first occurrence of each `from` replaced by its `to`.
std::string Replaced(std::string text,
                     std::initializer_list<std::pair<std::string_view, std::string_view>> edits) {
  for (const auto& [from, to] : edits) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

constexpr std::string_view kWeChatCondition = "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)";
constexpr std::string_view kReceiverCondition = "(a.crsms <> '' OR a.cphone<>'')";
constexpr std::string_view kCustomerCondition =
    "(b.csmnumber<>'' OR b.cphone<>'' OR a.csphone<>'')";

int RunCheck0(DbConnection& c1, char* work, DbConnection& c2) { return Update_Check(c1, work, c2, 0); }
int RunCheck1(DbConnection& c1, char* work, DbConnection& c2) { return Update_Check(c1, work, c2, 1); }
int RunCheck2(DbConnection& c1, char* work, DbConnection& c2) { return Update_Check(c1, work, c2, 2); }

class TrackingTest : public scan_test::ScannerTest {
 protected:
  void SetUp() override {
    ScannerTest::SetUp();
    // The express kind of every consignment here, with its tracking network.
    Insert("ems_kind", {{"cemskind", "EMS"}, {"ckey", "SFNET"}});
  }

  // Empties courier tables between the cases of one test.
  void Clear(std::initializer_list<const char*> tables) {
    for (const char* table : tables) {
      const std::string sql = std::string("DELETE FROM qorvu.dbo.") + table;
      const SQLRETURN rc = RunChange(setup_, sql.c_str());
      EXPECT_TRUE(DbSucceeded(rc) || rc == SQL_NO_DATA) << sql;
    }
  }

  // An account with an OpenID in its second column and SMS numbers.
  void Account(int icid) {
    InsertAccount(icid, {{"cwebac", "short"},
                         {"cmsn", kOpenIdA},
                         {"csmnumber", "13900000009"},
                         {"cphone", "010-1234567"}});
  }

  // A consignment in the tracking network whose entry detail is recorded.
  void NetworkEntry(int irid, int icid, const scan_test::Columns& columns = {}) {
    scan_test::Columns all = {{"nstate", 2},
                              {"cserviceno", "T" + std::to_string(irid)},
                              {"cdes", Gbk("上海")},
                              {"creceiver", "Li|Si\r\n"},
                              {"caddrfrom", Gbk("北京")},
                              {"ddate", "2026-12-05 10:00:00"},
                              {"crsms", "13800000001"},
                              {"cphone", "13800000002"},
                              {"csphone", "13700000003"}};
    all.insert(all.end(), columns.begin(), columns.end());
    InsertConsignment(irid, icid, all);
  }
  void EntryDetail(int irid, std::string_view table = "check_detail") {
    Insert(table, {{"irid", irid}, {"npos", 100}, {"wpos", 1}, {"cdate", "2026-12-06 09:30"}});
  }

  // A consignment out for delivery with courier Wang, dispatched at `at`.
  void Dispatch(int irid, int icid, const std::string& at, const scan_test::Columns& columns = {}) {
    scan_test::Columns all = {{"nstate", 2},
                              {"cserviceno", "T" + std::to_string(irid)},
                              {"csender", "Zhao"},
                              {"csaddr", "1 Sender Rd"},
                              {"csphone", "(137) 0000-0003"},
                              {"creceiver", "Qian"},
                              {"caddr", "2 Receiver St"},
                              {"cphone", "13800000002"},
                              {"crsms", ""},
                              {"caddrfrom", Gbk("北京")}};
    all.insert(all.end(), columns.begin(), columns.end());
    InsertConsignment(irid, icid, all);
    Insert("check_track", {{"irid", irid}, {"ikind", 2}, {"ddate", at}, {"cref", "Wang"}});
  }

  // A station scan of consignment irid with its detail row (when info is given).
  void Scan(int irid, int kind, SqlValue wpos, std::string_view cref = "",
            SqlValue cinput = "op1") {
    Insert("check_track", {{"irid", irid},
                           {"ikind", kind},
                           {"wpos", wpos},
                           {"cstation", "ST1"},
                           {"ccheckpoint", "ST2"},
                           {"cinput", cinput},
                           {"cref", cref}});
  }
  void Detail(int irid, int wpos, std::string_view info) {
    Insert("check_detail", {{"irid", irid},
                            {"wpos", wpos},
                            {"cdate", "2026-12-08 17:45"},
                            {"cplace", Gbk("杭州")},
                            {"cinfo", info}});
  }

  // nlan of every tracking row of a consignment, in insertion order.
  std::vector<int> Marks(int irid) {
    std::vector<int> marks;
    DbStatement st;
    const std::string sql =
        "SELECT nlan FROM qorvu.dbo.check_track WHERE irid=" + std::to_string(irid) + " ORDER BY iid";
    if (!st.Allocate(setup_) || !st.Execute(sql.c_str())) {
      ADD_FAILURE() << sql;
      return marks;
    }
    std::int32_t nlan = 0;
    st.BindInt32(1, nlan);
    while (st.Fetch()) marks.push_back(nlan);
    return marks;
  }

  std::string MainQuery(std::string_view head) {
    const auto found = StatementsContaining(head);
    return found.empty() ? std::string("<none>") : found.front();
  }
};

// ------------------------------------------------------------------ Update_RecWeb

TEST_F(TrackingTest, RecWebQueriesAndQueuesInEachForm) {
  LoadAllModels("https://t.example/q?n={内单号}&s={转单号}");
  ASSERT_EQ(g_placeTrans.Load("<PLACE_TANS><D>上海=Shanghai</D></PLACE_TANS>"), 1u);
  Account(7);
  InsertBind("13900000009", kOpenIdB);
  const std::string values = "SF101|T101|12-05|Shanghai|LiSi|C7|Unit7|EMS|SFNET|2026-12-06 09:30|" +
                             Gbk("北京") + "|";

  struct Case {
    const char* name;
    bool smsReady;
    int mode;
    std::string sql;
    std::string openId;
  } cases[] = {
      // An SMS mode without a ready gateway keeps the WeChat form.
      {"wechat", false, 1, kRecWebWeChatSql, kOpenIdA},
      {"receiver", true, 1,
       Replaced(kRecWebWeChatSql, {{kWeChatCondition, kReceiverCondition},
                                   {",b.cwebac,", ",a.crsms,"},
                                   {",b.cmsn,", ",a.cphone,"}}),
       "13800000001"},
      // The account's SMS number is bound to a follower: told through WeChat.
      {"customer", true, 2,
       Replaced(kRecWebWeChatSql, {{kWeChatCondition, kCustomerCondition},
                                   {",b.cwebac,", ",b.csmnumber,"},
                                   {",b.cmsn,", ",b.cphone,"}}),
       kOpenIdB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear({"wc_mess", "client_rec", "check_detail"});
    NetworkEntry(101, 7);
    EntryDetail(101);
    SetSmsReady(c.smsReady);
    g_nWebMode = c.mode;

    EXPECT_EQ(Run(Update_RecWeb), 1);
    EXPECT_EQ(MainQuery("SELECT TOP"), c.sql);
    const auto rows = QueueRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ntype, 12);
    EXPECT_EQ(rows[0].iidref, 101);
    EXPECT_EQ(rows[0].icid, 7);
    EXPECT_EQ(rows[0].copenid, c.openId);
    EXPECT_EQ(rows[0].curl, "https://t.example/q?n=SF101&s=T101");
    EXPECT_EQ(rows[0].cparam, values);
  }
  EXPECT_EQ(LogEntries().back(), "End_Update_RecWeb:ok(1),err(0),0 ms");
}

TEST_F(TrackingTest, RecWebReadsTheDetailTableOfTheConfiguredSuffix) {
  Account(7);
  NetworkEntry(101, 7);
  EntryDetail(101, "check_detail_en");

  EXPECT_EQ(Run(Update_RecWeb), 0);
  std::strcpy(g_szDetailSuffix, "_en");
  EXPECT_EQ(Run(Update_RecWeb), 1);
  EXPECT_EQ(MainQuery("SELECT TOP"),
            Replaced(kRecWebWeChatSql, {{"check_detail AS c", "check_detail_en AS c"}}));
  EXPECT_EQ(QueueRows().at(0).iidref, 101);
}

TEST_F(TrackingTest, RecWebQueuesOncePerEntryDetailAndNeverAgain) {
  Account(7);
  NetworkEntry(101, 7);
  EntryDetail(101);
  EntryDetail(101);  // the network reported the entry twice
  NetworkEntry(102, 7, {{"nstate", 3}});  // already delivered
  EntryDetail(102);
  NetworkEntry(103, 7);  // not yet in the network
  Insert("check_detail", {{"irid", 103}, {"npos", 5}});

  EXPECT_EQ(Run(Update_RecWeb), 2);
  EXPECT_EQ(Run(Update_RecWeb), 0);
  const auto rows = QueueRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].iidref, 101);
  EXPECT_EQ(rows[1].iidref, 101);
}

// ------------------------------------------------------------------ Update_Bear

TEST_F(TrackingTest, BearQueriesAndQueuesInEachForm) {
  g_nBearHours = 3;
  Account(7);
  Insert("man_main", {{"mcname", "Wang"}, {"clmphone", "13600000006"}});
  InsertBind("13800000002", kOpenIdB);

  struct Case {
    const char* name;
    bool smsReady;
    int mode;
    std::string sql;
    std::string openId;
    std::string senderPhone;  // value 4
  } cases[] = {
      {"wechat", false, 2, kBearWeChatSql, kOpenIdA, "(137) 0000-0003"},
      // The receiver's phone is bound to a follower.
      {"receiver", true, 1,
       Replaced(kBearWeChatSql, {{kWeChatCondition, kReceiverCondition},
                                 {",b.cwebac,b.cmsn,", ",a.crsms,a.cphone,"}}),
       kOpenIdB, "(137) 0000-0003"},
      // No binding for the sender's phone: it is cleaned in place and chosen,
      // and the sender's phone value carries the cleaned number.
      {"customer", true, 2,
       Replaced(kBearWeChatSql, {{kWeChatCondition, kCustomerCondition},
                                 {",b.cwebac,b.cmsn,", ",b.csmnumber,b.cphone,"}}),
       "13700000003", "13700000003"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear({"wc_mess", "client_rec", "check_track"});
    Dispatch(201, 7, "2026-12-09 07:15:00");
    SetSmsReady(c.smsReady);
    g_nBearMode = c.mode;

    EXPECT_EQ(Run(Update_Bear), 1);
    EXPECT_EQ(MainQuery("SELECT TOP"), c.sql);
    const auto rows = QueueRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ntype, 16);
    EXPECT_EQ(rows[0].iidref, 201);
    EXPECT_EQ(rows[0].icid, 7);
    EXPECT_EQ(rows[0].copenid, c.openId);
    EXPECT_EQ(rows[0].curl, "");  // the model has no link
    EXPECT_EQ(rows[0].cparam, "SF201|T201|Zhao|1 Sender Rd|" + c.senderPhone +
                                  "|Qian|2 Receiver St|13800000002|Wang|12-09 07:15|13600000006|C7|"
                                  "Unit7|" + Gbk("北京") + "|");
  }
  const auto log = LogEntries();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "Begin_Update_Bear");
  EXPECT_EQ(log.back(), "End_Update_Bear:ok(1),err(0),0 ms");
}

TEST_F(TrackingTest, BearCutsLongValuesAndLeavesAnUnknownCourierEmpty) {
  g_nBearHours = 3;
  Account(7);
  Dispatch(201, 7, "2026-12-09 07:15:00",
           {{"caddr", std::string(300, 'x')}, {"cnum", std::string(40, 'N')}});

  EXPECT_EQ(Run(Update_Bear), 1);
  const auto values = QueueRows().at(0).Values();
  ASSERT_EQ(values.size(), 14u);
  EXPECT_EQ(values[0], std::string(31, 'N'));   // the 32-byte column buffer
  EXPECT_EQ(values[6], std::string(254, 'x'));  // the value limit
  EXPECT_EQ(values[8], "Wang");
  EXPECT_EQ(values[10], "");  // no man_main row for Wang
}

// ------------------------------------------------------------------ Update_Check

TEST_F(TrackingTest, CheckQueuesEachKindWithItsValuesAndMarksTheScan) {
  g_nSendDays = 2;
  Account(7);
  Insert("man_main", {{"mcname", "O'Brien"}, {"mccomway", "tel 555"}});
  const std::string head = "SF301|T301|2026-12-08|" + Gbk("上海") + "|Qian|op1|" + Gbk("杭州") +
                           "|" + Gbk("到达杭州") + "|2026-12-08 17:45|ST1|";
  struct Case {
    int kind;
    int type;
    ScannerTest::Scanner scanner;
    std::string middle;  // the kind's own values
  } cases[] = {
      {0, 23, RunCheck0, ""},
      {1, 22, RunCheck1, "ST2|"},
      {2, 24, RunCheck2, "O'Brien|tel 555|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    Clear({"wc_mess", "client_rec", "check_track", "check_detail"});
    InsertConsignment(301, 7, {{"nstate", 2},
                               {"cserviceno", "T301"},
                               {"cdes", Gbk("上海")},
                               {"creceiver", "Qian"},
                               {"ddate", "2026-12-08 09:00:00"}});
    Scan(301, c.kind, 4, "O'Brien");
    Detail(301, 4, Gbk("到达杭州"));

    EXPECT_EQ(Run(c.scanner), 1);
    EXPECT_EQ(MainQuery("SELECT TOP"), CheckSql(c.kind));
    EXPECT_EQ(MainQuery("SELECT cdate"),
              "SELECT cdate,cplace,cinfo FROM qorvu.dbo.check_detail WHERE irid=301 AND wpos=4");
    EXPECT_EQ(MainQuery("UPDATE"),
              "UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=301 AND wpos=4 AND nlan=0");
    EXPECT_EQ(MainQuery("SELECT mccomway"),
              c.kind == 2 ? "SELECT mccomway FROM qorvu.dbo.man_main WHERE mcname='O''Brien'"
                          : "<none>");
    const auto rows = QueueRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ntype, c.type);
    EXPECT_EQ(rows[0].iidref, 301);
    EXPECT_EQ(rows[0].icid, 7);
    EXPECT_EQ(rows[0].copenid, kOpenIdA);
    EXPECT_EQ(rows[0].curl, "");
    EXPECT_EQ(rows[0].cparam, head + c.middle + "C7|Unit7|");
    EXPECT_EQ(Marks(301), std::vector<int>{10});

    // Marked: a second run reads and queues nothing.
    EXPECT_EQ(Run(c.scanner), 0);
    EXPECT_EQ(QueueRows().size(), 1u);
    const auto log = LogEntries();
    EXPECT_EQ(log[log.size() - 2], "Begin_Update_Check_" + std::to_string(c.kind));
    EXPECT_EQ(log.back(), "End_Update_Check_" + std::to_string(c.kind) + ":ok(0),err(0),0 ms");
  }
}

TEST_F(TrackingTest, CheckMarksScansWithoutDescriptionAndLeavesThoseWithoutDetailNumber) {
  g_nSendDays = 2;
  Account(7);
  InsertConsignment(301, 7, {{"nstate", 2}});
  Scan(301, 1, 4);  // its detail has no description
  Detail(301, 4, "");
  Scan(301, 1, 5);  // its detail does not exist
  Scan(301, 1, SqlValue::Null());
  Scan(301, 1, 6, "", SqlValue::Null());  // read after a scan with an operator
  Detail(301, 6, "Left|the\r\nhub");

  EXPECT_EQ(Run(RunCheck1), 1);
  const auto rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Values().at(5), "");
  EXPECT_EQ(rows[0].Values().at(7), "Leftthehub");
  EXPECT_EQ(Marks(301), (std::vector<int>{10, 10, 0, 10}));
  // The scan without a detail number is looked at again in every run, and
  // its mark (wpos=0) never matches it.
  EXPECT_EQ(Run(RunCheck1), 0);
  EXPECT_EQ(StatementsContaining("UPDATE"),
            std::vector<std::string>{
                "UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=301 AND wpos=0 AND nlan=0"});
  EXPECT_TRUE(StatementsContaining("SELECT cdate").empty());
  EXPECT_EQ(Marks(301), (std::vector<int>{10, 10, 0, 10}));
}

TEST_F(TrackingTest, CheckDeliveryScanWithoutCourierAndALongDescription) {
  g_nSendDays = 2;
  Account(7);
  InsertConsignment(301, 7, {{"nstate", 1}});
  Scan(301, 2, 3);
  // A description fills its 256-byte buffer and is kept whole, beyond the
  // 254 bytes of the other values.
  Detail(301, 3, std::string(300, 'd'));
  // Scans refer to the consignment's own details, whatever the network copy.
  std::strcpy(g_szDetailSuffix, "_en");

  EXPECT_EQ(Run(RunCheck2), 1);
  EXPECT_TRUE(StatementsContaining("man_main").empty());
  EXPECT_TRUE(StatementsContaining("check_detail_en").empty());
  const auto values = QueueRows().at(0).Values();
  ASSERT_EQ(values.size(), 14u);
  EXPECT_EQ(values[7], std::string(255, 'd'));
  EXPECT_EQ(values[10], "");
  EXPECT_EQ(values[11], "");
}

TEST_F(TrackingTest, CheckLeavesAScanWhoseInsertFailedForTheNextRun) {
  g_nSendDays = 2;
  Account(7);
  InsertConsignment(301, 7, {{"nstate", 1}});
  Scan(301, 0, 3);
  Detail(301, 3, "Arrived");

  standin::Faults insertFails;
  insertFails.fail_execute_containing = "cp_wc_mess_set";
  EXPECT_EQ(Run(RunCheck0, {}, insertFails), 0);
  EXPECT_EQ(LogEntries().back(), "End_Update_Check_0:ok(0),err(1),0 ms");
  EXPECT_EQ(Marks(301), std::vector<int>{0});

  EXPECT_EQ(Run(RunCheck0), 1);
  EXPECT_EQ(Marks(301), std::vector<int>{10});
}

// ------------------------------------------------------------------ all three

TEST_F(TrackingTest, WindowsIncludeTheRowOneSecondInsideAndNotTheOneOutside) {
  g_nWebDays = 4;
  g_nBearHours = 3;
  g_nSendDays = 2;
  Account(7);
  // Rows one second inside, at, and one second outside each window.
  const int offsets[] = {-1, 0, 1};
  for (int i = 0; i < 3; ++i) {
    NetworkEntry(101 + i, 7, {{"ddate", Ago(4, 0, offsets[i])}});
    EntryDetail(101 + i);
    Dispatch(201 + i, 7, Ago(0, 3, offsets[i]));
    InsertConsignment(301 + i, 7, {{"nstate", 1}, {"ddate", Ago(2, 0, offsets[i])}});
    Scan(301 + i, 0, 1);
    Detail(301 + i, 1, "Arrived");
  }
  EXPECT_EQ(Run(Update_RecWeb), 2);
  EXPECT_EQ(Run(Update_Bear), 2);
  EXPECT_EQ(Run(RunCheck0), 1);  // the scan window excludes its start
  std::vector<int> refs;
  for (const QueueRow& row : QueueRows()) refs.push_back(row.iidref);
  std::sort(refs.begin(), refs.end());
  EXPECT_EQ(refs, (std::vector<int>{101, 102, 201, 202, 301}));
}

TEST_F(TrackingTest, WithoutTheirSettingTheBearAndCheckWindowsStartNow) {
  Account(7);
  Dispatch(201, 7, Ago(0, 0, 60));
  InsertConsignment(301, 7, {{"nstate", 1}, {"ddate", Ago(0, 0, 60)}});
  Scan(301, 0, 1);
  Detail(301, 1, "Arrived");

  EXPECT_EQ(Run(Update_Bear), 0);
  EXPECT_NE(MainQuery("SELECT TOP").find("c.ddate>='2026.12.09 08:00:00'"), std::string::npos);
  EXPECT_EQ(Run(RunCheck0), 0);
  EXPECT_NE(MainQuery("SELECT TOP").find("a.ddate>'2026.12.09 08:00:00'"), std::string::npos);
  EXPECT_TRUE(QueueRows().empty());
}

TEST_F(TrackingTest, FailuresAndMissingModels) {
  standin::Faults allocFails;
  allocFails.fail_alloc_stmt = {1};
  standin::Faults executeFails;
  executeFails.fail_execute = {1};
  struct Case {
    const char* name;
    ScannerTest::Scanner scanner;
    int failed;  // result when the main statement fails
  } cases[] = {
      {"RecWeb", Update_RecWeb, 0},
      {"Bear", Update_Bear, 0},
      {"Check0", RunCheck0, -9},
      {"Check1", RunCheck1, -9},
      {"Check2", RunCheck2, -9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t logged = LogEntries().size();
    EXPECT_EQ(Run(c.scanner, allocFails, {}), c.failed);
    EXPECT_TRUE(Statements().empty());
    EXPECT_EQ(Run(c.scanner, executeFails, {}), c.failed);
    EXPECT_EQ(Statements().size(), 1u);
    // No end line, only the begin lines of the scanners that write one.
    for (std::size_t i = logged; i < LogEntries().size(); ++i) {
      EXPECT_EQ(LogEntries()[i].rfind("Begin_", 0), 0u) << LogEntries()[i];
    }
  }

  // An unknown scan kind and a type without model run nothing.
  EXPECT_EQ(Run([](DbConnection& c1, char* w, DbConnection& c2) { return Update_Check(c1, w, c2, 3); }), 0);
  LoadModels({0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.scanner), 0);
    EXPECT_TRUE(Statements().empty());
  }
  EXPECT_EQ(LogEntries().back(), "Begin_Update_Check_2");
}

}  // namespace
