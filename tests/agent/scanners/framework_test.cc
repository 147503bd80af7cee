// The scanner framework: phone cleaning and choice, value lists, windows,
// links, and the common cycle of a scanner call (kinds, windows, counting,
// failures) seen through the signed-for scanner.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agent/compose/mess_channel.h"
#include "agent/host/config/settings.h"
#include "agent/scanners/scan_common.h"
#include "agent/scanners/scanners.h"
#include "tests/agent/scanners/scanner_fixture.h"

namespace scan_test {
namespace {

using Strings = std::vector<std::string>;

// Tests of the pure helpers still touch the process-wide settings.
class FrameworkText : public ::testing::Test {
 protected:
  void SetUp() override { ResetSettings(); }
  void TearDown() override { ResetSettings(); }
};

// ------------------------------------------------------------------ phone numbers

TEST_F(FrameworkText, CleanPhoneText) {
  struct Case {
    std::string text;
    int maxDigits;
    const char* expected;
  };
  const Case cases[] = {
      {"(010) 6234-5678", 20, "01062345678"},
      {"13800000001,13900000002", 20, "13800000001"},
      {"13800000001 13900000002", 20, "1380000000113900000002"},
      {"13800000001 13900000002", 11, "13800000001"},
      // A blank after the limit ends the text at the first blank after a digit.
      {"138 0000 0001 139", 11, "138"},
      {"  138 00", 20, "13800"},
      {"", 20, ""},
      {"tel 138", 20, ""},
      {Gbk("电话") + "13800000001", 20, ""},
      {"13800000001" + Gbk("转") + "8", 20, "13800000001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[64] = {};
    std::memcpy(buffer, c.text.data(), c.text.size());
    EXPECT_STREQ(CleanPhoneText(buffer, c.maxDigits), c.expected);
  }
  // A buffer without its zero is read up to its last byte but one.
  char full[4] = {'1', '2', '3', '4'};
  EXPECT_STREQ(CleanPhoneText(full, 20), "123");
}

TEST_F(FrameworkText, IsSmsNumberWithAndWithoutMasks) {
  EXPECT_TRUE(IsSmsNumber("123456"));
  EXPECT_TRUE(IsSmsNumber("12345678901234567890"));
  EXPECT_FALSE(IsSmsNumber("12345"));
  EXPECT_FALSE(IsSmsNumber("123456789012345678901"));
  EXPECT_TRUE(IsSmsNumber("abcdef"));  // without masks only the length counts

  g_astrSmsMasks = {"1##########", "@@#*##"};
  EXPECT_TRUE(IsSmsNumber("13800000001"));
  EXPECT_FALSE(IsSmsNumber("23800000001"));
  EXPECT_FALSE(IsSmsNumber("1380000000"));
  EXPECT_TRUE(IsSmsNumber("Ab1x23"));
  EXPECT_FALSE(IsSmsNumber("A11x23"));
}

TEST_F(FrameworkText, PickSmsNumberCleansInPlaceAndKeepsItsOrder) {
  char first[32] = "12-34";
  char second[64] = "(021) 5555-6666";
  char third[64] = "13900000003";
  EXPECT_EQ(PickSmsNumber(Phone(first), Phone(second), Phone(third)), second);
  EXPECT_STREQ(first, "1234");
  EXPECT_STREQ(second, "02155556666");
  EXPECT_STREQ(third, "13900000003");

  char a[32] = "1", b[64] = "", c[64] = "139-0000-0003";
  EXPECT_EQ(PickSmsNumber(Phone(a), Phone(b), Phone(c)), c);
  EXPECT_STREQ(c, "13900000003");
  EXPECT_EQ(PickSmsNumber(Phone(a), Phone(b)), nullptr);
}

// ------------------------------------------------------------------ value list

std::string Appended(std::string_view value, std::size_t limit = kParamLimit) {
  char list[1024] = "x|";
  const std::size_t end = AppendParam(list, sizeof list, 2, value, limit);
  EXPECT_EQ(end, std::strlen(list));
  return std::string(list + 2, end - 2);
}

std::string Repeat(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text.append(piece);
  return text;
}

TEST_F(FrameworkText, AppendParamRemovesSeparatorsButNotInsideDoubleByteCharacters) {
  EXPECT_EQ(Appended("a|b\r\nc"), "abc|");
  EXPECT_EQ(Appended(""), "|");
  // 0x81 0x7C is one GBK character whose second byte looks like "|".
  EXPECT_EQ(Appended("\x81|x|"), "\x81|x|");
}

TEST_F(FrameworkText, AppendParamCutsAtCharacterBoundaries) {
  const std::string zhong = Gbk("中");
  EXPECT_EQ(Appended(std::string(300, 'a')), std::string(254, 'a') + "|");
  // 300 bytes of GBK: 127 whole characters.
  EXPECT_EQ(Appended(Repeat(zhong, 150)), Repeat(zhong, 127) + "|");
  // One byte off: the character that would pass the limit goes.
  EXPECT_EQ(Appended("a" + Repeat(zhong, 150)), "a" + Repeat(zhong, 126) + "|");
  // UTF-8 is cut before the sequence the limit falls into.
  EXPECT_EQ(Appended(Repeat("中", 100)), Repeat("中", 84) + "|");
  // A character reference stays whole.
  EXPECT_EQ(Appended(std::string(250, 'a') + "&#19904;b"), std::string(250, 'a') + "|");
  EXPECT_EQ(Appended(std::string(246, 'a') + "&#19904;b"), std::string(246, 'a') + "&#19904;|");
  // The longer limit of scan descriptions.
  EXPECT_EQ(Appended(std::string(600, 'd'), kLongParamLimit), std::string(510, 'd') + "|");
}

TEST_F(FrameworkText, AppendParamWideFormWritesGbkAndReferences) {
  char list[64] = {};
  std::size_t end = AppendParam(list, sizeof list, 0, u"\u4E0A\u6D77|A");
  end = AppendParam(list, sizeof list, end, u"\u4DC0");
  EXPECT_EQ(std::string(list, end), Gbk("上海") + "A|&#19904;|");
}

TEST_F(FrameworkText, ValueListNeverWritesPastItsBuffer) {
  char list[16];
  std::memset(list, '#', sizeof list);
  ValueList values(list);
  values.Add("0123456789");
  EXPECT_TRUE(values.complete());
  values.Add("abcdef");
  EXPECT_EQ(std::string(list), "0123456789|abc|");
  EXPECT_FALSE(values.complete());
  values.Add("more");
  EXPECT_EQ(values.length(), 15u);
  EXPECT_EQ(std::string(list), "0123456789|abc|");
}

TEST_F(FrameworkText, ValueListFormsPlacesAndDates) {
  g_placeTrans.Load("<PLACE_TANS><D>上海=Shanghai</D></PLACE_TANS>");
  char list[256];
  ValueList values(list);
  values.AddPlace(Gbk("上海"));
  values.AddPlace(Gbk("北京"));
  values.AddFormat("%.2f", 12.5);
  SQL_TIMESTAMP_STRUCT ts{2026, 3, 7, 9, 5, 4, 0};
  values.AddDate(ts, DateForm::kMonthDay);
  values.AddDate(ts, DateForm::kHourMinute);
  values.AddDate(ts, DateForm::kMonthDayMinute);
  values.AddDate(ts, DateForm::kDay);
  values.AddDate(ts, DateForm::kDayMinute);
  values.AddDate(ts, DateForm::kDaySecond);
  values.AddDate(SQL_TIMESTAMP_STRUCT{}, DateForm::kDaySecond);
  EXPECT_EQ(std::string(list), "Shanghai|" + Gbk("北京") +
                                   "|12.50|03-07|09:05|03-07 09:05|2026-03-07|2026-03-07 "
                                   "09:05|2026-03-07 09:05:04||");
}

// ------------------------------------------------------------------ window

std::string WindowText(const platform::LocalTime& now, std::int64_t days, std::int64_t hours) {
  char text[kWindowTextSize];
  FormatWindow(WindowStart(now, days, hours), text);
  return text;
}

TEST_F(FrameworkText, WindowStartCountsOnTheCalendar) {
  EXPECT_EQ(WindowText({2026, 3, 1, 14, 5, 9}, 3, 0), "2026.02.26 14:05:09");
  EXPECT_EQ(WindowText({2024, 3, 1, 0, 0, 0}, 1, 0), "2024.02.29 00:00:00");
  EXPECT_EQ(WindowText({2026, 1, 1, 1, 0, 0}, 0, 3), "2025.12.31 22:00:00");
  EXPECT_EQ(WindowText({2026, 12, 9, 8, 0, 0}, 90, 3), "2026.09.10 05:00:00");
  EXPECT_EQ(WindowText({2026, 12, 9, 8, 0, 0}, 0, 0), "2026.12.09 08:00:00");
  // A kind with an absurd day count looks back to 1900, not past year 0.
  EXPECT_EQ(WindowText({2026, 12, 9, 8, 0, 0}, 4294967295LL, 0), "1900.01.01 00:00:00");
}

TEST_F(FrameworkText, KindDaysFallBackInOrder) {
  EXPECT_EQ(KindDays(2, 5, 6), 2);
  EXPECT_EQ(KindDays(0, 5, 6), 5);
  EXPECT_EQ(KindDays(0, 0, 6), 6);
  EXPECT_EQ(KindDays(0, -4, 6), 6);
  EXPECT_EQ(KindDays(4000000000u, 5, 6), 4000000000LL);
}

// ------------------------------------------------------------------ link

TEST_F(FrameworkText, LinksArePrerenderedOnlyWhenTheyNameANumber) {
  EXPECT_TRUE(ContainsGbk(Gbk("a{内单号}"), Gbk("单号")));
  // The bytes of 单号 across character boundaries are no match.
  EXPECT_FALSE(ContainsGbk("\x81\xB5\xA5\xBA\xC5\x81", Gbk("单号")));

  MessModel model;
  MessRecord record{};
  CopyField(model.url, Gbk("https://x.example/?n={内单号}&t={转单号}&w={运单号}"));
  PrerenderLink(model, "SF1", "T'2", record);
  EXPECT_EQ(FieldText(record.url), "https://x.example/?n=SF1&t=T'2&w=" + Gbk("{运单号}"));

  CopyField(model.url, "https://x.example/static");
  PrerenderLink(model, "SF1", "T2", record);
  EXPECT_EQ(FieldText(record.url), "");

  // A rendered link longer than the field is cut, never written past it.
  CopyField(model.url, Gbk("{内单号}") + std::string(200, 'u'));
  PrerenderLink(model, std::string(31, 'n'), "", record);
  EXPECT_EQ(FieldText(record.url), std::string(31, 'n') + std::string(200, 'u'));
  char small[8];
  RenderLink(Gbk("{内单号}/"), {{kLinkInnerNo, "0123456789"}}, small, sizeof small);
  EXPECT_STREQ(small, "0123456");
}

// ------------------------------------------------------------------ one scanner call

constexpr char kSignQuery[] =
    "SELECT TOP %d a.irid,a.icid,a.cnum,a.cdes,a.creceiver,a.dadate,a.csign,b.cwebac,"
    "a.cserviceno,a.ddate,b.cunitname,b.caccount,b.cmsn,a.caddrfrom,a.csphone FROM "
    "qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE "
    "a.nstate=3 AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND a.cemskind='%s' AND a.ddate>='%s' "
    "AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=2 AND iidref=a.irid)";

class ScanCycleTest : public ScannerTest {
 protected:
  std::string SignQuery(int top, const char* kind, const char* window) {
    char text[2048];
    std::snprintf(text, sizeof text, kSignQuery, top, kind, window);
    return text;
  }
  Strings MainQueries() { return StatementsContaining("FROM qorvu.dbo.client_rec AS a"); }
  void SignedFor(int irid, const char* kind, const std::string& ddate, const Columns& more = {}) {
    Columns columns{{"nstate", 3}, {"cemskind", kind}, {"ddate", ddate}};
    columns.insert(columns.end(), more.begin(), more.end());
    InsertConsignment(irid, 7, columns);
  }
};

TEST_F(ScanCycleTest, EachKindHasItsOwnWindowAndTopLimit) {
  g_nMaxRec = 50;
  g_nSignDays = 5;
  InsertKind("K1", "nsmsign", 0);
  InsertKind("K2", "nsmsign", 2);
  Insert("ems_kind", {{"cemskind", "K3"}, {"nsmsign", 0}});
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  SignedFor(101, "K1", Ago(5, 0, -1));  // one second inside
  SignedFor(102, "K1", Ago(5, 0, 1));   // one second outside
  SignedFor(103, "K2", Ago(2, 0, -1));
  SignedFor(104, "K2", Ago(2, 0, 1));
  SignedFor(105, "K2", Ago(2));  // the window's first second belongs to it

  EXPECT_EQ(Run(Update_Sign), 3);
  EXPECT_EQ(MainQueries(), (Strings{SignQuery(50, "K1", "2026.12.04 08:00:00"),
                                    SignQuery(50, "K2", "2026.12.07 08:00:00")}));
  std::vector<int> queued;
  for (const QueueRow& row : QueueRows()) queued.push_back(row.iidref);
  EXPECT_EQ(queued, (std::vector<int>{101, 103, 105}));
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(3),err(0),0 ms"}));
}

TEST_F(ScanCycleTest, KindReadingEndsAtTheFirstFetchWithoutARow) {
  InsertKind("K1", "nsmsign");
  InsertKind("K2", "nsmsign");
  standin::Faults secondFetchFails;
  secondFetchFails.fail_fetch = {2};
  EXPECT_EQ(Run(Update_Sign, secondFetchFails, {}), 0);
  EXPECT_EQ(MainQueries().size(), 1u);

  // A database without the flag column yields no kinds: nothing runs, no end line.
  standin::Faults noKinds;
  noKinds.fail_execute_containing = "ems_kind";
  EXPECT_EQ(Run(Update_Sign, noKinds, {}), 0);
  EXPECT_TRUE(MainQueries().empty());
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(0),err(0),0 ms"}));
}

TEST_F(ScanCycleTest, AFailedMainQueryEndsTheKindLoopWithTheEndLine) {
  InsertKind("K1", "nsmsign");
  InsertKind("K2", "nsmsign");
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  SignedFor(101, "K2", Ago(1));
  standin::Faults firstKindFails;
  firstKindFails.fail_execute_containing = "a.cemskind='K1'";
  EXPECT_EQ(Run(Update_Sign, firstKindFails, {}), 0);
  EXPECT_EQ(MainQueries().size(), 1u);
  EXPECT_TRUE(QueueRows().empty());
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(0),err(0),0 ms"}));
}

TEST_F(ScanCycleTest, AFailedInsertIsFoundAgainAndAQueuedEventNeverIs) {
  InsertKind("K1", "nsmsign");
  InsertAccount(7, {{"cwebac", kOpenIdA}});
  SignedFor(101, "K1", Ago(1));
  SignedFor(102, "K1", Ago(1));
  standin::Faults noInsert;
  noInsert.fail_execute_containing = "cp_wc_mess_set(7,101,";
  EXPECT_EQ(Run(Update_Sign, {}, noInsert), 1);
  ASSERT_EQ(QueueRows().size(), 1u);
  EXPECT_EQ(QueueRows()[0].iidref, 102);

  EXPECT_EQ(Run(Update_Sign), 1);
  ASSERT_EQ(QueueRows().size(), 2u);
  EXPECT_EQ(QueueRows()[1].iidref, 101);

  // However old the event becomes, it stays told.
  g_nSignDays = 100000;
  SetNow({2027, 12, 9, 8, 0, 0});
  EXPECT_EQ(Run(Update_Sign), 0);
  EXPECT_EQ(QueueRows().size(), 2u);
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(0),err(0),0 ms"}));  // a new day's file
  SetNow({2026, 12, 9, 8, 0, 0});
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(1),err(1),0 ms",
                                   "End_Update_Sign:ok(1),err(0),0 ms"}));
}

