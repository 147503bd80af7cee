// The transfer and account scanners against the stand-in courier database:
// transfer receipts (type 7), forwarded consignments sent (19), bags the
// balance does not cover (18), accounts in arrears (20) and bags waiting
// for distribution, told to the staff (21).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "agent/host/config/settings.h"
#include "agent/scanners/scanners.h"
#include "tests/agent/scanners/scanner_fixture.h"

namespace scan_test {
namespace {

// A third and fourth OpenID for the staff members.
constexpr char kOpenIdX[] = "oXXXXXXXXXXXXXXXXXXXXXXXXXX3";
constexpr char kOpenIdY[] = "oYYYYYYYYYYYYYYYYYYYYYYYYYY4";
constexpr char kOpenIdZ[] = "oZZZZZZZZZZZZZZZZZZZZZZZZZZ5";

// What one queue row must hold.
struct Expected {
  int ntype;
  int iidref;
  std::string copenid;
  std::string curl;
  std::string cparam;
};

void ExpectRow(const QueueRow& row, const Expected& e) {
  EXPECT_EQ(row.nstate, 0);
  EXPECT_EQ(row.ntype, e.ntype);
  EXPECT_EQ(row.iidref, e.iidref);
  EXPECT_EQ(row.copenid, e.copenid);
  EXPECT_EQ(row.curl, e.curl);
  EXPECT_EQ(row.cparam, e.cparam);
}

Columns With(Columns base, const Columns& extra) {
  for (const auto& column : extra) {
    auto same = std::find_if(base.begin(), base.end(),
                             [&](const auto& b) { return b.first == column.first; });
    if (same != base.end()) {
      same->second = column.second;
    } else {
      base.push_back(column);
    }
  }
  return base;
}

bool HasEntryStartingWith(const std::vector<std::string>& entries, const std::string& start) {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const std::string& e) { return e.rfind(start, 0) == 0; });
}

class TransferScannerTest : public ScannerTest {
 protected:
  // A transfer receipt, not tied to a consignment, received a day ago.
  void InsertReceipt(int iid, int icid, const Columns& extra = {}) {
    Insert("rec_trans", With({{"iid", iid},
                              {"biid", 0},
                              {"icid", icid},
                              {"irid", 0},
                              {"cf_num", "R" + std::to_string(iid)},
                              {"drdate", Ago(1)}},
                             extra));
  }
  // A received transfer bag, not tied to a consignment, entered a day ago.
  void InsertBag(int biid, int icid, const Columns& extra = {}) {
    Insert("rec_trans_bag", With({{"biid", biid},
                                  {"icid", icid},
                                  {"irid", 0},
                                  {"bget", 1},
                                  {"cnum", "B" + std::to_string(biid)},
                                  {"dsysdate", Ago(1)}},
                                 extra));
  }
  void InsertStaff(std::string_view name, std::string_view kinds, std::string_view openId) {
    Insert("man_main", {{"mcname", name}, {"ccltkind", kinds}, {"cmsn", openId}});
  }
};

// ------------------------------------------------------------------ type 7

