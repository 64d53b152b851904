#include "update/result_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/os_class.h"
#include "core/run_result.h"

namespace tz {

namespace {

constexpr const char* log_base_name = "TZ594K_for_ZEMO_V101";
constexpr const char* host_loader_version = "TZ594K_for_ZEMO_V1.01";

constexpr std::uint32_t protected_attributes = 0x1916;  // hidden, system, directory, temporary, compressed, offline
constexpr std::uint32_t read_only_attribute = 0x01;
constexpr std::uint32_t plain_attributes = 0xA0;  // archive, normal

// Longer than any line: the message is at most 511 bytes, every other value is short.
constexpr std::size_t log_line_size = 1024;
// A date or time with every field at its widest (five digits).
constexpr std::size_t stamp_size = 24;

std::uint8_t classify(std::uint32_t attributes) {
  if (attributes == platform::invalid_file_attributes) return attributes_unreadable;
  if ((attributes & protected_attributes) != 0) return attributes_protected;
  if ((attributes & read_only_attribute) != 0) return attributes_read_only;
  if ((attributes & plain_attributes) != 0) return attributes_plain;
  return attributes_unknown;
}

[[gnu::format(printf, 3, 4)]] void write_line(ResultLog& log, platform::Handle file, const char* format, ...) {
  char line[log_line_size];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof(line), format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
  va_end(arguments);
  log.files.write_text(file, line);
}

// A drive text field up to its width, even if its terminator were lost.
template <std::size_t N>
int field_width(const char (&field)[N]) {
  return static_cast<int>(strnlen(field, N - 1));
}

void write_drive_line(ResultLog& log, platform::Handle file) {
  write_line(log, file, "%s%s", log.texts.get(Text::log_drive_line), " = ");
  if (log.drives.current_drive >= drive_table_size) {
    write_line(log, file, "(%s)\n", log.texts.get(Text::log_no_drive));
    return;
  }
  const DriveRecord& drive = log.drives.drive_table[log.drives.current_drive];
  if (log.drives.transport == transport_pass_through) {
    // "\\.\X:" from its fifth character: the letter and its colon.
    constexpr std::size_t letter_at = 4;
    const std::size_t length = strnlen(drive.device_path, sizeof(drive.device_path));
    const char* letter = length > letter_at ? drive.device_path + letter_at : "";
    write_line(log, file, "LogicalDriveName[%.*s] ", static_cast<int>(length > letter_at ? length - letter_at : 0),
               letter);
  } else {
    write_line(log, file, "%s/%s[%d %d] ", log.texts.get(Text::log_adapter), log.texts.get(Text::log_target),
               static_cast<int>(drive.ha_id), static_cast<int>(drive.target_id));
  }
  write_line(log, file, "%s[%.*s] %s[%.*s] %s[%.*s]\n", log.texts.get(Text::label_vendor), field_width(drive.vendor_id),
             drive.vendor_id, log.texts.get(Text::label_product), field_width(drive.product_id), drive.product_id,
             log.texts.get(Text::label_revision), field_width(drive.product_revision), drive.product_revision);
}

}  // namespace

const char* log_file_path(ResultLog& log) {
  if (log.log_path_built) return log.log_path;
  const platform::LocalTime now = log.system.local_time();
  const int folder_length = static_cast<int>(strnlen(log.program_folder, sizeof(log.program_folder)));
  const int length =
      std::snprintf(log.log_path, sizeof(log.log_path), "%.*s\\%s-%04hu%02hu%02hu%02hu%02hu%02hu.log", folder_length,
                    log.program_folder, log_base_name, now.year, now.month, now.day, now.hour, now.minute, now.second);
  // A path cut short names some other file, which the writer would first remove: keep none.
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof(log.log_path)) log.log_path[0] = '\0';
  log.log_path_built = true;
  return log.log_path;
}

std::uint8_t write_result_log(ResultLog& log, const char* path) {
  if (path == nullptr || path[0] == '\0') return log_not_written;
  if (delete_old_log(log, path) != log_written) return log_not_written;
  return write_log_lines(log, path);
}

std::uint8_t delete_old_log(ResultLog& log, const char* path) {
  platform::Files& files = log.files;
  if (!files.can_open_for_reading(path)) return log_written;
  const std::uint32_t attributes = files.get_attributes(path);
  switch (classify(attributes)) {
    case attributes_plain:
      return files.remove_file(path) ? log_written : log_not_written;
    case attributes_read_only:
      if (!files.set_attributes(path, platform::file_attribute_normal)) return log_not_written;
      if (files.remove_file(path)) return log_written;
      // The file stays where it is, so it keeps the protection its owner gave it.
      files.set_attributes(path, attributes);
      return log_not_written;
    default:
      return log_not_written;
  }
}

std::uint8_t attribute_class(ResultLog& log, const char* path) { return classify(log.files.get_attributes(path)); }

std::uint8_t write_log_lines(ResultLog& log, const char* path) {
  const platform::LocalTime now = log.system.local_time();
  char date[stamp_size];
  char clock_time[stamp_size];
  std::snprintf(date, sizeof(date), "%04hu.%02hu.%02hu", now.year, now.month, now.day);
  std::snprintf(clock_time, sizeof(clock_time), "%02hu:%02hu:%02hu", now.hour, now.minute, now.second);
  char os_text[os_text_size] = {};
  if (os_version_text(log, os_text, sizeof(os_text)) == 0) return log_not_written;

  const platform::Handle file = log.files.create_text_file(path);
  if (file == platform::null_handle) return log_not_written;
  write_line(log, file, "%s%s%s\n", "Date", " = ", date);
  write_line(log, file, "%s%s%s\n", "Time", " = ", clock_time);
  write_line(log, file, "%s%s%s\n", "OSVer", " = ", os_text);
  write_line(log, file, "%s%s%s\n", "HostLoaderVer", " = ", host_loader_version);
  write_drive_line(log, file);
  write_line(log, file, "%s = %s\n", log.texts.get(Text::log_result), log_label_for(result_code(log.result)));
  write_line(log, file, "Message = %s\n", result_message(log.result));
  log.files.close_file(file);
  return log_written;
}

std::uint8_t os_version_text(ResultLog& log, char* text, std::size_t size) {
  platform::OsVersionInfo info;
  return tz::os_version_text(log.system, info, text, size);
}

}  // namespace tz
