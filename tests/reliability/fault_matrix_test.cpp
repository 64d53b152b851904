// Every fault a drive can play, at every step of a run where it can strike, each as a whole
// program run over pass-through (Windows XP) and over ASPI (Windows 98): the result code and
// message it must end with, the screens the user meets, the exit code, and whether the drive holds
// the new firmware afterwards. Every cell also keeps the rules of every run (whole_run.h).
//
// How the steps are reached: the update downloads 1097 pieces per attempt (the info block at
// offset 0, then payload block i at 368 + 1024 i), each read back; a fault with an offset strikes
// that piece in every attempt, one with a count strikes the nth command of its kind since the
// drive started. A user run asks the tray (GET EVENT STATUS NOTIFICATION) while probing, after the
// candidate decision, after the notice, after the start confirmation and in the preparation: the
// fifth query is the preparation's.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/run_result.h"
#include "sim/tool/carried_image.h"
#include "tests/reliability/whole_run.h"

namespace tz::reliability {
namespace {

using sim::CommandKind;
using sim::FaultAction;
using namespace screen;

constexpr std::uint32_t always = 1000000;  // `times`: every command of the kind from the nth on

constexpr std::uint32_t block(std::uint32_t i) { return 368 + 1024 * i; }
constexpr std::uint32_t info_block = 0;
constexpr std::uint32_t pieces = 1097;  // commands of a kind per download

sim::FaultRule rule(CommandKind kind, FaultAction action, std::uint32_t nth = 1, std::uint32_t times = 1,
                    std::uint32_t offset = sim::any_offset) {
  sim::FaultRule r;
  r.kind = kind;
  r.action = action;
  r.nth = nth;
  r.times = times;
  r.offset = offset;
  return r;
}
sim::FaultRule at_piece(CommandKind kind, FaultAction action, std::uint32_t offset, std::uint32_t from_nth = 1) {
  return rule(kind, action, from_nth, always, offset);
}

// The drive of every cell: firmware 1.00 (older than the image), tray open; and how it deviates.
enum class Drive : std::uint8_t {
  ready,
  tray_stays_shut,        // tray closed and it never opens
  lock_refused,           // the system refuses to lock its volume
  removable,              // the system reports its letter as a removable drive
  tray_jams_at_update,    // the tray is pushed in as the update screen opens, and jams
  second_unlock_refused,  // a second target, whose volume the system will not unlock
};

enum class Mode : std::uint8_t { user, silent };

struct Click {
  std::uint16_t screen;
  int control;
};

struct Expect {
  std::int32_t code;
  const char* message;
  std::vector<std::uint16_t> screens;
  std::int32_t exit_code;
  bool updated;  // the drive's ROM holds the carried image afterwards
};

struct Cell {
  const char* step;
  const char* fault;
  std::vector<sim::FaultRule> rules;
  Drive drive;
  Mode mode;
  std::vector<Click> clicks;
  Expect expect;
  std::optional<Expect> aspi = std::nullopt;  // where ASPI ends otherwise
  int hangs = 0;  // commands that never complete: each ends an ASPI wait with its message box
  const char* note = "";
};

const std::vector<Click> consent = {{notice, 1}, {start, 1}};
const std::vector<std::uint16_t> user_updated = {processing, notice, start, progress, success};
const std::vector<std::uint16_t> user_failed = {processing, notice, start, progress, update_failure};
const std::vector<std::uint16_t> user_no_result_screen = {processing, notice, start, progress};
const std::vector<std::uint16_t> user_eject_failed = {processing, notice, start, progress, eject_failed};
const std::vector<std::uint16_t> silent_update = {processing, progress};

const Expect updated{0, "", user_updated, 0, true};
Expect write_failed(const char* message) { return {500, message, user_failed, 5, false}; }
Expect verify_failed(const char* message) { return {600, message, user_failed, 6, true}; }

std::vector<Cell> cells() {
  const auto check = FaultAction::check;
  const auto fail = FaultAction::fail;
  const auto busy = FaultAction::busy;
  const auto hang = FaultAction::hang;
  const auto drop = FaultAction::drop;
  const auto flip = FaultAction::flip;
  const auto id = CommandKind::identity;
  const auto event = CommandKind::event_status;
  const auto vendor = CommandKind::vendor_status;
  const auto write = CommandKind::write;
  const auto read = CommandKind::read;
  const auto ready = Drive::ready;
  const auto user = Mode::user;
  const auto silent = Mode::silent;
  const Expect not_found{100, "Supported drive is not found.(2)", {processing, not_applicable}, 1, false};
  const Expect preparation_failed{500, "Drive preparation failed.(1)", user_failed, 5, false};
  const Expect eject_failed_21{802, "Eject failed.(21)", user_eject_failed, 8, false};
  const Expect rewrite_refused{300, "Illegal F/W file.(1)", user_no_result_screen, 3, false};
  return {
      // The identity read: five tries; a drive whose block cannot be read is no candidate.
      {"identity read", "command fails, every time", {rule(id, check, 1, always)}, ready, user, {}, not_found},
      {"identity read", "transport fails, every time", {rule(id, fail, 1, always)}, ready, user, {}, not_found},
      {"identity read", "BUSY, every time", {rule(id, busy, 1, always)}, ready, user, {}, not_found},
      {"identity read", "command fails once", {rule(id, check)}, ready, user, consent, updated},
      {"identity read", "never completes, once", {rule(id, hang)}, ready, user, consent, updated, {}, 1},

      // The tray: GET EVENT STATUS NOTIFICATION, then the vendor status read; a tray that cannot
      // be read is asked for like a closed one, and in silent mode taken as open.
      {"tray", "event status fails: the vendor read answers", {rule(event, check)}, ready, user, consent, updated},
      {"tray", "transport fails on the event status once", {rule(event, fail)}, ready, user, consent, updated},
      {"tray", "event status never completes, once", {rule(event, hang)}, ready, user, consent, updated, {}, 1},
      {"tray",
       "both queries fail once: the user is asked and the next query reads it",
       {rule(event, check), rule(vendor, check)},
       ready,
       user,
       {{tray_prompt, 1}, {notice, 1}, {start, 1}},
       {0, "", {processing, tray_prompt, processing, notice, start, progress, success}, 0, true}},
      {"tray",
       "both queries fail every time: the user leaves",
       {rule(event, check, 1, always), rule(vendor, check, 1, always)},
       ready,
       user,
       {{tray_prompt, 2}},
       {-1, "", {processing, tray_prompt}, 8, false}},
      {"tray",
       "both queries fail every time, silent",
       {rule(event, check, 1, always), rule(vendor, check, 1, always)},
       ready,
       silent,
       {},
       {802, "Eject failed.(21)", silent_update, 8, false},
       {},
       0,
       "taken as open while probing; the preparation's check after the eject then fails"},
      {"tray",
       "tray stays shut: OK does not help, the user leaves",
       {},
       Drive::tray_stays_shut,
       user,
       {{tray_prompt, 1}, {tray_prompt, 2}},
       {-1, "", {processing, tray_prompt, processing, tray_prompt}, 8, false}},
      {"tray",
       "tray stays shut, silent",
       {},
       Drive::tray_stays_shut,
       silent,
       {},
       {802, "Eject failed.(1)", {processing}, 8, false}},

      // The preparation runs once, before the first attempt; its failures end the update.
      {"preparation",
       "boot-mode command fails",
       {rule(CommandKind::prepare, check)},
       ready,
       user,
       consent,
       preparation_failed},
      {"preparation",
       "boot-mode command: transport fails",
       {rule(CommandKind::prepare, fail)},
       ready,
       user,
       consent,
       preparation_failed},
      {"preparation",
       "boot-mode command: BUSY",
       {rule(CommandKind::prepare, busy)},
       ready,
       user,
       consent,
       preparation_failed},
      {"preparation",
       "boot-mode command never completes",
       {rule(CommandKind::prepare, hang)},
       ready,
       user,
       consent,
       preparation_failed,
       {},
       1},
      {"preparation",
       "eject command fails: its result is not looked at",
       {rule(CommandKind::start_stop, check)},
       ready,
       user,
       consent,
       updated},
      {"preparation",
       "readiness polls fail: not looked at",
       {rule(CommandKind::test_unit_ready, check, 1, always)},
       ready,
       user,
       consent,
       updated},
      {"preparation",
       "tray cannot be read after the eject",
       {rule(event, check, 5, always), rule(vendor, check, 1, always)},
       ready,
       user,
       consent,
       eject_failed_21},
      {"preparation",
       "tray stays shut: pushed in as the update starts",
       {},
       Drive::tray_jams_at_update,
       user,
       consent,
       eject_failed_21},

      // The info block: written, read back and compared in every attempt; ten attempts.
      {"info block",
       "write fails, every attempt",
       {at_piece(write, check, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(13)")},
      {"info block",
       "write: transport fails, every attempt",
       {at_piece(write, fail, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(13)")},
      {"info block",
       "write: BUSY, every attempt",
       {at_piece(write, busy, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(13)")},
      {"info block",
       "write never completes, every attempt",
       {at_piece(write, hang, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(13)"),
       {},
       10},
      {"info block", "write never completes, once", {rule(write, hang)}, ready, user, consent, updated, {}, 1},
      {"info block", "GOOD without storing, once", {rule(write, drop)}, ready, user, consent, updated},
      {"info block",
       "GOOD without storing, every attempt",
       {at_piece(write, drop, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(11)")},

      // Payload blocks: a failure ends the attempt, the next one starts again from the info block.
      {"payload", "write fails once", {rule(write, check, 3)}, ready, user, consent, updated},
      {"payload",
       "write fails, every attempt",
       {at_piece(write, check, block(1))},
       ready,
       user,
       consent,
       write_failed("Download error.(33)")},
      {"payload",
       "write: transport fails, every attempt",
       {at_piece(write, fail, block(1))},
       ready,
       user,
       consent,
       write_failed("Download error.(33)")},
      {"payload", "write never completes, once", {rule(write, hang, 3)}, ready, user, consent, updated, {}, 1},
      {"payload",
       "GOOD without storing, every attempt",
       {at_piece(write, drop, block(1))},
       ready,
       user,
       consent,
       write_failed("Download error.(31)")},
      {"payload", "the last block's write fails once", {rule(write, check, pieces)}, ready, user, consent, updated},

      // Read-back of every piece.
      {"read-back",
       "info block read fails, every attempt",
       {at_piece(read, check, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(12)")},
      {"read-back",
       "info block comes back with a bit flipped, every attempt",
       {at_piece(read, flip, info_block)},
       ready,
       user,
       consent,
       write_failed("Download error.(11)")},
      {"read-back",
       "block read fails, every attempt",
       {at_piece(read, check, block(1))},
       ready,
       user,
       consent,
       write_failed("Download error.(32)")},
      {"read-back",
       "block read: transport fails, every attempt",
       {at_piece(read, fail, block(1))},
       ready,
       user,
       consent,
       write_failed("Download error.(32)")},
      {"read-back", "block read never completes, once", {rule(read, hang, 3)}, ready, user, consent, updated, {}, 1},
      {"read-back", "a bit flipped, once", {rule(read, flip, 3)}, ready, user, consent, updated},
      {"read-back",
       "a bit flipped, every attempt",
       {at_piece(read, flip, block(1))},
       ready,
       user,
       consent,
       write_failed("Download error.(31)")},

      // The ROM rewrite: refused, it is tried again after a whole new download.
      {"rewrite", "refused once", {rule(CommandKind::rewrite, check)}, ready, user, consent, updated},
      {"rewrite",
       "refused every attempt",
       {rule(CommandKind::rewrite, check, 1, always)},
       ready,
       user,
       consent,
       rewrite_refused,
       {},
       0,
       "code 300 has no result screen"},
      {"rewrite", "transport fails once", {rule(CommandKind::rewrite, fail)}, ready, user, consent, updated},
      {"rewrite", "never completes, once", {rule(CommandKind::rewrite, hang)}, ready, user, consent, updated, {}, 1},

      // The verify phase: a whole new download, then the verify; the ROM is already rewritten.
      {"verify", "verify fails once", {rule(CommandKind::verify, check)}, ready, user, consent, updated},
      {"verify",
       "verify fails every attempt",
       {rule(CommandKind::verify, check, 1, always)},
       ready,
       user,
       consent,
       verify_failed("Verify error.(1)")},
      {"verify", "verify: transport fails once", {rule(CommandKind::verify, fail)}, ready, user, consent, updated},
      {"verify",
       "verify never completes, once",
       {rule(CommandKind::verify, hang)},
       ready,
       user,
       consent,
       updated,
       {},
       1},
      {"verify",
       "info block write fails, every verify attempt",
       {at_piece(write, check, info_block, pieces + 1)},
       ready,
       user,
       consent,
       verify_failed("Download error.(13)")},
      {"verify",
       "a block comes back flipped, every verify attempt",
       {at_piece(read, flip, block(1), pieces + 1)},
       ready,
       user,
       consent,
       verify_failed("Download error.(31)")},

      // The volume lock (pass-through only: under ASPI there is no lock to refuse).
      {"in-use check",
       "volume lock refused",
       {},
       Drive::lock_refused,
       user,
       consent,
       {-1, "", {processing, in_use}, 8, false},
       updated},
      {"in-use check",
       "volume lock refused, silent",
       {},
       Drive::lock_refused,
       silent,
       {},
       {100, "Drive is using.(1)", {processing}, 1, false},
       Expect{0, "", silent_update, 0, true}},

      // Drive choice: a removable drive is never updated (the system reports it only behind a letter).
      {"drive choice",
       "reported removable",
       {},
       Drive::removable,
       user,
       consent,
       {100, "Supported drive is not found.(3)", {processing, not_applicable}, 1, false},
       updated,
       0,
       "no target left: reported as no supported drive"},

      // Release: the update closed its handle, which ended its lock; the other target's lock and
      // handle go back whatever the system answers.
      {"release",
       "the other target's unlock refused",
       {},
       Drive::second_unlock_refused,
       silent,
       {},
       {0, "", silent_update, 0, true}},
  };
}

void set_up(Machine& m, const Cell& c) {
  sim::DriveSettings s;
  std::snprintf(s.firmware, sizeof(s.firmware), "1.00");
  s.tray_open = true;
  for (const sim::FaultRule& r : c.rules) s.faults.add_rule(r);
  switch (c.drive) {
    case Drive::tray_stays_shut:
      s.tray_open = false;
      s.tray_stuck = true;
      break;
    case Drive::lock_refused:
      s.lock_refused = true;
      break;
    case Drive::removable:
      s.removable = true;
      break;
    default:
      break;
  }
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
  for (const Click& click : c.clicks) m.host.dialogs.press(click.screen, click.control);
}

TEST(FaultMatrix, EveryFaultAtEveryStepEndsAsItMust) {
  for (const Cell& c : cells()) {
    for (const Via via : {Via::pass_through, Via::aspi}) {
      SCOPED_TRACE(std::string(via_name(via)) + ": " + c.step + ": " + c.fault);
      const Expect& e = via == Via::aspi && c.aspi.has_value() ? *c.aspi : c.expect;
      Machine m(via);
      set_up(m, c);
      const std::int32_t exit_code = m.run(c.mode == Mode::silent ? "/AU" : "");
      EXPECT_EQ(result_code(*m.ctx), e.code);
      EXPECT_STREQ(result_message(*m.ctx), e.message);
      EXPECT_EQ(m.screens(), e.screens);
      EXPECT_EQ(exit_code, e.exit_code);
      EXPECT_EQ(sim::rom_is_carried_image(m.drives[0].rom()), e.updated);
      const bool boxes = via == Via::aspi && c.mode == Mode::user;
      EXPECT_EQ(m.message_boxes(), std::vector<std::string>(boxes ? c.hangs : 0, "WaitForSingleObject Timeout"));
      for (const std::string& broken : broken_rules(m, exit_code)) ADD_FAILURE() << broken;
    }
  }
}

}  // namespace
}  // namespace tz::reliability
