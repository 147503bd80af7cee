// The shared fixture of the scanner tests: the stand-in courier database
// behind the real unixODBC driver manager (installed once per process),
// fresh databases and default settings for every test, message models in
// the channel, a fake clock for the scanners and the log, helpers to insert
// courier rows, to run a scanner on two fresh connections (with faults when
// wanted) and to read back the queue, the statement log and the log files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "agent/db/connection.h"
#include "platform/env.h"
#include "platform/fake_env.h"
#include "testing/odbc/standin.h"
#include "tests/gbk_text.h"
#include "tests/standin_environment.h"
#include "tests/temp_folder.h"

namespace scan_test {

// Readable UTF-8 in the test source as the agent's GBK, and back (iconv).
using gbk_text::Gbk;
using gbk_text::Utf8;

// Two well-formed OpenIDs (28 characters each).
inline constexpr char kOpenIdA[] = "oAAAAAAAAAAAAAAAAAAAAAAAAAA1";
inline constexpr char kOpenIdB[] = "oBBBBBBBBBBBBBBBBBBBBBBBBBB2";

// A value written into an INSERT: a number, a quoted text (apostrophes
// doubled; write GBK texts with Gbk()), or NULL.
struct SqlValue {
  std::string literal;
  SqlValue(int v) : literal(std::to_string(v)) {}
  SqlValue(unsigned v) : literal(std::to_string(v)) {}
  SqlValue(long long v) : literal(std::to_string(v)) {}
  SqlValue(double v);
  SqlValue(const char* text) : SqlValue(std::string_view(text)) {}
  SqlValue(const std::string& text) : SqlValue(std::string_view(text)) {}
  SqlValue(std::string_view text);
  static SqlValue Null();

 private:
  SqlValue() = default;
};
using Columns = std::vector<std::pair<std::string, SqlValue>>;

// A date-time as the stand-in stores it: "YYYY-MM-DD HH:MM:SS".
std::string DateText(const platform::LocalTime& t);

// One row of qorvu.dbo.wc_mess (texts as stored, GBK).
struct QueueRow {
  int iid = 0;
  int icid = 0;
  int nstate = -1;
  int ntype = -1;
  int iidref = 0;
  std::string copenid;
  std::string curl;
  std::string cparam;
  // cparam split at each "|" (without the empty piece after the last one).
  std::vector<std::string> Values() const;
  // Value i of Values(), or "<missing>" when the list is shorter.
  std::string Value(std::size_t i) const;
};

// The stand-in, installed and activated once per process.
using standin_test::Standin;

class ScannerTest : public ::testing::Test {
 protected:
  using Scanner = std::function<int(DbConnection& c1, char* work, DbConnection& c2)>;

  void SetUp() override;
  void TearDown() override;

  // --- courier data (through a connection of the fixture) ---
  // Runs a statement; a failure fails the test.
  void Exec(const std::string& sql);
  void Insert(std::string_view table, const Columns& columns);
  // A customer account (caccount "C<icid>", cunitname "Unit<icid>") with the
  // given columns added or overriding.
  void InsertAccount(int icid, const Columns& columns = {});
  // A consignment of account icid (cnum "SF<irid>", cemskind "EMS",
  // ddate = dsysdate = dsenddate = now) with the given columns added or overriding.
  void InsertConsignment(int irid, int icid, const Columns& columns = {});
  // An express kind with one flag column (nsmtake, nsmsend, ...) set to 1.
  void InsertKind(std::string_view code, std::string_view flagColumn, int days = 0);
  // A phone number bound to a WeChat follower.
  void InsertBind(std::string_view phone, std::string_view openId);

  // --- channel ---
  // Replaces the channel's models by one model per given type, each with
  // the link url (UTF-8 here, stored as GBK) and one parameter.
  void LoadModels(std::initializer_list<int> types, std::string_view url = "",
                  std::string_view openIdPrefix = "");
  // One model for every type 0..24.
  void LoadAllModels(std::string_view url = "");
  // The SMS gateway ready (smsEnabled 1) or not (-1).
  void SetSmsReady(bool ready);

  // --- running ---
  // Runs a scanner on two fresh connections and a zeroed work buffer. The
  // statement log is cleared first. Faults, when given, apply to connection
  // 1 and connection 2 respectively.
  int Run(const Scanner& scanner);
  int Run(const Scanner& scanner, const standin::Faults& c1Faults,
          const standin::Faults& c2Faults);

  // --- results ---
  std::vector<QueueRow> QueueRows();
  // The statements the last Run sent (and any sent since), in order.
  std::vector<std::string> Statements() const;
  std::vector<std::string> StatementsContaining(std::string_view part) const;
  // The entries of today's log file of a tag ("" for the main log), without
  // time stamps, in order.
  std::vector<std::string> LogEntries(std::string_view tag = "");

  // --- clock ---
  // The local time the scanners and the log see (default 2026-12-09 08:00:00).
  void SetNow(const platform::LocalTime& t);
  platform::LocalTime Now() { return env_.LocalNow(); }
  // DateText of now minus a span (calendar arithmetic, as the scanners do).
  std::string Ago(int days, int hours = 0, int seconds = 0);

  platform::FakeClockEnv env_;
  DbConnection setup_;
  TempFolder logRoot_;
};

}  // namespace scan_test
