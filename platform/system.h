#pragma once
// kernel32/advapi32 queries of the running system: command line, version, registry, local time,
// power source; and the one request the program makes of it, to stay awake.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

// GetSystemPowerStatus's first three fields, as the system reports them.
struct PowerStatus {
  std::uint8_t ac_line_status = 255;        // 0 offline, 1 online, 255 unknown
  std::uint8_t battery_flag = 255;          // bits: 1 high, 2 low, 4 critical, 8 charging, 128 none; 255 unknown
  std::uint8_t battery_life_percent = 255;  // 255 unknown
};
inline constexpr std::uint8_t ac_line_offline = 0;
inline constexpr std::uint8_t battery_flag_no_battery = 128;
inline constexpr std::uint8_t battery_flag_unknown = 255;

class System {
 public:
  virtual ~System() = default;

  // GetCommandLineA: the whole command line, program path included; never null.
  virtual const char* command_line() = 0;
  // GetModuleFileNameA of the program itself: bytes written (without NUL), 0 on failure.
  virtual std::uint32_t module_file_name(char* buffer, std::uint32_t size) = 0;
  // GetVersionExA: fills info (whose size the caller set); false when the query failed.
  virtual bool get_version(OsVersionInfo& info) = 0;
  // RegOpenKeyExA under HKEY_CURRENT_USER: ERROR_SUCCESS and the key, or an error code.
  virtual std::int32_t reg_open_current_user(const char* subkey, std::uint32_t access, Handle& key) = 0;
  // RegQueryValueExA: ERROR_SUCCESS with size := bytes returned, or an error code.
  virtual std::int32_t reg_query_value(Handle key, const char* name, std::uint8_t* data, std::uint32_t& size) = 0;
  // RegCloseKey.
  virtual void reg_close(Handle key) = 0;
  // GetLocalTime.
  virtual LocalTime local_time() = 0;
  // SetThreadExecutionState: on, the system stays out of sleep for want of input until it is
  // called off again (ES_SYSTEM_REQUIRED, continuous). False where the system lacks the call
  // (Windows 95, NT 4.0) or refused it.
  virtual bool keep_awake(bool on) = 0;
  // GetSystemPowerStatus: false where the system lacks the call (Windows NT 4.0) or it failed.
  virtual bool power_status(PowerStatus& status) = 0;
};

}  // namespace tz::platform
