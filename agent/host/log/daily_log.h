// Daily (or monthly) text log files in one folder, one entry per call.
// Entries reach the disk exactly as the agent's Windows predecessor wrote
// them (text-mode append: each LF stored as CR LF), so log readers and
// operators' tools see identical files on both systems.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "platform/env.h"

class CDailyLog {
 public:
  static constexpr std::size_t kPathSize = 256;  // folder and whole file path, zero included

  explicit CDailyLog(int keepDays = 31, unsigned char utf8 = 0,
                     platform::Env* env = platform::Env::Default());
  // Purges files older than keep-days, so this runs once when the process ends.
  ~CDailyLog();
  CDailyLog(const CDailyLog&) = delete;
  CDailyLog& operator=(const CDailyLog&) = delete;

  // folder = baseDir followed by name (baseDir ends with the path separator).
  // Logging is off when that path does not exist and cannot (or may not) be created.
  void SetFolder(const char* baseDir, const char* name, bool create);
  // Appends one entry. A valid UTF-8 text with a multi-byte character is
  // stored as GBK. tag null or empty: the main file.
  void Write(const char* text, const char* tag = nullptr, bool withTime = true,
             bool monthly = false);
  // Appends one timestamped entry with the text's bytes unchanged.
  void WriteRaw(const char* text, const char* tag = nullptr, bool monthly = false);
  // Deletes every file of the folder last changed days (keep-days when
  // days <= 0) or more days ago; never sub-folders.
  void Purge(int days);

  const char* Folder() const { return m_szFolder; }
  unsigned char Utf8Flag() const { return m_bUtf8; }
  // Also hands every entry (stamp and text, without the leading line break)
  // to echo, e.g. the console of a debug run. Set before other threads log.
  void SetEcho(std::function<void(std::string_view entry)> echo) { m_echo = std::move(echo); }
  // Tests substitute the clock and files; the Env must outlive the log.
  void SetEnv(platform::Env* env) { env_ = env; }

 private:
  void Append(const char* text, const char* tag, bool withTime, bool monthly, bool convert);

  char m_szFolder[kPathSize] = {};  // empty: logging off
  int m_nKeepDays;
  unsigned char m_bUtf8;
  platform::Env* env_;
  std::function<void(std::string_view)> m_echo;
};

// The agent's one log; its folder is set at start-up.
extern CDailyLog g_log;
