#pragma once
// The trace ("/TRO"): every SCSI command the program sends and what came of it, one line each, in a
// file beside the program, between a header that says where the run took place and a footer that
// says how it ended: the result, what the search read from the drives, and how the drive answered
// the last ROM rewrite and verify. It only watches: a traced run sends exactly the commands of the
// same run without it. It is what an administrator keeps as proof of an update and what the
// simulator replays. A trace that cannot be written changes nothing else: no result, no exit code,
// no log, no screen.
//
// The file, in the ANSI code page, lines ending in CR LF, each a keyword and key=value fields
// (texts quoted, \\ \" and \xHH inside quotes, as in bay files):
//   program version="TZ594K_for_ZEMO_V1.01" image="1.01"
//   system os="WindowsXP 5.1 (Build 2600)" platform=2 major=5 minor=1 build=2600 transport=pass-through
//          language=English                                            (one line)
//   switches text="/AU /TRO"                        (an access token written as ***)
//   started date=2024.05.06 time=07:08:09
//   cmd n=1 at=D: cdb=120000002C00000000000000 dir=in len=44 status=00 moved=44 ms=0 data=05800002...
//   cmd n=9 at=D: cdb=EA0000000170000430000000 dir=out len=1072 status=00 moved=1072 ms=1 digest=...
//   cmd n=10 at=D: cdb=E80000000170000430000000 dir=in len=1072 status=00 moved=1072 ms=1 digest=... same=yes
//   result code=0 message="" exit=0 elapsed-ms=20510
//   before at=D: status=7 vendor="KORVANTA" product="BD-CMB TZ594KS  " revision="1.00" identity="1.00"
//   after at=D: read=no rewrite=good verify=good
//   end commands=4411
// The after line is there when the update talked to a drive. Nothing is read from the drive after
// the update (read=no): a drive that has just rewritten its ROM, or failed to, is not asked
// anything the run would not ask. rewrite= and verify= give the answer to the run's last ROM
// rewrite and last verify request: "none" (never sent), "good", "check" (CHECK CONDITION, its sense
// on that command's line), "no-answer" (sent, no status came back) or "not-sent" (it reached no
// drive).
// status= is the SCSI status the program acted on, in hex, "fail" when the request went out and no
// status came back (or the ASPI manager ended it in error on its own), "timeout" when the ASPI wait
// gave up on it, "none" when it reached no drive (no device at that ASPI address, ASPI unusable,
// or refused before it was sent); sense= follows a CHECK CONDITION. A small reply to a data-in
// command is written whole (data=, trailing zero bytes left out); a download write and a read-back
// by a digest of their data (piece_digest, core/digest.h), the read-back also with same=yes|no:
// whether its data behind the header equalled the last write of that piece.
#include <cstddef>
#include <cstdint>

#include "drive/drive_state.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/types.h"

namespace tz {

struct DriveLink;
struct ScsiRequest;

// The folder as long as the program folder may be, a backslash and
// "TZ594K_for_ZEMO_V101-YYYYMMDDhhmmssmmm-NN.trace".
inline constexpr std::size_t trace_path_size = 1024 + 1 + 48 + 1;
// Room for the longest line: an identity block of 4096 bytes in hex and the fields around it, or a
// header line with an argument text of 2047 bytes written as \xHH each.
inline constexpr std::size_t trace_line_room = std::size_t{10} * 1024;
inline constexpr std::size_t trace_buffer_size = std::size_t{64} * 1024;
// Replies up to this long are written whole; a longer one by its digest.
inline constexpr std::uint32_t trace_reply_limit = 4096;

// How the drive answered a ROM rewrite or verify request.
enum class RomAnswer : std::uint8_t { none, good, check, no_answer, not_sent };

// The seam's files and clock, and the trace's state: the file, the one buffer every line goes
// through, and what the lines of later commands depend on. The program builds it once.
struct Trace {
  platform::Files& files;
  platform::Clock& clock;

  platform::Handle file = platform::null_handle;
  bool write_failed = false;
  char path[trace_path_size] = {};
  std::int32_t started_ms = 0;
  std::uint32_t commands = 0;

  // The latest download write: which piece, and the digest of its data behind the header.
  bool have_write = false;
  std::uint32_t write_offset = 0;
  std::uint32_t write_length = 0;
  std::uint64_t write_data_digest = 0;
  // The drive the update talked to (boot-mode command, download, rewrite or verify), and its
  // answers to the last rewrite and verify requests.
  std::uint32_t update_drive = drive_table_size;
  RomAnswer last_rewrite = RomAnswer::none;
  RomAnswer last_verify = RomAnswer::none;

  std::size_t used = 0;
  char buffer[trace_buffer_size] = {};
};

// What the header says besides what the link knows (transport, language, the system).
struct TraceStart {
  const char* folder;     // the program folder, where the log goes too
  const char* arguments;  // the argument text as the program received it
  const char* image_revision;
};

// True while commands are written: the file was made and no write has failed.
bool trace_on(const Trace& trace);

// Makes the trace file, stamped with the local time to the millisecond; a name another run took
// in the same millisecond gets a number ("-2" ...), and the system's exclusive creation keeps two
// runs from ever writing one file. Then writes the header. False, and no trace, when no file could
// be made.
bool begin_trace(DriveLink& link, const TraceStart& start);

// Around every request (transport's execute_request): marks the request blocks so that the line
// can tell a request that never went out; returns the clock when it started.
std::int32_t trace_request_start(DriveLink& link);
void trace_command(DriveLink& link, const ScsiRequest& request, int result, std::int32_t started_ms);

// The footer, from what the run itself saw; then the file is closed. Sends nothing.
void end_trace(DriveLink& link, std::int32_t exit_code);

}  // namespace tz
