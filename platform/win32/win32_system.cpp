#include "platform/win32/win32_system.h"

#include <windows.h>

#include "platform/win32/win32_library.h"

namespace tz::platform::win32 {

static_assert(sizeof(OSVERSIONINFOA) == sizeof(OsVersionInfo));
static_assert(sizeof(SYSTEMTIME) == sizeof(LocalTime));

namespace {

HMODULE kernel32() { return GetModuleHandleA("kernel32.dll"); }

}  // namespace

const char* Win32System::command_line() { return GetCommandLineA(); }

std::uint32_t Win32System::module_file_name(char* buffer, std::uint32_t size) {
  return GetModuleFileNameA(nullptr, buffer, size);
}

bool Win32System::get_version(OsVersionInfo& info) {
  OSVERSIONINFOA v{};
  v.dwOSVersionInfoSize = info.size;
  // GetVersionExA is deprecated for applications that want the newest number; the program wants
  // exactly what the system tells a program of its kind.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL ok = GetVersionExA(&v);
#pragma GCC diagnostic pop
  if (!ok) return false;
  info.major = v.dwMajorVersion;
  info.minor = v.dwMinorVersion;
  info.build = v.dwBuildNumber;
  info.platform_id = v.dwPlatformId;
  static_assert(sizeof(info.service_pack) == sizeof(v.szCSDVersion));
  for (std::size_t i = 0; i < sizeof(info.service_pack); ++i) info.service_pack[i] = v.szCSDVersion[i];
  return true;
}

std::int32_t Win32System::reg_open_current_user(const char* subkey, std::uint32_t access, Handle& key) {
  HKEY k = nullptr;
  const LONG r = RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, access, &k);
  if (r == ERROR_SUCCESS) key = reinterpret_cast<Handle>(k);
  return r;
}

std::int32_t Win32System::reg_query_value(Handle key, const char* name, std::uint8_t* data, std::uint32_t& size) {
  DWORD n = size;
  const LONG r = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr, data, &n);
  size = n;
  return r;
}

void Win32System::reg_close(Handle key) { RegCloseKey(reinterpret_cast<HKEY>(key)); }

LocalTime Win32System::local_time() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

bool Win32System::keep_awake(bool on) {
  // Looked up, not linked: Windows 95 and NT 4.0 lack it, and there the program runs as before.
  using SetThreadExecutionStateEntry = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);
  const HMODULE kernel = kernel32();
  const auto set_state =
      kernel == nullptr ? nullptr : library_entry<SetThreadExecutionStateEntry>(kernel, "SetThreadExecutionState");
  if (set_state == nullptr) return false;
  return set_state(on ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS) != 0;
}

bool Win32System::power_status(PowerStatus& status) {
  // Looked up, not linked: NT 4.0 lacks it, and there the run goes on as it would without it.
  using GetSystemPowerStatusEntry = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
  const HMODULE kernel = kernel32();
  const auto get_status =
      kernel == nullptr ? nullptr : library_entry<GetSystemPowerStatusEntry>(kernel, "GetSystemPowerStatus");
  SYSTEM_POWER_STATUS s{};
  if (get_status == nullptr || !get_status(&s)) return false;
  status.ac_line_status = s.ACLineStatus;
  status.battery_flag = s.BatteryFlag;
  status.battery_life_percent = s.BatteryLifePercent;
  return true;
}

}  // namespace tz::platform::win32
