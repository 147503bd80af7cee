#include "testing/odbc/sqlite_schema.h"

#include <sqlite3.h>

namespace standin {
namespace {

constexpr std::string_view kQorvuSchema = R"sql(
CREATE TABLE client_arc(
  icid INTEGER PRIMARY KEY,
  caccount VARCHAR(32) COLLATE QNOCASE NOT NULL DEFAULT '',
  cunitname VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  cwebac VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cmsn VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  csmnumber VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cphone VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  fdeposit FLOAT DEFAULT 0,
  fpay0 FLOAT DEFAULT 0,
  fpay1 FLOAT DEFAULT 0,
  ckind VARCHAR(16) COLLATE QNOCASE DEFAULT '');
CREATE TABLE client_rec(
  irid INTEGER PRIMARY KEY,
  icid INT NOT NULL DEFAULT 0,
  cnum VARCHAR(40) COLLATE QNOCASE DEFAULT '',
  cserviceno VARCHAR(40) COLLATE QNOCASE DEFAULT '',
  cemskind VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  cdes VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  caddrfrom VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  csender VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  csaddr VARCHAR(128) COLLATE QNOCASE DEFAULT '',
  csphone VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  creceiver VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  caddr VARCHAR(256) COLLATE QNOCASE DEFAULT '',
  cphone VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  crsms VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cgoods VARCHAR(256) COLLATE QNOCASE DEFAULT '',
  iitem INT DEFAULT 1,
  iquantity INT DEFAULT 0,
  ctransnote VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  famount FLOAT DEFAULT 0,
  fgoods FLOAT DEFAULT 0,
  npayway INT DEFAULT 0,
  ndays INT DEFAULT 0,
  cbearer VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  csign VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  nstate INT DEFAULT 0,
  ddate DATETIME,
  dsenddate DATETIME,
  dsysdate DATETIME,
  dadate DATETIME,
  fweight FLOAT DEFAULT 0,
  ffweight FLOAT DEFAULT 0,
  nfrom INT DEFAULT 0);
CREATE INDEX client_rec_kind ON client_rec(cemskind, nstate);
CREATE INDEX client_rec_icid ON client_rec(icid);
CREATE TABLE ems_kind(
  cemskind VARCHAR(16) COLLATE QNOCASE PRIMARY KEY,
  cname VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  nsmtake INT DEFAULT 0,
  nsmsend INT DEFAULT 0,
  nsmsign INT DEFAULT 0,
  nsmerror INT DEFAULT 0,
  nsmdays INT DEFAULT 0,
  ckey VARCHAR(64) COLLATE QNOCASE);
CREATE TABLE check_detail(
  irid INT NOT NULL,
  npos INT,
  wpos INT,
  cdate VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cplace VARCHAR(128) COLLATE QNOCASE DEFAULT '',
  cinfo VARCHAR(256) COLLATE QNOCASE DEFAULT '');
CREATE INDEX check_detail_irid ON check_detail(irid, npos);
CREATE TABLE check_detail_en(
  irid INT NOT NULL,
  npos INT,
  wpos INT,
  cdate VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cplace VARCHAR(128) COLLATE QNOCASE DEFAULT '',
  cinfo VARCHAR(256) COLLATE QNOCASE DEFAULT '');
CREATE INDEX check_detail_en_irid ON check_detail_en(irid, npos);
CREATE TABLE check_track(
  iid INTEGER PRIMARY KEY,
  irid INT NOT NULL,
  ikind INT DEFAULT 0,
  nlan INT DEFAULT 0,
  wpos INT,
  ddate DATETIME,
  cref VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cstation VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  ccheckpoint VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  cinput VARCHAR(32) COLLATE QNOCASE DEFAULT '');
CREATE INDEX check_track_irid ON check_track(irid, wpos);
CREATE TABLE man_main(
  mcid INTEGER PRIMARY KEY,
  mcname VARCHAR(32) COLLATE QNOCASE NOT NULL DEFAULT '',
  mcsmphone VARCHAR(24) COLLATE QNOCASE DEFAULT '',
  clmphone VARCHAR(24) COLLATE QNOCASE,
  mccomway VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  ccltkind VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  cmsn VARCHAR(64) COLLATE QNOCASE DEFAULT '');
CREATE INDEX man_main_name ON man_main(mcname);
CREATE TABLE rec_trans(
  iid INTEGER PRIMARY KEY,
  biid INT DEFAULT 0,
  icid INT NOT NULL DEFAULT 0,
  irid INT DEFAULT 0,
  cf_num VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  drdate DATETIME,
  fweight FLOAT DEFAULT 0,
  iitem INT DEFAULT 1,
  cf_emskind VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  cmark VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  cstationr VARCHAR(16) COLLATE QNOCASE DEFAULT '');
CREATE TABLE rec_trans_bag(
  biid INTEGER PRIMARY KEY,
  icid INT NOT NULL DEFAULT 0,
  irid INT DEFAULT 0,
  bget INT DEFAULT 0,
  famount FLOAT DEFAULT 0,
  cnum VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  cno VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  dsysdate DATETIME,
  creceiver VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  cdes VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  cmark VARCHAR(16) COLLATE QNOCASE DEFAULT '',
  cemskind VARCHAR(16) COLLATE QNOCASE DEFAULT '');
CREATE TABLE wc_mess(
  iid INTEGER PRIMARY KEY AUTOINCREMENT,
  icid INT DEFAULT 0,
  nstate INT NOT NULL DEFAULT 0,
  ntype INT NOT NULL DEFAULT 0,
  iidref INT NOT NULL DEFAULT 0,
  cextra VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  copenid VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  curl VARCHAR(256) COLLATE QNOCASE DEFAULT '',
  cparam VARCHAR(4096) COLLATE QNOCASE DEFAULT '',
  ctext VARCHAR(4096) COLLATE QNOCASE DEFAULT '',
  msgid VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  ddate DATETIME,
  dsdate DATETIME);
CREATE INDEX wc_mess_ref ON wc_mess(ntype, iidref);
CREATE INDEX wc_mess_state ON wc_mess(nstate, iid);
CREATE TABLE wc_bind(
  iid INTEGER PRIMARY KEY,
  cphone VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  copenid VARCHAR(32) COLLATE QNOCASE DEFAULT '',
  ddate DATETIME);
CREATE INDEX wc_bind_phone ON wc_bind(cphone);
CREATE TABLE sys_dict(
  dcname VARCHAR(32) COLLATE QNOCASE PRIMARY KEY,
  dcvalue VARCHAR(128) COLLATE QNOCASE DEFAULT '',
  cnote VARCHAR(128) COLLATE QNOCASE DEFAULT '');
CREATE TABLE sys_version(
  cversion VARCHAR(8) COLLATE QNOCASE NOT NULL,
  ddate DATETIME);
CREATE TABLE sys_server_update(
  ii INTEGER PRIMARY KEY,
  nn INT NOT NULL DEFAULT 0,
  cname VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  cdesc VARCHAR(256) COLLATE QNOCASE DEFAULT '',
  ddate DATETIME);
)sql";

constexpr std::string_view kPandelSchema = R"sql(
CREATE TABLE web_main(
  wcid INTEGER PRIMARY KEY,
  wcname VARCHAR(64) COLLATE QNOCASE DEFAULT '',
  wcroot VARCHAR(256) COLLATE QNOCASE DEFAULT '');
CREATE TABLE sys_version(
  cversion VARCHAR(8) COLLATE QNOCASE NOT NULL,
  ddate DATETIME);
)sql";

