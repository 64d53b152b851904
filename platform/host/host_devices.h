#pragma once
#include "platform/devices.h"

namespace tz::platform::host {

class HostDevices final : public Devices {
 public:
  Handle create_file(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) override {
    return invalid_handle_value;
  }
  bool close_handle(Handle) override { return false; }
  bool device_io_control(Handle, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t,
                         std::uint32_t& returned) override {
    returned = 0;
    return false;
  }
  std::uint32_t get_drive_type(const char*) override { return drive_no_root_dir; }
  std::uint32_t buffer_address(void*) override { return 0; }
};

}  // namespace tz::platform::host
