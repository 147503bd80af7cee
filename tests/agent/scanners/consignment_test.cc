// The consignment status scanners against the stand-in courier database:
// their statements as sent, the queue rows crafted consignments produce in
// each form, and their own rules (send extras, state words, sign times, the
// receivers without a number).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/host/config/settings.h"
#include "agent/scanners/scanners.h"
#include "tests/agent/scanners/scanner_fixture.h"

namespace scan_test {
namespace {

using Strings = std::vector<std::string>;

// The receiver and customer forms of a WeChat statement: the two recipient
// columns and the recipient condition exchanged.
std::string Form(std::string sql, const std::string& first, const std::string& second,
                 const std::string& condition) {
  auto replace = [&sql](const std::string& from, const std::string& to) {
    const std::size_t at = sql.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) sql.replace(at, from.size(), to);
  };
  replace("(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)", condition);
  replace("b.cwebac,", first + ",");
  replace("b.cmsn,", second + ",");
  return sql;
}
std::string ReceiverForm(const std::string& sql) {
  return Form(sql, "a.crsms", "a.cphone", "(a.crsms <> '' OR a.cphone<>'')");
}
std::string CustomerForm(const std::string& sql) {
  return Form(sql, "b.csmnumber", "b.cphone",
              "(b.csmnumber<>'' OR b.cphone<>'' OR a.csphone<>'')");
}

class ConsignmentTest : public ScannerTest {
 protected:
  // The statements of the last run that read consignments.
  Strings MainQueries() { return StatementsContaining("FROM qorvu.dbo.client_rec AS a"); }
  // The only one of them ("" when there is not exactly one).
  std::string MainQuery() {
    const Strings queries = MainQueries();
    EXPECT_EQ(queries.size(), 1u);
    return queries.size() == 1 ? queries[0] : std::string();
  }
  QueueRow LastRow() {
    const std::vector<QueueRow> rows = QueueRows();
    EXPECT_FALSE(rows.empty());
    return rows.empty() ? QueueRow{} : rows.back();
  }
  // The values of the only queue row, as UTF-8.
  Strings OnlyValues() {
    const std::vector<QueueRow> rows = QueueRows();
    EXPECT_EQ(rows.size(), 1u);
    Strings values;
    if (rows.empty()) return values;
    for (const std::string& v : rows[0].Values()) values.push_back(Utf8(v));
    return values;
  }
};

// ------------------------------------------------------------------ Update_Send

constexpr char kSendWeChat[] =
    "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.ndays,a.npayway,a.famount,a.fgoods,"
    "a.dsenddate,a.csender,a.creceiver,a.cgoods,a.cserviceno,a.iitem,b.cunitname,b.caccount,"
    "a.csphone,a.cbearer,a.iquantity,a.ctransnote,b.cmsn,a.caddrfrom FROM qorvu.dbo.client_rec AS "
    "a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE a.dsenddate>'2026.12.06 "
    "08:00:00' AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND a.nstate<3 AND a.cemskind='EMS' AND "
    "NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype IN(1,19) AND iidref=a.irid)";

TEST_F(ConsignmentTest, SendWeChatFormStatementsValuesAndLog) {
  InsertKind("EMS", "nsmsend");
  InsertAccount(7, {{"cwebac", "short"}, {"cmsn", kOpenIdB}, {"cunitname", Gbk("某公司")}});
  InsertConsignment(101, 7,
                    {{"cserviceno", "T9"},
                     {"iitem", 2},
                     {"dsenddate", "2026-12-08 17:30:00"},
                     {"csender", Gbk("张三")},
                     {"csphone", "010-1234"},
                     {"creceiver", Gbk("李四")},
                     {"cdes", Gbk("上海")},
                     {"cgoods", Gbk("书")},
                     {"iquantity", -3},
                     {"ctransnote", Gbk("小心")},
                     {"npayway", 2},
                     {"famount", 12.5},
                     {"fgoods", 100.0},
                     {"ndays", 2},
                     {"cbearer", Gbk("王五")},
                     {"caddrfrom", Gbk("北京")},
                     {"nstate", 1}});
  Insert("man_main", {{"mcname", Gbk("王五")}, {"mcsmphone", "13900000009"}});

  EXPECT_EQ(Run(Update_Send), 1);
  const Strings statements = Statements();
  ASSERT_EQ(statements.size(), 4u);
  EXPECT_EQ(statements[0], "SELECT cemskind,nsmdays FROM qorvu.dbo.ems_kind WHERE nsmsend=1");
  EXPECT_EQ(statements[1], kSendWeChat);
  EXPECT_EQ(statements[2],
            "SELECT mcsmphone FROM qorvu.dbo.man_main WHERE mcname='" + Gbk("王五") + "'");
  EXPECT_EQ(statements[3].rfind("{?=CALL qorvu.dbo.cp_wc_mess_set(7,101,1,'','" +
                                    std::string(kOpenIdB) + "','SF101|",
                                0),
            0u);

  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].ntype, 1);
  EXPECT_EQ(rows[0].iidref, 101);
  EXPECT_EQ(rows[0].icid, 7);
  EXPECT_EQ(rows[0].copenid, kOpenIdB);
  EXPECT_EQ(rows[0].curl, "");
  EXPECT_EQ(OnlyValues(), (Strings{"SF101", "T9", "2", "12-08", "张三", "010-1234", "李四",
                                   "上海", "书", "-3", "小心", "运费12.50元", "货款100.00元",
                                   "预计2天到达", "", "C7", "某公司", "王五", "13900000009",
                                   "北京"}));

  EXPECT_EQ(LogEntries("_Send"), (Strings{"Begin_Update_Send", "Update_Send:ok(emskind:1)",
                                          "End_Update_Send:ok(1),err(0),0 ms"}));
  EXPECT_TRUE(LogEntries().empty());

  // Queued once: the next run finds nothing.
  EXPECT_EQ(Run(Update_Send), 0);
  EXPECT_EQ(QueueRows().size(), 1u);
}

