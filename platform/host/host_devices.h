#pragma once
// Devices of the emulated system: simulated drives behind drive letters, reached with
// CreateFileA("\\.\X:") and DeviceIoControl exactly as the program reaches real ones. The
// pass-through requests arrive in their 32-bit layout and are parsed as the port driver would.
#include <array>
#include <cstdint>

#include "platform/devices.h"
#include "platform/host/host_clock.h"
#include "sim/bay.h"
#include "sim/pass_through.h"
#include "sim/sim_drive.h"
#include "sim/transcript.h"

namespace tz::platform::host {

// The 32-bit value that stands for a buffer in a request block when pointers are wider: one
// slot, because requests are strictly sequential. A value resolves only while its buffer is the
// latest one handed out, so a stale request cannot reach the next request's buffer.
class BufferSlot {
 public:
  std::uint32_t value_for(void* buffer);
  std::uint8_t* resolve(std::uint32_t value) const;

 private:
  void* buffer_ = nullptr;
  std::uint32_t value_ = 0;
};

class HostDevices final : public Devices {
 public:
  explicit HostDevices(VirtualClock& clock) : clock_(clock) {}

  // A simulated optical drive behind a letter (A..Z): it opens, answers pass-through and locks.
  void attach(char letter, sim::SimDrive& drive);
  // Every drive of the bay that has a letter.
  void attach_bay(sim::Bay& bay);
  void detach_all();
  // What GetDriveTypeA reports for a letter instead of the default (a simulated drive: CD-ROM,
  // or removable when it says so; nothing attached: no root directory).
  void set_drive_type(char letter, std::uint32_t type);
  // The letter's device refuses to open, as one held exclusively by another program does.
  void refuse_open(char letter, bool refuse = true);
  // The system refuses to unlock the letter's volume (closing the handle still ends the lock).
  void refuse_unlock(char letter, bool refuse = true);
  // Every command that reaches a drive is appended here as well, when set.
  sim::TranscriptFile* transcript = nullptr;

  // What the program did.
  std::uint32_t open_handle_count() const;
  bool volume_locked(char letter) const;
  std::uint32_t last_ioctl_code = 0;
  std::uint32_t last_ioctl_in_size = 0;
  std::uint32_t last_ioctl_out_size = 0;
  // The request header of the latest pass-through call, as it arrived.
  std::array<std::uint8_t, spt::header_size> last_request{};

  Handle create_file(const char* path, std::uint32_t access, std::uint32_t share_mode, std::uint32_t creation,
                     std::uint32_t flags) override;
  bool close_handle(Handle handle) override;
  bool device_io_control(Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                         std::uint32_t out_size, std::uint32_t& returned) override;
  std::uint32_t get_drive_type(const char* root) override;
  std::uint32_t buffer_address(void* buffer) override { return slot_.value_for(buffer); }

 private:
  struct Letter {
    sim::SimDrive* drive = nullptr;
    std::uint32_t drive_type = 0;
    bool type_set = false;
    bool refuse_open = false;
    bool refuse_unlock = false;
    int locked_by = -1;  // index of the handle that holds the volume lock
  };
  struct OpenDevice {
    bool used = false;
    int letter = 0;
    bool read_write = false;  // opened with GENERIC_READ and GENERIC_WRITE
  };
  static constexpr std::size_t max_open = 32;

  int handle_index(Handle handle) const;
  bool pass_through(int letter, bool direct, void* in, std::uint32_t in_size, void* out, std::uint32_t out_size,
                    std::uint32_t& returned);

  VirtualClock& clock_;
  std::array<Letter, 26> letters_{};
  std::array<OpenDevice, max_open> open_{};
  BufferSlot slot_;
};

}  // namespace tz::platform::host
