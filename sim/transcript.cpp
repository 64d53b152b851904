#include "sim/transcript.h"

#include <cstdarg>

namespace tz::sim {

namespace {

const char* direction_name(Direction direction) {
  switch (direction) {
    case Direction::in:
      return "in";
    case Direction::out:
      return "out";
    case Direction::none:
      return "none";
  }
  return "?";
}

// Appends formatted text at `used`, never past `size`.
[[gnu::format(printf, 4, 5)]] void append(char* out, std::size_t size, std::size_t& used, const char* format, ...) {
  if (used + 1 >= size) return;
  std::va_list arguments;
  va_start(arguments, format);
  const int n = std::vsnprintf(out + used, size - used, format, arguments);
  va_end(arguments);
  if (n < 0) return;
  used += static_cast<std::size_t>(n) < size - used ? static_cast<std::size_t>(n) : size - used - 1;
}

}  // namespace

std::size_t format_transcript_line(const char* address, const CommandRecord& record, char* out, std::size_t size) {
  if (size == 0) return 0;
  out[0] = '\0';
  std::size_t used = 0;
  append(out, size, used, "%s cdb=", address);
  for (std::uint32_t i = 0; i < record.cdb_length && i < max_cdb_bytes; ++i) {
    append(out, size, used, "%02X", static_cast<unsigned>(record.cdb[i]));
  }
  append(out, size, used, " dir=%s len=%lu", direction_name(record.direction),
         static_cast<unsigned long>(record.length));
  if (record.delivery == Outcome::Delivery::failed) {
    append(out, size, used, " status=fail");
  } else if (record.delivery == Outcome::Delivery::hung) {
    append(out, size, used, " status=hang");
  } else {
    append(out, size, used, " status=%02X", static_cast<unsigned>(record.status));
    if (record.status == status_check_condition) {
      append(out, size, used, " sense=%02X/%02X/%02X", static_cast<unsigned>(record.sense.key),
             static_cast<unsigned>(record.sense.asc), static_cast<unsigned>(record.sense.ascq));
    }
  }
  append(out, size, used, "\n");
  return used;
}

TranscriptFile::~TranscriptFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TranscriptFile::open(const char* path) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = std::fopen(path, "a");
  return file_ != nullptr;
}

void TranscriptFile::write(const char* address, const CommandRecord& record) {
  if (file_ == nullptr) return;
  char line[transcript_line_capacity];
  const std::size_t n = format_transcript_line(address, record, line, sizeof(line));
  std::fwrite(line, 1, n, file_);
  std::fflush(file_);
}

}  // namespace tz::sim
