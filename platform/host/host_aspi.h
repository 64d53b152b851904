#pragma once
// An ASPI layer for the emulated system: wnaspi32.dll with simulated drives behind its addresses
// (8 adapters of 8 targets). SendASPI32Command answers SS_PENDING and a completion thread
// finishes the request and signals its event, as a real ASPI manager does; time passes on the
// virtual clock while the program waits. Tests can make each step of the program's use fail.
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
  bool complete_synchronously = false;       // requests end inside SendASPI32Command

  // What the program did.
  std::uint32_t load_count = 0;
  std::uint32_t commands_sent = 0;
  // The latest request block handed to SendASPI32Command, as it arrived.
  std::array<std::uint8_t, srb::size> last_block{};
  std::uint32_t open_event_count() const;

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
  // The one request in flight and how far it got.
  enum class Phase { idle, queued, ran, publish, done };
  struct Job {
    Phase phase = Phase::idle;
    std::uint8_t* block = nullptr;
    sim::AspiRequest request;
    sim::Outcome outcome;
  };
  static constexpr std::size_t max_events = 256;

  Event* find_event(std::uint32_t handle);
  void signal(std::uint32_t handle);
  void drop_job(std::unique_lock<std::mutex>& lock);
  void run_job();
  void complete(Job& job);
  void worker_loop();

  VirtualClock& clock_;
  sim::AspiTargets targets_;
  BufferSlot slot_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::array<Event, max_events> events_{};
  std::uint32_t next_generation_ = 1;
  Job job_;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace tz::platform::host
