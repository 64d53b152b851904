#pragma once
// Emulated system queries for native builds: a test sets what Windows would report.
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/system.h"

namespace tz::platform::host {

class HostSystem final : public System {
 public:
  std::string command_line_text = "\"C:\\Loader\\TZ594K_for_ZEMO_V101.exe\"";
  std::string module_path = "C:\\Loader\\TZ594K_for_ZEMO_V101.exe";
  std::optional<OsVersionInfo> version;  // empty: the query fails
  // Registry under HKEY_CURRENT_USER: key path -> (value name -> bytes). A missing key fails to open.
  std::map<std::string, std::map<std::string, std::string>> registry;
  bool registry_open_denied = false;
  LocalTime time{2026, 12, 4, 10, 9, 30, 15, 0};
  // Seconds the clock moves on after each reading, for tests that need to see it read once.
  std::uint16_t seconds_per_reading = 0;

  // Whether the program asks the system to stay awake; a test may watch each request as it comes.
  bool awake = false;
  std::function<void(bool on)> on_keep_awake;
  // What GetSystemPowerStatus reports (a desktop: AC online, no system battery); empty: the system
  // lacks the call. Each query is counted.
  std::optional<PowerStatus> power = PowerStatus{1, battery_flag_no_battery, 255};
  std::uint32_t power_queries = 0;
  // Called as each query comes, before it is answered: a test pulls the adapter at a moment of
  // the run's own.
  std::function<void()> on_power_query;

  int open_keys = 0;              // keys opened and not yet closed
  std::uint32_t last_access = 0;  // what the last open asked for

  const char* command_line() override { return command_line_text.c_str(); }
  std::uint32_t module_file_name(char* buffer, std::uint32_t size) override;
  bool get_version(OsVersionInfo& info) override;
  std::int32_t reg_open_current_user(const char* subkey, std::uint32_t access, Handle& key) override;
  std::int32_t reg_query_value(Handle key, const char* name, std::uint8_t* data, std::uint32_t& size) override;
  void reg_close(Handle key) override;
  LocalTime local_time() override;
  bool keep_awake(bool on) override;
  bool power_status(PowerStatus& status) override;

  void set_version(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor, std::uint32_t build);
  void set_locale(const std::string& value) { registry["Control Panel\\International"]["Locale"] = value; }

 private:
  std::map<Handle, std::string> keys_;
  Handle next_key_ = 0x100;
};

}  // namespace tz::platform::host
