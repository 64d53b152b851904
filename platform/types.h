#pragma once
// Values that cross the seam to the operating system, in the shapes Win32 gives them.
#include <cstdint>

namespace tz::platform {

// An opaque Win32 handle value (HWND, HANDLE, HINSTANCE, HKEY, HMODULE).
using Handle = std::uintptr_t;
inline constexpr Handle null_handle = 0;
inline constexpr Handle invalid_handle_value = static_cast<Handle>(-1);  // INVALID_HANDLE_VALUE

// OSVERSIONINFOA: the program sets size to 148 before the query.
struct OsVersionInfo {
  std::uint32_t size = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platform_id = 0;
  char service_pack[128] = {};
};
static_assert(sizeof(OsVersionInfo) == 148);

// SYSTEMTIME as GetLocalTime fills it.
struct LocalTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day_of_week = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// Window messages and constants the program's procedures answer or send.
inline constexpr std::uint32_t wm_paint = 0x000F;
inline constexpr std::uint32_t wm_close = 0x0010;
inline constexpr std::uint32_t wm_queryendsession = 0x0011;
inline constexpr std::uint32_t wm_initdialog = 0x0110;
inline constexpr std::uint32_t wm_command = 0x0111;
inline constexpr std::uint32_t wm_powerbroadcast = 0x0218;
inline constexpr std::uint32_t wm_user = 0x0400;
inline constexpr std::intptr_t broadcast_query_deny = 0x424D5144;

inline constexpr std::uint32_t mb_ok = 0x0000;
inline constexpr std::uint32_t mb_iconhand = 0x0010;
inline constexpr std::uint32_t mb_iconexclamation = 0x0030;
inline constexpr std::uint32_t mb_iconasterisk = 0x0040;
inline constexpr std::uint32_t mb_setforeground = 0x00010000;

inline constexpr int sw_hide = 0;
inline constexpr int sw_show = 5;
inline constexpr int sw_restore = 9;

inline constexpr std::uint32_t key_query_value = 0x0001;
inline constexpr std::uint32_t key_set_value = 0x0002;
inline constexpr std::int32_t error_success = 0;

inline constexpr std::uint32_t ver_platform_win32s = 0;
inline constexpr std::uint32_t ver_platform_win32_windows = 1;
inline constexpr std::uint32_t ver_platform_win32_nt = 2;

}  // namespace tz::platform
