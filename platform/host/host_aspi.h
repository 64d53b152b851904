#pragma once
// An ASPI layer for the emulated system: wnaspi32.dll with simulated drives behind its addresses
// (8 adapters of 8 targets). SendASPI32Command answers SS_PENDING, and the manager serves its
// requests one at a time in order on the virtual clock, as a real one does: each ends when the
// drive's time has passed (never, when the drive hangs), on a thread of its own, which writes the
// outcome into the request block and then signals the event. A request the program gave up on
// still ends later, into whatever its block holds by then, unless the program aborts it
// (SC_ABORT_SRB). Tests can make each step of the program's use fail.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/aspi.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_devices.h"
#include "sim/aspi_manager.h"
#include "sim/bay.h"
#include "sim/transcript.h"

namespace tz::platform::host {

class HostAspi final : public Aspi {
 public:
  static constexpr Handle library_handle = 0x6A000000;
  static constexpr ProcAddress get_support_info_entry = 0x6A001000;
  static constexpr ProcAddress send_command_entry = 0x6A002000;

  explicit HostAspi(VirtualClock& clock) : clock_(clock) {}
  ~HostAspi() override;
  HostAspi(const HostAspi&) = delete;
  HostAspi& operator=(const HostAspi&) = delete;

  void attach(std::uint8_t ha, std::uint8_t target, sim::SimDrive& drive);
  // Every drive of the bay that has an ASPI address.
  void attach_bay(sim::Bay& bay);
  void detach_all();
  sim::TranscriptFile* transcript = nullptr;

  // Ways the program's use of ASPI can go wrong.
  bool library_missing = false;               // LoadLibraryA fails
  bool entry_points_missing = false;          // GetProcAddress finds neither entry point
  std::optional<std::uint32_t> support_info;  // instead of SS_COMP with 8 adapters
  bool fail_create_event = false;
  bool fail_reset_event = false;
  std::optional<std::uint32_t> wait_result;  // every wait ends with this instead of its real outcome
  bool complete_synchronously = false;       // requests end inside SendASPI32Command when they can
  bool abort_refused = false;                // SC_ABORT_SRB answers SS_ABORT_FAIL and aborts nothing
  bool abort_unsignalled = false;            // an aborted request ends without signalling its event
  bool underrun_unreported = false;          // a short data phase ends as a whole one (HASTAT_OK)

  // What the program did.
  std::uint32_t load_count = 0;
  std::uint32_t commands_sent = 0;  // SC_EXEC_SCSI_CMD and others, aborts apart
  std::uint32_t aborts_sent = 0;
  // Requests handed in in a block that still held a request of the manager's.
  std::uint32_t blocks_reused_while_pending = 0;
  // The latest request blocks handed to SendASPI32Command, as they arrived.
  std::array<std::uint8_t, srb::size> last_block{};
  std::array<std::uint8_t, srb::abort_size> last_abort_block{};
  std::uint32_t open_event_count() const;
  // Requests queued or running.
  std::uint32_t pending_requests() const;

  Handle load_library(const char* name) override;
  ProcAddress get_proc_address(Handle module, const char* name) override;
  std::uint32_t get_support_info(ProcAddress entry) override;
  std::uint32_t send_command(ProcAddress entry, std::uint8_t* request_block) override;
  Handle create_event(bool manual_reset, bool initially_signalled) override;
  std::uint32_t wait_for_single_object(Handle object, std::uint32_t milliseconds) override;
  bool reset_event(Handle event) override;
  bool close_handle(Handle handle) override;
  std::uint32_t buffer_address(void* buffer) override;

 private:
  struct Event {
    bool used = false;
    bool manual_reset = false;
    bool signalled = false;
    std::uint32_t generation = 0;
  };
  // Work the manager's thread does for the request that runs.
  enum class Task { none, execute, complete };
  static constexpr std::size_t max_events = 256;

  Event* find_event(std::uint32_t handle);
  void signal(std::uint32_t handle);
  std::uint8_t abort(std::uint8_t* abort_block);
  // Puts the oldest queued request on an idle drive; false when none runs. Lock held.
  bool start_next(std::unique_lock<std::mutex>& lock);
  // Carries the requests on as far as the clock has come: ends those whose time is up and starts
  // the next on the drive. Lock held.
  void settle(std::unique_lock<std::mutex>& lock);
  void run_task(std::unique_lock<std::mutex>& lock, Task task);
  void worker_loop();

  VirtualClock& clock_;
  sim::AspiTargets targets_;
  BufferSlot slot_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::array<Event, max_events> events_{};
  std::uint32_t next_generation_ = 1;

  sim::AspiQueue queue_;
  // The request on the drive: its job, its outcome and when it ends.
  sim::AspiQueue::Job running_;
  sim::Outcome outcome_;
  std::int32_t ends_at_ = 0;
  bool hung_ = false;
  std::int32_t drive_free_at_ = 0;  // when the previous request ended

  Task task_ = Task::none;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace tz::platform::host