TEST_F(ScanCycleTest, ValuesAreCleanedAndCutAndOpenIdsMustCarryThePrefix) {
  LoadModels({2}, "", "oA");
  InsertKind("K1", "nsmsign");
  InsertAccount(7, {{"cwebac", kOpenIdB}});  // 28 characters, not starting with the prefix
  SignedFor(101, "K1", Ago(1),
            {{"creceiver", "Li|Si\r\nJr"}, {"csign", std::string(40, 's')}});
  EXPECT_EQ(Run(Update_Sign), 1);
  const QueueRow row = QueueRows().at(0);
  EXPECT_EQ(row.copenid, "");
  EXPECT_EQ(row.Value(4), "LiSiJr");
  EXPECT_EQ(row.Value(7), std::string(31, 's'));  // the column's buffer holds 31
}

TEST_F(ScanCycleTest, ElapsedTimeComesFromTheScannersClock) {
  InsertKind("K1", "nsmsign");
  // A clock that moves 7 ms at every reading of the tick count.
  struct StepClock : platform::EnvWrapper {
    using EnvWrapper::EnvWrapper;
    std::uint64_t TickCount() override { return tick += 7; }
    std::uint64_t tick = 0;
  } clock(&env_);
  SetScanEnv(&clock);
  EXPECT_EQ(Run(Update_Sign), 0);
  SetScanEnv(&env_);
  EXPECT_EQ(LogEntries(), (Strings{"End_Update_Sign:ok(0),err(0),7 ms"}));
}

}  // namespace
}  // namespace scan_test
