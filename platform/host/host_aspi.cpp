#include "platform/host/host_aspi.h"

#include <cctype>
#include <cstring>

namespace tz::platform::host {

namespace {

constexpr std::uint32_t infinite_wait = 0xFFFFFFFF;

std::uint8_t* resolve_slot(void* context, std::uint32_t value, std::uint32_t) {
  return static_cast<const BufferSlot*>(context)->resolve(value);
}

bool same_name(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

std::int32_t later_by(std::int32_t instant, std::int32_t ms) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(instant) + static_cast<std::uint32_t>(ms));
}

std::int32_t difference(std::int32_t later, std::int32_t earlier) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(later) - static_cast<std::uint32_t>(earlier));
}

}  // namespace

HostAspi::~HostAspi() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void HostAspi::attach(std::uint8_t ha, std::uint8_t target, sim::SimDrive& drive) {
  if (ha >= sim::aspi_adapters || target >= sim::aspi_targets) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  targets_.drives[ha][target] = &drive;
}

void HostAspi::attach_bay(sim::Bay& bay) {
  for (sim::BayDrive& entry : bay.drives()) {
    if (entry.on_aspi) attach(entry.ha, entry.target, *entry.drive);
  }
}

void HostAspi::detach_all() {
  const std::lock_guard<std::mutex> lock(mutex_);
  targets_ = sim::AspiTargets{};
}

std::uint32_t HostAspi::open_event_count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::uint32_t count = 0;
  for (const Event& event : events_) count += event.used ? 1 : 0;
  return count;
}

Handle HostAspi::load_library(const char* name) {
  ++load_count;
  if (library_missing || name == nullptr || !same_name(name, "wnaspi32.dll")) return null_handle;
  return library_handle;
}

ProcAddress HostAspi::get_proc_address(Handle module, const char* name) {
  if (module != library_handle || entry_points_missing || name == nullptr) return 0;
  if (std::strcmp(name, "GetASPI32SupportInfo") == 0) return get_support_info_entry;
  if (std::strcmp(name, "SendASPI32Command") == 0) return send_command_entry;
  return 0;
}

std::uint32_t HostAspi::get_support_info(ProcAddress entry) {
  if (entry != get_support_info_entry) return 0;
  return support_info.value_or(sim::aspi_support_info());
}

std::uint32_t HostAspi::pending_requests() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::uint32_t>(queue_.size() + (queue_.running() ? 1 : 0));
}

std::uint32_t HostAspi::send_command(ProcAddress entry, std::uint8_t* request_block) {
  if (entry != send_command_entry || request_block == nullptr) return srb::ss_invalid_srb;
  std::unique_lock<std::mutex> lock(mutex_);
  settle(lock);
  if (request_block[srb::cmd] == srb::sc_abort_srb) {
    ++aborts_sent;
    std::memcpy(last_abort_block.data(), request_block, last_abort_block.size());
    return abort(request_block);
  }
  ++commands_sent;
  std::memcpy(last_block.data(), request_block, last_block.size());
  if (queue_.owns(request_block)) ++blocks_reused_while_pending;
  sim::AspiRequest request;
  const std::uint8_t status = sim::accept_aspi_request(request_block, targets_, resolve_slot, &slot_, request);
  if (status != srb::ss_pending) return status;
  if (!queue_.push({request_block, request, clock_.now_ms()})) {
    request_block[srb::status] = srb::ss_aspi_is_busy;
    return srb::ss_aspi_is_busy;
  }
  // An idle drive starts on it at once; it ends on the manager's thread, after this call.
  start_next(lock);
  if ((complete_synchronously || !request.event_notify) && queue_.running() && running_.block == request_block &&
      !hung_) {
    // A manager that finishes the command before SendASPI32Command returns.
    const std::int32_t step = difference(ends_at_, clock_.now_ms());
    if (step > 0) clock_.advance(step);
    settle(lock);
  }
  return request_block[srb::status];
}

std::uint8_t HostAspi::abort(std::uint8_t* abort_block) {
  if (abort_refused) {
    abort_block[srb::status] = srb::ss_abort_fail;
    return srb::ss_abort_fail;
  }
  const sim::AbortResult result = sim::abort_aspi_request(abort_block, queue_, resolve_slot, &slot_);
  if (result.what == sim::AspiQueue::Abort::running) {
    // The drive's work is cut short: the next request may start now.
    queue_.finish();
    drive_free_at_ = clock_.now_ms();
  }
  if (result.what != sim::AspiQueue::Abort::none && result.job.request.event_notify && !abort_unsignalled) {
    signal(result.job.request.post);
  }
  return result.status;
}

