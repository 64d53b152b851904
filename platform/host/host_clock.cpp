#include "platform/host/host_clock.h"

#include <thread>

namespace tz::platform::host {

namespace {

std::int32_t later_by(std::int32_t instant, std::int32_t ms) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(instant) + static_cast<std::uint32_t>(ms));
}

std::int32_t difference(std::int32_t later, std::int32_t earlier) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) - static_cast<std::uint32_t>(earlier));
}

}  // namespace

void VirtualClock::sleep_until(std::int32_t deadline_ms) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::int32_t from = now_.load(std::memory_order_relaxed);
    if (difference(deadline_ms, from) > 0) {
      sleeps_.push_back({from, deadline_ms});
      now_.store(deadline_ms, std::memory_order_release);
    }
  }
  // A worker thread polled by the waiting thread gets the processor; the virtual time itself
  // does not depend on it.
  std::this_thread::yield();
}

void VirtualClock::advance(std::int32_t ms) {
  const std::lock_guard<std::mutex> lock(mutex_);
  now_.store(later_by(now_.load(std::memory_order_relaxed), ms), std::memory_order_release);
}

std::vector<RecordedSleep> VirtualClock::sleeps() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

std::size_t VirtualClock::sleep_count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_.size();
}

}  // namespace tz::platform::host
