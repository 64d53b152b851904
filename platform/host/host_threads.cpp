#include "platform/host/host_threads.h"

#include <utility>

namespace tz::platform::host {

HostThreads::~HostThreads() {
  for (const pthread_t thread : threads_) pthread_join(thread, nullptr);
}

void* HostThreads::run(void* start) {
  const Start* s = static_cast<const Start*>(start);
  s->body(s->argument);
  return nullptr;
}

bool HostThreads::start_thread(ThreadBody body, void* argument) {
  if (fail_start) return false;
  const std::lock_guard<std::mutex> lock(mutex_);
  auto start = std::make_unique<Start>(Start{body, argument});
  pthread_t thread{};
  // pthread_create reports failure by its result, as the runtime library's thread start does.
  if (pthread_create(&thread, nullptr, run, start.get()) != 0) return false;
  threads_.push_back(thread);
  starts_.push_back(std::move(start));
  return true;
}

int HostThreads::started() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(threads_.size());
}

}  // namespace tz::platform::host
