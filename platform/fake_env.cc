#include "platform/fake_env.h"

#include <ctime>

namespace platform {

std::int64_t LocalToEpoch(const LocalTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));
}

FakeClockEnv::FakeClockEnv(Env* target) : EnvWrapper(target) {
  SetLocalTime(LocalTime{2026, 12, 9, 8, 0, 0, 0});
}

void FakeClockEnv::SetLocalTime(const LocalTime& t) {
  std::lock_guard<std::mutex> lock(mutex_);
  epochMs_ = LocalToEpoch(t) * 1000 + t.millisecond;
}

void FakeClockEnv::Advance(std::uint64_t milliseconds) {
  std::lock_guard<std::mutex> lock(mutex_);
  epochMs_ += static_cast<std::int64_t>(milliseconds);
  tick_ += milliseconds;
}

void FakeClockEnv::SetProgramPath(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  programPathSet_ = true;
  programPath_ = std::move(path);
}

std::int64_t FakeClockEnv::WallSeconds() {
  std::lock_guard<std::mutex> lock(mutex_);
  return epochMs_ / 1000;
}

LocalTime FakeClockEnv::LocalNow() {
  std::int64_t ms;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ms = epochMs_;
  }
  LocalTime t = ToLocal(ms / 1000);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

std::uint64_t FakeClockEnv::TickCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tick_;
}

std::string FakeClockEnv::ProgramPath() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (programPathSet_) return programPath_;
  }
  return EnvWrapper::ProgramPath();
}

}  // namespace platform
