#include "platform/host/host_threads.h"

#include <utility>

namespace tz::platform::host {

HostThreads::~HostThreads() {
  // A worker still waiting for time would wait for ever once nobody polls.
  if (clock_ != nullptr) clock_->release_workers();
  for (const pthread_t thread : threads_) pthread_join(thread, nullptr);
}

void* HostThreads::run(void* start) {
  const Start* s = static_cast<const Start*>(start);
  if (s->clock != nullptr) {
    s->clock->run_worker(s->body, s->argument);
  } else {
    s->body(s->argument);
  }
  return nullptr;
}

bool HostThreads::start_thread(ThreadBody body, void* argument) {
  if (fail_start) return false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    auto start = std::make_unique<Start>(Start{body, argument, clock_});
    // Counted before it exists, so that no sleep of the starting thread can pass before it runs.
    if (clock_ != nullptr) clock_->announce_worker();
    pthread_t thread{};
    // pthread_create reports failure by its result, as the runtime library's thread start does.
    if (pthread_create(&thread, nullptr, run, start.get()) != 0) {
      if (clock_ != nullptr) clock_->withdraw_worker();
      return false;
    }
    threads_.push_back(thread);
    starts_.push_back(std::move(start));
  }
  // The new thread runs until it ends or waits for time, so what the starter sees next does not
  // depend on when the scheduler lets it run.
  if (clock_ != nullptr) clock_->await_workers();
  return true;
}

int HostThreads::started() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(threads_.size());
}

}  // namespace tz::platform::host
