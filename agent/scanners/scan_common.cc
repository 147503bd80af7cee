#include "agent/scanners/scan_common.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "agent/compose/mess_channel.h"
#include "agent/db/statement_text.h"
#include "agent/host/config/settings.h"
#include "agent/host/log/daily_log.h"
#include "agent/text/encoding.h"

namespace {

platform::Env* g_scanEnv = nullptr;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLatin(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsLead(unsigned char c) { return c >= 0x80; }

bool MatchesMask(std::string_view text, std::string_view mask) {
  if (text.size() != mask.size()) return false;
  for (std::size_t i = 0; i < mask.size(); ++i) {
    const char m = mask[i];
    const char c = text[i];
    if (m == '*') continue;
    if (m == '#') {
      if (!IsDigit(c)) return false;
    } else if (m == '@') {
      if (!IsLatin(c)) return false;
    } else if (m != c) {
      return false;
    }
  }
  return true;
}

std::string_view TextOf(const PhoneBuffer& buffer) {
  if (buffer.text == nullptr || buffer.size == 0) return {};
  const void* zero = std::memchr(buffer.text, '\0', buffer.size);
  return std::string_view(buffer.text, zero != nullptr
                                           ? static_cast<std::size_t>(static_cast<const char*>(zero) -
                                                                      buffer.text)
                                           : buffer.size);
}

// A cleaned phone buffer when it is an SMS number, else null.
const char* CleanedNumber(const PhoneBuffer& buffer) {
  if (buffer.text == nullptr || buffer.size == 0) return nullptr;
  CleanPhoneText(buffer.text, buffer.size, g_nSmsMaxLen);
  return IsSmsNumber(TextOf(buffer)) ? buffer.text : nullptr;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

std::int64_t ClampSpan(std::int64_t value, std::int64_t limit) {
  if (value < 0) return 0;
  return value > limit ? limit : value;
}

// Length of the GBK character at text[i] (1 or 2; a lead byte at the very
// end counts 1).
std::size_t GbkCharLength(std::string_view text, std::size_t i) {
  return IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// Position of part in text at a character boundary of text, or npos.
std::size_t FindGbk(std::string_view text, std::string_view part, std::size_t from) {
  if (part.empty()) return from <= text.size() ? from : std::string_view::npos;
  for (std::size_t i = from; i < text.size(); i += GbkCharLength(text, i)) {
    if (text.compare(i, part.size(), part) == 0) return i;
  }
  return std::string_view::npos;
}

}  // namespace

// ------------------------------------------------------------------ clock

platform::Env* ScanEnv() { return g_scanEnv != nullptr ? g_scanEnv : platform::Env::Default(); }

void SetScanEnv(platform::Env* env) { g_scanEnv = env; }

// ------------------------------------------------------------------ phone numbers

char* CleanPhoneText(char* text, std::size_t size, int maxDigits) {
  if (text == nullptr || size == 0) return text;
  const std::size_t limit = size - 1;
  std::size_t read = 0;
  std::size_t write = 0;
  int digits = 0;
  std::size_t blankAt = 0;
  bool blankSeen = false;
  for (; read < limit && text[read] != '\0'; ++read) {
    const char c = text[read];
    if (IsDigit(c)) {
      text[write++] = c;
      ++digits;
    } else if (c == '(' || c == ')' || c == '-') {
      continue;
    } else if (c == ' ') {
      if (digits < maxDigits) {
        // Only digits are kept, so the written length is the digit count.
        if (!blankSeen && digits > 0) {
          blankSeen = true;
          blankAt = write;
        }
        continue;
      }
      if (blankSeen) write = blankAt;
      break;
    } else {
      break;
    }
  }
  text[write] = '\0';
  return text;
}

bool IsSmsNumber(std::string_view text) {
  if (text.size() < 6 || text.size() > 20) return false;
  if (g_astrSmsMasks.empty()) return true;
  for (const std::string& mask : g_astrSmsMasks) {
    if (MatchesMask(text, mask)) return true;
  }
  return false;
}

const char* PickSmsNumber(PhoneBuffer first, PhoneBuffer second, PhoneBuffer third) {
  // Both of the first two are cleaned before either is judged: callers rely
  // on the columns being clean afterwards.
  const char* a = CleanedNumber(first);
  const char* b = CleanedNumber(second);
  if (a != nullptr) return a;
  if (b != nullptr) return b;
  return CleanedNumber(third);
}

// ------------------------------------------------------------------ value list

std::size_t AppendParam(char* list, std::size_t size, std::size_t end, std::string_view value,
                        std::size_t limit) {
  if (list == nullptr || size == 0 || end >= size) return end;
  std::string clean;
  clean.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\0') break;
    if (IsLead(static_cast<unsigned char>(c))) {
      clean.push_back(c);
      if (i + 1 < value.size() && value[i + 1] != '\0') clean.push_back(value[++i]);
      continue;
    }
    if (c == '|' || c == '\r' || c == '\n') continue;
    clean.push_back(c);
  }
  CutText(clean.data(), limit);
  std::size_t length = std::strlen(clean.c_str());
  // Room for the value, its "|" and the list's zero.
  const std::size_t room = size - end;
  if (room < 2) {
    list[end] = '\0';
    return end;
  }
  if (length + 2 > room) {
    CutText(clean.data(), room - 2);
    length = std::strlen(clean.c_str());
  }
  std::memcpy(list + end, clean.data(), length);
  end += length;
  list[end++] = '|';
  list[end] = '\0';
  return end;
}

std::size_t AppendParam(char* list, std::size_t size, std::size_t end, const char16_t* value,
                        std::size_t limit) {
  // Whole characters only; 9 bytes beyond the limit show whether it was passed.
  char gbk[kLongParamLimit + 16];
  WideToGbkRefs(value, gbk, limit + 9 < sizeof gbk ? limit + 9 : sizeof gbk, true);
  return AppendParam(list, size, end, std::string_view(gbk), limit);
}

bool HasDate(const SQL_TIMESTAMP_STRUCT& ts) {
  return ts.year != 0 || ts.month != 0 || ts.day != 0;
}

ValueList::ValueList(char* list, std::size_t size) : list_(list), size_(size) {
  if (list_ != nullptr && size_ > 0) list_[0] = '\0';
}

void ValueList::Appended(std::size_t end, std::size_t wanted) {
  if (end - end_ < wanted) complete_ = false;
  end_ = end;
}

void ValueList::Add(std::string_view value, std::size_t limit) {
  // What the value would take without the list's own limit.
  char probe[kLongParamLimit + 16];
  const std::size_t wanted = AppendParam(probe, sizeof probe, 0, value, limit);
  Appended(AppendParam(list_, size_, end_, value, limit), wanted);
}

void ValueList::Add(const char16_t* value, std::size_t limit) {
  char probe[kLongParamLimit + 16];
  const std::size_t wanted = AppendParam(probe, sizeof probe, 0, value, limit);
  Appended(AppendParam(list_, size_, end_, value, limit), wanted);
}

void ValueList::AddPlace(std::string_view place) {
  const char16_t* replacement = g_placeTrans.Find(place);
  if (replacement != nullptr) {
    Add(replacement);
  } else {
    Add(place);
  }
}

void ValueList::AddFormat(const char* format, ...) {
  char scratch[512];
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(scratch, sizeof scratch, format, args);
  va_end(args);
  if (n < 0) scratch[0] = '\0';
  Add(scratch);
}

void ValueList::AddDate(const SQL_TIMESTAMP_STRUCT& ts, DateForm form) {
  if (!HasDate(ts)) {
    AddEmpty();
    return;
  }
  const int y = ts.year, mo = ts.month, d = ts.day, h = ts.hour, mi = ts.minute, s = ts.second;
  switch (form) {
    case DateForm::kMonthDay:
      AddFormat("%02d-%02d", mo, d);
      break;
    case DateForm::kHourMinute:
      AddFormat("%02d:%02d", h, mi);
      break;
    case DateForm::kMonthDayMinute:
      AddFormat("%02d-%02d %02d:%02d", mo, d, h, mi);
      break;
    case DateForm::kDay:
      AddFormat("%d-%02d-%02d", y, mo, d);
      break;
    case DateForm::kDayMinute:
      AddFormat("%d-%02d-%02d %02d:%02d", y, mo, d, h, mi);
      break;
    case DateForm::kDaySecond:
      AddFormat("%d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
      break;
  }
}

// ------------------------------------------------------------------ window

platform::LocalTime WindowStart(const platform::LocalTime& now, std::int64_t days,
                                std::int64_t hours) {
  // Spans beyond a few thousand years all end at the floor below.
  constexpr std::int64_t kMaxDays = 1000000;
  const std::int64_t span =
      ClampSpan(days, kMaxDays) * 86400 + ClampSpan(hours, kMaxDays * 24) * 3600;
  const std::int64_t floor = DaysFromCivil(1900, 1, 1) * 86400;
  std::int64_t t = DaysFromCivil(now.year, static_cast<unsigned>(now.month),
                                 static_cast<unsigned>(now.day)) *
                       86400 +
                   now.hour * 3600 + now.minute * 60 + now.second;
  t -= span;
  if (t < floor) t = floor;
  platform::LocalTime start;
  std::int64_t dayCount = t / 86400;
  std::int64_t secs = t % 86400;
  if (secs < 0) {
    secs += 86400;
    --dayCount;
  }
  CivilFromDays(dayCount, start.year, start.month, start.day);
  start.hour = static_cast<int>(secs / 3600);
  start.minute = static_cast<int>(secs / 60 % 60);
  start.second = static_cast<int>(secs % 60);
  return start;
}

void FormatWindow(const platform::LocalTime& t, char (&out)[kWindowTextSize]) {
  // Out-of-range fields are narrowed so the text always has its fixed form.
  auto field = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  std::snprintf(out, sizeof out, "%04d.%02d.%02d %02d:%02d:%02d", field(t.year, 0, 9999),
                field(t.month, 0, 99), field(t.day, 0, 99), field(t.hour, 0, 99),
                field(t.minute, 0, 99), field(t.second, 0, 99));
}

void ScanWindow(std::int64_t days, std::int64_t hours, char (&out)[kWindowTextSize]) {
  FormatWindow(WindowStart(ScanEnv()->LocalNow(), days, hours), out);
}

std::int64_t KindDays(std::uint32_t kindDays, int keyDays, int fallbackDays) {
  if (kindDays > 0) return kindDays;
  if (keyDays > 0) return keyDays;
  return fallbackDays;
}

// ------------------------------------------------------------------ express kinds

int ReadExpressKinds(const DbConnection& c1, const char* flagColumn,
                     std::vector<ExpressKind>& kinds) {
  kinds.clear();
  DbStatement st;
  if (!st.Allocate(c1)) return kScanAllocFailed;
  char sql[256];
  if (!FormatStatement(sql, "ReadExpressKinds",
                       "SELECT cemskind,nsmdays FROM qorvu.dbo.ems_kind WHERE %s=1", flagColumn) ||
      !st.Execute(sql)) {
    return 0;
  }
  ExpressKind row;
  if (!st.BindText(1, row.code) || !st.BindUInt32(2, row.days)) return 0;
  for (;;) {
    row = ExpressKind{};
    if (!st.Fetch()) break;
    kinds.push_back(row);
  }
  return static_cast<int>(kinds.size() > 0x7FFFFFFF ? 0x7FFFFFFF : kinds.size());
}

// ------------------------------------------------------------------ form and recipient

ScanForm ChooseScanForm(int smsMode) {
  if (g_messChannel.smsEnabled < 1 || smsMode < 1) return ScanForm::kWeChat;
  return smsMode == 1 ? ScanForm::kReceiver : ScanForm::kCustomer;
}

ScanForm ChooseAccountForm() {
  return g_messChannel.smsEnabled >= 1 ? ScanForm::kAccount : ScanForm::kWeChat;
}

FormColumns FormColumnsOf(ScanForm form) {
  switch (form) {
    case ScanForm::kReceiver:
      return {"a.crsms", "a.cphone", "(a.crsms <> '' OR a.cphone<>'')"};
    case ScanForm::kCustomer:
      return {"b.csmnumber", "b.cphone", "(b.csmnumber<>'' OR b.cphone<>'' OR a.csphone<>'')"};
    case ScanForm::kAccount:
      return {"b.csmnumber", "b.cphone", "(b.csmnumber<>'' OR b.cphone<>'')"};
    case ScanForm::kWeChat:
      break;
  }
  return {"b.cwebac", "b.cmsn", "(LEN(b.cwebac)=28 OR LEN(b.cmsn)=28)"};
}

bool ChooseRecipient(ScanForm form, CMessQueue& queue, const RecipientColumns& columns,
                     MessRecord& record) {
  record.openId[0] = '\0';
  if (form == ScanForm::kWeChat) {
    const CMessChannel* channel = queue.channel() != nullptr ? queue.channel() : &g_messChannel;
    channel->PickOpenId(TextOf(columns.first), TextOf(columns.second), record.openId);
    return true;
  }
  std::string_view bound1, bound2;
  PhoneBuffer pick1, pick2, pick3;
  switch (form) {
    case ScanForm::kReceiver:
      bound1 = TextOf(columns.first);
      bound2 = TextOf(columns.second);
      pick1 = columns.first;
      pick2 = columns.second;
      break;
    case ScanForm::kCustomer:
      bound1 = TextOf(columns.sender);
      bound2 = TextOf(columns.first);
      pick1 = columns.sender;
      pick2 = columns.first;
      pick3 = columns.second;
      break;
    default:  // kAccount
      bound1 = TextOf(columns.second);
      bound2 = TextOf(columns.first);
      pick1 = columns.first;
      pick2 = columns.second;
      break;
  }
  if (queue.FindOpenId(bound1, bound2, record.openId)) return true;
  const char* number = PickSmsNumber(pick1, pick2, pick3);
  if (number == nullptr) return false;
  CopyField(record.openId, number);
  return true;
}

bool AddressRecord(ScanForm form, CMessQueue& queue, const RecipientColumns& columns,
                   std::uint32_t clientId, std::uint32_t refId, int type, MessRecord& record) {
  if (!ChooseRecipient(form, queue, columns, record)) return false;
  record.clientId = static_cast<std::int32_t>(clientId);
  record.refId = static_cast<std::int32_t>(refId);
  record.type = type;
  return true;
}

// ------------------------------------------------------------------ link

bool ContainsGbk(std::string_view text, std::string_view part) {
  return FindGbk(text, part, 0) != std::string_view::npos;
}

void RenderLink(std::string_view link, std::initializer_list<LinkValue> values, char* out,
                std::size_t size) {
  if (out == nullptr || size == 0) return;
  std::string text;
  std::size_t i = 0;
  while (i < link.size()) {
    bool replaced = false;
    for (const LinkValue& v : values) {
      if (!v.variable.empty() && link.compare(i, v.variable.size(), v.variable) == 0) {
        text.append(v.value);
        i += v.variable.size();
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    const std::size_t n = GbkCharLength(link, i);
    text.append(link.substr(i, n));
    i += n;
  }
  CopyField(out, size, text);
}

void PrerenderLink(const MessModel& model, std::string_view cnum, std::string_view transferNo,
                   MessRecord& record) {
  record.url[0] = '\0';
  const std::string_view link = FieldText(model.url);
  if (!ContainsGbk(link, "\xB5\xA5\xBA\xC5")) return;  // 单号
  RenderLink(link, {{kLinkInnerNo, cnum}, {kLinkTransferNo, transferNo}}, record.url,
             sizeof record.url);
}

// ------------------------------------------------------------------ one call

void LogLine(const char* tag, bool withTime, const char* format, ...) {
  char line[1024];
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  g_log.Write(line, tag, withTime);
}

ScanRun::ScanRun(const DbConnection& c2, char* work)
    : queue_(&g_messChannel, c2, work, work != nullptr ? kScanWorkSize : 0),
      startTick_(ScanEnv()->TickCount()) {}

bool ScanRun::Store(MessRecord& record) {
  const bool stored = queue_.SetMess(record);
  if (stored) {
    ++ok_;
  } else {
    ++errors_;
  }
  return stored;
}

std::uint32_t ScanRun::ElapsedMs() const {
  return static_cast<std::uint32_t>(ScanEnv()->TickCount() - startTick_);
}

void ScanRun::LogEnd(const char* name, const char* tag) const {
  LogLine(tag, true, "End_%s:ok(%u),err(%u),%u ms", name, ok_, errors_, ElapsedMs());
}

int ScanRun::Result() const {
  return ok_ > static_cast<std::uint32_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(ok_);
}
