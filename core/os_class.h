#pragma once
// The Windows version as a small class: it picks the SCSI transport and names the system in the log.
#include <cstddef>
#include <cstdint>

#include "platform/system.h"

namespace tz {

// Class of an NT-family version that the table does not name (6.1 and later): pass-through.
inline constexpr std::uint8_t os_class_nt_later = 11;

std::uint8_t get_os_class(platform::System& system, platform::OsVersionInfo& info);
bool is_nt_class(std::uint8_t os_class);
// The name the result log writes, or nullptr for class 0.
const char* os_class_name(std::uint8_t os_class);
// The OS class (0 to 11), with `info` as the version query left it; for a named class also
// "NAME MAJOR.MINOR (Build N)", the system's line in the result log and the trace, into `text`.
std::uint8_t os_version_text(platform::System& system, platform::OsVersionInfo& info, char* text, std::size_t size);

}  // namespace tz