TEST_F(TransferScannerTest, TransRsvQueuesEachNewReceiptOnce) {
  LoadAllModels("http://m.example/t?n={运单号}&k={内单号}");
  InsertAccount(5, {{"cwebac", kOpenIdA}, {"cunitname", Gbk("某公司")}});
  InsertAccount(6, {{"cwebac", "short"}, {"cmsn", kOpenIdB}});
  InsertReceipt(100, 5, {{"cf_num", "R100"}, {"drdate", "2026-12-08 07:05:09"}, {"fweight", 1.25},
                         {"iitem", 3}, {"cf_emskind", "DHL"}, {"cmark", "M1"},
                         {"cstationr", "ST1"}});
  InsertReceipt(101, 6, {{"drdate", Ago(3, 11)}, {"fweight", 0.0005}, {"iitem", -2}});
  InsertReceipt(102, 5, {{"drdate", Ago(3, 12)}});  // the window's start itself: too old
  InsertReceipt(103, 5, {{"irid", 77}});            // already tied to a consignment

  EXPECT_EQ(Run(Update_TransRsv), 2);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 1u);
  EXPECT_EQ(statements[0],
            "SELECT TOP 10000 a.iid,a.biid,a.icid,a.cf_num,a.drdate,b.cwebac,b.cmsn,a.fweight,"
            "a.iitem,b.cunitname,b.caccount,a.cf_emskind,a.cmark,a.cstationr FROM "
            "qorvu.dbo.rec_trans AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
            "WHERE a.drdate>'2026.12.05 20:00:00' AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND "
            "a.irid<1 AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=7 AND "
            "iidref=a.iid)");

  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 2u);
  std::sort(rows.begin(), rows.end(),
            [](const QueueRow& a, const QueueRow& b) { return a.iidref < b.iidref; });
  // Only {运单号} is filled in this link; {内单号} is left for the sender.
  const std::string link = "http://m.example/t?n=R100&k=" + Gbk("{内单号}");
  ExpectRow(rows[0], {7, 100, kOpenIdA, link,
                      "R100|12-08|07:05|1.250|3|DHL|M1|ST1|C5|" + Gbk("某公司") + "|"});
  EXPECT_EQ(rows[0].icid, 5);
  const std::string date = Ago(3, 11).substr(5, 5);  // "MM-DD"
  const std::string time = Ago(3, 11).substr(11, 5);
  ExpectRow(rows[1], {7, 101, kOpenIdB, "http://m.example/t?n=R101&k=" + Gbk("{内单号}"),
                      "R101|" + date + "|" + time + "||-2||||C6|Unit6|"});

  EXPECT_EQ(LogEntries().back(), "End_Update_TransRsv:ok(2),err(0),0 ms");

  // However old, a queued receipt is never queued again.
  SetNow({2026, 12, 9, 9, 0, 0, 0});
  EXPECT_EQ(Run(Update_TransRsv), 0);
  EXPECT_EQ(QueueRows().size(), 2u);
  EXPECT_EQ(LogEntries().back(), "End_Update_TransRsv:ok(0),err(0),0 ms");
}

TEST_F(TransferScannerTest, TransRsvModelLinkWithoutWaybillIsNotStored) {
  LoadModels({7}, "http://m.example/q?k={内单号}");
  InsertAccount(5, {{"cwebac", kOpenIdA}});
  InsertReceipt(100, 5);
  EXPECT_EQ(Run(Update_TransRsv), 1);
  ASSERT_EQ(QueueRows().size(), 1u);
  EXPECT_EQ(QueueRows()[0].curl, "");
}

TEST_F(TransferScannerTest, TransRsvFailedInsertIsFoundAgain) {
  InsertAccount(5, {{"cwebac", kOpenIdA}});
  InsertReceipt(100, 5);
  standin::Faults failInsert;
  failInsert.fail_execute_containing = "cp_wc_mess_set";
  EXPECT_EQ(Run(Update_TransRsv, {}, failInsert), 0);
  EXPECT_TRUE(QueueRows().empty());
  EXPECT_EQ(LogEntries().back(), "End_Update_TransRsv:ok(0),err(1),0 ms");

  EXPECT_EQ(Run(Update_TransRsv), 1);
  EXPECT_EQ(QueueRows().size(), 1u);
}