bool IsLead(unsigned char c) { return c >= 0x81 && c != 0xFF; }

std::string_view TrimTrailingSpaces(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

int CollateNoCase(void*, int alen, const void* a, int blen, const void* b) {
  return CompareNoCase(std::string_view(static_cast<const char*>(a), static_cast<size_t>(alen)),
                       std::string_view(static_cast<const char*>(b), static_cast<size_t>(blen)));
}

void LenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int bytes = sqlite3_value_bytes(argv[0]);
  if (text == nullptr) {
    sqlite3_result_error_nomem(ctx);
    return;
  }
  sqlite3_result_int64(ctx, GbkLength(std::string_view(text, static_cast<size_t>(bytes))));
}

}  // namespace

int CompareNoCase(std::string_view a, std::string_view b) {
  a = TrimTrailingSpaces(a);
  b = TrimTrailingSpaces(b);
  size_t i = 0;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  while (i < n) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (IsLead(ca) && IsLead(cb) && i + 1 < n) {
      // A double-byte character compares byte for byte, trail byte included,
      // even where the trail byte looks like an ASCII letter.
      if (ca != cb) return ca < cb ? -1 : 1;
      auto ta = static_cast<unsigned char>(a[i + 1]);
      auto tb = static_cast<unsigned char>(b[i + 1]);
      if (ta != tb) return ta < tb ? -1 : 1;
      i += 2;
      continue;
    }
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

long long GbkLength(std::string_view text) {
  text = TrimTrailingSpaces(text);
  long long count = 0;
  for (size_t i = 0; i < text.size(); ++count) {
    i += (IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
  }
  return count;
}

bool RegisterSqlServerFunctions(sqlite3* db) {
  const std::string collation(kTextCollation);
  if (sqlite3_create_collation_v2(db, collation.c_str(), SQLITE_UTF8, nullptr, CollateNoCase, nullptr) !=
      SQLITE_OK) {
    return false;
  }
  return sqlite3_create_function_v2(db, "qorvu_len", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                    LenFunction, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string_view QorvuSchemaSql() { return kQorvuSchema; }
std::string_view PandelSchemaSql() { return kPandelSchema; }

}  // namespace standin
