#pragma once
// Real threads for native builds, joined when the emulated system goes away; a test can make the
// start fail. Given the virtual clock, each thread runs as the clock's worker, so that the time a
// simulated command takes on it passes in the polling thread's sleeps.
#include <pthread.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/host/host_clock.h"
#include "platform/threads.h"

namespace tz::platform::host {

class HostThreads final : public Threads {
 public:
  HostThreads() = default;
  explicit HostThreads(VirtualClock& clock) : clock_(&clock) {}
  HostThreads(const HostThreads&) = delete;
  HostThreads& operator=(const HostThreads&) = delete;
  ~HostThreads() override;

  bool fail_start = false;  // the runtime library cannot start a thread

  bool start_thread(ThreadBody body, void* argument) override;
  int started() const;

 private:
  struct Start {
    ThreadBody body;
    void* argument;
    VirtualClock* clock;
    std::atomic<bool> ended{false};
  };
  static void* run(void* start);
  // Joins the threads whose bodies have returned, so a long run does not pile them up.
  void reap_ended();

  VirtualClock* clock_ = nullptr;
  mutable std::mutex mutex_;
  int started_ = 0;
  std::vector<pthread_t> threads_;
  std::vector<std::unique_ptr<Start>> starts_;  // each alive until its thread is joined
};

}  // namespace tz::platform::host
