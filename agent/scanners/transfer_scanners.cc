// The transfer and account scanners: a transfer receipt arrived, a forwarded
// consignment was sent, a customer's balance does not cover the pending
// transfer bags, an account is in arrears, and a transfer bag waits for
// distribution (told to the staff, not to the customer).
//
// None of them ends the update run's chain: every failure ends the scanner
// with 0. Each row struct is zeroed before every fetch, so a NULL column
// reads as an empty text or 0 instead of carrying the previous customer's
// value into this customer's notification.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <tuple>
#include <vector>

#include "agent/compose/mess_channel.h"
#include "agent/compose/mess_record.h"
#include "agent/db/connection.h"
#include "agent/db/statement.h"
#include "agent/db/statement_text.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"
#include "agent/scanners/scan_common.h"
#include "agent/scanners/scan_rows.h"
#include "agent/scanners/scanners.h"

namespace {

constexpr int kTypeTransRsv = 7;
constexpr int kTypeTransPack = 18;
constexpr int kTypeTransSend = 19;
constexpr int kTypeAcArrears = 20;
constexpr int kTypeTransWork = 21;

// Length of a WeChat OpenID, the staff list's selection.
constexpr unsigned kOpenIdLength = 28;
// What the staff list reports when it cannot be read.
constexpr int kStaffReadFailed = -9;

unsigned BatchSize() { return static_cast<unsigned>(g_nMaxRec); }

// Amounts compared the way they are shown: in whole cents, so that a
// balance and a bag total that print alike count as equal.
long long Cents(double amount) {
  if (!std::isfinite(amount)) return amount > 0 ? INT64_MAX : INT64_MIN;
  const double cents = std::round(amount * 100.0);
  if (cents >= 9.2e18) return INT64_MAX;
  if (cents <= -9.2e18) return INT64_MIN;
  return static_cast<long long>(cents);
}

// The current date "%Y-%m-%d" and time "%H:%M" of the account notices,
// taken once per call.
void AddToday(ValueList& values, const platform::LocalTime& now) {
  values.AddFormat("%04d-%02d-%02d", now.year, now.month, now.day);
  values.AddFormat("%02d:%02d", now.hour, now.minute);
}

// ------------------------------------------------------------------ accounts

// One row of the account queries of Update_TransPack and Update_AcArrears;
// first and second are the OpenIDs (WeChat form) or the SMS number and the
// phone (account SMS form).
struct AccountRow {
  std::uint32_t icid;
  char first[32];
  char second[64];
  double deposit;
  double paid;  // fpay0 + fpay1
  char unitName[64];
  char account[32];

