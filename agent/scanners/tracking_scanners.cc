// The scanners that follow a consignment through the carrier's tracking
// network and its delivery: entry into the network (type 12), dispatch of a
// courier (type 16) and the station scans (types 22, 23, 24).
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <tuple>

#include "agent/compose/mess_channel.h"
#include "agent/db/statement.h"
#include "agent/db/statement_text.h"
#include "agent/host/config/settings.h"
#include "agent/scanners/scan_common.h"
#include "agent/scanners/scan_rows.h"
#include "agent/scanners/scanners.h"

namespace {

constexpr int kTypeRecWeb = 12;  // 快递上网通知
constexpr int kTypeBear = 16;    // 派件通知

// Look-back of the entry scan when the settings give none.
constexpr int kRecWebFallbackDays = 31;

// The row limit of every main query. The settings loader keeps it within
// 10..50000; a value it never wrote still gives a sane query.
unsigned BatchSize() {
  return g_nMaxRec > 0 ? static_cast<unsigned>(g_nMaxRec) : static_cast<unsigned>(kDefaultMaxRec);
}

// The tracking-detail suffix as a bounded view ("" or "_en").
std::string_view DetailSuffix() { return FieldText(g_szDetailSuffix); }

// ------------------------------------------------------------------ Update_RecWeb

// Columns of the entry-into-network query, in select-list order.
struct RecWebRow {
  std::uint32_t irid;
  std::uint32_t icid;
  char cnum[32];
  char cdes[64];
  char first[32];  // b.cwebac / a.crsms / b.csmnumber
  char creceiver[64];
  char cdate[32];  // the detail's time, as the tracking network wrote it
  char cserviceno[32];
  SQL_TIMESTAMP_STRUCT ddate;
  char cunitname[64];
  char caccount[32];
  char second[64];  // b.cmsn / a.cphone / b.cphone
  char cemskind[16];
  char ckey[64];
  char caddrfrom[64];
  char csphone[32];

  auto Columns() {
    return std::tie(irid, icid, cnum, cdes, first, creceiver, cdate, cserviceno, ddate, cunitname,
                    caccount, second, cemskind, ckey, caddrfrom, csphone);
  }
};

// ------------------------------------------------------------------ Update_Bear

// Columns of the dispatch query, in select-list order.
struct BearRow {
  std::uint32_t irid;
  std::uint32_t icid;
  char cnum[32];
  char cserviceno[32];
  char first[32];   // b.cwebac / a.crsms / b.csmnumber
  char second[64];  // b.cmsn / a.cphone / b.cphone
  SQL_TIMESTAMP_STRUCT ddate;  // time of the dispatch
  char cref[32];               // the courier
  char creceiver[64];
  char caddr[256];
  char cphone[64];
  char csender[32];
  char csaddr[128];
  char csphone[32];
  char cunitname[64];
  char caccount[32];
  char clmphone[24];  // the courier's mobile number
  char caddrfrom[64];

  auto Columns() {
    return std::tie(irid, icid, cnum, cserviceno, first, second, ddate, cref, creceiver, caddr,
                    cphone, csender, csaddr, csphone, cunitname, caccount, clmphone, caddrfrom);
  }
};

// ------------------------------------------------------------------ Update_Check

// Columns of the station-scan query, in select-list order.
struct CheckRow {
  std::uint32_t irid;
  std::uint32_t icid;
  char cnum[32];
  char cdes[64];
  char cwebac[32];
  SQL_TIMESTAMP_STRUCT ddate;
  char creceiver[64];
  char cserviceno[32];
  char cunitname[64];
  char caccount[32];
  char cmsn[64];
  char caddrfrom[64];
  char cstation[16];
  char ccheckpoint[16];  // the next station
  std::int32_t wpos;     // the detail the scan refers to; 0 when none
  char cinput[32];       // the operator
  char cref[32];         // the courier of a delivery scan

