#pragma once
// The result log: a small text file beside the program saying when and where it ran, on which
// drive, and how the run ended.
#include <cstddef>
#include <cstdint>

#include "core/run_result.h"
#include "core/string_table.h"
#include "drive/drive_state.h"
#include "platform/files.h"
#include "platform/system.h"

namespace tz {

inline constexpr std::size_t program_folder_size = 1024;
// The result log's path: the folder, a backslash and "TZ594K_for_ZEMO_V101-YYYYMMDDhhmmss.log".
inline constexpr std::size_t log_path_size = program_folder_size + 1 + 39 + 1;

// What writing the log is given: the seam's files and system parts, the texts, the drive table
// (which drive, over which transport), the run result and the program's folder found at start-up;
// and what it keeps, the path stamped on the first request.
struct ResultLog {
  platform::Files& files;
  platform::System& system;
  const StringTable& texts;
  const DriveState& drives;
  const RunResult& result;
  const char (&program_folder)[program_folder_size + 1];
  char log_path[log_path_size] = {};
  bool log_path_built = false;
};

inline constexpr std::uint8_t log_written = 0;
inline constexpr std::uint8_t log_not_written = 0xFF;

// attribute_class: how an existing file of the log's name may be dealt with.
inline constexpr std::uint8_t attributes_unreadable = 0xFF;  // no attributes: leave it alone
inline constexpr std::uint8_t attributes_protected = 3;      // hidden, system, a folder, ...: leave it
inline constexpr std::uint8_t attributes_read_only = 2;      // make it normal, then remove it
inline constexpr std::uint8_t attributes_plain = 1;          // remove it
inline constexpr std::uint8_t attributes_unknown = 0;        // none of the known bits: leave it

// Room for the OS line's text: the longest name and three 32-bit numbers.
inline constexpr std::size_t os_text_size = 80;

// The log's path, stamped with the local time of the first call and the same text for the rest of
// the run; empty when it would not fit its buffer.
const char* log_file_path(ResultLog& log);
// 0 when the log was written; 0xFF when not (an old file stayed in the way, the system has no
// name, or the file could not be created).
std::uint8_t write_result_log(ResultLog& log, const char* path);
// 0 when no file of that name is in the way any more; 0xFF when one stays.
std::uint8_t delete_old_log(ResultLog& log, const char* path);
// One of the attributes_* classes above for whatever stands at the path.
std::uint8_t attribute_class(ResultLog& log, const char* path);
// 0 when the seven lines were written (write errors are not seen); 0xFF when the system has no
// name or the file could not be created.
std::uint8_t write_log_lines(ResultLog& log, const char* path);
// The OS class (0 to 11); for a named class also "NAME MAJOR.MINOR (Build N)" into text.
std::uint8_t os_version_text(ResultLog& log, char* text, std::size_t size);

}  // namespace tz
