#pragma once
// The Windows version as a small class: it picks the SCSI transport and names the system in the log.
#include <cstdint>

#include "platform/system.h"

namespace tz {

// Class of an NT-family version that the table does not name (6.1 and later): pass-through.
inline constexpr std::uint8_t os_class_nt_later = 11;

std::uint8_t get_os_class(platform::System& system, platform::OsVersionInfo& info);
bool is_nt_class(std::uint8_t os_class);
// The name the result log writes, or nullptr for class 0.
const char* os_class_name(std::uint8_t os_class);

}  // namespace tz
