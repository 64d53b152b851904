#include "platform/host/host_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tz::platform::host {

namespace {

// Far beyond anything a worker computes between two clock calls, even under the sanitizers.
constexpr std::chrono::seconds stall_limit{20};

// The clock whose worker the current thread is, if any.
thread_local const VirtualClock* worker_of = nullptr;

std::int32_t later_by(std::int32_t instant, std::int32_t ms) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(instant) + static_cast<std::uint32_t>(ms));
}

std::int32_t difference(std::int32_t later, std::int32_t earlier) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) - static_cast<std::uint32_t>(earlier));
}

// A stalled test stops loudly rather than hanging.
void stalled(const char* what) {
  std::fprintf(stderr, "VirtualClock: %s\n", what);
  std::abort();
}

}  // namespace

bool VirtualClock::on_worker() const { return worker_of == this; }

bool VirtualClock::settled() const {
  if (released_) return true;
  const std::int32_t now = now_.load(std::memory_order_relaxed);
  // A worker whose deadline has come counts as running, even before it wakes up.
  const auto waiting = std::count_if(worker_deadlines_.begin(), worker_deadlines_.end(),
                                     [now](std::int32_t deadline) { return difference(deadline, now) > 0; });
  return waiting == active_workers_;
}

void VirtualClock::settle(std::unique_lock<std::mutex>& lock) {
  // A worker that neither ends nor waits on the clock would hold virtual time still for ever.
  if (!changed_.wait_for(lock, stall_limit, [this] { return settled(); })) {
    stalled("a worker thread neither ended nor waited on the clock");
  }
}

// Workers are settled whenever the driving thread is outside the clock: a start waits for the new
// worker, and every move of time waits for the workers it wakes. So time moves at once here.
void VirtualClock::move_to(std::unique_lock<std::mutex>& lock, std::int32_t to, bool record) {
  const std::int32_t from = now_.load(std::memory_order_relaxed);
  if (record && keep_sleeps_) sleeps_.push_back({from, to});
  now_.store(to, std::memory_order_release);
  changed_.notify_all();
  // The workers whose time has come run until they end or wait again, before this thread goes on.
  settle(lock);
}

void VirtualClock::wait_as_worker(std::unique_lock<std::mutex>& lock, std::int32_t deadline_ms) {
  const auto reached = [this, deadline_ms] {
    return difference(deadline_ms, now_.load(std::memory_order_relaxed)) <= 0;
  };
  if (!released_ && !reached()) {
    worker_deadlines_.push_back(deadline_ms);
    changed_.notify_all();  // the poller may be waiting for this worker to settle
    if (!changed_.wait_for(lock, stall_limit, [this, &reached] { return released_ || reached(); })) {
      stalled("a worker waited for time that no thread moved");
    }
    worker_deadlines_.erase(std::find(worker_deadlines_.begin(), worker_deadlines_.end(), deadline_ms));
  }
  if (!reached()) {
    // Nobody polls any more: the worker lets the time pass itself.
    now_.store(deadline_ms, std::memory_order_release);
    changed_.notify_all();
  }
}

void VirtualClock::sleep_until(std::int32_t deadline_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (on_worker()) {
    wait_as_worker(lock, deadline_ms);
    return;
  }
  if (difference(deadline_ms, now_.load(std::memory_order_relaxed)) > 0) move_to(lock, deadline_ms, true);
}

void VirtualClock::advance(std::int32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (on_worker()) {
    if (ms > 0) wait_as_worker(lock, later_by(now_.load(std::memory_order_relaxed), ms));
    return;
  }
  move_to(lock, later_by(now_.load(std::memory_order_relaxed), ms), false);
}

std::vector<RecordedSleep> VirtualClock::sleeps() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

std::size_t VirtualClock::sleep_count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_.size();
}

void VirtualClock::announce_worker() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++active_workers_;
}

void VirtualClock::withdraw_worker() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    --active_workers_;
  }
  changed_.notify_all();
}

void VirtualClock::run_worker(ThreadBody body, void* argument) {
  worker_of = this;
  body(argument);
  worker_of = nullptr;
  withdraw_worker();
}

void VirtualClock::await_workers() {
  if (on_worker()) return;  // it would wait for itself
  std::unique_lock<std::mutex> lock(mutex_);
  settle(lock);
}

void VirtualClock::release_workers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

}  // namespace tz::platform::host
