// The consignment status scanners: a consignment was entered (type 0), sent
// (type 1), signed for (type 2) or is in an error state (type 3). Each works
// per express kind that takes part in its notice, over the consignments of
// that kind whose date lies in the kind's look-back window and that have no
// queue row of the scanner's type yet.
#include <cstdint>
#include <tuple>
#include <vector>

#include "agent/compose/mess_channel.h"
#include "agent/db/connection.h"
#include "agent/db/statement.h"
#include "agent/db/statement_text.h"
#include "agent/host/config/settings.h"
#include "agent/scanners/scan_common.h"
#include "agent/scanners/scan_rows.h"
#include "agent/scanners/scanners.h"

namespace {

// The state word of a state number outside the table.
constexpr char kUnknownState[] = "\xCE\xB4\xD6\xAA";  // 未知

// A kind code written into a query: at most 15 bytes, each apostrophe doubled.
constexpr std::size_t kQuotedKindSize = 2 * kKindCodeSize + 8;

struct KindScanner {
  int type;             // notification type
  const char* flag;     // ems_kind flag column
  int keyDays;          // days of the event key (0 when not configured)
  int fallbackDays;     // built-in days
  int smsMode;          // SMS mode of the event key
};

// The frame the four share: model, kinds, form, one scan per kind. `afterKinds`
// is told the number of kinds read; `scan` reads one kind (false ends the
// loop); `endLine` writes the end line. Returns the ok count, or
// kScanAllocFailed when the kind query gets no statement.
template <typename AfterKinds, typename Scan, typename EndLine>
int ScanPerKind(const DbConnection& c1, char* work, const DbConnection& c2,
                const KindScanner& setup, AfterKinds&& afterKinds, Scan&& scan,
                EndLine&& endLine) {
  const MessModel* model = g_messChannel.FindModel(setup.type);
  if (model == nullptr) return 0;
  ScanRun run(c2, work);
  std::vector<ExpressKind> kinds;
  const int count = ReadExpressKinds(c1, setup.flag, kinds);
  if (count < 0) return kScanAllocFailed;
  afterKinds(count);
  if (count == 0) return 0;
  const ScanForm form = ChooseScanForm(setup.smsMode);
  for (const ExpressKind& kind : kinds) {
    char window[kWindowTextSize];
    ScanWindow(KindDays(kind.days, setup.keyDays, setup.fallbackDays), 0, window);
    char code[kQuotedKindSize];
    if (!SqlQuote(FieldText(kind.code), code)) break;
    if (!scan(c1, run, *model, form, window, code)) break;
  }
  endLine(run);
  return run.Result();
}

// The end line most of the four write.
auto PlainEndLine(const char* name, const char* tag = nullptr) {
  return [name, tag](const ScanRun& run) { run.LogEnd(name, tag); };
}

// The state word of a consignment state.
const char* StateWord(std::uint32_t state) {
  return state < kStateNameCount ? g_astrStateNames[state] : kUnknownState;
}

// ------------------------------------------------------------------ Update_Send

struct SendRow {
  std::uint32_t irid, icid;
  char cnum[32], cdes[64], first[32];
  std::uint32_t ndays, npayway;
  double famount, fgoods;
  SQL_TIMESTAMP_STRUCT dsenddate;
  char csender[32], creceiver[64], cgoods[256], cserviceno[32];
  std::uint32_t iitem;
  char cunitname[64], caccount[32], csphone[64], cbearer[32];
  std::int32_t iquantity;
  char ctransnote[64], second[64], caddrfrom[64];

