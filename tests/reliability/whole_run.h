#pragma once
// Whole program runs, from the argument text to the exit code, on an emulated Windows XP
// (pass-through) or Windows 98 (ASPI) with simulated drives, every command the drives receive kept
// in their transcript; and the rules every run must keep whatever the drives do. Used by the fault
// matrix, the soak in the suite and the soak driver, so it carries no test framework.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/scsi.h"
#include "sim/sim_drive.h"
#include "sim/transcript.h"
#include "tests/support/fixture.h"

namespace tz::reliability {

enum class Via : std::uint8_t { pass_through, aspi };
const char* via_name(Via via);

// English template ids of the screens a run meets.
namespace screen {
inline constexpr std::uint16_t processing = 237, notice = 192, start = 202, progress = 205, success = 201,
                               update_failure = 193, selection = 191, not_applicable = 239, already_updated = 221,
                               in_use = 235, tray_prompt = 280, eject_failed = 231;
}

// One line of a drive's transcript, read back.
struct TranscriptLine {
  std::string address;
  std::uint8_t cdb[sim::max_cdb_bytes] = {};
  std::uint32_t cdb_length = 0;
  std::uint32_t length = 0;
  bool completed = true;  // false: the request never reached the drive, or it never answered
  bool hung = false;      // the drive never answered
  std::uint8_t status = 0;
  std::uint32_t moved = 0;  // data bytes the data phase moved
};

// The simulated drives' transcript, kept in a temporary file for the life of one run.
class TranscriptCapture {
 public:
  TranscriptCapture();
  ~TranscriptCapture();
  TranscriptCapture(const TranscriptCapture&) = delete;
  TranscriptCapture& operator=(const TranscriptCapture&) = delete;

  sim::TranscriptFile& file() { return file_; }
  // The commands one address (a letter with its colon, or "ha:target") received, in order.
  std::vector<TranscriptLine> lines(const std::string& address) const;
  // FNV-1a of the whole transcript: equal for runs that sent the same commands and got the same answers.
  std::uint64_t digest() const;
  // The whole transcript as it stands in its file.
  std::string text() const;

 private:
  std::string path_;
  sim::TranscriptFile file_;
};

struct Machine : test::Fixture {
  explicit Machine(Via via);

  // The next drive: behind D:, E:, ... or at adapter 0, targets 1, 2, ...
  sim::SimDrive& add(const sim::DriveSettings& settings);
  std::string address(std::size_t drive) const;
  char letter(std::size_t drive) const { return static_cast<char>('D' + drive); }
  std::int32_t run(const std::string& arguments);
  std::vector<std::uint16_t> screens() const { return host.dialogs.opened_templates(); }
  std::vector<std::string> message_boxes() const;

  Via via;
  std::deque<sim::SimDrive> drives;
  std::vector<bool> carried_at_start;  // per drive: its ROM held the carried image before the run
  TranscriptCapture transcript;
};

// The exit code that belongs to a result code.
std::int32_t exit_code_of(std::int32_t code);

// Why a rewrite or verify reached a drive before the download it needs was complete, or why the
// drive granted one it had to refuse. The host's side: every piece since the attempt began (the
// info block, then each payload block) written with GOOD and, with `compare`, read back with GOOD
// and unaltered, the whole piece having come back. The drive's side: a rewrite or verify answered
// GOOD needs every piece stored (a write answered GOOD that its faults did not drop nor cut
// short) in the same boot session (since a GOOD
// boot-mode command, for a drive with boot mode) and since the last rewrite request the drive
// carried out; nor does a drive with boot mode answer GOOD to a download write or read-back before
// it. The drive's fault plan is replayed to see flipped bits, dropped writes, data phases cut
// short and commands that never ran. Empty when every rewrite and verify was earned.
std::string unearned_rewrite(const std::vector<TranscriptLine>& lines, const sim::DriveSettings& drive, bool compare);

// Every rule a whole run must keep, after `run` returned `exit_code`: one text per broken rule.
//  - the exit code is the one of the recorded result code;
//  - success (code 0) is reported only when a drive's ROM now holds the carried image and, with the
//    verify step on, the drive's last word on it was a good verify;
//  - a drive's ROM changes to the carried image only in a run that reports success or a failed
//    verify phase (code 600), which comes after a good rewrite;
//  - no drive got a rewrite or verify whose download was not complete (unearned_rewrite);
//  - no device handle stays open and no volume stays locked.
std::vector<std::string> broken_rules(const Machine& m, std::int32_t exit_code);

}  // namespace tz::reliability
