// How the scanners frame a call, read their query rows and start a
// notification from one. Used by the scanner source files only.
//
// A row struct names its columns in select-list order:
//
//   struct SignRow {
//     std::uint32_t irid, icid;
//     char cnum[32], ...;
//     auto Columns() { return std::tie(irid, icid, cnum, ...); }
//   };
//   ReadRows<SignRow>(c1, sql, &SignRow::irid, [&](SignRow& r) { ... });
#pragma once

#include <sql.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>

#include "agent/compose/mess_channel.h"
#include "agent/compose/mess_record.h"
#include "agent/db/connection.h"
#include "agent/db/statement.h"
#include "agent/db/statement_text.h"
#include "agent/scanners/scan_common.h"

// Binds one result column to a buffer of the matching C type.
inline bool BindColumn(DbStatement& st, SQLUSMALLINT column, std::uint32_t& value) {
  return st.BindUInt32(column, value);
}
inline bool BindColumn(DbStatement& st, SQLUSMALLINT column, std::int32_t& value) {
  return st.BindInt32(column, value);
}
inline bool BindColumn(DbStatement& st, SQLUSMALLINT column, double& value) {
  return st.BindDouble(column, value);
}
inline bool BindColumn(DbStatement& st, SQLUSMALLINT column, SQL_TIMESTAMP_STRUCT& value) {
  return st.BindTimestamp(column, value);
}
template <std::size_t N>
bool BindColumn(DbStatement& st, SQLUSMALLINT column, char (&text)[N]) {
  return st.BindText(column, text);
}

// Binds columns 1, 2, ... to the buffers in order; stops at the first
// binding that fails.
template <typename... Buffers>
bool BindColumns(DbStatement& st, Buffers&... buffers) {
  SQLUSMALLINT column = 0;
  return (BindColumn(st, ++column, buffers) && ...);
}

// How the reading of a query ended.
enum class RowsRead {
  kNotRun,    // no statement could be allocated, or the text did not run
  kNotBound,  // a column could not be bound; no row was read
  kRead,      // read up to the end of the rows, a failed fetch or a row without a usable id
};

// Runs sql on its own statement of the connection (freed before returning),
// binds the columns the row names and calls each(row) for every row
// fetched, while the row's id passes GuardPasses. The row is zeroed before
// each fetch: a NULL column reads as an empty text or 0, never as the
// previous row's value, and a row without an id ends the reading.
template <typename Row, typename Each>
RowsRead ReadRows(const DbConnection& connection, const char* sql, std::uint32_t Row::*id,
                  Each&& each) {
  DbStatement st;
  if (!st.Allocate(connection) || !st.Execute(sql)) return RowsRead::kNotRun;
  Row row{};
  const bool bound =
      std::apply([&st](auto&... columns) { return BindColumns(st, columns...); }, row.Columns());
  if (!bound) return RowsRead::kNotBound;
  for (;;) {
    row = Row{};
    if (!st.Fetch() || !GuardPasses(row.*id)) break;
    each(row);
  }
  return RowsRead::kRead;
}

// Starts the record of a consignment row (columns irid, icid, cnum,
// cserviceno and the recipient columns first, second and csphone): its
// recipient in the form, its ids, its type and its link. False when the form
// finds no recipient; the row is then skipped.
template <typename Row>
bool AddressConsignment(CMessQueue& queue, const MessModel& model, ScanForm form, int type,
                        Row& row, MessRecord& record) {
  if (!AddressRecord(form, queue, {Phone(row.first), Phone(row.second), Phone(row.csphone)},
                     row.icid, row.irid, type, record)) {
    return false;
  }
  PrerenderLink(model, FieldText(row.cnum), FieldText(row.cserviceno), record);
  return true;
}

// The frame of a scanner call with one main query. Without a model of the
// type there is nothing to do (0). Otherwise scan(c1, run, model) runs on a
// fresh ScanRun: a scan that returns false ends the call with `failed` and
// no end line; else the end line of `name` is logged and the ok count
// returned.
template <typename Scan>
int RunScanner(const DbConnection& c1, char* work, const DbConnection& c2, int type,
               const char* name, int failed, Scan&& scan) {
  const MessModel* model = g_messChannel.FindModel(type);
  if (model == nullptr) return 0;
  ScanRun run(c2, work);
  if (!scan(c1, run, *model)) return failed;
  run.LogEnd(name);
  return run.Result();
}

// One column of the staff table for the staff member of that name, looked
// up on connection 2 by the scanner `scanner`; empty when the name is empty,
// nobody has it or the lookup cannot run.
template <std::size_t N>
void LookupStaffColumn(const DbConnection& c2, const char* scanner, const char* column,
                       std::string_view member, char (&out)[N]) {
  out[0] = '\0';
  if (member.empty()) return;
  char quoted[80];  // a 31-byte name with every apostrophe doubled
  char sql[256];
  if (!SqlQuote(member, quoted) ||
      !FormatStatement(sql, scanner, "SELECT %s FROM qorvu.dbo.man_main WHERE mcname='%s'",
                       column, quoted)) {
    return;
  }
  LookupFirstRow(c2, sql, out);
}