  auto Columns() {
    return std::tie(irid, icid, cnum, cdes, first, ndays, npayway, famount, fgoods, dsenddate,
                    csender, creceiver, cgoods, cserviceno, iitem, cunitname, caccount, csphone,
                    cbearer, iquantity, ctransnote, second, caddrfrom);
  }
};

bool ScanSendKind(const DbConnection& c1, ScanRun& run, const MessModel& model, ScanForm form,
                  const char* window, const char* kindCode) {
  const FormColumns cols = FormColumnsOf(form);
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_Send",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cdes,%s,a.ndays,a.npayway,a.famount,a.fgoods,"
          "a.dsenddate,a.csender,a.creceiver,a.cgoods,a.cserviceno,a.iitem,b.cunitname,"
          "b.caccount,a.csphone,a.cbearer,a.iquantity,a.ctransnote,%s,a.caddrfrom FROM "
          "qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
          "WHERE a.dsenddate>'%s' AND %s AND a.nstate<3 AND a.cemskind='%s' AND NOT "
          "EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype IN(%d,%d) AND iidref=a.irid)",
          static_cast<unsigned>(g_nMaxRec), cols.first, cols.second, window, cols.condition,
          kindCode, 1, 19)) {
    return false;
  }
  return ReadRows<SendRow>(c1, sql, &SendRow::irid, [&](SendRow& r) {
    MessRecord record{};
    if (!AddressConsignment(run.queue(), model, form, 1, r, record)) return;
    char courierPhone[24];  // the courier's mobile number
    LookupStaffColumn(run.connection2(), "Update_Send", "mcsmphone", FieldText(r.cbearer),
                      courierPhone);

    ValueList values(record.param);
    values.Add(r.cnum);
    values.Add(r.cserviceno);
    values.AddFormat("%d", static_cast<int>(r.iitem));
    values.AddDate(r.dsenddate, DateForm::kMonthDay);
    values.Add(r.csender);
    values.Add(r.csphone);
    values.Add(r.creceiver);
    values.AddPlace(r.cdes);
    values.Add(r.cgoods);
    values.AddFormat("%d", r.iquantity);
    values.Add(r.ctransnote);
    if (r.npayway == 2 && r.famount >= 0.01) {
      values.AddFormat("\xD4\xCB\xB7\xD1%.2f\xD4\xAA", r.famount);  // 运费%.2f元
    } else {
      values.AddEmpty();
    }
    if (r.fgoods >= 0.01) {
      values.AddFormat("\xBB\xF5\xBF\xEE%.2f\xD4\xAA", r.fgoods);  // 货款%.2f元
    } else {
      values.AddEmpty();
    }
    if (r.ndays > 0) {
      // 预计%d天到达
      values.AddFormat("\xD4\xA4\xBC\xC6%d\xCC\xEC\xB5\xBD\xB4\xEF", static_cast<int>(r.ndays));
    } else {
      values.AddEmpty();
    }
    values.AddEmpty();  // the company's web address is the model's business
    values.Add(r.caccount);
    values.Add(r.cunitname);
    values.Add(r.cbearer);
    values.Add(courierPhone);
    values.AddPlace(r.caddrfrom);
    run.Store(record);
  }) != RowsRead::kNotRun;
}

// ------------------------------------------------------------------ Update_Error

struct ErrorRow {
  std::uint32_t irid, icid;
  char cnum[32], cdes[64], first[32], creceiver[64];
  std::uint32_t npos;
  char cdate[32], cplace[128], cinfo[256];
  std::uint32_t nstate;
  char cserviceno[32];
  SQL_TIMESTAMP_STRUCT ddate;
  char cunitname[64], caccount[32], second[64], caddrfrom[64], csphone[32];

  auto Columns() {
    return std::tie(irid, icid, cnum, cdes, first, creceiver, npos, cdate, cplace, cinfo, nstate,
                    cserviceno, ddate, cunitname, caccount, second, caddrfrom, csphone);
  }
};

