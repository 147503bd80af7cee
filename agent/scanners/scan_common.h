// What every event scanner shares: the clock it reads, the phone-number
// cleaning and choice, the value list, the look-back window, the express
// kinds, the form of a scan and its recipient, the link of a notification,
// and the counting and end line of one scanner call.
//
// The shape of one scanner call (the templates named here are in scan_rows.h):
//
//   int Update_X(DbConnection& c1, char* work, DbConnection& c2) {
//     return RunScanner(c1, work, c2, type, "Update_X", 0, ScanX);  // model, ScanRun, end line
//   }
//   bool ScanX(const DbConnection& c1, ScanRun& run, const MessModel& model) {
//     ... format the query ...
//     return ReadRows<XRow>(c1, sql, &XRow::irid, [&](XRow& row) {  // zeroed before each fetch
//       MessRecord record{};
//       if (!AddressRecord(form, run.queue(), {Phone(row.a), Phone(row.b), Phone(row.s)},
//                          row.icid, row.irid, type, record))
//         return;                                        // no usable number: not counted
//       PrerenderLink(model, FieldText(row.cnum), FieldText(row.cserviceno), record);
//       ValueList values(record.param);
//       values.Add(FieldText(row.cnum)); ...
//       run.Store(record);
//     }) == RowsRead::kRead;
//   }
#pragma once

#include <sql.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "agent/compose/mess_queue.h"
#include "agent/compose/mess_record.h"
#include "agent/db/connection.h"
#include "agent/db/statement.h"
#include "platform/env.h"

// ------------------------------------------------------------------ limits

inline constexpr std::size_t kParamLimit = 254;      // bytes of one value of a value list
inline constexpr std::size_t kLongParamLimit = 510;  // the one longer value (a scan description)
inline constexpr std::size_t kScanWorkSize = 128000; // the update run's work buffer
inline constexpr std::size_t kScanSqlSize = 2048;    // a scanner's statement text
inline constexpr std::size_t kWindowTextSize = 20;   // "YYYY.MM.DD HH:MM:SS" and the zero
inline constexpr std::size_t kKindCodeSize = 16;     // ems_kind.cemskind, zero included
// What a scanner returns when its first statement on connection 1 cannot be
// allocated; it ends the update run's chain.
inline constexpr int kScanAllocFailed = -9;

// Link variables a scanner may fill in before the notification is queued (GBK).
inline constexpr char kLinkInnerNo[] = "{\xC4\xDA\xB5\xA5\xBA\xC5}";     // {内单号}
inline constexpr char kLinkTransferNo[] = "{\xD7\xAA\xB5\xA5\xBA\xC5}";  // {转单号}
inline constexpr char kLinkWaybillNo[] = "{\xD4\xCB\xB5\xA5\xBA\xC5}";   // {运单号}

// ------------------------------------------------------------------ clock

// The environment whose clock the scanners read (the local time of their
// windows and value lists, the tick count of their end lines). Never null.
platform::Env* ScanEnv();
// Substitutes the scanners' environment (tests set a fake clock); null puts
// the real machine back. Set only while no scanner runs.
void SetScanEnv(platform::Env* env);

// ------------------------------------------------------------------ phone numbers

// A writable text column buffer: a phone text is cleaned in place.
struct PhoneBuffer {
  char* text = nullptr;
  std::size_t size = 0;
};
template <std::size_t N>
PhoneBuffer Phone(char (&buffer)[N]) {
  return PhoneBuffer{buffer, N};
}

// Cleans a phone text in place and returns it: digits stay, "(", ")" and "-"
// go, blanks go while fewer than maxDigits digits were met (a blank after
// that ends the text, at the first blank that followed a digit if there was
// one), and any other byte ends the text. Reads at most size - 1 bytes.
char* CleanPhoneText(char* text, std::size_t size, int maxDigits);
template <std::size_t N>
char* CleanPhoneText(char (&text)[N], int maxDigits) {
  return CleanPhoneText(text, N, maxDigits);
}

// 6 to 20 bytes and, when SMS number masks are configured, matching one of
// them ("*" any byte, "#" a digit, "@" a Latin letter, else the byte itself).
bool IsSmsNumber(std::string_view text);

// Cleans first and second (with g_nSmsMaxLen) and returns the first of them
// that is an SMS number; else, when a third buffer is given, cleans it and
// returns it if it is one; else null. The result points into its buffer.
const char* PickSmsNumber(PhoneBuffer first, PhoneBuffer second, PhoneBuffer third = {});

// ------------------------------------------------------------------ value list

// Appends one value and its "|" to the value list list[0..size) at position
// end and returns the new end. "|", CR and LF are removed from the value
// (the bytes of double-byte characters are never taken for them) and a value
// longer than limit bytes is cut without splitting a character (UTF-8 when
// the whole value is well-formed UTF-8 with a multi-byte sequence, else GBK
// with "&#...;" references kept whole). A value that does not fit the rest
// of the list is cut to fit; with no room left even for its "|" nothing is
// written. The list stays NUL-terminated.
std::size_t AppendParam(char* list, std::size_t size, std::size_t end, std::string_view value,
                        std::size_t limit = kParamLimit);
