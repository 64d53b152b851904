#pragma once
// Virtual time for native builds: every wait advances the clock to its deadline at once, so the
// pacing of a whole update costs no real time. Tests read the time and the log of every sleep.
#include <atomic>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace tz::platform::host {

struct RecordedSleep {
  std::int32_t from;
  std::int32_t to;
};

class VirtualClock final : public Clock {
 public:
  std::int32_t now_ms() override { return now_.load(std::memory_order_acquire); }
  void sleep_until(std::int32_t deadline_ms) override;

  // Moves time on, as if the program had been busy elsewhere.
  void advance(std::int32_t ms);
  // Every sleep so far, in order.
  std::vector<RecordedSleep> sleeps() const;
  std::size_t sleep_count() const;

 private:
  std::atomic<std::int32_t> now_{0};
  mutable std::mutex mutex_;
  std::vector<RecordedSleep> sleeps_;
};

}  // namespace tz::platform::host
