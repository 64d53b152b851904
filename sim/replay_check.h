#pragma once
// Compares what simulated drives received in a run (their transcript, sim/transcript.h) with a
// trace (sim/trace_file.h), in the order the commands reached the drives, across drives: the first
// command that differs, comes out of turn, is missing or is one too many. Where the transcript
// gives them, the data count and the data are compared too: a write that sent another image (its
// digest), a data phase that moved another count, a reply with other bytes. Commands that reached
// no drive are not in a transcript and are passed over; so is an address that the transcript never
// names and whose trace commands all went unanswered (a letter whose device is no drive, such as a
// folder under Wine).
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/scsi.h"
#include "sim/trace_file.h"

namespace tz::sim {

// One transcript line read back.
struct TranscriptCommand {
  std::string address;
  std::uint8_t cdb[max_cdb_bytes] = {};
  std::uint32_t cdb_length = 0;
  Direction direction = Direction::none;
  std::uint32_t length = 0;
  enum class Delivery : std::uint8_t { status, fail, hang } delivery = Delivery::status;
  std::uint8_t status = 0;
  bool has_sense = false;
  Sense sense{};
  bool has_moved = false;  // transcripts from before moved= and digest= have neither
  std::uint32_t moved = 0;
  bool has_digest = false;
  std::uint64_t digest = 0;
};

// False for a line that is not a transcript line.
bool parse_transcript_line(std::string_view line, TranscriptCommand& command);

struct CheckResult {
  bool same = false;
  std::uint32_t compared = 0;  // commands found equal
  std::uint32_t n = 0;         // the trace's number of the command that differs; 0 when none
  std::string difference;      // what differs, for a person
};

CheckResult check_transcript(const TraceFile& trace, std::string_view transcript);

}  // namespace tz::sim