TEST_F(ConsignmentTest, SendExtrasAndExclusions) {
  InsertKind("EMS", "nsmsend");
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  // Freight below a cent, no goods payment, no days, a courier not on the staff.
  InsertConsignment(101, 7, {{"npayway", 2}, {"famount", 0.005}, {"cbearer", "Nobody"}});
  // Freight not paid by the receiver.
  InsertConsignment(102, 7, {{"npayway", 1}, {"famount", 30.0}});
  // Already told as a forwarded consignment, already signed for, sent before the window.
  InsertConsignment(103, 7);
  Insert("wc_mess", {{"ntype", 19}, {"iidref", 103}});
  InsertConsignment(104, 7, {{"nstate", 3}});
  InsertConsignment(105, 7, {{"dsenddate", Ago(3)}});

  EXPECT_EQ(Run(Update_Send), 2);
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 3u);
  const QueueRow& first = rows[1];
  ASSERT_EQ(first.Values().size(), 20u);
  EXPECT_EQ(first.Value(11), "");
  EXPECT_EQ(first.Value(12), "");
  EXPECT_EQ(first.Value(13), "");
  EXPECT_EQ(first.Value(17), "Nobody");
  EXPECT_EQ(first.Value(18), "");
  EXPECT_EQ(rows[2].iidref, 102);
  EXPECT_EQ(rows[2].Value(11), "");
  // An empty courier name is not looked up.
  EXPECT_EQ(StatementsContaining("man_main").size(), 1u);
}

TEST_F(ConsignmentTest, SendForms) {
  g_nSendMode = 1;
  InsertKind("EMS", "nsmsend");
  InsertAccount(7, {{"cwebac", kOpenIdA},
                    {"csmnumber", "13700000007"},
                    {"cphone", "021-55556666"}});
  InsertConsignment(101, 7, {{"crsms", "138 0000 0001"},
                             {"cphone", "13900000002"},
                             {"csphone", "(0571) 8888-9999"}});

  // The gateway not ready: SMS mode 1 still uses the WeChat form.
  EXPECT_EQ(Run(Update_Send), 1);
  ASSERT_EQ(MainQueries().size(), 1u);
  EXPECT_EQ(MainQuery(), kSendWeChat);
  EXPECT_EQ(LastRow().copenid, kOpenIdA);

  // Receiver form: the receiver's SMS number, cleaned.
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  SetSmsReady(true);
  EXPECT_EQ(Run(Update_Send), 1);
  EXPECT_EQ(MainQuery(), ReceiverForm(kSendWeChat));
  EXPECT_EQ(LastRow().copenid, "13800000001");

  // Receiver form with the receiver's phone bound to a follower.
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  InsertBind("13900000002", kOpenIdB);
  EXPECT_EQ(Run(Update_Send), 1);
  EXPECT_EQ(LastRow().copenid, kOpenIdB);
  EXPECT_EQ(StatementsContaining("wc_bind"),
            (Strings{"SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone "
                     "IN('138 0000 0001','13900000002')"}));

  // Customer form: the sender's phone first, cleaned in place, so value 5 is clean too.
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  g_nSendMode = 2;
  EXPECT_EQ(Run(Update_Send), 1);
  EXPECT_EQ(MainQuery(), CustomerForm(kSendWeChat));
  const QueueRow row = LastRow();
  EXPECT_EQ(row.copenid, "057188889999");
  EXPECT_EQ(row.Value(5), "057188889999");
  EXPECT_EQ(StatementsContaining("wc_bind"),
            (Strings{"SELECT copenid FROM qorvu.dbo.wc_bind WHERE cphone "
                     "IN('(0571) 8888-9999','13700000007')"}));
}

