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

bool ends_later(const sim::Outcome& outcome, std::uint32_t milliseconds) {
  return outcome.delivery == sim::Outcome::Delivery::hung || outcome.busy_ms > milliseconds;
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

std::uint32_t HostAspi::send_command(ProcAddress entry, std::uint8_t* request_block) {
  if (entry != send_command_entry || request_block == nullptr) return srb::ss_invalid_srb;
  std::unique_lock<std::mutex> lock(mutex_);
  ++commands_sent;
  std::memcpy(last_block.data(), request_block, last_block.size());
  // The program gave up on an earlier request: its answer is never delivered.
  drop_job(lock);
  sim::AspiRequest request;
  const std::uint8_t status = sim::accept_aspi_request(request_block, targets_, resolve_slot, &slot_, request);
  if (status != srb::ss_pending) return status;

  job_ = Job{Phase::queued, request_block, request, sim::Outcome{}};
  if (complete_synchronously || !request.event_notify) {
    // A manager that finishes the command before SendASPI32Command returns.
    run_job();
    if (job_.outcome.delivery != sim::Outcome::Delivery::hung) {
      clock_.advance(static_cast<std::int32_t>(job_.outcome.busy_ms));
      complete(job_);
    }
    job_.phase = Phase::idle;
    return request_block[srb::status];
  }
  if (!worker_.joinable()) worker_ = std::thread([this] { worker_loop(); });
  changed_.notify_all();
  return srb::ss_pending;
}

// Runs the queued command on the drive; called with the lock held.
void HostAspi::run_job() {
  const sim::AspiRequest request = job_.request;
  const sim::Outcome outcome =
      request.drive->execute(request.cdb, request.cdb_length, request.direction, request.data, request.length);
  job_.outcome = outcome;
  if (transcript != nullptr) {
    const char address[] = {static_cast<char>('0' + request.ha), ':', static_cast<char>('0' + request.target), '\0'};
    transcript->write(address, request.drive->history(request.drive->history_size() - 1));
  }
  job_.phase = Phase::ran;
}

void HostAspi::complete(Job& job) {
  sim::complete_aspi_request(job.block, job.outcome);
  if (job.request.event_notify) signal(job.request.post);
}

void HostAspi::worker_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || job_.phase == Phase::queued || job_.phase == Phase::publish; });
    if (stopping_) return;
    if (job_.phase == Phase::queued) {
      run_job();
    } else {
      complete(job_);
      job_.phase = Phase::done;
    }
    changed_.notify_all();
  }
}

void HostAspi::drop_job(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return job_.phase != Phase::queued && job_.phase != Phase::publish; });
  job_.phase = Phase::idle;
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
  const std::lock_guard<std::mutex> lock(mutex_);
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
  if (wait_result.has_value() && *wait_result != wait_object_0) {
    drop_job(lock);
    return *wait_result;
  }
  const std::uint32_t handle = static_cast<std::uint32_t>(object);
  Event* event = object > 0xFFFFFFFFu ? nullptr : find_event(handle);
  if (event == nullptr) return wait_failed;
  const std::int32_t wait_ms = milliseconds == infinite_wait ? 0 : static_cast<std::int32_t>(milliseconds & 0x7FFFFFFF);

  const bool ours = job_.phase != Phase::idle && job_.phase != Phase::done && job_.request.event_notify &&
                    job_.request.post == handle;
  if (!event->signalled && ours) {
    changed_.wait(lock, [this] { return job_.phase != Phase::queued; });
    if (ends_later(job_.outcome, milliseconds)) {
      clock_.advance(wait_ms);
      job_.phase = Phase::idle;
      return wait_timeout;
    }
    clock_.advance(static_cast<std::int32_t>(job_.outcome.busy_ms));
    job_.phase = Phase::publish;
    changed_.notify_all();
    changed_.wait(lock, [this] { return job_.phase == Phase::done || stopping_; });
    job_.phase = Phase::idle;
    event = find_event(handle);
  }
  if (event != nullptr && event->signalled) {
    if (!event->manual_reset) event->signalled = false;
    return wait_object_0;
  }
  clock_.advance(wait_ms);
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
