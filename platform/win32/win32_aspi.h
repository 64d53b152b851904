#pragma once
#include "platform/aspi.h"

namespace tz::platform::win32 {

class Win32Aspi final : public Aspi {
 public:
  Handle load_library(const char* name) override;
  ProcAddress get_proc_address(Handle module, const char* name) override;
  std::uint32_t get_support_info(ProcAddress entry) override;
  std::uint32_t send_command(ProcAddress entry, std::uint8_t* request_block) override;
  Handle create_event(bool manual_reset, bool initially_signalled) override;
  std::uint32_t wait_for_single_object(Handle object, std::uint32_t milliseconds) override;
  bool reset_event(Handle event) override;
  bool close_handle(Handle handle) override;
  std::uint32_t buffer_address(void* buffer) override;
};

}  // namespace tz::platform::win32
