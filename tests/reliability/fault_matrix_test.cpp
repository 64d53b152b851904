// Every fault a drive can play, at every step of a run where it can strike, each as a whole
// program run over pass-through (Windows XP) and over ASPI (Windows 98): the result code and
// message it must end with, the screens the user meets, the exit code, and whether the drive holds
// the new firmware afterwards. Every cell also keeps the rules of every run (whole_run.h).
//
// How the steps are reached: the update downloads 1097 pieces per attempt (the info block at
// offset 0, then payload block i at 368 + 1024 i), each read back; a fault with an offset strikes
// that piece in every attempt, one with a count strikes the nth command of its kind since the
// drive started. A user's run asks for the tray state (GET EVENT STATUS NOTIFICATION) while
// probing, after the candidate decision, after the notice, after the start confirmation and in
// the preparation: the fifth query is the preparation's. "GOOD without storing" is a fault of
// download writes only, and the release sends no command, so those cells do not exist.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/context.h"
#include "core/run_result.h"
#include "sim/tool/carried_image.h"
#include "tests/reliability/whole_run.h"
#include "tests/support/temp_folder.h"

namespace tz::reliability {
namespace {

using sim::CommandKind;
using sim::FaultAction;
using namespace screen;

constexpr std::uint32_t always = 1000000;  // `times`: every command of the kind from the nth on
constexpr std::uint32_t pieces = 1097;     // download commands of a kind per attempt
constexpr std::uint32_t info_block = 0;
constexpr std::uint32_t block(std::uint32_t i) { return 368 + 1024 * i; }

// The nth command of a kind, and `times` more in a row.
sim::FaultRule nth(CommandKind kind, FaultAction action, std::uint32_t n = 1, std::uint32_t times = 1) {
  sim::FaultRule r;
  r.kind = kind;
  r.action = action;
  r.nth = n;
  r.times = times;
  return r;
}
sim::FaultRule every(CommandKind kind, FaultAction action) { return nth(kind, action, 1, always); }
// Every read-back of one piece of `length` bytes answered GOOD a few bytes short: `missing` of 1 to
// 48 still brings the whole data part behind the 48-byte header, so only a count taken against the
// whole piece tells.
sim::FaultRule read_short_by(std::uint32_t offset, std::uint32_t length, std::uint32_t missing,
                             std::uint32_t from = 1) {
  sim::FaultRule r = nth(CommandKind::read, FaultAction::short_transfer, from, always);
  r.offset = offset;
  r.moved = length - missing;
  return r;
}
// Every download command of a kind at one piece, from the nth command of the kind on.
sim::FaultRule at_piece(CommandKind kind, FaultAction action, std::uint32_t offset, std::uint32_t from = 1) {
  sim::FaultRule r = nth(kind, action, from, always);
  r.offset = offset;
  return r;
}

// The drive of every cell: firmware 1.00 (older than the image), tray open; and how it deviates.
enum class Drive : std::uint8_t {
  ready,
  tray_stays_shut,        // tray closed, and it never opens
  lock_refused,           // the system refuses to lock its volume
  removable,              // the system reports its letter as a removable drive
  tray_jams_at_update,    // the tray is pushed in as the update screen opens, and jams
  second_unlock_refused,  // a second target, whose volume the system will not unlock
};

enum class Mode : std::uint8_t { user, silent };

struct Expect {
  std::int32_t code;
  const char* message;
  std::vector<std::uint16_t> screens;
  std::int32_t exit_code;
  bool updated;  // the drive's ROM holds the carried image afterwards
};

struct Cell {
  const char* fault;
  std::vector<sim::FaultRule> rules;
  Expect expect;
  Drive drive = Drive::ready;
  Mode mode = Mode::user;
  std::vector<int> tray_answers = {};         // the user's buttons on the tray prompt, in order
  std::optional<Expect> aspi = std::nullopt;  // where a run over ASPI ends otherwise
};

struct Step {
  const char* name;
  std::vector<Cell> cells;
};

constexpr int ok = 1;
constexpr int leave = 2;

const std::vector<std::uint16_t> user_update = {processing, notice, start, progress};
std::vector<std::uint16_t> then(std::vector<std::uint16_t> screens, std::uint16_t last) {
  screens.push_back(last);
  return screens;
}

const Expect updated{0, "", then(user_update, success), 0, true};
const Expect updated_silently{0, "", {processing, progress}, 0, true};
Expect write_failed(const char* message) { return {500, message, then(user_update, update_failure), 5, false}; }
// A failed verify phase leaves the ROM rewritten.
Expect verify_failed(const char* message) { return {600, message, then(user_update, update_failure), 6, true}; }
const Expect not_found{100, "Supported drive is not found.(2)", {processing, not_applicable}, 1, false};
const Expect preparation_failed = write_failed("Drive preparation failed.(1)");
const Expect eject_failed_21{802, "Eject failed.(21)", then(user_update, eject_failed), 8, false};
// A rewrite refused in every attempt is a failed update, shown on the update failure screen.
const Expect rewrite_refused{300, "Illegal F/W file.(1)", then(user_update, update_failure), 3, false};

std::vector<Step> steps() {
  const auto check = FaultAction::check;
  const auto fail = FaultAction::fail;
  const auto busy = FaultAction::busy;
  const auto hang = FaultAction::hang;
  const auto drop = FaultAction::drop;
  const auto flip = FaultAction::flip;
  const auto cut = FaultAction::short_transfer;
  const auto identity = CommandKind::identity;
  const auto event = CommandKind::event_status;
  const auto vendor = CommandKind::vendor_status;
  const auto prepare = CommandKind::prepare;
  const auto write = CommandKind::write;
  const auto read = CommandKind::read;
  const auto rewrite = CommandKind::rewrite;
  const auto verify = CommandKind::verify;
  const auto silent = Mode::silent;
  return {
      // Five tries; a drive whose block cannot be read is no candidate.
      {"identity read",
       {
           {"command fails every time", {every(identity, check)}, not_found},
           {"transport fails every time", {every(identity, fail)}, not_found},
           {"BUSY every time", {every(identity, busy)}, not_found},
           {"command fails once", {nth(identity, check)}, updated},
           {"never completes once", {nth(identity, hang)}, updated},
           // A flipped bit inside the block fails its checks and the block is read again; one in
           // the rest of the reply is never looked at.
           {"a bit flipped once", {nth(identity, flip)}, updated},
       }},
      // GET EVENT STATUS NOTIFICATION, then the vendor status read; a tray that cannot be read is
      // asked for like a closed one, and in silent mode taken as open while probing.
      {"tray",
       {
           {"event status fails: the vendor read answers", {nth(event, check)}, updated},
           {"event status: transport fails once", {nth(event, fail)}, updated},
           {"event status never completes once", {nth(event, hang)}, updated},
           {"both queries fail once: the user is asked, the next query reads it",
            {nth(event, check), nth(vendor, check)},
            {0, "", {processing, tray_prompt, processing, notice, start, progress, success}, 0, true},
            Drive::ready,
            Mode::user,
            {ok}},
           {"both queries fail every time: the user leaves",
            {every(event, check), every(vendor, check)},
            {-1, "", {processing, tray_prompt}, 8, false},
            Drive::ready,
            Mode::user,
            {leave}},
           // Taken as open while probing; the preparation's check after the eject then fails.
           {"both queries fail every time, silent",
            {every(event, check), every(vendor, check)},
            {802, "Eject failed.(21)", {processing, progress}, 8, false},
            Drive::ready,
            silent},
           {"stays shut: OK does not help, the user leaves",
            {},
            {-1, "", {processing, tray_prompt, processing, tray_prompt}, 8, false},
            Drive::tray_stays_shut,
            Mode::user,
            {ok, leave}},
           {"stays shut, silent",
            {},
            {802, "Eject failed.(1)", {processing}, 8, false},
            Drive::tray_stays_shut,
            silent},
       }},
      // Runs once, before the first attempt; its failures end the update.
      {"preparation",
       {
           {"boot-mode command fails", {nth(prepare, check)}, preparation_failed},
           {"boot-mode command: transport fails", {nth(prepare, fail)}, preparation_failed},
           {"boot-mode command: BUSY", {nth(prepare, busy)}, preparation_failed},
           {"boot-mode command never completes", {nth(prepare, hang)}, preparation_failed},
           {"eject fails: its result is not looked at", {nth(CommandKind::start_stop, check)}, updated},
           {"readiness polls fail: not looked at", {every(CommandKind::test_unit_ready, check)}, updated},
           {"tray cannot be read after the eject",
            {nth(event, check, 5, always), every(vendor, check)},
            eject_failed_21},
           {"tray stays shut: pushed in as the update starts", {}, eject_failed_21, Drive::tray_jams_at_update},
       }},
      // Written, read back and compared in every attempt; ten attempts.
      {"info block",
       {
           {"write fails every attempt", {at_piece(write, check, info_block)}, write_failed("Download error.(13)")},
           {"write: transport fails every attempt",
            {at_piece(write, fail, info_block)},
            write_failed("Download error.(13)")},
           {"write: BUSY every attempt", {at_piece(write, busy, info_block)}, write_failed("Download error.(13)")},
           {"write never completes, every attempt",
            {at_piece(write, hang, info_block)},
            write_failed("Download error.(13)")},
           {"write never completes once", {nth(write, hang)}, updated},
           {"GOOD without storing once", {nth(write, drop)}, updated},
           {"GOOD without storing, every attempt",
            {at_piece(write, drop, info_block)},
            write_failed("Download error.(11)")},
       }},
      // A failure ends the attempt; the next one starts again from the info block.
      {"payload",
       {
           {"write fails once", {nth(write, check, 3)}, updated},
           {"write fails every attempt", {at_piece(write, check, block(1))}, write_failed("Download error.(33)")},
           {"write: transport fails every attempt",
            {at_piece(write, fail, block(1))},
            write_failed("Download error.(33)")},
           {"write never completes once", {nth(write, hang, 3)}, updated},
           {"GOOD without storing, every attempt",
            {at_piece(write, drop, block(1))},
            write_failed("Download error.(31)")},
           {"the last block's write fails once", {nth(write, check, pieces)}, updated},
           {"write GOOD with no data taken, every attempt",
            {at_piece(write, cut, block(1))},
            write_failed("Download error.(31)")},
       }},
      {"read-back",
       {
           {"info block read fails every attempt",
            {at_piece(read, check, info_block)},
            write_failed("Download error.(12)")},
           {"info block comes back with a bit flipped, every attempt",
            {at_piece(read, flip, info_block)},
            write_failed("Download error.(11)")},
           {"block read fails every attempt", {at_piece(read, check, block(1))}, write_failed("Download error.(32)")},
           {"block read: transport fails every attempt",
            {at_piece(read, fail, block(1))},
            write_failed("Download error.(32)")},
           {"block read never completes once", {nth(read, hang, 3)}, updated},
           {"a bit flipped once", {nth(read, flip, 3)}, updated},
           {"a bit flipped, every attempt", {at_piece(read, flip, block(1))}, write_failed("Download error.(31)")},
           // The piece just written still lies in the receive area: only an honest count tells.
           {"info block GOOD with no data, every attempt",
            {at_piece(read, cut, info_block)},
            write_failed("Download error.(12)")},
           {"block GOOD with no data, every attempt",
            {at_piece(read, cut, block(1))},
            write_failed("Download error.(32)")},
           {"GOOD with no data once", {nth(read, cut, 3)}, updated},
           {"info block GOOD one byte short, every attempt",
            {read_short_by(info_block, 416, 1)},
            write_failed("Download error.(12)")},
           {"info block GOOD a header's length short, every attempt",
            {read_short_by(info_block, 416, 48)},
            write_failed("Download error.(12)")},
           {"block GOOD one byte short, every attempt",
            {read_short_by(block(1), 1072, 1)},
            write_failed("Download error.(32)")},
           {"block GOOD a header's length short, every attempt",
            {read_short_by(block(1), 1072, 48)},
            write_failed("Download error.(32)")},
           {"block GOOD one byte short once",
            {[] {
              sim::FaultRule r = nth(CommandKind::read, FaultAction::short_transfer, 3);
              r.moved = 1071;
              return r;
            }()},
            updated},
       }},
      // A refused rewrite is tried again after a whole new download.
      {"rewrite",
       {
           {"refused once", {nth(rewrite, check)}, updated},
           {"refused every attempt", {every(rewrite, check)}, rewrite_refused},
           {"transport fails once", {nth(rewrite, fail)}, updated},
           // ASPI never aborts a rewrite: once its longest wait is over, the manager keeps the
           // request and nothing more reaches the drive.
           {"never completes once", {nth(rewrite, hang)}, updated, Drive::ready, Mode::user, {}, rewrite_refused},
       }},
      // A whole new download, then the verify, against the ROM already rewritten.
      {"verify",
       {
           {"fails once", {nth(verify, check)}, updated},
           // The rewrite request emptied the area: the read-back shows the piece missing.
           {"a block's write GOOD without storing once", {nth(write, drop, pieces + 2)}, updated},
           {"fails every attempt", {every(verify, check)}, verify_failed("Verify error.(1)")},
           {"transport fails once", {nth(verify, fail)}, updated},
           {"never completes once",
            {nth(verify, hang)},
            updated,
            Drive::ready,
            Mode::user,
            {},
            verify_failed("Verify error.(1)")},
           {"info block write fails, every attempt",
            {at_piece(write, check, info_block, pieces + 1)},
            verify_failed("Download error.(13)")},
           {"a block comes back flipped, every attempt",
            {at_piece(read, flip, block(1), pieces + 1)},
            verify_failed("Download error.(31)")},
           {"a block comes back GOOD with no data, every attempt",
            {at_piece(read, cut, block(1), pieces + 1)},
            verify_failed("Download error.(32)")},
           {"a block comes back GOOD a header's length short, every attempt",
            {read_short_by(block(1), 1072, 48, pieces + 1)},
            verify_failed("Download error.(32)")},
       }},
      // Only behind a drive letter is there a volume to lock.
      {"in-use check",
       {
           {"volume lock refused",
            {},
            {-1, "", {processing, in_use}, 8, false},
            Drive::lock_refused,
            Mode::user,
            {},
            updated},
           {"volume lock refused, silent",
            {},
            {100, "Drive is using.(1)", {processing}, 1, false},
            Drive::lock_refused,
            silent,
            {},
            updated_silently},
       }},
      // The system reports removable drives only behind a letter; with no target left the run ends
      // as one that found no supported drive.
      {"drive choice",
       {
           {"reported removable",
            {},
            {100, "Supported drive is not found.(3)", {processing, not_applicable}, 1, false},
            Drive::removable,
            Mode::user,
            {},
            updated},
       }},
      // The update closed its handle, which ended its lock; the other target's lock and handle go
      // back whatever the system answers.
      {"release",
       {
           {"the other target's unlock refused", {}, updated_silently, Drive::second_unlock_refused, silent},
       }},
  };
}

struct Case {
  std::string step;
  Cell cell;
};

// What a failing cell prints for its parameter.
void PrintTo(const Case& c, std::ostream* out) { *out << c.step << ": " << c.cell.fault; }

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const Step& step : steps()) {
    for (const Cell& cell : step.cells) all.push_back({step.name, cell});
  }
  return all;
}