TEST_F(ConsignmentTest, CustomerFormWithoutUsableNumberSkipsTheRowUncounted) {
  g_nSendMode = 2;
  SetSmsReady(true);
  InsertKind("EMS", "nsmsend");
  InsertAccount(7, {{"csmnumber", "12345"}, {"cphone", "55-1"}});
  InsertConsignment(101, 7, {{"csphone", "8-8"}, {"caddrfrom", Gbk("杭州")}});
  // The next row has no origin: nothing of the skipped row may show in it.
  InsertAccount(8, {{"csmnumber", "13700000008"}});
  InsertConsignment(102, 8, {{"caddrfrom", SqlValue::Null()}, {"cdes", SqlValue::Null()}});

  EXPECT_EQ(Run(Update_Send), 1);
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].iidref, 102);
  EXPECT_EQ(rows[0].copenid, "13700000008");
  EXPECT_EQ(rows[0].Value(19), "");
  EXPECT_EQ(rows[0].Value(7), "");
  EXPECT_EQ(LogEntries("_Send").back(), "End_Update_Send:ok(1),err(0),0 ms");
}

// ------------------------------------------------------------------ Update_Error

constexpr char kErrorWeChat[] =
    "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.creceiver,ISNULL(c.npos,255),c.cdate,"
    "c.cplace,c.cinfo,a.nstate,a.cserviceno,a.ddate,b.cunitname,b.caccount,b.cmsn,a.caddrfrom,"
    "a.csphone FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b "
    "ON(a.icid=b.icid) LEFT OUTER JOIN qorvu.dbo.check_detail AS c ON(a.irid=c.irid) WHERE "
    "a.nstate>3 AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND a.cemskind='EMS' AND "
    "a.ddate>='2026.12.04 08:00:00' AND c.npos=(select ISNULL(max(npos),255) from "
    "qorvu.dbo.check_detail where irid=a.irid) AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess "
    "WHERE ntype=3 AND iidref=a.irid)";

TEST_F(ConsignmentTest, ErrorStatementStateWordsAndForms) {
  InsertKind("EMS", "nsmerror");
  InsertAccount(7, {{"cwebac", kOpenIdA}, {"csmnumber", "13700000007"}});
  InsertConsignment(101, 7, {{"nstate", 5},
                             {"cserviceno", "T1"},
                             {"ddate", "2026-12-07 10:00:00"},
                             {"creceiver", Gbk("李四")},
                             {"cdes", Gbk("上海")},
                             {"caddrfrom", Gbk("北京")},
                             {"crsms", "13800000001"}});
  InsertConsignment(102, 7, {{"nstate", 12}});
  // The current detail of 101 is its highest position; 102 has none.
  Insert("check_detail", {{"irid", 101}, {"npos", 1}, {"cinfo", "old"}});
  Insert("check_detail", {{"irid", 101}, {"npos", 2}, {"cinfo", "new"}});

  EXPECT_EQ(Run(Update_Error), 1);
  ASSERT_EQ(MainQueries().size(), 1u);
  EXPECT_EQ(MainQuery(), kErrorWeChat);
  EXPECT_EQ(LastRow().ntype, 3);
  EXPECT_EQ(LastRow().copenid, kOpenIdA);
  EXPECT_EQ(OnlyValues(),
            (Strings{"SF101", "T1", "12-07", "上海", "李四", "海关延误", "C7", "Unit7", "北京"}));
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Error:ok(1),err(0),0 ms"}));

  // A state beyond the table reads as unknown.
  Insert("check_detail", {{"irid", 102}, {"npos", 7}});
  EXPECT_EQ(Run(Update_Error), 1);
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Utf8(rows[1].Value(5)), "未知");

  // Receiver and customer forms.
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  SetSmsReady(true);
  g_nErrorMode = 1;
  EXPECT_EQ(Run(Update_Error), 1);  // 102 has no receiver number
  EXPECT_EQ(MainQuery(), ReceiverForm(kErrorWeChat));
  EXPECT_EQ(LastRow().copenid, "13800000001");
  g_nErrorMode = 2;
  EXPECT_EQ(Run(Update_Error), 1);
  EXPECT_EQ(MainQuery(), CustomerForm(kErrorWeChat));
  EXPECT_EQ(LastRow().iidref, 102);
  EXPECT_EQ(LastRow().copenid, "13700000007");
}

