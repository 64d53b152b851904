#include "core/os_class.h"

#include <cstdio>

namespace tz {

using platform::OsVersionInfo;

std::uint8_t get_os_class(platform::System& system, OsVersionInfo& info) {
  info.size = sizeof(OsVersionInfo);
  if (!system.get_version(info)) return 0;
  switch (info.platform_id) {
    case platform::ver_platform_win32s:
      info.build &= 0xFFFF;
      return 1;
    case platform::ver_platform_win32_windows:
      info.build &= 0xFFFF;
      switch (info.minor) {
        case 0:
          return 2;
        case 10:
          return info.build == 2222 ? 4 : 3;
        case 90:
          return 5;
        default:
          return 0;
      }
    case platform::ver_platform_win32_nt:
      if (info.major == 4) return 6;
      if (info.major == 5 && info.minor <= 2) {
        static constexpr std::uint8_t by_minor[] = {7, 8, 10};
        return by_minor[info.minor];
      }
      if (info.major == 6 && info.minor == 0) return 9;
      // Every other NT version (6.1 onwards above all) has SCSI pass-through and no ASPI layer.
      return os_class_nt_later;
    default:
      return 0;
  }
}

bool is_nt_class(std::uint8_t os_class) { return os_class >= 6 && os_class <= os_class_nt_later; }

const char* os_class_name(std::uint8_t os_class) {
  static constexpr const char* names[] = {
      nullptr,        "Windows3.1",  "Windows95", "Windows98",    "Windows98SE",       "WindowsME",
      "WindowsNT4.0", "Windows2000", "WindowsXP", "WindowsVista", "WindowsServer2003", "WindowsNT",
  };
  return os_class < sizeof(names) / sizeof(names[0]) ? names[os_class] : nullptr;
}

std::uint8_t os_version_text(platform::System& system, OsVersionInfo& info, char* text, std::size_t size) {
  const std::uint8_t os_class = get_os_class(system, info);
  const char* name = os_class_name(os_class);
  if (name != nullptr) {
    std::snprintf(text, size, "%s %lu.%lu (Build %lu)", name, static_cast<unsigned long>(info.major),
                  static_cast<unsigned long>(info.minor), static_cast<unsigned long>(info.build));
  }
  return os_class;
}

}  // namespace tz