  auto Columns() { return std::tie(icid, first, second, deposit, paid, unitName, account); }
};

// The account query of Update_TransPack and Update_AcArrears: the accounts
// with a recipient in the form whose balance is below `below` (a number as
// the statement writes it).
bool FormatAccountQuery(char (&sql)[kScanSqlSize], const char* name, ScanForm form,
                        const char* below) {
  const FormColumns columns = FormColumnsOf(form);
  return FormatStatement(sql, name,
                         "SELECT TOP %u b.icid,%s,%s,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,"
                         "b.caccount FROM qorvu.dbo.client_arc AS b WHERE "
                         "b.fdeposit-b.fpay0-b.fpay1<%s AND %s",
                         BatchSize(), columns.first, columns.second, below, columns.condition);
}

// ------------------------------------------------------------------ transfer bags

// A customer's pending transfer bags.
struct BagTotal {
  std::uint32_t icid = 0;
  std::uint32_t count = 0;
  double sum = 0;
};

// Reads the pending bag totals per customer on connection 1 into bags, in
// the order read, and returns the largest total (0 when there is none).
// Reading ends at the first fetch that delivers no row, whether the result
// is exhausted or the statement failed. False when no statement could be
// allocated.
bool ReadBagTotals(const DbConnection& c1, std::vector<BagTotal>& bags, double& largest) {
  bags.clear();
  largest = 0;
  DbStatement st;
  if (!st.Allocate(c1)) return false;
  if (!st.Execute("SELECT icid,SUM(famount),COUNT(*) FROM qorvu.dbo.rec_trans_bag WHERE irid=0 "
                  "AND bget=1 AND famount>0 GROUP BY icid")) {
    return true;
  }
  BagTotal row;
  if (!st.BindUInt32(1, row.icid) || !st.BindDouble(2, row.sum) ||
      !st.BindUInt32(3, row.count)) {
    return true;
  }
  for (;;) {
    row = BagTotal{};
    if (!st.Fetch()) break;
    bags.push_back(row);
    if (row.sum > largest) largest = row.sum;
  }
  return true;
}

const BagTotal* FindBags(const std::vector<BagTotal>& bags, std::uint32_t icid) {
  for (const BagTotal& bag : bags) {
    if (bag.icid == icid) return &bag;
  }
  return nullptr;
}

// ------------------------------------------------------------------ staff

// A staff member who reads WeChat: the customer kinds handled (empty: all),
// the name, and the OpenID.
struct StaffMember {
  char kinds[16] = {};
  char name[32] = {};
  char openId[32] = {};
};

// Loads the staff members with an OpenID on connection 1. Returns their
// number, or kStaffReadFailed when the statement cannot be allocated or run.
int ReadStaff(const DbConnection& c1, std::vector<StaffMember>& staff) {
  staff.clear();
  DbStatement st;
  char sql[128];
  if (!st.Allocate(c1) ||
      !FormatStatement(sql, "Update_TransWork",
                       "SELECT mcname,ccltkind,cmsn FROM qorvu.dbo.man_main WHERE LEN(cmsn)=%u",
                       kOpenIdLength) ||
      !st.Execute(sql)) {
    return kStaffReadFailed;
  }
  struct {
    char name[32];
    char kinds[16];
    char openId[64];
  } row;
  if (!st.BindText(1, row.name) || !st.BindText(2, row.kinds) || !st.BindText(3, row.openId)) {
    return kStaffReadFailed;
  }
  for (;;) {
    row = {};
    if (!st.Fetch()) break;
    StaffMember member;
    CopyField(member.name, FieldText(row.name));
    CopyField(member.kinds, FieldText(row.kinds));
    CopyField(member.openId, FieldText(row.openId));  // the first 31 bytes
    staff.push_back(member);
  }
  return staff.size() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(staff.size());
}

// A staff member handles a customer kind when the member's kinds are empty
// (all kinds), or when the customer has a kind and the member's kinds hold it.
bool HandlesKind(const StaffMember& member, std::string_view customerKind) {
  const std::string_view kinds = FieldText(member.kinds);
  if (kinds.empty()) return true;
  return !customerKind.empty() && ContainsGbk(kinds, customerKind);
}

// ------------------------------------------------------------------ type 7

bool ScanTransRsv(const DbConnection& c1, ScanRun& run, const MessModel& model) {
  char window[kWindowTextSize];
  ScanWindow(3, 12, window);
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_TransRsv",
          "SELECT TOP %u a.iid,a.biid,a.icid,a.cf_num,a.drdate,b.cwebac,b.cmsn,a.fweight,a.iitem,"
          "b.cunitname,b.caccount,a.cf_emskind,a.cmark,a.cstationr FROM qorvu.dbo.rec_trans AS a "
          "INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE a.drdate>'%s' AND "
          "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND a.irid<1 AND NOT EXISTS(SELECT 1 FROM "
          "qorvu.dbo.wc_mess WHERE ntype=%d AND iidref=a.iid)",
          BatchSize(), window, kTypeTransRsv)) {
    return false;
  }

  struct Row {
    std::uint32_t iid;
    std::uint32_t biid;  // read, not used
    std::uint32_t icid;
    char number[32];
    SQL_TIMESTAMP_STRUCT received;
    char openId1[32];
    char openId2[64];
    double weight;
    std::int32_t pieces;
    char unitName[64];
    char account[32];
    char network[16];
    char mark[16];
    char station[16];

    auto Columns() {
      return std::tie(iid, biid, icid, number, received, openId1, openId2, weight, pieces,
                      unitName, account, network, mark, station);
    }
  };

  const std::string_view link = FieldText(model.url);
  const bool linkHasNumber = ContainsGbk(link, kLinkWaybillNo);
  return ReadRows<Row>(c1, sql, &Row::icid, [&](Row& row) {
    MessRecord record{};
    AddressRecord(ScanForm::kWeChat, run.queue(), {Phone(row.openId1), Phone(row.openId2), {}},
                  row.icid, row.iid, kTypeTransRsv, record);
    if (linkHasNumber) {
      RenderLink(link, {{kLinkWaybillNo, FieldText(row.number)}}, record.url, sizeof record.url);
    }

    ValueList values(record.param);
    values.Add(FieldText(row.number));
    values.AddDate(row.received, DateForm::kMonthDay);
    values.AddDate(row.received, DateForm::kHourMinute);
    if (row.weight >= 0.001) {
      values.AddFormat("%.3f", row.weight);
    } else {
      values.AddEmpty();
    }
    values.AddFormat("%d", row.pieces);
    values.Add(FieldText(row.network));
    values.Add(FieldText(row.mark));
    values.Add(FieldText(row.station));
    values.Add(FieldText(row.account));
    values.Add(FieldText(row.unitName));
    run.Store(record);
  }) == RowsRead::kRead;
}

// ------------------------------------------------------------------ type 19

