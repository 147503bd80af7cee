// The operating-system facilities the agent needs for time, its own location
// and plain files. Every caller reaches them through an Env so that tests can
// substitute the clock (FakeClockEnv) or wrap an Env to inject failures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Separator between folder and file names in every path the programs build.
inline constexpr char kPathSeparator = '/';

// Broken-down local time; month 1..12, day 1..31.
struct LocalTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

struct FolderEntry {
  std::string name;          // the entry's own name, without the folder
  bool isFolder = false;
  bool statusKnown = false;  // false when the entry's status could not be read
  std::int64_t modified = 0; // last modification, seconds since the epoch
};

// A file opened for appending; closed when the object goes away.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Writes all of data at the end of the file. Returns false on any error.
  virtual bool Append(std::string_view data) = 0;
};

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide environment of the real machine. Never null, never freed.
  static Env* Default();

  // --- clock ---
  // Seconds since the epoch.
  virtual std::int64_t WallSeconds() = 0;
  // The current local time, with milliseconds, from one reading of the clock.
  virtual LocalTime LocalNow() = 0;
  // Local time of a moment given in seconds since the epoch.
  virtual LocalTime ToLocal(std::int64_t seconds) = 0;
  // Milliseconds since an arbitrary start; only differences are meaningful.
  virtual std::uint64_t TickCount() = 0;

  // --- the running program ---
  // Full path of the running program, or empty when it cannot be read.
  virtual std::string ProgramPath() = 0;

  // --- files and folders ---
  virtual bool Exists(std::string_view path) = 0;
  virtual bool CreateFolder(std::string_view path) = 0;
  // Lists the entries of a folder (without "." and ".."). Returns false when
  // the folder cannot be read.
  virtual bool ListFolder(std::string_view path, std::vector<FolderEntry>* entries) = 0;
  virtual bool DeleteFile(std::string_view path) = 0;
  // Opens (creating when missing) a file for appending; null on failure.
  virtual std::unique_ptr<AppendFile> OpenAppend(std::string_view path) = 0;
  // Reads at most maxBytes bytes of a file into *data. Returns false when the
  // file cannot be opened or read.
  virtual bool ReadFile(std::string_view path, std::size_t maxBytes, std::string* data) = 0;
};

// The folder of the running program, ending with kPathSeparator, or empty.
std::string ProgramFolder(Env* env);

// Forwards every call to another Env; tests derive from it and override the
// calls they want to change.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::int64_t WallSeconds() override { return target_->WallSeconds(); }
  LocalTime LocalNow() override { return target_->LocalNow(); }
  LocalTime ToLocal(std::int64_t seconds) override { return target_->ToLocal(seconds); }
  std::uint64_t TickCount() override { return target_->TickCount(); }
  std::string ProgramPath() override { return target_->ProgramPath(); }
  bool Exists(std::string_view path) override { return target_->Exists(path); }
  bool CreateFolder(std::string_view path) override { return target_->CreateFolder(path); }
  bool ListFolder(std::string_view path, std::vector<FolderEntry>* entries) override {
    return target_->ListFolder(path, entries);
  }
  bool DeleteFile(std::string_view path) override { return target_->DeleteFile(path); }
  std::unique_ptr<AppendFile> OpenAppend(std::string_view path) override {
    return target_->OpenAppend(path);
  }
  bool ReadFile(std::string_view path, std::size_t maxBytes, std::string* data) override {
    return target_->ReadFile(path, maxBytes, data);
  }

 private:
  Env* target_;
};

}  // namespace platform