// Values lose "|", CR and LF; NULL columns arrive empty (or 0) and never
// carry the previous row's values.
TEST_F(TransferScannerTest, TransRsvCleansValuesAndReadsNullsAsEmpty) {
  InsertAccount(5, {{"cwebac", kOpenIdA}, {"cunitname", "Uni|t\r\nFive"}});
  InsertReceipt(100, 5, {{"cf_num", "R|1\r\n00"}, {"fweight", 2.0}, {"iitem", 4},
                         {"cf_emskind", "DHL"}, {"cmark", "M|1"}, {"cstationr", "ST\n1"}});
  InsertReceipt(101, 5, {{"cf_num", SqlValue::Null()}, {"fweight", SqlValue::Null()},
                         {"iitem", SqlValue::Null()}, {"cf_emskind", SqlValue::Null()},
                         {"cmark", SqlValue::Null()}, {"cstationr", SqlValue::Null()}});
  EXPECT_EQ(Run(Update_TransRsv), 2);
  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 2u);
  std::sort(rows.begin(), rows.end(),
            [](const QueueRow& a, const QueueRow& b) { return a.iidref < b.iidref; });
  const std::string when = Ago(1).substr(5, 5) + "|" + Ago(1).substr(11, 5);
  EXPECT_EQ(rows[0].cparam, "R100|" + when + "|2.000|4|DHL|M1|ST1|C5|UnitFive|");
  EXPECT_EQ(rows[1].cparam, "|" + when + "||0||||C5|UnitFive|");
}

// ------------------------------------------------------------------ type 19

TEST_F(TransferScannerTest, TransSendWeChatForm) {
  LoadAllModels("http://m.example/q?a={内单号}&b={转单号}");
  InsertAccount(5, {{"cwebac", kOpenIdA}, {"fdeposit", 100.0}, {"fpay0", 30.0},
                    {"fpay1", 20.5}});
  InsertAccount(6, {{"cmsn", kOpenIdB}, {"fdeposit", 100.0}, {"fpay0", SqlValue::Null()},
                    {"fpay1", 20.0}});
  InsertConsignment(1, 5, {{"nfrom", 3}, {"cserviceno", "T1"}, {"dsysdate", "2026-12-09 07:30:15"},
                           {"famount", 12.5}, {"creceiver", Gbk("张三")}, {"fweight", 2.25},
                           {"ffweight", 2.5}, {"cdes", Gbk("上海")}});
  InsertConsignment(2, 6, {{"nfrom", 3}, {"dsysdate", Ago(0, 3)}});  // window start: included
  InsertConsignment(3, 5, {{"nfrom", 3}, {"dsysdate", Ago(0, 4)}});  // entered 4 hours ago
  InsertConsignment(4, 5, {{"nfrom", 0}});                           // not forwarded

  EXPECT_EQ(Run(Update_TransSend), 2);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 1u);
  EXPECT_EQ(statements[0],
            "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cserviceno,b.cwebac,b.cmsn,a.dsysdate,"
            "a.famount,a.creceiver,a.fweight,a.cphone,a.ffweight,b.fdeposit,b.fpay0+b.fpay1,"
            "b.cunitname,b.caccount,a.cdes FROM qorvu.dbo.client_rec AS a INNER JOIN "
            "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE nfrom=3 AND (LEN(b.cwebac)=28 OR "
            "LEN(b.cmsn)=28) AND a.dsysdate>='2026.12.09 05:00:00' AND NOT EXISTS(SELECT 1 FROM "
            "qorvu.dbo.wc_mess WHERE ntype=19 AND iidref=a.irid)");
  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 2u);
  std::sort(rows.begin(), rows.end(),
            [](const QueueRow& a, const QueueRow& b) { return a.iidref < b.iidref; });
  ExpectRow(rows[0], {19, 1, kOpenIdA, "http://m.example/q?a=SF1&b=T1",
                      "SF1|T1|2026-12-09 07:30:15|" + Gbk("上海") + "|" + Gbk("张三") +
                          "|2.500|2.250|12.50|100.00|49.50|C5|Unit5|"});
  EXPECT_EQ(rows[0].icid, 5);
  // A NULL charge makes the sum NULL: read as 0, not as the previous account's.
  ExpectRow(rows[1], {19, 2, kOpenIdB, "http://m.example/q?a=SF2&b=",
                      "SF2||2026-12-09 05:00:00|||0.000|0.000|0.00|100.00|100.00|C6|Unit6|"});

  const std::vector<std::string> log = LogEntries();
  EXPECT_TRUE(HasEntryStartingWith(log, "Begin_Update_TransSend"));
  EXPECT_EQ(log.back(), "End_Update_TransSend:ok(2),err(0),0 ms");

  EXPECT_EQ(Run(Update_TransSend), 0);
  EXPECT_EQ(QueueRows().size(), 2u);
}