bool ScanTransSend(const DbConnection& c1, ScanRun& run, const MessModel& model) {
  char window[kWindowTextSize];
  ScanWindow(0, 3, window);
  const ScanForm form = ChooseAccountForm();
  const FormColumns columns = FormColumnsOf(form);
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_TransSend",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cserviceno,%s,%s,a.dsysdate,a.famount,a.creceiver,"
          "a.fweight,a.cphone,a.ffweight,b.fdeposit,b.fpay0+b.fpay1,b.cunitname,b.caccount,a.cdes "
          "FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
          "WHERE nfrom=3 AND %s AND a.dsysdate>='%s' AND NOT EXISTS(SELECT 1 FROM "
          "qorvu.dbo.wc_mess WHERE ntype=%d AND iidref=a.irid)",
          BatchSize(), columns.first, columns.second, columns.condition, window,
          kTypeTransSend)) {
    return false;
  }

  struct Row {
    std::uint32_t irid;
    std::uint32_t icid;
    char number[32];
    char transferNo[32];
    char first[32];
    char second[64];
    SQL_TIMESTAMP_STRUCT entered;
    double freight;
    char receiver[64];
    double weight;
    char receiverPhone[64];  // read, not used
    double firstWeight;
    double deposit;
    double paid;  // fpay0 + fpay1
    char unitName[64];
    char account[32];
    char destination[64];

    auto Columns() {
      return std::tie(irid, icid, number, transferNo, first, second, entered, freight, receiver,
                      weight, receiverPhone, firstWeight, deposit, paid, unitName, account,
                      destination);
    }
  };

  return ReadRows<Row>(c1, sql, &Row::irid, [&](Row& row) {
    MessRecord record{};
    if (!AddressRecord(form, run.queue(), {Phone(row.first), Phone(row.second), {}}, row.icid,
                       row.irid, kTypeTransSend, record)) {
      return;  // no usable number: not counted
    }
    PrerenderLink(model, FieldText(row.number), FieldText(row.transferNo), record);

    ValueList values(record.param);
    values.Add(FieldText(row.number));
    values.Add(FieldText(row.transferNo));
    values.AddDate(row.entered, DateForm::kDaySecond);
    values.Add(FieldText(row.destination));
    values.Add(FieldText(row.receiver));
    values.AddFormat("%.3f", row.firstWeight);
    values.AddFormat("%.3f", row.weight);
    values.AddFormat("%.2f", row.freight);
    values.AddFormat("%.2f", row.deposit);
    values.AddFormat("%.2f", row.deposit - row.paid);
    values.Add(FieldText(row.account));
    values.Add(FieldText(row.unitName));
    run.Store(record);
  }) == RowsRead::kRead;
}

// ------------------------------------------------------------------ type 18

bool ScanTransPack(const DbConnection& c1, ScanRun& run, const MessModel& /*model*/) {
  const platform::LocalTime now = ScanEnv()->LocalNow();

  std::vector<BagTotal> bags;
  double largest = 0;
  if (!ReadBagTotals(c1, bags, largest)) return false;
  if (!(largest >= 0.01)) return false;  // nobody has a pending bag

  const ScanForm form = ChooseAccountForm();
  char largestText[kScanSqlSize];  // roomy enough for any double in "%.2f"
  std::snprintf(largestText, sizeof largestText, "%.2f", largest);
  char sql[kScanSqlSize];
  if (!FormatAccountQuery(sql, "Update_TransPack", form, largestText)) return false;

  return ReadRows<AccountRow>(c1, sql, &AccountRow::icid, [&](AccountRow& row) {
    const BagTotal* bag = FindBags(bags, row.icid);
    if (bag == nullptr) return;
    // Only a balance below the bag total (in the cents the notice shows)
    // leaves something to top up.
    const double balance = row.deposit - row.paid;
    if (Cents(balance) >= Cents(bag->sum)) return;
    MessRecord record{};
    if (!AddressRecord(form, run.queue(), {Phone(row.first), Phone(row.second), {}}, row.icid, 0,
                       kTypeTransPack, record)) {
      return;  // no usable number: not counted
    }

    ValueList values(record.param);
    AddToday(values, now);
    values.AddFormat("%u", bag->count);
    values.AddFormat("%.2f", bag->sum);
    values.AddFormat("%.2f", row.paid + bag->sum - row.deposit);
    values.AddFormat("%.2f", row.deposit);
    values.AddFormat("%.2f", balance);
    values.Add(FieldText(row.account));
    values.Add(FieldText(row.unitName));
    run.Store(record);
  }) == RowsRead::kRead;
}

// ------------------------------------------------------------------ type 20

