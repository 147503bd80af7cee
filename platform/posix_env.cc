#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>

#include "platform/env.h"

namespace platform {
namespace {

LocalTime FromTm(const std::tm& tm, int millisecond) {
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.millisecond = millisecond;
  return t;
}

class PosixAppendFile : public AppendFile {
 public:
  explicit PosixAppendFile(int fd) : fd_(fd) {}
  ~PosixAppendFile() override { ::close(fd_); }
  PosixAppendFile(const PosixAppendFile&) = delete;
  PosixAppendFile& operator=(const PosixAppendFile&) = delete;

  bool Append(std::string_view data) override {
    while (!data.empty()) {
      ssize_t n = ::write(fd_, data.data(), data.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

 private:
  int fd_;
};

class PosixEnv : public Env {
 public:
  std::int64_t WallSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }

  LocalTime LocalNow() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    localtime_r(&ts.tv_sec, &tm);
    return FromTm(tm, static_cast<int>(ts.tv_nsec / 1000000));
  }

  LocalTime ToLocal(std::int64_t seconds) override {
    time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    return FromTm(tm, 0);
  }

  std::uint64_t TickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
           static_cast<std::uint64_t>(ts.tv_nsec / 1000000);
  }

  std::string ProgramPath() override {
    char buf[PATH_MAX + 1];
    ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
  }

  bool Exists(std::string_view path) override {
    struct stat st{};
    return ::stat(std::string(path).c_str(), &st) == 0;
  }

  bool CreateFolder(std::string_view path) override {
    return ::mkdir(std::string(path).c_str(), 0755) == 0;
  }

  bool ListFolder(std::string_view path, std::vector<FolderEntry>* entries) override {
    entries->clear();
    std::string folder(path);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    while (dirent* d = ::readdir(dir)) {
      std::string_view name = d->d_name;
      if (name == "." || name == "..") continue;
      FolderEntry e;
      e.name = std::string(name);
      struct stat st{};
      std::string full = folder + kPathSeparator + e.name;
      if (::stat(full.c_str(), &st) == 0) {
        e.statusKnown = true;
        e.isFolder = S_ISDIR(st.st_mode);
        e.modified = static_cast<std::int64_t>(st.st_mtime);
      }
      entries->push_back(std::move(e));
    }
    ::closedir(dir);
    return true;
  }

  bool DeleteFile(std::string_view path) override {
    return ::unlink(std::string(path).c_str()) == 0;
  }

  std::unique_ptr<AppendFile> OpenAppend(std::string_view path) override {
    int fd = ::open(std::string(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixAppendFile>(fd);
  }

  bool ReadFile(std::string_view path, std::size_t maxBytes, std::string* data) override {
    data->clear();
    int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    char buf[8192];
    while (data->size() < maxBytes) {
      std::size_t want = std::min(sizeof buf, maxBytes - data->size());
      ssize_t n = ::read(fd, buf, want);
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      if (n == 0) break;
      data->append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv* env = new PosixEnv;  // lives for the whole process
  return env;
}

std::string ProgramFolder(Env* env) {
  std::string path = env->ProgramPath();
  std::size_t cut = path.rfind(kPathSeparator);
  if (cut == std::string::npos) return {};
  return path.substr(0, cut + 1);
}

}  // namespace platform