TEST_F(TransferScannerTest, TransSendAccountSmsForm) {
  SetSmsReady(true);
  InsertAccount(1, {{"csmnumber", "138-0000-0001"}});
  InsertAccount(2, {{"cphone", "(010) 6234-5678"}});
  InsertAccount(3, {{"csmnumber", "123"}, {"cphone", "4567"}});  // no usable number
  InsertAccount(4, {{"csmnumber", "13900000004"}, {"cphone", "13700000004"}});
  InsertAccount(5, {{"cwebac", kOpenIdA}});  // WeChat only: not selected
  InsertBind("13700000004", kOpenIdB);
  for (int icid = 1; icid <= 5; ++icid) InsertConsignment(icid, icid, {{"nfrom", 3}});

  EXPECT_EQ(Run(Update_TransSend), 3);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 1u);
  EXPECT_EQ(statements[0],
            "SELECT TOP 10000 a.irid,a.icid,a.cnum,a.cserviceno,b.csmnumber,b.cphone,a.dsysdate,"
            "a.famount,a.creceiver,a.fweight,a.cphone,a.ffweight,b.fdeposit,b.fpay0+b.fpay1,"
            "b.cunitname,b.caccount,a.cdes FROM qorvu.dbo.client_rec AS a INNER JOIN "
            "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE nfrom=3 AND (b.csmnumber<>'' OR "
            "b.cphone<>'') AND a.dsysdate>='2026.12.09 05:00:00' AND NOT EXISTS(SELECT 1 FROM "
            "qorvu.dbo.wc_mess WHERE ntype=19 AND iidref=a.irid)");
  // The bound phone is looked up first, the account's phone before its SMS number.
  EXPECT_EQ(StatementsContaining("wc_bind").size(), 3u);
  EXPECT_FALSE(StatementsContaining("cphone IN('13700000004','13900000004')").empty());

  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 3u);
  std::sort(rows.begin(), rows.end(),
            [](const QueueRow& a, const QueueRow& b) { return a.iidref < b.iidref; });
  EXPECT_EQ(rows[0].copenid, "13800000001");
  EXPECT_EQ(rows[1].copenid, "01062345678");
  EXPECT_EQ(rows[2].copenid, kOpenIdB);
  EXPECT_EQ(rows[2].iidref, 4);
  for (const QueueRow& row : rows) EXPECT_EQ(row.ntype, 19);
  // The skipped consignment is counted neither as sent nor as failed.
  EXPECT_EQ(LogEntries().back(), "End_Update_TransSend:ok(3),err(0),0 ms");
}

// ------------------------------------------------------------------ type 18

