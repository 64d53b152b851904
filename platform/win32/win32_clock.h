#pragma once
#include "platform/clock.h"

namespace tz::platform::win32 {

// The performance counter where the system has one, else the tick count; waits sleep.
class Win32Clock final : public Clock {
 public:
  Win32Clock();
  std::int32_t now_ms() override;
  void sleep_until(std::int32_t deadline_ms) override;

 private:
  std::int64_t frequency_ = 0;  // counts per second; 0 when there is no performance counter
  std::int64_t start_ = 0;
};

}  // namespace tz::platform::win32