  auto Columns() {
    return std::tie(irid, icid, cnum, cdes, cwebac, ddate, creceiver, cserviceno, cunitname,
                    caccount, cmsn, caddrfrom, cstation, ccheckpoint, wpos, cinput, cref);
  }
};

// What the scan's detail row says: its time, place and description.
struct CheckDetail {
  char cdate[32];
  char cplace[128];
  char cinfo[256];
};

// The notification type of a scan kind, or -1 for an unknown kind.
int CheckType(int kind) {
  switch (kind) {
    case 0:
      return 23;  // 扫描到站通知, arrival
    case 1:
      return 22;  // 扫描出站通知, departure
    case 2:
      return 24;  // 扫描派送通知, delivery
    default:
      return -1;
  }
}

// The detail row that a scan refers to. Scans are entered against the
// consignment's own detail table, never the tracking network's copy.
void LookupCheckDetail(const DbConnection& c2, const CheckRow& row, CheckDetail& detail) {
  char sql[160];
  if (!FormatStatement(sql, "Update_Check",
                       "SELECT cdate,cplace,cinfo FROM qorvu.dbo.check_detail WHERE irid=%d AND "
                       "wpos=%d",
                       static_cast<int>(row.irid), row.wpos)) {
    detail = CheckDetail{};
    return;
  }
  LookupFirstRow(c2, sql, detail.cdate, detail.cplace, detail.cinfo);
}

// Marks a scan handled, whether or not it was queued, so that it is not read again.
void MarkCheckHandled(const DbConnection& c2, const CheckRow& row) {
  char sql[128];
  if (FormatStatement(sql, "Update_Check",
                      "UPDATE qorvu.dbo.check_track SET nlan=10 WHERE irid=%d AND wpos=%d AND "
                      "nlan=0",
                      static_cast<int>(row.irid), row.wpos)) {
    RunChange(c2, sql);
  }
}

// ------------------------------------------------------------------ the scans

bool ScanRecWeb(const DbConnection& c1, ScanRun& run, const MessModel& model) {
  char window[kWindowTextSize];
  ScanWindow(g_nWebDays > 0 ? g_nWebDays : kRecWebFallbackDays, 0, window);
  const ScanForm form = ChooseScanForm(g_nWebMode);
  const FormColumns columns = FormColumnsOf(form);
  const std::string_view suffix = DetailSuffix();

  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_RecWeb",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cdes,%s,a.creceiver,c.cdate,a.cserviceno,a.ddate,"
          "b.cunitname,b.caccount,%s,a.cemskind,ISNULL(d.ckey,'') AS cc,a.caddrfrom,a.csphone "
          "FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b ON(a.icid=b.icid) "
          "INNER JOIN qorvu.dbo.check_detail%.*s AS c ON(a.irid=c.irid) INNER JOIN "
          "qorvu.dbo.ems_kind AS d ON(a.cemskind=d.cemskind) WHERE a.nstate=2 AND %s AND "
          "a.ddate>='%s' AND c.npos=100 AND NOT EXISTS(SELECT 1 FROM qorvu.dbo.wc_mess WHERE "
          "ntype=%d AND iidref=a.irid)",
          BatchSize(), columns.first, columns.second, static_cast<int>(suffix.size()),
          suffix.data(), columns.condition, window, kTypeRecWeb)) {
    return false;
  }

  return ReadRows<RecWebRow>(c1, sql, &RecWebRow::irid, [&](RecWebRow& row) {
    MessRecord record{};
    if (!AddressConsignment(run.queue(), model, form, kTypeRecWeb, row, record)) return;
    ValueList values(record.param);
    values.Add(FieldText(row.cnum));
    values.Add(FieldText(row.cserviceno));
    values.AddDate(row.ddate, DateForm::kMonthDay);
    values.AddPlace(FieldText(row.cdes));
    values.Add(FieldText(row.creceiver));
    values.Add(FieldText(row.caccount));
    values.Add(FieldText(row.cunitname));
    values.Add(FieldText(row.cemskind));
    values.Add(FieldText(row.ckey));
    values.Add(FieldText(row.cdate));
    values.AddPlace(FieldText(row.caddrfrom));
    run.Store(record);
  }) != RowsRead::kNotRun;
}

bool ScanBear(const DbConnection& c1, ScanRun& run, const MessModel& model) {
  // A window in hours: dispatches are told within the same working day.
  char window[kWindowTextSize];
  ScanWindow(0, g_nBearHours, window);
  const ScanForm form = ChooseScanForm(g_nBearMode);
  const FormColumns columns = FormColumnsOf(form);

  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_Bear",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cserviceno,%s,%s,c.ddate,c.cref,a.creceiver,"
          "a.caddr,a.cphone,a.csender,a.csaddr,a.csphone,b.cunitname,b.caccount,"
          "ISNULL(d.clmphone,''),a.caddrfrom FROM qorvu.dbo.client_rec AS a INNER JOIN "
          "qorvu.dbo.client_arc AS b ON(a.icid=b.icid) INNER JOIN qorvu.dbo.check_track AS c "
          "ON(a.irid=c.irid) LEFT OUTER JOIN qorvu.dbo.man_main AS d ON(d.mcname=c.cref) WHERE "
          "a.nstate<3 AND c.ikind=2 AND %s AND c.ddate>='%s' AND NOT EXISTS(SELECT 1 FROM "
          "qorvu.dbo.wc_mess WHERE ntype=%d AND iidref=a.irid)",
          BatchSize(), columns.first, columns.second, columns.condition, window, kTypeBear)) {
    return false;
  }

  return ReadRows<BearRow>(c1, sql, &BearRow::irid, [&](BearRow& row) {
    MessRecord record{};
    // The customer form may clean a.csphone in place; the sender's phone
    // value below then carries the cleaned number.
    if (!AddressConsignment(run.queue(), model, form, kTypeBear, row, record)) return;
    ValueList values(record.param);
    values.Add(FieldText(row.cnum));
    values.Add(FieldText(row.cserviceno));
    values.Add(FieldText(row.csender));
    values.Add(FieldText(row.csaddr));
    values.Add(FieldText(row.csphone));
    values.Add(FieldText(row.creceiver));
    values.Add(FieldText(row.caddr));
    values.Add(FieldText(row.cphone));
    values.Add(FieldText(row.cref));
    values.AddDate(row.ddate, DateForm::kMonthDayMinute);
    values.Add(FieldText(row.clmphone));
    values.Add(FieldText(row.caccount));
    values.Add(FieldText(row.cunitname));
    values.AddPlace(FieldText(row.caddrfrom));
    run.Store(record);
  }) != RowsRead::kNotRun;
}