bool ScanErrorKind(const DbConnection& c1, ScanRun& run, const MessModel& model, ScanForm form,
                   const char* window, const char* kindCode) {
  const FormColumns cols = FormColumnsOf(form);
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_Error",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cdes,%s,a.creceiver,ISNULL(c.npos,255),c.cdate,"
          "c.cplace,c.cinfo,a.nstate,a.cserviceno,a.ddate,b.cunitname,b.caccount,%s,"
          "a.caddrfrom,a.csphone FROM qorvu.dbo.client_rec AS a INNER JOIN "
          "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) LEFT OUTER JOIN qorvu.dbo.check_detail%s "
          "AS c ON(a.irid=c.irid) WHERE a.nstate>3 AND %s AND a.cemskind='%s' AND "
          "a.ddate>='%s' AND c.npos=(select ISNULL(max(npos),255) from "
          "qorvu.dbo.check_detail%s where irid=a.irid) AND NOT EXISTS(SELECT 1 FROM "
          "qorvu.dbo.wc_mess WHERE ntype=%d AND iidref=a.irid)",
          static_cast<unsigned>(g_nMaxRec), cols.first, cols.second, g_szDetailSuffix,
          cols.condition, kindCode, window, g_szDetailSuffix, 3)) {
    return false;
  }
  return ReadRows<ErrorRow>(c1, sql, &ErrorRow::irid, [&](ErrorRow& r) {
    MessRecord record{};
    if (!AddressConsignment(run.queue(), model, form, 3, r, record)) return;

    ValueList values(record.param);
    values.Add(r.cnum);
    values.Add(r.cserviceno);
    values.AddDate(r.ddate, DateForm::kMonthDay);
    values.AddPlace(r.cdes);
    values.Add(r.creceiver);
    values.Add(StateWord(r.nstate));
    values.Add(r.caccount);
    values.Add(r.cunitname);
    values.AddPlace(r.caddrfrom);
    run.Store(record);
  }) != RowsRead::kNotRun;
}

// ------------------------------------------------------------------ Update_Sign

struct SignRow {
  std::uint32_t irid, icid;
  char cnum[32], cdes[64], creceiver[64];
  SQL_TIMESTAMP_STRUCT dadate;
  char csign[32], first[32], cserviceno[32];
  SQL_TIMESTAMP_STRUCT ddate;
  char cunitname[64], caccount[32], second[64], caddrfrom[64], csphone[32];

  auto Columns() {
    return std::tie(irid, icid, cnum, cdes, creceiver, dadate, csign, first, cserviceno, ddate,
                    cunitname, caccount, second, caddrfrom, csphone);
  }
};

bool ScanSignKind(const DbConnection& c1, ScanRun& run, const MessModel& model, ScanForm form,
                  const char* window, const char* kindCode) {
  const FormColumns cols = FormColumnsOf(form);
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_Sign",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cdes,a.creceiver,a.dadate,a.csign,%s,"
          "a.cserviceno,a.ddate,b.cunitname,b.caccount,%s,a.caddrfrom,a.csphone FROM "
          "qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
          "WHERE a.nstate=3 AND %s AND a.cemskind='%s' AND a.ddate>='%s' AND NOT "
          "EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE ntype=%d AND iidref=a.irid)",
          static_cast<unsigned>(g_nMaxRec), cols.first, cols.second, cols.condition, kindCode,
          window, 2)) {
    return false;
  }
  return ReadRows<SignRow>(c1, sql, &SignRow::irid, [&](SignRow& r) {
    MessRecord record{};
    if (!AddressConsignment(run.queue(), model, form, 2, r, record)) return;

    // Old consignments carry no meaningful sign time; a missing one shows
    // as empty values too.
    const bool signTime = r.ddate.year > 2000 && HasDate(r.dadate);
    ValueList values(record.param);
    values.Add(r.cnum);
    values.Add(r.cserviceno);
    values.AddDate(r.ddate, DateForm::kMonthDay);
    values.AddPlace(r.cdes);
    values.Add(r.creceiver);
    if (signTime) {
      values.AddDate(r.dadate, DateForm::kMonthDay);
      values.AddDate(r.dadate, DateForm::kHourMinute);
    } else {
      values.AddEmpty();
      values.AddEmpty();
    }
    values.Add(r.csign);
    values.Add(r.caccount);
    values.Add(r.cunitname);
    values.AddPlace(r.caddrfrom);
    run.Store(record);
  }) != RowsRead::kNotRun;
}

// ------------------------------------------------------------------ Update_Take

struct TakeRow {
  std::uint32_t irid, icid;
  char cnum[32], cdes[64], creceiver[64], first[32], cserviceno[32];
  SQL_TIMESTAMP_STRUCT ddate;
  char cunitname[64], caccount[32], second[64];
  SQL_TIMESTAMP_STRUCT dsysdate;
  char caddrfrom[64], csphone[32];