std::string case_name(const ::testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char c : info.param.step + " " + info.param.cell.fault) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word) {
      name += c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

void set_up(Machine& m, const Cell& c) {
  sim::DriveSettings s;
  s.tray_open = true;
  for (const sim::FaultRule& r : c.rules) s.faults.add_rule(r);
  s.tray_open = c.drive != Drive::tray_stays_shut;
  s.tray_stuck = c.drive == Drive::tray_stays_shut;
  s.lock_refused = c.drive == Drive::lock_refused;
  s.removable = c.drive == Drive::removable;
  sim::SimDrive& d = m.add(s);
  if (c.drive == Drive::tray_jams_at_update) {
    m.host.dialogs.on_open = [&d](std::uint16_t template_id) {
      if (template_id != progress) return;
      d.settings().tray_stuck = true;
      d.set_tray(false, false);
    };
  }
  if (c.drive == Drive::second_unlock_refused) {
    m.add(s);
    m.host.devices.refuse_unlock(m.letter(1));
  }
  for (const int answer : c.tray_answers) m.host.dialogs.press(tray_prompt, answer);
  m.host.dialogs.press(notice, ok);
  m.host.dialogs.press(start, ok);
}

class FaultMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, EndsAsItMust) {
  const Cell& c = GetParam().cell;
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(via_name(via));
    const Expect& e = via == Via::aspi && c.aspi.has_value() ? *c.aspi : c.expect;
    Machine m(via);
    set_up(m, c);
    const std::int32_t exit_code = m.run(c.mode == Mode::silent ? "/AU" : "");
    EXPECT_EQ(result_code(m.ctx->app.result), e.code);
    EXPECT_STREQ(result_message(m.ctx->app.result), e.message);
    EXPECT_EQ(m.screens(), e.screens);
    EXPECT_EQ(exit_code, e.exit_code);
    EXPECT_EQ(sim::rom_is_carried_image(m.drives[0].rom()), e.updated);
    // A request the drive never answers ends the ASPI wait with a message box, shown to a user.
    std::size_t hung = 0;
    for (const TranscriptLine& line : m.transcript.lines(m.address(0))) hung += line.hung ? 1 : 0;
    const std::size_t boxes = via == Via::aspi && c.mode == Mode::user ? hung : 0;
    EXPECT_EQ(m.message_boxes(), std::vector<std::string>(boxes, "WaitForSingleObject Timeout"));
    for (const std::string& broken : broken_rules(m, exit_code)) ADD_FAILURE() << broken;
  }
}

// The trace only watches: in every cell the run with "/TRO" sends the drive exactly the commands
// of the run without it and ends alike. The host's clock stands still between the two runs, so
// even the identity reads' keys agree.
TEST_P(FaultMatrix, ATracedRunSendsTheSameCommands) {
  const Cell& c = GetParam().cell;
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(via_name(via));
    const std::string arguments = c.mode == Mode::silent ? "/AU" : "";
    Machine plain(via);
    set_up(plain, c);
    const std::int32_t plain_exit = plain.run(arguments);
    const test::TempFolder folder("tz594k-matrix-");
    Machine traced(via);
    set_up(traced, c);
    traced.host.files.set_current_folder(folder.path);
    folder.make_program_folder();
    EXPECT_EQ(traced.run(arguments + " /TRO"), plain_exit);
    EXPECT_EQ(folder.files(".trace").size(), 1u);
    EXPECT_EQ(result_code(traced.ctx->app.result), result_code(plain.ctx->app.result));
    EXPECT_TRUE(traced.transcript.text() == plain.transcript.text()) << "the traced run sent other commands";
  }
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::ValuesIn(cases()), case_name);

}  // namespace
}  // namespace tz::reliability