// One scan kind's call; false when its main query could not be run.
bool ScanCheck(const DbConnection& c1, ScanRun& run, const MessModel& model, int kind, int type) {
  char window[kWindowTextSize];
  ScanWindow(g_nSendDays > 0 ? g_nSendDays : 0, 0, window);

  // WeChat only, and no queue test: the scan's nlan mark keeps it from
  // being read twice.
  char sql[kScanSqlSize];
  if (!FormatStatement(
          sql, "Update_Check",
          "SELECT TOP %u a.irid,a.icid,a.cnum,a.cdes,b.cwebac,a.ddate,a.creceiver,a.cserviceno,"
          "b.cunitname,b.caccount,b.cmsn,a.caddrfrom,c.cstation,c.ccheckpoint,ISNULL(c.wpos,0),"
          "c.cinput,c.cref FROM qorvu.dbo.client_rec AS a INNER JOIN qorvu.dbo.client_arc AS b "
          "ON(a.icid=b.icid) INNER JOIN qorvu.dbo.check_track AS c ON(a.irid=c.irid) WHERE "
          "a.ddate>'%s' AND c.ikind=%d AND c.nlan=0 AND (LEN(b.cwebac)=28 OR LEN(b.cmsn)=28) AND "
          "a.nstate<3",
          BatchSize(), window, kind)) {
    return false;
  }

  return ReadRows<CheckRow>(c1, sql, &CheckRow::irid, [&](CheckRow& row) {
    CheckDetail detail{};
    if (row.wpos > 0) LookupCheckDetail(run.connection2(), row, detail);
    char contact[64] = {};  // the contact of the courier of a delivery scan
    if (kind == 2) {
      LookupStaffColumn(run.connection2(), "Update_Check", "mccomway", FieldText(row.cref),
                        contact);
    }

    bool stored = true;
    if (detail.cinfo[0] != '\0' && row.wpos > 0) {
      MessRecord record{};
      AddressRecord(ScanForm::kWeChat, run.queue(), {Phone(row.cwebac), Phone(row.cmsn), {}},
                    row.icid, row.irid, type, record);
      PrerenderLink(model, FieldText(row.cnum), FieldText(row.cserviceno), record);
      ValueList values(record.param);
      values.Add(FieldText(row.cnum));
      values.Add(FieldText(row.cserviceno));
      values.AddDate(row.ddate, DateForm::kDay);
      values.Add(FieldText(row.cdes));
      values.Add(FieldText(row.creceiver));
      values.Add(FieldText(row.cinput));
      values.Add(FieldText(detail.cplace));
      values.Add(FieldText(detail.cinfo), kLongParamLimit);
      values.Add(FieldText(detail.cdate));
      values.Add(FieldText(row.cstation));
      if (kind == 1) values.Add(FieldText(row.ccheckpoint));
      if (kind == 2) {
        values.Add(FieldText(row.cref));
        values.Add(FieldText(contact));
      }
      values.Add(FieldText(row.caccount));
      values.Add(FieldText(row.cunitname));
      stored = run.Store(record);
    }
    // A scan without a description is handled for good; one whose insert
    // failed stays unmarked, so that the next run tries it again rather
    // than losing the notification.
    if (stored) MarkCheckHandled(run.connection2(), row);
  }) != RowsRead::kNotRun;
}

}  // namespace

int Update_RecWeb(DbConnection& c1, char* work, DbConnection& c2) {
  return RunScanner(c1, work, c2, kTypeRecWeb, "Update_RecWeb", 0, ScanRecWeb);
}

int Update_Bear(DbConnection& c1, char* work, DbConnection& c2) {
  LogLine(nullptr, true, "Begin_Update_Bear");
  return RunScanner(c1, work, c2, kTypeBear, "Update_Bear", 0, ScanBear);
}

int Update_Check(DbConnection& c1, char* work, DbConnection& c2, int kind) {
  LogLine(nullptr, true, "Begin_Update_Check_%d", kind);
  const int type = CheckType(kind);
  if (type < 0) return 0;
  char name[32];
  std::snprintf(name, sizeof name, "Update_Check_%d", kind);
  return RunScanner(c1, work, c2, type, name, kScanAllocFailed,
                    [kind, type](const DbConnection& checkC1, ScanRun& run, const MessModel& model) {
                      return ScanCheck(checkC1, run, model, kind, type);
                    });
}