bool ScanAcArrears(const DbConnection& c1, ScanRun& run, const MessModel& /*model*/) {
  const platform::LocalTime now = ScanEnv()->LocalNow();

  const ScanForm form = ChooseAccountForm();
  char sql[kScanSqlSize];
  if (!FormatAccountQuery(sql, "Update_AcArrears", form, "0")) return false;

  return ReadRows<AccountRow>(c1, sql, &AccountRow::icid, [&](AccountRow& row) {
    MessRecord record{};
    if (!AddressRecord(form, run.queue(), {Phone(row.first), Phone(row.second), {}}, row.icid, 0,
                       kTypeAcArrears, record)) {
      return;  // no usable number: not counted
    }

    ValueList values(record.param);
    AddToday(values, now);
    values.AddFormat("%.2f", row.deposit);
    values.AddFormat("%.2f", row.deposit - row.paid);
    values.Add(FieldText(row.account));
    values.Add(FieldText(row.unitName));
    run.Store(record);
  }) == RowsRead::kRead;
}

// ------------------------------------------------------------------ type 21

bool ScanTransWork(const DbConnection& c1, ScanRun& run, const MessModel& model) {
  std::vector<StaffMember> staff;
  const int staffCount = ReadStaff(c1, staff);
  LogLine(nullptr, true, "iUser:%d", staffCount);
  if (staffCount <= 0) return false;

  char window[kWindowTextSize];
  ScanWindow(90, 3, window);
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_TransWork",
          "SELECT TOP %u a.biid,a.icid,a.cnum,a.cno,a.dsysdate,a.creceiver,b.ckind,b.cunitname,"
          "b.caccount,a.cdes,a.cmark,a.cemskind FROM qorvu.dbo.rec_trans_bag AS a INNER JOIN "
          "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) WHERE a.bget=1 AND a.irid=0 AND "
          "a.dsysdate>='%s' AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=%d AND "
          "iidref=a.biid)",
          BatchSize(), window, kTypeTransWork)) {
    return false;
  }

  struct Row {
    std::uint32_t biid;
    std::uint32_t icid;
    char number[32];
    char transferNo[32];
    SQL_TIMESTAMP_STRUCT entered;
    char receiver[64];
    char customerKind[16];
    char unitName[64];
    char account[32];
    char destination[64];
    char mark[16];
    char expressKind[16];

    auto Columns() {
      return std::tie(biid, icid, number, transferNo, entered, receiver, customerKind, unitName,
                      account, destination, mark, expressKind);
    }
  };

  return ReadRows<Row>(c1, sql, &Row::icid, [&](Row& row) {
    const std::string_view customerKind = FieldText(row.customerKind);
    for (const StaffMember& member : staff) {
      if (!HandlesKind(member, customerKind) || !g_messChannel.IsOpenId(FieldText(member.openId))) {
        continue;
      }
      MessRecord record{};
      CopyField(record.openId, FieldText(member.openId));
      record.clientId = 0;
      record.refId = static_cast<std::int32_t>(row.biid);
      record.type = kTypeTransWork;
      PrerenderLink(model, FieldText(row.number), FieldText(row.transferNo), record);

      ValueList values(record.param);
      values.Add(FieldText(row.number));
      values.Add(FieldText(row.transferNo));
      values.AddDate(row.entered, DateForm::kDaySecond);
      values.Add(FieldText(row.destination));
      values.Add(FieldText(row.receiver));
      values.Add(FieldText(row.expressKind));
      values.Add(FieldText(row.mark));
      values.Add(FieldText(member.name));
      values.Add(FieldText(row.account));
      values.Add(FieldText(row.unitName));
      run.Store(record);
    }
  }) == RowsRead::kRead;
}

}  // namespace

int Update_TransRsv(DbConnection& c1, char* work, DbConnection& c2) {
  return RunScanner(c1, work, c2, kTypeTransRsv, "Update_TransRsv", 0, ScanTransRsv);
}

int Update_TransSend(DbConnection& c1, char* work, DbConnection& c2) {
  g_log.Write("Begin_Update_TransSend");
  return RunScanner(c1, work, c2, kTypeTransSend, "Update_TransSend", 0, ScanTransSend);
}

int Update_TransPack(DbConnection& c1, char* work, DbConnection& c2) {
  g_log.Write("Begin_Update_TransPack");
  return RunScanner(c1, work, c2, kTypeTransPack, "Update_TransPack", 0, ScanTransPack);
}

int Update_AcArrears(DbConnection& c1, char* work, DbConnection& c2) {
  g_log.Write("Begin_Update_AcArrears");
  return RunScanner(c1, work, c2, kTypeAcArrears, "Update_AcArrears", 0, ScanAcArrears);
}

int Update_TransWork(DbConnection& c1, char* work, DbConnection& c2) {
  g_log.Write("Begin_Update_TransWork");
  return RunScanner(c1, work, c2, kTypeTransWork, "Update_TransWork", 0, ScanTransWork);
}
