#pragma once
#include "platform/system.h"

namespace tz::platform::win32 {

class Win32System final : public System {
 public:
  const char* command_line() override;
  std::uint32_t module_file_name(char* buffer, std::uint32_t size) override;
  bool get_version(OsVersionInfo& info) override;
  std::int32_t reg_open_current_user(const char* subkey, std::uint32_t access, Handle& key) override;
  std::int32_t reg_query_value(Handle key, const char* name, std::uint8_t* data, std::uint32_t& size) override;
  void reg_close(Handle key) override;
  LocalTime local_time() override;
  bool keep_awake(bool on) override;
  bool power_status(PowerStatus& status) override;
};

}  // namespace tz::platform::win32
