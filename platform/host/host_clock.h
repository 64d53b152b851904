#pragma once
// Virtual time for native builds: every wait advances the clock to its deadline at once, so the
// pacing of a whole update costs no real time. Tests read the time and the log of every sleep.
//
// While a worker thread (started through HostThreads) runs, time belongs to the polling thread:
// a worker's advance or sleep waits until the poller's sleeps have moved time far enough, and the
// thread start and each of the poller's sleeps then wait in real time until every worker has
// ended or waits for a time still to come. So a long command on the worker takes the same number
// of poll slices on every run. A worker lets time pass only through advance or sleep_until; one
// that waits for time by reading now_ms() in a loop would never see it move.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/threads.h"

namespace tz::platform::host {

struct RecordedSleep {
  std::int32_t from;
  std::int32_t to;
};

class VirtualClock final : public Clock {
 public:
  std::int32_t now_ms() override { return now_.load(std::memory_order_acquire); }
  void sleep_until(std::int32_t deadline_ms) override;

  // Moves time on, as if the program had been busy elsewhere. On a worker thread, waits for the
  // polling thread to move time that far instead.
  void advance(std::int32_t ms);
  // Off: sleeps are not logged (a benchmark's long runs).
  void keep_sleeps(bool keep) { keep_sleeps_ = keep; }
  // Every sleep so far that moved time, in order.
  std::vector<RecordedSleep> sleeps() const;
  std::size_t sleep_count() const;

  // For HostThreads: a worker is announced before its thread starts (withdrawn when the start
  // fails), runs its body through run_worker on its own thread, and counts as gone when the body
  // returns. Once workers are released, they move time themselves (when nobody polls any more).
  void announce_worker();
  void withdraw_worker();
  void run_worker(ThreadBody body, void* argument);
  // Returns once every worker has ended or waits on the clock (never call it on a worker).
  void await_workers();
  void release_workers();

 private:
  bool on_worker() const;
  // True when every active worker has finished or waits for a time still to come.
  bool settled() const;
  void settle(std::unique_lock<std::mutex>& lock);
  // Moves time to `to` on a thread that drives it, then waits for the workers to settle.
  void move_to(std::unique_lock<std::mutex>& lock, std::int32_t to, bool record);
  void wait_as_worker(std::unique_lock<std::mutex>& lock, std::int32_t deadline_ms);

  std::atomic<std::int32_t> now_{0};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<RecordedSleep> sleeps_;
  int active_workers_ = 0;
  std::vector<std::int32_t> worker_deadlines_;  // one entry per worker waiting on the clock
  bool released_ = false;
  bool keep_sleeps_ = true;
};

}  // namespace tz::platform::host
