#include "tests/agent/scanners/scanner_fixture.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "agent/compose/mess_channel.h"
#include "agent/compose/mess_types.h"
#include "agent/db/db_settings.h"
#include "agent/db/statement.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"
#include "agent/scanners/scan_common.h"
#include "tests/agent/standin_db.h"

namespace scan_test {
namespace {

// The scanners keep their cursor open on one connection while they insert
// through the other, as SQL Server allows; SQLite needs WAL for it.
standin::Options WalOptions() {
  standin::Options options;
  options.wal = true;
  return options;
}

const auto* const kStandin = standin_test::AddStandinEnvironment(WalOptions(), FreeDbEnvironment);

}  // namespace

SqlValue::SqlValue(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  literal = text;
}

SqlValue::SqlValue(std::string_view text) {
  literal = "'";
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  literal += "'";
}

SqlValue SqlValue::Null() {
  SqlValue v;
  v.literal = "NULL";
  return v;
}

std::string DateText(const platform::LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::vector<std::string> QueueRow::Values() const {
  std::vector<std::string> values;
  std::size_t start = 0;
  for (std::size_t bar = cparam.find('|'); bar != std::string::npos;
       bar = cparam.find('|', start)) {
    values.push_back(cparam.substr(start, bar - start));
    start = bar + 1;
  }
  if (start < cparam.size()) values.push_back(cparam.substr(start));
  return values;
}

std::string QueueRow::Value(std::size_t i) const {
  const std::vector<std::string> values = Values();
  return i < values.size() ? values[i] : "<missing>";
}

void ScannerTest::SetUp() {
  ResetSettings();
  std::string error;
  ASSERT_TRUE(Standin().ResetDatabases(&error)) << error;
  ASSERT_TRUE(Standin().ClearFaults(&error)) << error;
  ASSERT_TRUE(standin_test::PointAgentAtStandin());
  env_.SetLocalTime({2026, 12, 9, 8, 0, 0, 0});
  SetScanEnv(&env_);
  g_log.SetEnv(&env_);
  g_log.SetFolder((logRoot_.path() + "/").c_str(), "LOG_WC", true);
  LoadAllModels();
  SetSmsReady(false);
  ASSERT_TRUE(setup_.Open());
  Standin().ClearStatements();
}

void ScannerTest::TearDown() {
  setup_.Close();
  g_log.SetFolder("/nonexistent-qorvu/", "LOG_WC", false);
  g_log.SetEnv(platform::Env::Default());
  SetScanEnv(nullptr);
  g_messChannel.LoadMessDefine("");
  g_messChannel.smsEnabled = -1;
  Standin().ClearFaults();
  ResetSettings();
}

void ScannerTest::Exec(const std::string& sql) {
  EXPECT_TRUE(DbSucceeded(RunChange(setup_, sql.c_str()))) << sql;
}

void ScannerTest::Insert(std::string_view table, const Columns& columns) {
  std::string names, values;
  for (const auto& [name, value] : columns) {
    if (!names.empty()) {
      names += ",";
      values += ",";
    }
    names += name;
    values += value.literal;
  }
  Exec("INSERT INTO qorvu.dbo." + std::string(table) + "(" + names + ") VALUES(" + values + ")");
}

namespace {

// defaults with the caller's columns overriding or added.
Columns Merge(Columns defaults, const Columns& columns) {
  for (const auto& column : columns) {
    bool replaced = false;
    for (auto& d : defaults) {
      if (d.first == column.first) {
        d.second = column.second;
        replaced = true;
      }
    }
    if (!replaced) defaults.push_back(column);
  }
  return defaults;
}

}  // namespace

void ScannerTest::InsertAccount(int icid, const Columns& columns) {
  Insert("client_arc", Merge({{"icid", icid},
                              {"caccount", "C" + std::to_string(icid)},
                              {"cunitname", "Unit" + std::to_string(icid)}},
                             columns));
}

void ScannerTest::InsertConsignment(int irid, int icid, const Columns& columns) {
  const std::string now = DateText(Now());
  Insert("client_rec", Merge({{"irid", irid},
                              {"icid", icid},
                              {"cnum", "SF" + std::to_string(irid)},
                              {"cemskind", "EMS"},
                              {"ddate", now},
                              {"dsysdate", now},
                              {"dsenddate", now}},
                             columns));
}

void ScannerTest::InsertKind(std::string_view code, std::string_view flagColumn, int days) {
  Insert("ems_kind", {{"cemskind", code}, {std::string(flagColumn), 1}, {"nsmdays", days}});
}

void ScannerTest::InsertBind(std::string_view phone, std::string_view openId) {
  Insert("wc_bind", {{"cphone", phone}, {"copenid", openId}});
}

void ScannerTest::LoadModels(std::initializer_list<int> types, std::string_view url,
                             std::string_view openIdPrefix) {
  std::string text = Gbk(
      "服务器=api.weixin.qq.com\r\n端口=443\r\n是SSL=1\r\n"
      "appid=wx1234567890abcdef\r\nsecret=0123456789abcdef0123456789abcdef\r\n");
  if (!openIdPrefix.empty()) text += Gbk("OpenID前缀=") + std::string(openIdPrefix) + "\r\n";
  for (int type : types) {
    text += "<MESS_DEFINE>\r\n<NAME>";
    text += TypeName(type);
    text += "</NAME>\r\n<TEMP_ID>TMPL-" + std::to_string(type) + "</TEMP_ID>\r\n";
    if (!url.empty()) text += "<URL>" + Gbk(url) + "</URL>\r\n";
    text += "<MODEL>Notice body {{first.DATA}}</MODEL>\r\n<PARAM>\r\nfirst=x\r\n</PARAM>\r\n"
            "</MESS_DEFINE>\r\n";
  }
  ASSERT_TRUE(g_messChannel.LoadMessDefine(text));
  ASSERT_EQ(g_messChannel.ModelCount(), types.size());
}

void ScannerTest::LoadAllModels(std::string_view url) {
  LoadModels({0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
              13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24},
             url);
}

void ScannerTest::SetSmsReady(bool ready) { g_messChannel.smsEnabled = ready ? 1 : -1; }

int ScannerTest::Run(const Scanner& scanner) { return Run(scanner, {}, {}); }

int ScannerTest::Run(const Scanner& scanner, const standin::Faults& c1Faults,
                     const standin::Faults& c2Faults) {
  DbConnection c1, c2;
  EXPECT_TRUE(Standin().SetFaults(c1Faults));
  EXPECT_TRUE(c1.Open());
  EXPECT_TRUE(Standin().SetFaults(c2Faults));
  EXPECT_TRUE(c2.Open());
  EXPECT_TRUE(Standin().ClearFaults());
  auto work = std::make_unique<char[]>(kScanWorkSize);
  Standin().ClearStatements();
  return scanner(c1, work.get(), c2);
}

std::vector<QueueRow> ScannerTest::QueueRows() {
  std::vector<QueueRow> rows;
  DbStatement st;
  if (!st.Allocate(setup_) ||
      !st.Execute("SELECT iid,icid,nstate,ntype,iidref,copenid,curl,cparam FROM qorvu.dbo.wc_mess "
                  "ORDER BY iid")) {
    ADD_FAILURE() << "wc_mess cannot be read";
    return rows;
  }
  struct {
    std::int32_t iid, icid, nstate, ntype, iidref;
    char copenid[64], curl[512], cparam[8192];
  } b{};
  st.BindInt32(1, b.iid);
  st.BindInt32(2, b.icid);
  st.BindInt32(3, b.nstate);
  st.BindInt32(4, b.ntype);
  st.BindInt32(5, b.iidref);
  st.BindText(6, b.copenid);
  st.BindText(7, b.curl);
  st.BindText(8, b.cparam);
  for (;;) {
    b = {};
    if (!st.Fetch()) break;
    QueueRow row;
    row.iid = b.iid;
    row.icid = b.icid;
    row.nstate = b.nstate;
    row.ntype = b.ntype;
    row.iidref = b.iidref;
    row.copenid = b.copenid;
    row.curl = b.curl;
    row.cparam = b.cparam;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> ScannerTest::Statements() const { return Standin().Statements(); }

std::vector<std::string> ScannerTest::StatementsContaining(std::string_view part) const {
  std::vector<std::string> found;
  for (std::string& s : Standin().Statements()) {
    if (s.find(part) != std::string::npos) found.push_back(std::move(s));
  }
  return found;
}

std::vector<std::string> ScannerTest::LogEntries(std::string_view tag) {
  const platform::LocalTime now = env_.LocalNow();
  char date[32];
  std::snprintf(date, sizeof date, "%04d_%02d_%02d", now.year, now.month, now.day);
  std::string path = logRoot_.path() + "/LOG_WC/";
  if (!tag.empty()) path += std::string(tag) + "_";
  path += std::string(date) + ".txt";
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  std::vector<std::string> entries;
  std::string line;
  std::istringstream lines(content.str());
  while (std::getline(lines, line)) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      if (close != std::string::npos) line.erase(0, close + 1);
    }
    entries.push_back(line);
  }
  return entries;
}

void ScannerTest::SetNow(const platform::LocalTime& t) { env_.SetLocalTime(t); }

std::string ScannerTest::Ago(int days, int hours, int seconds) {
  const std::int64_t at = platform::LocalToEpoch(Now()) - static_cast<std::int64_t>(days) * 86400 -
                          static_cast<std::int64_t>(hours) * 3600 - seconds;
  return DateText(env_.ToLocal(at));
}

}  // namespace scan_test