  auto Columns() {
    return std::tie(irid, icid, cnum, cdes, creceiver, first, cserviceno, ddate, cunitname,
                    caccount, second, dsysdate, caddrfrom, csphone);
  }
};

bool ScanTakeKind(const DbConnection& c1, ScanRun& run, const MessModel& model, ScanForm form,
                  const char* window, const char* kindCode, int& rec) {
  const FormColumns cols = FormColumnsOf(form);
  // This query has always written its receiver test without blanks.
  const char* condition =
      form == ScanForm::kReceiver ? "(a.crsms<>'' OR a.cphone<>'')" : cols.condition;
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_Take",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cdes,a.creceiver,%s,a.cserviceno,a.ddate,"
          "b.cunitname,b.caccount,%s,a.dsysdate,a.caddrfrom,a.csphone FROM "
          "qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
          "WHERE %s AND a.cemskind='%s' AND a.dsysdate>='%s' AND NOT EXISTS(SELECT 1 FROM "
          "qorvu.dbo.wc_mess WHERE ntype=%d AND iidref=a.irid)",
          static_cast<unsigned>(g_nMaxRec), cols.first, cols.second, condition, kindCode, window,
          0)) {
    return false;
  }
  return ReadRows<TakeRow>(c1, sql, &TakeRow::irid, [&](TakeRow& r) {
    if (rec < 0x7FFFFFFF) ++rec;
    MessRecord record{};
    if (!AddressConsignment(run.queue(), model, form, 0, r, record)) {
      // Receivers without a usable number are listed for the operator.
      if (form == ScanForm::kReceiver) LogLine("NUM", false, "%s,%s", r.first, r.second);
      return;
    }

    ValueList values(record.param);
    values.Add(r.cnum);
    values.AddDate(r.ddate, DateForm::kMonthDay);
    values.AddEmpty();  // not sent yet
    values.Add(r.creceiver);
    values.AddPlace(r.cdes);
    values.Add(r.caccount);
    values.Add(r.cunitname);
    values.AddDate(r.dsysdate, DateForm::kDayMinute);
    values.AddPlace(r.caddrfrom);
    run.Store(record);
  }) != RowsRead::kNotRun;
}

}  // namespace

int Update_Send(DbConnection& c1, char* work, DbConnection& c2) {
  LogLine("_Send", true, "Begin_Update_Send");
  const KindScanner setup{1, "nsmsend", g_nSendDays, 3, g_nSendMode};
  return ScanPerKind(
      c1, work, c2, setup,
      [](int count) { LogLine("_Send", true, "Update_Send:ok(emskind:%u)", static_cast<unsigned>(count)); },
      ScanSendKind, PlainEndLine("Update_Send", "_Send"));
}

int Update_Error(DbConnection& c1, char* work, DbConnection& c2) {
  const KindScanner setup{3, "nsmerror", g_nErrorDays, 5, g_nErrorMode};
  return ScanPerKind(c1, work, c2, setup, [](int) {}, ScanErrorKind, PlainEndLine("Update_Error"));
}

int Update_Sign(DbConnection& c1, char* work, DbConnection& c2) {
  const KindScanner setup{2, "nsmsign", g_nSignDays, 6, g_nSignMode};
  return ScanPerKind(c1, work, c2, setup, [](int) {}, ScanSignKind, PlainEndLine("Update_Sign"));
}

int Update_Take(DbConnection& c1, char* work, DbConnection& c2) {
  const KindScanner setup{0, "nsmtake", g_nTakeDays, 1, g_nTakeMode};
  int rec = 0;
  return ScanPerKind(
      c1, work, c2, setup, [](int) {},
      [&rec](const DbConnection& kindC1, ScanRun& run, const MessModel& model, ScanForm form,
             const char* window, const char* code) {
        return ScanTakeKind(kindC1, run, model, form, window, code, rec);
      },
      [&rec](const ScanRun& run) {
        LogLine(nullptr, true, "End_Update_Take:Rec(%d),ok(%u),err(%u),%u ms", rec, run.ok(),
                run.errors(), run.ElapsedMs());
      });
}
