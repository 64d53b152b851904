#pragma once
// The transcript: one line per command a simulated drive received, appended to the file that
// TZ594K_SIM_TRANSCRIPT names. A line reads
//   <address> cdb=<CDB in hex> dir=<in|out|none> len=<data length> status=<SCSI status in hex>
//   [sense=<key>/<asc>/<ascq>] moved=<data bytes moved> [digest=<16 hex digits>]
// on one line, where the address is "ha:target" (ASPI) or the drive letter with its colon, the CDB
// has the length the host declared, and status is "fail" when the request never reached the
// drive or "hang" when the drive never answered. digest= comes with a data phase: piece_digest
// (core/digest.h) of the host's data area as the command left it, what the program's trace gives
// of a download write or read-back. Example:
//   0:0 cdb=ED0033CC8D711001AA3210003C dir=in len=4096 status=02 sense=05/24/00 moved=0 digest=...
//   H: cdb=120000002400 dir=in len=36 status=00 moved=20 digest=21CF7EEF6FE779F5
#include <cstddef>
#include <cstdio>

#include "sim/sim_drive.h"

namespace tz::sim {

inline constexpr std::size_t transcript_line_capacity = 160;

// Formats one line (with its newline) into `out`; returns its length, cut to fit `size`.
std::size_t format_transcript_line(const char* address, const CommandRecord& record, char* out, std::size_t size);

// An append-only transcript file; every line is flushed as it is written.
class TranscriptFile {
 public:
  TranscriptFile() = default;
  TranscriptFile(const TranscriptFile&) = delete;
  TranscriptFile& operator=(const TranscriptFile&) = delete;
  ~TranscriptFile();

  bool open(const char* path);
  bool is_open() const { return file_ != nullptr; }
  void write(const char* address, const CommandRecord& record);

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace tz::sim