bool HostAspi::start_next(std::unique_lock<std::mutex>& lock) {
  if (queue_.running()) return true;
  sim::AspiQueue::Job job;
  if (!queue_.pop(job)) return false;
  running_ = job;
  // It reaches the drive when the drive is free of the one before it.
  const std::int32_t start = difference(job.accepted_ms, drive_free_at_) > 0 ? job.accepted_ms : drive_free_at_;
  job.request.drive->set_time(static_cast<std::uint32_t>(start));
  run_task(lock, Task::execute);
  hung_ = outcome_.delivery == sim::Outcome::Delivery::hung;
  ends_at_ = later_by(start, static_cast<std::int32_t>(outcome_.busy_ms & 0x7FFFFFFF));
  return true;
}

void HostAspi::settle(std::unique_lock<std::mutex>& lock) {
  while (start_next(lock) && !hung_ && difference(ends_at_, clock_.now_ms()) <= 0) {
    if (queue_.finish()) run_task(lock, Task::complete);
    drive_free_at_ = ends_at_;
  }
}

void HostAspi::run_task(std::unique_lock<std::mutex>& lock, Task task) {
  if (!worker_.joinable()) worker_ = std::thread([this] { worker_loop(); });
  task_ = task;
  changed_.notify_all();
  changed_.wait(lock, [this] { return task_ == Task::none; });
}

void HostAspi::worker_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || task_ != Task::none; });
    if (stopping_) return;
    const sim::AspiRequest& request = running_.request;
    if (task_ == Task::execute) {
      outcome_ =
          request.drive->execute(request.cdb, request.cdb_length, request.direction, request.data, request.length);
      if (transcript != nullptr) {
        const char address[] = {static_cast<char>('0' + request.ha), ':', static_cast<char>('0' + request.target),
                                '\0'};
        transcript->write(address, request.drive->history(request.drive->history_size() - 1));
      }
    } else {
      // The outcome first, the event last, as the program relies on.
      sim::complete_aspi_request(running_.block, outcome_);
      if (underrun_unreported && running_.block[srb::ha_stat] == srb::hastat_do_du) {
        running_.block[srb::ha_stat] = srb::hastat_ok;
      }
      if (request.event_notify) signal(request.post);
    }
    task_ = Task::none;
    changed_.notify_all();
  }
}

HostAspi::Event* HostAspi::find_event(std::uint32_t handle) {
  const std::uint32_t index = handle & 0xFF;
  Event& event = events_[index];
  if (!event.used || event.generation != (handle >> 8)) return nullptr;
  return &event;
}

void HostAspi::signal(std::uint32_t handle) {
  Event* event = find_event(handle);
  if (event != nullptr) event->signalled = true;
}

Handle HostAspi::create_event(bool manual_reset, bool initially_signalled) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Whatever ended while the program was busy elsewhere ended before it fills its block again.
  settle(lock);
  if (fail_create_event) return null_handle;
  for (std::size_t i = 0; i < max_events; ++i) {
    Event& event = events_[i];
    if (event.used) continue;
    const std::uint32_t generation = next_generation_;
    next_generation_ = (next_generation_ + 1) & 0xFFFFFF;
    if (next_generation_ == 0) next_generation_ = 1;
    event = Event{true, manual_reset, initially_signalled, generation};
    return (static_cast<Handle>(generation) << 8) | i;
  }
  return null_handle;
}

std::uint32_t HostAspi::wait_for_single_object(Handle object, std::uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait_result.has_value() && *wait_result != wait_object_0) return *wait_result;
  if (object > 0xFFFFFFFFu) return wait_failed;
  const std::uint32_t handle = static_cast<std::uint32_t>(object);
  if (find_event(handle) == nullptr) return wait_failed;
  // An endless wait that nothing will end returns at once rather than hang the test.
  const bool endless = milliseconds == infinite_wait;
  const std::int32_t deadline =
      later_by(clock_.now_ms(), endless ? 0 : static_cast<std::int32_t>(milliseconds & 0x7FFFFFFF));
  for (;;) {
    settle(lock);
    Event* event = find_event(handle);
    if (event == nullptr) return wait_failed;
    if (event->signalled) {
      if (!event->manual_reset) event->signalled = false;
      return wait_object_0;
    }
    // Only the end of the running request can signal an event before the deadline.
    if (!queue_.running() || hung_ || (!endless && difference(deadline, ends_at_) < 0)) break;
    clock_.advance(difference(ends_at_, clock_.now_ms()));
  }
  if (!endless) {
    const std::int32_t rest = difference(deadline, clock_.now_ms());
    if (rest > 0) clock_.advance(rest);
  }
  return wait_timeout;
}

bool HostAspi::reset_event(Handle event) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (fail_reset_event || event > 0xFFFFFFFFu) return false;
  Event* found = find_event(static_cast<std::uint32_t>(event));
  if (found == nullptr) return false;
  found->signalled = false;
  return true;
}

bool HostAspi::close_handle(Handle handle) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (handle > 0xFFFFFFFFu) return false;
  Event* found = find_event(static_cast<std::uint32_t>(handle));
  if (found == nullptr) return false;
  *found = Event{};
  return true;
}

std::uint32_t HostAspi::buffer_address(void* buffer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return slot_.value_for(buffer);
}

}  // namespace tz::platform::host
