#include "platform/host/host_threads.h"

#include <utility>

namespace tz::platform::host {

HostThreads::~HostThreads() {
  // A worker still waiting for time would wait for ever once nobody polls.
  if (clock_ != nullptr) clock_->release_workers();
  for (const pthread_t thread : threads_) pthread_join(thread, nullptr);
}

void* HostThreads::run(void* start) {
  Start* s = static_cast<Start*>(start);
  if (s->clock != nullptr) {
    s->clock->run_worker(s->body, s->argument);
  } else {
    s->body(s->argument);
  }
  s->ended.store(true, std::memory_order_release);
  return nullptr;
}

void HostThreads::reap_ended() {
  for (std::size_t i = 0; i < threads_.size();) {
    if (!starts_[i]->ended.load(std::memory_order_acquire)) {
      ++i;
      continue;
    }
    pthread_join(threads_[i], nullptr);
    threads_.erase(threads_.begin() + static_cast<std::ptrdiff_t>(i));
    starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

bool HostThreads::start_thread(ThreadBody body, void* argument) {
  if (fail_start) return false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    reap_ended();
    auto start = std::make_unique<Start>();
    start->body = body;
    start->argument = argument;
    start->clock = clock_;
    // Counted before it exists, so that no sleep of the starting thread can pass before it runs.
    if (clock_ != nullptr) clock_->announce_worker();
    pthread_t thread{};
    // pthread_create reports failure by its result, as the runtime library's thread start does.
    if (pthread_create(&thread, nullptr, run, start.get()) != 0) {
      if (clock_ != nullptr) clock_->withdraw_worker();
      return false;
    }
    ++started_;
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
  return started_;
}

}  // namespace tz::platform::host