TEST_F(TransferScannerTest, TransPackNotifiesTheCustomersWhoseBalanceDoesNotCoverTheirBags) {
  // A: bags 60 + 40 = 100, balance 50 - 15 - 5 = 30.
  InsertAccount(1, {{"cwebac", kOpenIdA}, {"fdeposit", 50.0}, {"fpay0", 15.0}, {"fpay1", 5.0}});
  InsertBag(11, 1, {{"famount", 60.0}});
  InsertBag(12, 1, {{"famount", 40.0}});
  InsertBag(13, 1, {{"famount", 999.0}, {"irid", 5}});  // already sent on
  InsertBag(14, 1, {{"famount", 999.0}, {"bget", 0}});  // not received
  // B: bags 20, balance 50: covered although the query returns him.
  InsertAccount(2, {{"cwebac", kOpenIdB}, {"fdeposit", 50.0}});
  InsertBag(21, 2, {{"famount", 20.0}});
  // C: no bag, balance -5.
  InsertAccount(3, {{"cwebac", kOpenIdA}, {"fdeposit", 0.0}, {"fpay0", 5.0}});
  // D: bags 30, balance 100.1 - 70.1, which is 30 up to the double's error: covered.
  InsertAccount(4, {{"cmsn", kOpenIdB}, {"fdeposit", 100.1}, {"fpay0", 70.1}});
  InsertBag(41, 4, {{"famount", 30.0}});

  EXPECT_EQ(Run(Update_TransPack), 1);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 2u);
  EXPECT_EQ(statements[0],
            "SELECT icid,SUM(famount),COUNT(*) FROM qorvu.dbo.rec_trans_bag WHERE irid=0 AND "
            "bget=1 AND famount>0 GROUP BY icid");
  EXPECT_EQ(statements[1],
            "SELECT TOP 10000 b.icid,b.cwebac,b.cmsn,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,"
            "b.caccount FROM qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<100.00 "
            "AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)");
  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  ExpectRow(rows[0], {18, 0, kOpenIdA, "", "2026-12-09|08:00|2|100.00|70.00|50.00|30.00|C1|Unit1|"});
  EXPECT_EQ(rows[0].icid, 1);
  const std::vector<std::string> log = LogEntries();
  EXPECT_TRUE(HasEntryStartingWith(log, "Begin_Update_TransPack"));
  EXPECT_EQ(log.back(), "End_Update_TransPack:ok(1),err(0),0 ms");

  // No queue test: the next admitted run tells A again, with its own time.
  SetNow({2026, 12, 9, 14, 30, 0, 0});
  EXPECT_EQ(Run(Update_TransPack), 1);
  rows = QueueRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].cparam, "2026-12-09|14:30|2|100.00|70.00|50.00|30.00|C1|Unit1|");
}

TEST_F(TransferScannerTest, TransPackWithoutPendingBagsStopsBeforeTheAccounts) {
  InsertAccount(1, {{"cwebac", kOpenIdA}, {"fdeposit", 0.0}, {"fpay0", 50.0}});
  InsertBag(11, 1, {{"famount", 40.0}, {"bget", 0}});
  InsertBag(12, 1, {{"famount", 0.004}});  // below a cent

  EXPECT_EQ(Run(Update_TransPack), 0);
  EXPECT_EQ(Statements().size(), 1u);
  EXPECT_TRUE(QueueRows().empty());
  const std::vector<std::string> log = LogEntries();
  EXPECT_TRUE(HasEntryStartingWith(log, "Begin_Update_TransPack"));
  EXPECT_FALSE(HasEntryStartingWith(log, "End_Update_TransPack"));
}

TEST_F(TransferScannerTest, TransPackAccountSmsForm) {
  SetSmsReady(true);
  InsertAccount(1, {{"csmnumber", "13800000001"}, {"fdeposit", 10.0}});
  InsertAccount(2, {{"cphone", "55"}, {"fdeposit", 10.0}});  // no usable number: skipped
  InsertBag(11, 1, {{"famount", 25.5}});
  InsertBag(21, 2, {{"famount", 25.5}});

  EXPECT_EQ(Run(Update_TransPack), 1);
  EXPECT_FALSE(StatementsContaining(
                   "SELECT TOP 10000 b.icid,b.csmnumber,b.cphone,b.fdeposit,b.fpay0+b.fpay1,"
                   "b.cunitname,b.caccount FROM qorvu.dbo.client_arc AS b WHERE "
                   "b.fdeposit-b.fpay0-b.fpay1<25.50 AND (b.csmnumber<>'' OR b.cphone<>'')")
                   .empty());
  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  ExpectRow(rows[0],
            {18, 0, "13800000001", "", "2026-12-09|08:00|1|25.50|15.50|10.00|10.00|C1|Unit1|"});
  EXPECT_EQ(LogEntries().back(), "End_Update_TransPack:ok(1),err(0),0 ms");
}

// ------------------------------------------------------------------ type 20

