#pragma once
// A drive that answers every data-in command with the same bytes, behind both transports of the
// seam: pass-through devices (buffered and direct requests) and an ASPI layer that completes at
// once. The program builds and reads its requests exactly as it does for a real drive, so a reply
// reaches the parsers through the same buffers and bounds.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "app/context.h"
#include "platform/aspi.h"
#include "platform/devices.h"
#include "platform/host/host_os.h"

namespace tz::fuzz {

class ReplyDevices final : public platform::Devices {
 public:
  const std::uint8_t* reply = nullptr;
  std::size_t reply_size = 0;

  platform::Handle create_file(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override;
  bool close_handle(platform::Handle handle) override;
  bool device_io_control(platform::Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                         std::uint32_t out_size, std::uint32_t& returned) override;
  std::uint32_t get_drive_type(const char*) override { return platform::drive_cdrom; }
  std::uint32_t buffer_address(void* buffer) override;

 private:
  std::uint8_t* buffer_ = nullptr;  // the one buffer a direct request may name
};

class ReplyAspi final : public platform::Aspi {
 public:
  const std::uint8_t* reply = nullptr;
  std::size_t reply_size = 0;

  platform::Handle load_library(const char*) override { return library; }
  platform::ProcAddress get_proc_address(platform::Handle, const char*) override { return entry; }
  std::uint32_t get_support_info(platform::ProcAddress) override { return platform::srb::ss_comp << 8 | 1; }
  std::uint32_t send_command(platform::ProcAddress, std::uint8_t* request_block) override;
  platform::Handle create_event(bool, bool) override { return event; }
  std::uint32_t wait_for_single_object(platform::Handle, std::uint32_t) override { return platform::wait_object_0; }
  bool reset_event(platform::Handle) override { return true; }
  bool close_handle(platform::Handle) override { return true; }
  std::uint32_t buffer_address(void* buffer) override;

 private:
  static constexpr platform::Handle library = 0x6A000000;
  static constexpr platform::ProcAddress entry = 0x6A001000;
  static constexpr platform::Handle event = 0x100;
  std::uint8_t* buffer_ = nullptr;
};

// The emulated system with the reply drive in place of the simulated ones. One per fuzzer: its
// threads and clock outlive the inputs; every input gets a fresh program context.
struct ReplySystem {
  ReplySystem();

  // A fresh context whose current drive is record 0 on `transport`, answered with the `size` bytes
  // at `data`, with the texts and model tables that start-up prepares; null when it did not open.
  Context* context(std::uint8_t transport, const std::uint8_t* data, std::size_t size);
  // The same for a fuzz input: its first byte picks the transport (even: pass-through, odd:
  // ASPI), the rest is the reply; null for an empty input.
  Context* context_for_input(const std::uint8_t* data, std::size_t size);

  platform::host::HostOs host;
  ReplyDevices devices;
  ReplyAspi aspi;
  ModelTables models{};
  // The carried image's identity, loaded once as start-up does.
  IdentityRecord image_identity{};
  // Made afresh for every input in the same place, without going through the heap.
  std::optional<Context> current;
};

// Every text of the record ends inside its field and every count is within its limit, whatever
// the parse made of the bytes: what later readers of the record rely on.
void require_sound_record(const IdentityRecord& record);

}  // namespace tz::fuzz
