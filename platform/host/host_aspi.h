#pragma once
#include "platform/aspi.h"

namespace tz::platform::host {

class HostAspi final : public Aspi {
 public:
  Handle load_library(const char*) override { return null_handle; }
  ProcAddress get_proc_address(Handle, const char*) override { return 0; }
  std::uint32_t get_support_info(ProcAddress) override { return 0; }
  std::uint32_t send_command(ProcAddress, std::uint8_t*) override { return 0; }
  Handle create_event(bool, bool) override { return null_handle; }
  std::uint32_t wait_for_single_object(Handle, std::uint32_t) override { return wait_failed; }
  bool reset_event(Handle) override { return false; }
  bool close_handle(Handle) override { return false; }
  std::uint32_t buffer_address(void*) override { return 0; }
};

}  // namespace tz::platform::host