TEST_F(TransferScannerTest, AcArrearsWeChatFormTellsAgainAtEveryRun) {
  InsertAccount(1, {{"cwebac", kOpenIdA}, {"fdeposit", 10.0}, {"fpay0", 20.5},
                    {"cunitname", Gbk("欠费|公司")}});
  InsertAccount(2, {{"cwebac", kOpenIdB}, {"fdeposit", 10.0}, {"fpay0", 10.0}});  // balance 0
  InsertAccount(3, {{"fdeposit", -1.0}});  // in arrears, but no OpenID

  EXPECT_EQ(Run(Update_AcArrears), 1);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 1u);
  EXPECT_EQ(statements[0],
            "SELECT TOP 10000 b.icid,b.cwebac,b.cmsn,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,"
            "b.caccount FROM qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<0 AND "
            "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)");
  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  ExpectRow(rows[0], {20, 0, kOpenIdA, "",
                      "2026-12-09|08:00|10.00|-10.50|C1|" + Gbk("欠费公司") + "|"});
  EXPECT_EQ(rows[0].icid, 1);
  const std::vector<std::string> log = LogEntries();
  EXPECT_TRUE(HasEntryStartingWith(log, "Begin_Update_AcArrears"));
  EXPECT_EQ(log.back(), "End_Update_AcArrears:ok(1),err(0),0 ms");

  EXPECT_EQ(Run(Update_AcArrears), 1);
  EXPECT_EQ(QueueRows().size(), 2u);
}

TEST_F(TransferScannerTest, AcArrearsAccountSmsForm) {
  SetSmsReady(true);
  g_nMaxRec = 50;
  InsertAccount(1, {{"cphone", "13900000001"}, {"fdeposit", -3.0}});
  InsertAccount(2, {{"csmnumber", "1234"}, {"fdeposit", -3.0}});  // no usable number

  EXPECT_EQ(Run(Update_AcArrears), 1);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 1u);
  EXPECT_EQ(statements[0],
            "SELECT TOP 50 b.icid,b.csmnumber,b.cphone,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,"
            "b.caccount FROM qorvu.dbo.client_arc AS b WHERE b.fdeposit-b.fpay0-b.fpay1<0 AND "
            "(b.csmnumber<>'' OR b.cphone<>'')");
  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  ExpectRow(rows[0], {20, 0, "13900000001", "", "2026-12-09|08:00|-3.00|-3.00|C1|Unit1|"});
  EXPECT_EQ(LogEntries().back(), "End_Update_AcArrears:ok(1),err(0),0 ms");
}

// ------------------------------------------------------------------ type 21

