#include "sim/transcript.h"

#include <cstdio>

namespace tz::sim {

std::size_t format_transcript_line(const char* address, const CommandRecord& record, char* out, std::size_t size) {
  if (size == 0) return 0;
  static constexpr char digits[] = "0123456789ABCDEF";
  char cdb[2 * max_cdb_bytes + 1];
  const std::uint32_t cdb_length = record.cdb_length < max_cdb_bytes ? record.cdb_length : max_cdb_bytes;
  for (std::size_t i = 0; i < cdb_length; ++i) {
    cdb[2 * i] = digits[record.cdb[i] >> 4];
    cdb[2 * i + 1] = digits[record.cdb[i] & 15];
  }
  cdb[std::size_t{2} * cdb_length] = '\0';
  char status[32];
  if (record.delivery == Outcome::Delivery::failed) {
    std::snprintf(status, sizeof(status), "fail");
  } else if (record.delivery == Outcome::Delivery::hung) {
    std::snprintf(status, sizeof(status), "hang");
  } else if (record.status == status_check_condition) {
    std::snprintf(status, sizeof(status), "%02X sense=%02X/%02X/%02X", static_cast<unsigned>(record.status),
                  static_cast<unsigned>(record.sense.key), static_cast<unsigned>(record.sense.asc),
                  static_cast<unsigned>(record.sense.ascq));
  } else {
    std::snprintf(status, sizeof(status), "%02X", static_cast<unsigned>(record.status));
  }
  char digest[32] = "";
  if (record.has_digest) {
    std::snprintf(digest, sizeof(digest), " digest=%016llX", static_cast<unsigned long long>(record.digest));
  }
  const int n = std::snprintf(out, size, "%s cdb=%s dir=%s len=%lu status=%s moved=%lu%s\n", address, cdb,
                              direction_word(record.direction), static_cast<unsigned long>(record.length), status,
                              static_cast<unsigned long>(record.transferred), digest);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

TranscriptFile::~TranscriptFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TranscriptFile::open(const char* path) {
  if (file_ != nullptr) std::fclose(file_);
  // Binary: every line ends in LF alone, on Windows too.
  file_ = std::fopen(path, "ab");
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