// The same for a UTF-16 value, converted to GBK first ("&#%u;" for what GBK
// cannot hold).
std::size_t AppendParam(char* list, std::size_t size, std::size_t end, const char16_t* value,
                        std::size_t limit = kParamLimit);

// How a date-time column is written into a value list.
enum class DateForm {
  kMonthDay,         // "%02d-%02d"
  kHourMinute,       // "%02d:%02d"
  kMonthDayMinute,   // "%02d-%02d %02d:%02d"
  kDay,              // "%d-%02d-%02d"
  kDayMinute,        // "%d-%02d-%02d %02d:%02d"
  kDaySecond,        // "%d-%02d-%02d %02d:%02d:%02d"
};

// True when a bound date-time buffer holds a value (a zeroed buffer, as a
// NULL column leaves it, holds none).
bool HasDate(const SQL_TIMESTAMP_STRUCT& ts);

// A value list being written into a record's param field (or any buffer):
// each Add appends one value and its "|". The list starts empty.
class ValueList {
 public:
  ValueList(char* list, std::size_t size);
  template <std::size_t N>
  explicit ValueList(char (&list)[N]) : ValueList(list, N) {}
  ValueList(const ValueList&) = delete;
  ValueList& operator=(const ValueList&) = delete;

  void Add(std::string_view value, std::size_t limit = kParamLimit);
  void Add(const char16_t* value, std::size_t limit = kParamLimit);
  void AddEmpty() { Add(std::string_view()); }
  // A place name: its replacement from g_placeTrans when it has one, else the name.
  void AddPlace(std::string_view place);
  // A printf-formatted value (formatted into a 512-byte scratch buffer).
  [[gnu::format(printf, 2, 3)]] void AddFormat(const char* format, ...);
  // A date-time in the given form; empty when the buffer holds no date.
  void AddDate(const SQL_TIMESTAMP_STRUCT& ts, DateForm form);

  std::size_t length() const { return end_; }
  // False once a value had to be cut (or left out) to fit the list.
  bool complete() const { return complete_; }

 private:
  void Appended(std::size_t end, std::size_t wanted);

  char* list_;
  std::size_t size_;
  std::size_t end_ = 0;
  bool complete_ = true;
};

// ------------------------------------------------------------------ window

// now minus the span, counted on the calendar: three days before 14:05:09
// is 14:05:09 three days earlier. Never earlier than 1900-01-01 00:00:00.
platform::LocalTime WindowStart(const platform::LocalTime& now, std::int64_t days,
                                std::int64_t hours = 0);
// "%Y.%m.%d %H:%M:%S", the form the queries compare dates with.
void FormatWindow(const platform::LocalTime& t, char (&out)[kWindowTextSize]);
// The window text of a scan that starts now: ScanEnv's local time minus the span.
void ScanWindow(std::int64_t days, std::int64_t hours, char (&out)[kWindowTextSize]);
// Days of a kind's window: the kind's own days, else the event key's days,
// else the scanner's fall-back.
std::int64_t KindDays(std::uint32_t kindDays, int keyDays, int fallbackDays);

// ------------------------------------------------------------------ express kinds

struct ExpressKind {
  char code[kKindCodeSize] = {};  // cemskind, at most 15 bytes
  std::uint32_t days = 0;         // nsmdays; NULL reads as 0
};

// Reads "SELECT cemskind,nsmdays FROM qorvu.dbo.ems_kind WHERE <flag>=1" on
// connection 1, in the order the database returns the rows; reading ends at
// the first fetch that delivers no row (end of rows or failure). Returns the
// number of kinds, or kScanAllocFailed when no statement could be allocated.
int ReadExpressKinds(const DbConnection& c1, const char* flagColumn,
                     std::vector<ExpressKind>& kinds);

// ------------------------------------------------------------------ form and recipient

enum class ScanForm {
  kWeChat,    // the account's two OpenIDs
  kReceiver,  // SMS to the consignment's receiver
  kCustomer,  // SMS to the consignment's sender or the customer account
  kAccount,   // SMS to an account (scanners that read accounts, not consignments)
};

// The form of a consignment scan: an SMS form only when the gateway is ready
// (g_messChannel.smsEnabled >= 1) and the event's SMS mode is 1 or more;
// mode 1 is the receiver form, any other the customer form.
ScanForm ChooseScanForm(int smsMode);
// The form of an account scan: kAccount when the gateway is ready, else kWeChat.
ScanForm ChooseAccountForm();

