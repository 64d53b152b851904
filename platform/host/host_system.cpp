#include "platform/host/host_system.h"

#include <cstring>

namespace tz::platform::host {

namespace {
constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
constexpr std::int32_t ERROR_MORE_DATA = 234;
}  // namespace

std::uint32_t HostSystem::module_file_name(char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  const std::size_t n = module_path.size() < size - 1 ? module_path.size() : size - 1;
  std::memcpy(buffer, module_path.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

bool HostSystem::get_version(OsVersionInfo& info) {
  if (!version || info.size != sizeof(OsVersionInfo)) return false;
  const std::uint32_t size = info.size;
  info = *version;
  info.size = size;
  return true;
}

void HostSystem::set_version(std::uint32_t platform_id, std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
  OsVersionInfo info;
  info.size = sizeof(OsVersionInfo);
  info.platform_id = platform_id;
  info.major = major;
  info.minor = minor;
  info.build = build;
  version = info;
}

std::int32_t HostSystem::reg_open_current_user(const char* subkey, std::uint32_t access, Handle& key) {
  last_access = access;
  if (registry_open_denied) return ERROR_ACCESS_DENIED;
  if (registry.find(subkey) == registry.end()) return ERROR_FILE_NOT_FOUND;
  key = next_key_++;
  keys_[key] = subkey;
  ++open_keys;
  return error_success;
}

std::int32_t HostSystem::reg_query_value(Handle key, const char* name, std::uint8_t* data, std::uint32_t& size) {
  const auto k = keys_.find(key);
  if (k == keys_.end()) return ERROR_FILE_NOT_FOUND;
  const auto& values = registry[k->second];
  const auto v = values.find(name);
  if (v == values.end()) return ERROR_FILE_NOT_FOUND;
  // REG_SZ data include their terminating NUL, as Windows returns them.
  const std::size_t needed = v->second.size() + 1;
  if (needed > size) {
    size = static_cast<std::uint32_t>(needed);
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, v->second.c_str(), needed);
  size = static_cast<std::uint32_t>(needed);
  return error_success;
}

LocalTime HostSystem::local_time() {
  const LocalTime now = time;
  time.second = static_cast<std::uint16_t>((time.second + seconds_per_reading) % 60);
  return now;
}

void HostSystem::reg_close(Handle key) {
  if (keys_.erase(key) != 0) --open_keys;
}

bool HostSystem::power_status(PowerStatus& status) {
  ++power_queries;
  if (on_power_query) on_power_query();
  if (!power) return false;
  status = *power;
  return true;
}

bool HostSystem::keep_awake(bool on) {
  awake = on;
  if (on_keep_awake) on_keep_awake(on);
  return true;
}

}  // namespace tz::platform::host
