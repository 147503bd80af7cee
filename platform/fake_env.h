// An Env whose clock is set by the test; files are the real ones.
#pragma once

#include <mutex>

#include "platform/env.h"

namespace platform {

class FakeClockEnv : public EnvWrapper {
 public:
  explicit FakeClockEnv(Env* target = Env::Default());

  // Sets the local date and time that the clock reports from now on.
  void SetLocalTime(const LocalTime& t);
  // Moves the clock (local time and tick count) forward.
  void Advance(std::uint64_t milliseconds);
  // Program path reported by ProgramPath; empty means "cannot be read".
  void SetProgramPath(std::string path);

  std::int64_t WallSeconds() override;
  LocalTime LocalNow() override;
  std::uint64_t TickCount() override;
  std::string ProgramPath() override;

 private:
  std::mutex mutex_;
  std::int64_t epochMs_ = 0;  // the fake wall clock, milliseconds since the epoch
  std::uint64_t tick_ = 0;
  bool programPathSet_ = false;
  std::string programPath_;
};

// Seconds since the epoch of a local time (the inverse of Env::ToLocal).
std::int64_t LocalToEpoch(const LocalTime& t);

}  // namespace platform