TEST_F(ConsignmentTest, ErrorReadsTheDetailTableWithItsSuffix) {
  std::snprintf(g_szDetailSuffix, sizeof g_szDetailSuffix, "_en");
  InsertKind("EMS", "nsmerror");
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  InsertConsignment(101, 7, {{"nstate", 4}});
  Insert("check_detail_en", {{"irid", 101}, {"npos", 3}});

  EXPECT_EQ(Run(Update_Error), 1);
  std::string expected = kErrorWeChat;
  for (std::size_t at = expected.find("check_detail "); at != std::string::npos;
       at = expected.find("check_detail ", at)) {
    expected.insert(at + 12, "_en");
  }
  EXPECT_EQ(MainQueries(), (Strings{expected}));
}

// ------------------------------------------------------------------ Update_Sign

constexpr char kSignWeChat[] =
    "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cdes,a.creceiver,a.dadate,a.csign,b.cwebac,"
    "a.cserviceno,a.ddate,b.cunitname,b.caccount,b.cmsn,a.caddrfrom,a.csphone FROM "
    "qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE "
    "a.nstate=3 AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND a.cemskind='EMS' AND "
    "a.ddate>='2026.12.03 08:00:00' AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=2 "
    "AND iidref=a.irid)";

TEST_F(ConsignmentTest, SignStatementValuesAndSignTimes) {
  InsertKind("EMS", "nsmsign");
  InsertAccount(7, {{"cwebac", kOpenIdA}, {"csmnumber", "13700000007"}});
  InsertConsignment(101, 7, {{"nstate", 3},
                             {"cserviceno", "T1"},
                             {"ddate", "2026-12-05 09:00:00"},
                             {"dadate", "2026-12-08 16:45:30"},
                             {"csign", Gbk("王五")},
                             {"creceiver", Gbk("李四")},
                             {"cdes", "Paris"},
                             {"caddrfrom", Gbk("北京")},
                             {"cphone", "13900000002"}});

  EXPECT_EQ(Run(Update_Sign), 1);
  EXPECT_EQ(MainQueries(), (Strings{kSignWeChat}));
  EXPECT_EQ(LastRow().ntype, 2);
  EXPECT_EQ(OnlyValues(), (Strings{"SF101", "T1", "12-05", "Paris", "李四", "12-08", "16:45",
                                   "王五", "C7", "Unit7", "北京"}));
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(1),err(0),0 ms"}));

  SetSmsReady(true);
  g_nSignMode = 1;
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  EXPECT_EQ(Run(Update_Sign), 1);
  EXPECT_EQ(MainQueries(), (Strings{ReceiverForm(kSignWeChat)}));
  EXPECT_EQ(LastRow().copenid, "13900000002");
  g_nSignMode = 2;
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  EXPECT_EQ(Run(Update_Sign), 1);
  EXPECT_EQ(MainQueries(), (Strings{CustomerForm(kSignWeChat)}));
  EXPECT_EQ(LastRow().copenid, "13700000007");
}

TEST_F(ConsignmentTest, SignTimesAreLeftEmptyForOldOrUnsignedConsignments) {
  InsertKind("EMS", "nsmsign", 10000);
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  InsertConsignment(101, 7, {{"nstate", 3},
                             {"ddate", "2000-12-31 23:59:59"},
                             {"dadate", "2001-01-02 10:00:00"}});
  InsertConsignment(102, 7, {{"nstate", 3}, {"ddate", "2001-01-01 00:00:00"},
                             {"dadate", "2001-01-02 10:00:00"}});
  InsertConsignment(103, 7, {{"nstate", 3}, {"dadate", SqlValue::Null()}});

  EXPECT_EQ(Run(Update_Sign), 3);
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 3u);
  struct Expect {
    int irid;
    const char* date;
    const char* time;
  };
  const Expect expected[] = {{101, "", ""}, {102, "01-02", "10:00"}, {103, "", ""}};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(expected[i].irid);
    EXPECT_EQ(rows[i].iidref, expected[i].irid);
    EXPECT_EQ(rows[i].Value(5), expected[i].date);
    EXPECT_EQ(rows[i].Value(6), expected[i].time);
  }
}

