#pragma once
#include "platform/devices.h"

namespace tz::platform::win32 {

class Win32Devices final : public Devices {
 public:
  Handle create_file(const char* path, std::uint32_t access, std::uint32_t share_mode, std::uint32_t creation,
                     std::uint32_t flags) override;
  bool close_handle(Handle handle) override;
  bool device_io_control(Handle device, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                         std::uint32_t out_size, std::uint32_t& returned) override;
  std::uint32_t get_drive_type(const char* root) override;
  std::uint32_t buffer_address(void* buffer) override;
};

}  // namespace tz::platform::win32
