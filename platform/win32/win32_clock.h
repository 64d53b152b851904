#pragma once
#include "platform/clock.h"

namespace tz::platform::win32 {

// The performance counter where the system has one, else the tick count; waits sleep. For its
// life the system timer runs at 1 ms, so that sleeps end close to their deadlines.
class Win32Clock final : public Clock {
 public:
  Win32Clock();
  Win32Clock(const Win32Clock&) = delete;
  Win32Clock& operator=(const Win32Clock&) = delete;
  ~Win32Clock() override;
  std::int32_t now_ms() override;
  void sleep_until(std::int32_t deadline_ms) override;

  // The 1 ms timer period was granted.
  bool fine_timer() const { return fine_timer_; }

 private:
  using TimePeriodEntry = unsigned(__stdcall*)(unsigned);

  std::int64_t frequency_ = 0;  // counts per second; 0 when there is no performance counter
  std::int64_t start_ = 0;
  void* timer_library_ = nullptr;  // winmm.dll from the system folder
  TimePeriodEntry end_period_ = nullptr;
  bool fine_timer_ = false;  // the 1 ms timer period was granted and must be given back
};

}  // namespace tz::platform::win32