// ------------------------------------------------------------------ Update_Take

constexpr char kTakeWeChat[] =
    "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cdes,a.creceiver,b.cwebac,a.cserviceno,a.ddate,"
    "b.cunitname,b.caccount,b.cmsn,a.dsysdate,a.caddrfrom,a.csphone FROM qorvu.dbo.client_rec AS "
    "a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE (LEN(b.cwebac)=28 OR "
    "LEN(b.cmsn)=28) AND a.cemskind='EMS' AND a.dsysdate>='2026.12.08 08:00:00' AND NOT "
    "EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=0 AND iidref=a.irid)";

TEST_F(ConsignmentTest, TakeStatementValuesAndLink) {
  LoadAllModels("https://t.example/q?no={内单号}&svc={转单号}&again={内单号}");
  InsertKind("EMS", "nsmtake");
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  InsertConsignment(101, 7, {{"cserviceno", "T1"},
                             {"ddate", "2026-12-09 00:00:00"},
                             {"dsysdate", "2026-12-09 07:59:30"},
                             {"creceiver", Gbk("李四")},
                             {"cdes", Gbk("上海")},
                             {"caddrfrom", Gbk("北京")},
                             {"nstate", 4}});

  EXPECT_EQ(Run(Update_Take), 1);
  EXPECT_EQ(MainQueries(), (Strings{kTakeWeChat}));
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].ntype, 0);
  EXPECT_EQ(rows[0].curl, "https://t.example/q?no=SF101&svc=T1&again=SF101");
  EXPECT_EQ(OnlyValues(), (Strings{"SF101", "12-09", "", "李四", "上海", "C7", "Unit7",
                                   "2026-12-09 07:59", "北京"}));
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Take:Rec(1),ok(1),err(0),0 ms"}));

  // The customer form.
  SetSmsReady(true);
  g_nTakeMode = 2;
  Exec("UPDATE qorvu.dbo.client_rec SET csphone='13600000006'");
  Exec("DELETE FROM qorvu.dbo.wc_mess");
  EXPECT_EQ(Run(Update_Take), 1);
  EXPECT_EQ(MainQueries(), (Strings{CustomerForm(kTakeWeChat)}));
  EXPECT_EQ(LastRow().copenid, "13600000006");
}

TEST_F(ConsignmentTest, TakeReceiverFormListsUnusableNumbers) {
  SetSmsReady(true);
  g_nTakeMode = 1;
  InsertKind("EMS", "nsmtake");
  InsertAccount(7);
  InsertConsignment(101, 7, {{"crsms", "12-34"}, {"cphone", Gbk("无")}});
  InsertConsignment(102, 7, {{"crsms", "13800000001"}});

  EXPECT_EQ(Run(Update_Take), 1);
  std::string receiver = kTakeWeChat;
  receiver = Form(receiver, "a.crsms", "a.cphone", "(a.crsms<>'' OR a.cphone<>'')");
  EXPECT_EQ(MainQueries(), (Strings{receiver}));
  EXPECT_EQ(LastRow().copenid, "13800000001");
  // The cleaned texts, without a time stamp.
  EXPECT_EQ(LogEntries("NUM"), (Strings{"1234,"}));
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Take:Rec(2),ok(1),err(0),0 ms"}));
}

// ------------------------------------------------------------------ common to the four

TEST_F(ConsignmentTest, EachScannerRunsNothingWithoutItsModel) {
  LoadModels({4, 5, 6});
  const ScannerTest::Scanner scanners[] = {Update_Take, Update_Send, Update_Sign, Update_Error};
  for (const auto& scanner : scanners) {
    EXPECT_EQ(Run(scanner), 0);
    EXPECT_TRUE(Statements().empty());
  }
  // Only the begin line of the send scanner comes before the model test.
  EXPECT_EQ(LogEntries("_Send"), (Strings{"Begin_Update_Send"}));
  EXPECT_TRUE(LogEntries().empty());
}

TEST_F(ConsignmentTest, EachScannerReturnsMinusNineWhenConnectionOneHasNoStatement) {
  standin::Faults noStatement;
  noStatement.fail_alloc_stmt = {1};
  const ScannerTest::Scanner scanners[] = {Update_Take, Update_Send, Update_Sign, Update_Error};
  for (const auto& scanner : scanners) {
    EXPECT_EQ(Run(scanner, noStatement, {}), -9);
    EXPECT_TRUE(Statements().empty());
  }
  EXPECT_TRUE(LogEntries().empty());
}

}  // namespace
}  // namespace scan_test
