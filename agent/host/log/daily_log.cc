#include "agent/host/log/daily_log.h"

#include <cstdio>
#include <ctime>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "agent/text/encoding.h"

CDailyLog g_log;

namespace {

// Copies the parts one after another into out; false (and out untouched in
// meaning) when they would not fit with the terminating zero.
bool JoinInto(char* out, std::size_t size, std::initializer_list<std::string_view> parts) {
  std::size_t used = 0;
  for (std::string_view p : parts) {
    if (p.size() >= size - used) return false;
    std::memcpy(out + used, p.data(), p.size());
    used += p.size();
  }
  out[used] = '\0';
  return true;
}

// Text-mode append: every LF of data reaches the file as CR LF.
bool AppendTextMode(platform::AppendFile& file, std::string_view data) {
  std::string converted;
  converted.reserve(data.size() + 16);
  for (char c : data) {
    if (c == '\n') converted.push_back('\r');
    converted.push_back(c);
  }
  return file.Append(converted);
}

// A UTF-8 text as GBK, with "?" for characters GBK lacks.
std::string Utf8ToGbk(const char* text) {
  std::size_t length = std::strlen(text);
  std::vector<char16_t> wide(length + 1);
  std::size_t units = ToWide(text, wide.data(), wide.size(), kCodePageUtf8);
  std::vector<char> gbk(2 * units + 1);
  std::size_t bytes = ToGbk(wide.data(), gbk.data(), gbk.size());
  return std::string(gbk.data(), bytes);
}

}  // namespace

CDailyLog::CDailyLog(int keepDays, unsigned char utf8, platform::Env* env)
    : m_nKeepDays(keepDays), m_bUtf8(utf8), env_(env) {}

CDailyLog::~CDailyLog() { Purge(0); }

void CDailyLog::SetFolder(const char* baseDir, const char* name, bool create) {
  if (!JoinInto(m_szFolder, sizeof m_szFolder, {baseDir, name})) {
    m_szFolder[0] = '\0';
    return;
  }
  if (!env_->Exists(m_szFolder) && (!create || !env_->CreateFolder(m_szFolder))) {
    m_szFolder[0] = '\0';
  }
}

void CDailyLog::Write(const char* text, const char* tag, bool withTime, bool monthly) {
  Append(text, tag, withTime, monthly, true);
}

void CDailyLog::WriteRaw(const char* text, const char* tag, bool monthly) {
  Append(text, tag, true, monthly, false);
}

void CDailyLog::Append(const char* text, const char* tag, bool withTime, bool monthly,
                       bool convert) {
  if (m_szFolder[0] == '\0') return;
  const platform::LocalTime now = env_->LocalNow();  // one reading for name and stamp

  char date[16];  // "%Y_%m_%d"
  if (monthly) {
    std::snprintf(date, sizeof date, "%04d_%02d", now.year, now.month);
  } else {
    std::snprintf(date, sizeof date, "%04d_%02d_%02d", now.year, now.month, now.day);
  }
  const bool tagged = tag != nullptr && tag[0] != '\0';
  char path[kPathSize];
  const char separator[2] = {platform::kPathSeparator, '\0'};
  if (!JoinInto(path, sizeof path,
                {m_szFolder, separator, tagged ? tag : "", tagged ? "_" : "", date, ".txt"})) {
    return;  // a path that does not fit loses the entry
  }

  std::unique_ptr<platform::AppendFile> file = env_->OpenAppend(path);
  if (!file) return;

  char prefix[32];  // "\r\n[dd hh:mm:ss]" at most; text mode turns its LF into CR LF
  if (!withTime) {
    std::snprintf(prefix, sizeof prefix, "\r\n");
  } else if (monthly) {
    std::snprintf(prefix, sizeof prefix, "\r\n[%02d %02d:%02d:%02d]", now.day, now.hour,
                  now.minute, now.second);
  } else {
    std::snprintf(prefix, sizeof prefix, "\r\n[%02d:%02d:%02d]", now.hour, now.minute,
                  now.second);
  }
  std::string converted;
  std::string_view body = text != nullptr ? text : "";
  if (convert && text != nullptr && IsUtf8(text, false)) {
    converted = Utf8ToGbk(text);
    body = converted;
  }
  // Two writes, as before; a failing write loses the entry's rest, nothing else.
  if (AppendTextMode(*file, prefix)) AppendTextMode(*file, body);
  if (m_echo) m_echo(std::string(prefix + 2) + std::string(body));
}

void CDailyLog::Purge(int days) {
  if (m_szFolder[0] == '\0') return;
  if (days <= 0) days = m_nKeepDays;
  if (days <= 0) return;

  // The calendar date `days` days before today; noon keeps DST shifts away.
  const platform::LocalTime now = env_->LocalNow();
  std::tm c{};
  c.tm_year = now.year - 1900;
  c.tm_mon = now.month - 1;
  c.tm_mday = now.day - days;
  c.tm_hour = 12;
  c.tm_isdst = -1;
  std::mktime(&c);  // normalises the day count into a real date
  const long cutoff = (c.tm_year + 1900) * 10000L + (c.tm_mon + 1) * 100L + c.tm_mday;

  std::vector<platform::FolderEntry> entries;
  if (!env_->ListFolder(m_szFolder, &entries)) return;
  std::vector<std::string> doomed;
  for (const platform::FolderEntry& e : entries) {
    if (e.isFolder || !e.statusKnown) continue;
    const platform::LocalTime m = env_->ToLocal(e.modified);
    const long changed = m.year * 10000L + m.month * 100L + m.day;
    if (cutoff >= changed) {
      doomed.push_back(std::string(m_szFolder) + platform::kPathSeparator + e.name);
    }
  }
  for (const std::string& path : doomed) env_->DeleteFile(path);
}