TEST_F(TransferScannerTest, TransWorkTellsTheStaffWhoHandleTheCustomersKind) {
  LoadAllModels("http://m.example/w?a={内单号}&b={转单号}");
  InsertStaff("X", "", kOpenIdX);
  InsertStaff("Y", "K1,K2", kOpenIdY);
  InsertStaff("Z", "K3", kOpenIdZ);
  InsertStaff("W", "", "oWWWWWWWWWWWWWWWWWWWWWWWWW6");  // 27 characters: not listed
  InsertAccount(1, {{"ckind", "K2"}});
  InsertAccount(2, {{"ckind", ""}});
  InsertBag(11, 1, {{"cno", "T11"}, {"dsysdate", "2026-12-01 10:00:00"}, {"creceiver", "Rcv"},
                    {"cdes", "Dest"}, {"cmark", "MK"}, {"cemskind", "EMS"}});
  InsertBag(21, 2);
  InsertBag(12, 1, {{"dsysdate", Ago(90, 3)}});  // window start: included
  InsertBag(13, 1, {{"dsysdate", Ago(90, 3, 1)}});  // a second older
  InsertBag(14, 1, {{"bget", 0}});
  InsertBag(15, 1, {{"irid", 9}});

  EXPECT_EQ(Run(Update_TransWork), 5);
  const std::vector<std::string> statements = Statements();
  ASSERT_GE(statements.size(), 2u);
  EXPECT_EQ(statements[0], "SELECT mcname,ccltkind,cmsn FROM qorvu.dbo.man_main WHERE LEN(cmsn)=28");
  EXPECT_EQ(statements[1],
            "SELECT TOP 10000 a.biid,a.icid,a.cnum,a.cno,a.dsysdate,a.creceiver,b.ckind,"
            "b.cunitname,b.caccount,a.cdes,a.cmark,a.cemskind FROM qorvu.dbo.rec_trans_bag AS a "
            "INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE a.bget=1 AND a.irid=0 "
            "AND a.dsysdate>='2026.09.10 05:00:00' AND NOT EXISTS(SELECT 1 FROM "
            "qorvu.dbo.wc_mess WHERE ntype=21 AND iidref=a.biid)");

  std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 5u);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const QueueRow& a, const QueueRow& b) { return a.iidref < b.iidref; });
  // Bag 11 (kind K2): X and Y, in staff order; Z handles K3 only.
  ExpectRow(rows[0], {21, 11, kOpenIdX, "http://m.example/w?a=B11&b=T11",
                      "B11|T11|2026-12-01 10:00:00|Dest|Rcv|EMS|MK|X|C1|Unit1|"});
  EXPECT_EQ(rows[0].icid, 0);
  ExpectRow(rows[1], {21, 11, kOpenIdY, "http://m.example/w?a=B11&b=T11",
                      "B11|T11|2026-12-01 10:00:00|Dest|Rcv|EMS|MK|Y|C1|Unit1|"});
  EXPECT_EQ(rows[2].iidref, 12);
  EXPECT_EQ(rows[3].iidref, 12);
  // Bag 21 (no kind): X only.
  EXPECT_EQ(rows[4].iidref, 21);
  EXPECT_EQ(rows[4].copenid, kOpenIdX);

  const std::vector<std::string> log = LogEntries();
  EXPECT_TRUE(HasEntryStartingWith(log, "Begin_Update_TransWork"));
  EXPECT_TRUE(HasEntryStartingWith(log, "iUser:3"));
  EXPECT_EQ(log.back(), "End_Update_TransWork:ok(5),err(0),0 ms");

  // Every bag told once: none is found again.
  EXPECT_EQ(Run(Update_TransWork), 0);
  EXPECT_EQ(QueueRows().size(), 5u);
  EXPECT_EQ(LogEntries().back(), "End_Update_TransWork:ok(0),err(0),0 ms");
}

TEST_F(TransferScannerTest, TransWorkSkipsStaffOpenIdsWithoutTheConfiguredPrefix) {
  LoadModels({21}, "", "oX");
  InsertStaff("X", "", kOpenIdX);
  InsertStaff("Y", "", kOpenIdY);
  InsertAccount(1);
  InsertBag(11, 1);
  EXPECT_EQ(Run(Update_TransWork), 1);
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].copenid, kOpenIdX);
  EXPECT_EQ(rows[0].curl, "");
}

// A bag that no staff member handles is counted neither way and stays
// unqueued, so a staff member added later still hears of it.
TEST_F(TransferScannerTest, TransWorkBagWithoutMatchingStaff) {
  InsertStaff("Z", "K3", kOpenIdZ);
  InsertAccount(1, {{"ckind", "K2"}});
  InsertBag(11, 1);
  EXPECT_EQ(Run(Update_TransWork), 0);
  EXPECT_TRUE(QueueRows().empty());
  EXPECT_EQ(LogEntries().back(), "End_Update_TransWork:ok(0),err(0),0 ms");

  InsertStaff("Y", "K2", kOpenIdY);
  EXPECT_EQ(Run(Update_TransWork), 1);
  const std::vector<QueueRow> rows = QueueRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].copenid, kOpenIdY);
}

TEST_F(TransferScannerTest, TransWorkWithoutStaffOpenIds) {
  InsertStaff("X", "", "not-an-openid");
  InsertAccount(1);
  InsertBag(11, 1);
  EXPECT_EQ(Run(Update_TransWork), 0);
  EXPECT_EQ(Statements().size(), 1u);  // the staff list only
  const std::vector<std::string> log = LogEntries();
  EXPECT_TRUE(HasEntryStartingWith(log, "iUser:0"));
  EXPECT_FALSE(HasEntryStartingWith(log, "End_Update_TransWork"));

  standin::Faults failStaff;
  failStaff.fail_execute_containing = "man_main";
  EXPECT_EQ(Run(Update_TransWork, failStaff, {}), 0);
  EXPECT_TRUE(HasEntryStartingWith(LogEntries(), "iUser:-9"));
  EXPECT_TRUE(QueueRows().empty());
}