// The recipient columns of a query in a form, and the condition that
// selects rows with a recipient:
//   kWeChat   b.cwebac,    b.cmsn,  "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)"
//   kReceiver a.crsms,     a.cphone, "(a.crsms <> '' OR a.cphone<>'')"
//   kCustomer b.csmnumber, b.cphone, "(b.csmnumber<>'' OR b.cphone<>'' OR a.csphone<>'')"
//   kAccount  b.csmnumber, b.cphone, "(b.csmnumber<>'' OR b.cphone<>'')"
struct FormColumns {
  const char* first;
  const char* second;
  const char* condition;
};
FormColumns FormColumnsOf(ScanForm form);

// The recipient columns of one row, as read: first and second are the two
// columns FormColumnsOf names; sender is the consignment's a.csphone (used by
// the customer form only).
struct RecipientColumns {
  PhoneBuffer first;
  PhoneBuffer second;
  PhoneBuffer sender;
};

// Puts the row's recipient into record.openId:
//   kWeChat   PickOpenId(first, second); an empty openId still queues (true)
//   kReceiver FindOpenId(first, second), else PickSmsNumber(first, second)
//   kCustomer FindOpenId(sender, first), else PickSmsNumber(sender, first, second)
//   kAccount  FindOpenId(second, first), else PickSmsNumber(first, second)
// False when an SMS form finds no usable recipient: the row is skipped. The
// lookup sees the texts as read; the SMS choice cleans the columns in place.
bool ChooseRecipient(ScanForm form, CMessQueue& queue, const RecipientColumns& columns,
                     MessRecord& record);

// Starts a row's record: the recipient as ChooseRecipient puts it, then the
// customer id, the id of the row that caused the notification and the type.
// False, as ChooseRecipient, when an SMS form finds no usable recipient.
bool AddressRecord(ScanForm form, CMessQueue& queue, const RecipientColumns& columns,
                   std::uint32_t clientId, std::uint32_t refId, int type, MessRecord& record);

// ------------------------------------------------------------------ link

// True when the GBK text holds part as whole characters.
bool ContainsGbk(std::string_view text, std::string_view part);

struct LinkValue {
  std::string_view variable;  // e.g. kLinkInnerNo
  std::string_view value;
};
// Writes link into out[0..size) with every variable replaced by its value
// (GBK-aware, left to right, no rescanning of inserted values). A result
// that does not fit is cut without splitting a character.
void RenderLink(std::string_view link, std::initializer_list<LinkValue> values, char* out,
                std::size_t size);

// When the model's link contains "单号", the record's url gets it with
// {内单号} = cnum and {转单号} = transferNo; otherwise the url stays empty
// and the model's link is used when the message is sent.
void PrerenderLink(const MessModel& model, std::string_view cnum, std::string_view transferNo,
                   MessRecord& record);

// ------------------------------------------------------------------ rows

// A fetched row's source id is usable: above 0 and within a record id's
// range. A row struct zeroed before each fetch leaves 0 for a NULL id, so a
// row without one ends the reading.
inline bool GuardPasses(std::uint32_t id) { return id > 0 && id <= 0x7FFFFFFFu; }

// Runs a query on its own statement of the connection and copies the text
// columns of its first row into out... (column 1 into the first buffer, and
// so on). The buffers are emptied first; false (and empty buffers) when no
// statement could be allocated or run, or there was no row.
template <std::size_t... N>
bool LookupFirstRow(const DbConnection& connection, const char* sql, char (&... out)[N]) {
  ((out[0] = '\0'), ...);
  DbStatement st;
  if (!st.Allocate(connection) || !st.Execute(sql)) return false;
  SQLUSMALLINT column = 0;
  bool bound = true;
  ((bound = bound && st.BindText(++column, out)), ...);
  if (bound && st.Fetch()) return true;
  ((out[0] = '\0'), ...);
  return false;
}

// ------------------------------------------------------------------ one call

// Writes one formatted log line (cut at 1023 bytes).
[[gnu::format(printf, 3, 4)]] void LogLine(const char* tag, bool withTime, const char* format,
                                           ...);

// The working state of one scanner call: the start tick, the queue object on
// connection 2 (with the update run's work buffer as response buffer), and
// the ok and error counts.
class ScanRun {
 public:
  ScanRun(const DbConnection& c2, char* work);
  ScanRun(const ScanRun&) = delete;
  ScanRun& operator=(const ScanRun&) = delete;

  CMessQueue& queue() { return queue_; }
  const DbConnection& connection2() const { return queue_.connection(); }
  // SetMess; counts the record as ok or as an error. Returns SetMess's result.
  bool Store(MessRecord& record);

  std::uint32_t ok() const { return ok_; }
  std::uint32_t errors() const { return errors_; }
  // Milliseconds since the start (unsigned difference of tick counts).
  std::uint32_t ElapsedMs() const;
  // Logs "End_<name>:ok(%u),err(%u),%u ms" with a time stamp.
  void LogEnd(const char* name, const char* tag = nullptr) const;
  // The result of a scanner call: the ok count, within the int range.
  int Result() const;

 private:
  CMessQueue queue_;
  std::uint64_t startTick_;
  std::uint32_t ok_ = 0;
  std::uint32_t errors_ = 0;
};