// ------------------------------------------------------------------ all five

struct ScannerCase {
  const char* name;
  int (*scanner)(DbConnection&, char*, DbConnection&);
  int type;
  const char* mainQuery;  // a fragment of the main query's text
  bool beginLine;
};

const ScannerCase kScanners[] = {
    {"Update_TransRsv", Update_TransRsv, 7, "FROM qorvu.dbo.rec_trans AS a", false},
    {"Update_TransSend", Update_TransSend, 19, "FROM qorvu.dbo.client_rec AS a", true},
    {"Update_TransPack", Update_TransPack, 18, "FROM qorvu.dbo.client_arc AS b", true},
    {"Update_AcArrears", Update_AcArrears, 20, "FROM qorvu.dbo.client_arc AS b", true},
    {"Update_TransWork", Update_TransWork, 21, "FROM qorvu.dbo.rec_trans_bag AS a", true},
};

class TransferScannerFailureTest : public TransferScannerTest {
 protected:
  void InsertOneEventForEach() {
    InsertStaff("X", "", kOpenIdX);
    InsertAccount(1, {{"cwebac", kOpenIdA}, {"fdeposit", -1.0}});
    InsertReceipt(100, 1);
    InsertConsignment(1, 1, {{"nfrom", 3}});
    InsertBag(11, 1, {{"famount", 5.0}});
  }
};

TEST_F(TransferScannerFailureTest, EachScannerQueuesOneEvent) {
  InsertOneEventForEach();
  for (const ScannerCase& c : kScanners) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.scanner), 1);
    EXPECT_EQ(LogEntries().back(), std::string("End_") + c.name + ":ok(1),err(0),0 ms");
  }
  EXPECT_EQ(QueueRows().size(), 5u);
}

TEST_F(TransferScannerFailureTest, WithoutModelNothingIsRead) {
  InsertOneEventForEach();
  LoadModels({0});
  for (const ScannerCase& c : kScanners) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Run(c.scanner), 0);
    EXPECT_TRUE(Statements().empty());
    EXPECT_EQ(HasEntryStartingWith(LogEntries(), std::string("Begin_") + c.name), c.beginLine);
  }
  EXPECT_FALSE(HasEntryStartingWith(LogEntries(), "End_"));
  EXPECT_TRUE(QueueRows().empty());
}

TEST_F(TransferScannerFailureTest, FailingMainQueryEndsWithZeroAndNoEndLine) {
  InsertOneEventForEach();
  for (const ScannerCase& c : kScanners) {
    SCOPED_TRACE(c.name);
    standin::Faults failMain;
    failMain.fail_execute_containing = c.mainQuery;
    EXPECT_EQ(Run(c.scanner, failMain, {}), 0);
    standin::Faults failAlloc;
    failAlloc.fail_alloc_stmt = {1, true};
    EXPECT_EQ(Run(c.scanner, failAlloc, {}), 0);
    EXPECT_FALSE(HasEntryStartingWith(LogEntries(), std::string("End_") + c.name));
  }
  EXPECT_TRUE(QueueRows().empty());
}

TEST_F(TransferScannerFailureTest, FailingFetchEndsTheReading) {
  InsertOneEventForEach();
  for (const ScannerCase& c : kScanners) {
    SCOPED_TRACE(c.name);
    standin::Faults failFetch;
    failFetch.fail_fetch = {1, true};
    EXPECT_EQ(Run(c.scanner, failFetch, {}), 0);
  }
  EXPECT_TRUE(QueueRows().empty());
}

}  // namespace
}  // namespace scan_test
