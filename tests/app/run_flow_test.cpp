// Whole runs of the program, from its argument text to its exit code, over simulated drives behind
// either transport on the virtual clock: which screens a user meets in which order, what is
// recorded, the exit code, and what the drives hold afterwards.
#include "app/run_flow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/startup.h"
#include "app/switches.h"
#include "core/run_result.h"
#include "drive/drive_state.h"
#include "drive/drive_table.h"
#include "sim/sim_drive.h"
#include "sim/tool/carried_image.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

using sim::CommandKind;
using sim::DriveSettings;

enum class Via { pass_through, aspi };

// English template ids of the screens a run meets.
constexpr std::uint16_t processing = 237, notice = 192, start = 202, progress = 205, success = 201,
                        update_failure = 193, selection = 191, not_applicable = 239, already_updated = 221,
                        in_use = 235, invalid_option = 219, tray_prompt = 280, version = 223, detail = 242,
                        copyright = 243;

DriveSettings at_level(const char* revision, bool tray_open = true) {
  DriveSettings s;
  std::snprintf(s.firmware, sizeof(s.firmware), "%s", revision);
  s.tray_open = tray_open;
  return s;
}

DriveSettings with_flags(DriveSettings s, bool removable, bool lock_refused, bool tray_stuck = false) {
  s.removable = removable;
  s.lock_refused = lock_refused;
  s.tray_stuck = tray_stuck;
  return s;
}

DriveSettings with_fault(DriveSettings s, CommandKind kind, std::uint32_t nth, std::uint32_t times) {
  sim::FaultRule r;
  r.kind = kind;
  r.action = sim::FaultAction::check;
  r.nth = nth;
  r.times = times;
  s.faults.add_rule(r);
  return s;
}

// The emulated machine: Windows XP (pass-through, drives behind D:, E:, ...) or Windows 98 (ASPI,
// drives at adapter 0, targets 1, 2, ...), English screens.
struct Machine : test::Fixture {
  Via via;
  std::deque<sim::SimDrive> drives;

  explicit Machine(Via v) : via(v) {
    if (v == Via::pass_through) {
      host.system.set_version(2, 5, 1, 2600);
    } else {
      host.system.set_version(1, 4, 10, 0x040A08AE);
    }
    host.system.set_locale("00000409");
  }
  sim::SimDrive& add(const DriveSettings& settings) {
    drives.emplace_back(settings);
    sim::SimDrive& d = drives.back();
    const auto n = static_cast<std::uint8_t>(drives.size());
    if (via == Via::pass_through) {
      host.devices.attach(static_cast<char>('C' + n), d);
    } else {
      host.aspi.attach(0, n, d);
    }
    return d;
  }
  std::int32_t run(const std::string& arguments) {
    host.system.command_line_text = "\"C:\\Loader\\TZ594K_for_ZEMO_V101.exe\" " + arguments;
    return program_entry(*ctx, arguments.c_str());
  }
  std::vector<std::uint16_t> screens() const { return host.dialogs.opened_templates(); }
};

// A user's answer: a click on a control of a screen.
struct Click {
  std::uint16_t screen;
  int control;
};

struct RunCase {
  const char* what;
  std::vector<DriveSettings> bay;
  std::string arguments;
  std::vector<Click> clicks;
  std::int32_t code;
  std::int32_t exit_code;
  std::vector<std::uint16_t> screens;
  std::vector<bool> updated;       // per drive: its ROM holds the carried image afterwards
  bool pass_through_only = false;  // volumes and drive types exist only behind drive letters
};

const DriveSettings older = at_level("1.00");
const DriveSettings current = at_level("1.01");
const std::vector<Click> consent = {{notice, 1}, {start, 1}};

std::vector<RunCase> run_cases() {
  return {
      {"one drive, the user agrees",
       {older},
       "",
       consent,
       0,
       0,
       {processing, notice, start, progress, success},
       {true}},
      {"silent", {older}, "/AU", {}, 0, 0, {processing, progress}, {true}},
      {"launcher loads it silently", {older}, "/LauncherLoading /AU /LFO", {}, 0, 0, {progress}, {true}},
      {"launcher check, update needed", {older}, "/LauncherRunCheck", {}, -1, 1001, {}, {false}},
      {"launcher check, no drive", {}, "/LauncherRunCheck", {}, 100, 1, {}, {}},
      {"launcher check, already updated", {current}, "/LauncherRunCheck", {}, 401, 99, {}, {false}},
      {"no drive", {}, "", {}, 100, 1, {processing, not_applicable}, {}},
      {"only a level that cannot take the image",
       {at_level("0.80")},
       "",
       {},
       400,
       4,
       {processing, not_applicable},
       {false}},
      {"already updated", {current}, "", {}, 401, 99, {processing, already_updated}, {false}},
      {"already updated, silent", {current}, "/AU", {}, 401, 99, {processing}, {false}},
      {"two targets, silent: the first", {older, older}, "/AU", {}, 0, 0, {processing, progress}, {true, false}},
      {"two targets, the user leaves the choice",
       {older, older},
       "",
       {{selection, 2}},
       -1,
       8,
       {processing, selection},
       {false, false}},
      {"the user leaves the notice", {older}, "", {{notice, 2}}, -1, 8, {processing, notice}, {false}},
      {"the user leaves the start confirmation",
       {older},
       "",
       {{notice, 1}, {start, 2}},
       -1,
       8,
       {processing, notice, start},
       {false}},
      {"the user leaves the tray prompt while probing",
       {at_level("1.00", false)},
       "",
       {{tray_prompt, 2}},
       -1,
       8,
       {processing, tray_prompt},
       {false}},
      {"silent: a tray that cannot be opened",
       {with_flags(at_level("1.00", false), false, false, true)},
       "/AU",
       {},
       802,
       8,
       {processing},
       {false}},
      {"rewrite refused ten times",
       {with_fault(older, CommandKind::rewrite, 1, 10)},
       "",
       consent,
       300,
       3,
       {processing, notice, start, progress, update_failure},
       {false}},
      {"verify fails ten times",
       {with_fault(older, CommandKind::verify, 1, 10)},
       "",
       consent,
       600,
       6,
       {processing, notice, start, progress, update_failure},
       {true}},
      {"writes fail: the drive went away",
       {with_fault(older, CommandKind::write, 1, 100000)},
       "/AU",
       {},
       500,
       5,
       {processing, progress},
       {false}},
      {"a drive in use", {with_flags(older, false, true)}, "", {}, -1, 8, {processing, in_use}, {false}, true},
      {"a drive in use, silent", {with_flags(older, false, true)}, "/AU", {}, 100, 1, {processing}, {false}, true},
      {"the only target is removable",
       {with_flags(older, true, false)},
       "",
       {},
       100,
       1,
       {processing, not_applicable},
       {false},
       true},
      {"a removable target is passed over",
       {with_flags(older, true, false), older},
       "/AU",
       {},
       0,
       0,
       {processing, progress},
       {false, true},
       true},
      {"detection, a drive needs the update", {at_level("1.00", false)}, "/DC", {}, -1, 1001, {}, {false}},
      {"detection, already updated", {at_level("1.01", false)}, "/dc /AU", {}, -1, 99, {}, {false}},
      {"detection, no drive", {}, "DetectionCheck /LE", {}, -1, 1, {}, {}},
      {"detection beside the launcher's check is refused", {older}, "/DC /LauncherRunCheck", {}, 700, 7, {}, {false}},
      {"detection beside a print switch is refused", {older}, "/CO /DC", {}, 700, 7, {}, {false}},
      // Refused by the combination rule, which records nothing: no log, exit code 8.
      {"the log beside a print switch", {older}, "/LFO /FVP", {}, -1, 8, {invalid_option}, {false}},
      {"invalid option", {older}, "/XYZ", {}, 700, 7, {invalid_option}, {false}},
      {"invalid option, silent", {older}, "/AU /XYZ", {}, 700, 7, {}, {false}},
      {"a print switch given twice", {older}, "/CO /CO", {}, 701, 7, {invalid_option}, {false}},
      {"version and copyright, no update", {older}, "/FVP /CO", {}, -1, 8, {version, copyright}, {false}},
      {"copyright in silent mode", {older}, "/CO /AU", {}, -1, 8, {copyright}, {false}},
      {"the three print screens in their order",
       {older},
       "/CO FwVersionDetailPrint /FVP " + std::string(access_token_a()),
       {},
       -1,
       8,
       {version, detail, copyright},
       {false}},
  };
}

void press(Machine& m, const std::vector<Click>& clicks) {
  for (const Click& c : clicks) m.host.dialogs.press(c.screen, c.control);
}

TEST(RunFlow, WholeRunsEndWithTheirCodeScreensExitCodeAndDrives) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    for (const RunCase& c : run_cases()) {
      if (c.pass_through_only && via != Via::pass_through) continue;
      SCOPED_TRACE(std::string(via == Via::pass_through ? "pass-through: " : "ASPI: ") + c.what);
      Machine m(via);
      for (const DriveSettings& s : c.bay) m.add(s);
      press(m, c.clicks);
      EXPECT_EQ(m.run(c.arguments), c.exit_code);
      EXPECT_EQ(result_code(m.ctx->app.result), c.code);
      EXPECT_EQ(m.screens(), c.screens);
      for (std::size_t i = 0; i < c.updated.size(); ++i) {
        EXPECT_EQ(sim::rom_is_carried_image(m.drives[i].rom()), c.updated[i]) << "drive " << i;
      }
      EXPECT_EQ(m.host.dialogs.unanswered, 0);
      // Nothing of the drives stays held once the run is over.
      EXPECT_EQ(m.host.devices.open_handle_count(), 0u);
    }
  }
}

TEST(RunFlow, TheUserPicksTheSecondOfTwoDrives) {
  struct Case {
    Via via;
    const char* second_line;
  } cases[] = {
      {Via::pass_through, " (E:) KORVANTA BD-CMB TZ594KS   1.00"},
      {Via::aspi, " [0 2] KORVANTA BD-CMB TZ594KS   1.00"},
  };
  for (const Case& c : cases) {
    Machine m(c.via);
    m.add(older);
    m.add(older);
    m.host.dialogs.pick(selection, 1092, 1);
    m.host.dialogs.press(selection, 1);
    press(m, consent);
    EXPECT_EQ(m.run(""), 0);
    EXPECT_EQ(m.screens(), (std::vector<std::uint16_t>{processing, selection, notice, start, progress, success}));
    const platform::host::HostScreen& list = m.host.dialogs.screens[1];
    ASSERT_EQ(list.lines.at(1092).size(), 2u);
    EXPECT_EQ(list.lines.at(1092)[1], c.second_line);
    EXPECT_FALSE(sim::rom_is_carried_image(m.drives[0].rom()));
    EXPECT_TRUE(sim::rom_is_carried_image(m.drives[1].rom()));
    // The chosen drive is the run's target (7); the other stays a target not chosen (6). Nothing
    // outside the table tells them apart: locks, handles and the log treat both as targets.
    const Context& ctx = *m.ctx;
    ASSERT_EQ(count_drives_by_status(ctx.drive, drive_status_chosen_target), 1u);
    ASSERT_EQ(count_drives_by_status(ctx.drive, drive_status_target), 1u);
    const DriveRecord& chosen = ctx.drive.drive_table[find_drive_by_status(ctx.drive, drive_status_chosen_target, 0)];
    const DriveRecord& other = ctx.drive.drive_table[find_drive_by_status(ctx.drive, drive_status_target, 0)];
    if (c.via == Via::pass_through) {
      EXPECT_STREQ(chosen.device_path, "\\\\.\\E:");
      EXPECT_STREQ(other.device_path, "\\\\.\\D:");
    } else {
      EXPECT_EQ(chosen.target_id, 2);
      EXPECT_EQ(other.target_id, 1);
    }
  }
}

// Detection beside the launcher's check, over the same closed trays: the check ejects them, also
// that of the drive already updated; detection asks each drive INQUIRY and nothing else, with no
// screen, message box or log, also where ASPI is missing or its switches are refused.
TEST(RunFlow, DetectionTouchesNoTrayAndShowsNothing) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(via == Via::pass_through ? "pass-through" : "ASPI");
    {
      Machine m(via);
      m.add(at_level("1.01", false));
      m.add(at_level("1.00", false));
      EXPECT_EQ(m.run("/LauncherRunCheck /AU"), 1001);
      EXPECT_TRUE(m.drives[0].tray_open());
      EXPECT_TRUE(m.drives[1].tray_open());
    }
    {
      Machine m(via);
      m.add(at_level("1.01", false));
      m.add(at_level("1.00", false));
      EXPECT_EQ(m.run("/DC"), 1001);
      for (const sim::SimDrive& d : m.drives) {
        EXPECT_FALSE(d.tray_open());
        EXPECT_EQ(d.count(CommandKind::any), d.count(CommandKind::inquiry));
        EXPECT_EQ(d.count(CommandKind::inquiry), 1u);
      }
      EXPECT_TRUE(m.screens().empty());
      EXPECT_TRUE(m.host.windows.message_boxes.empty());
      EXPECT_EQ(result_code(m.ctx->app.result), -1);
    }
    for (const char* arguments : {"/DC /LFO", "LogFileOutput DetectionCheck /AU"}) {
      Machine m(via);
      m.add(older);
      EXPECT_EQ(m.run(arguments), 7) << arguments;
      EXPECT_TRUE(m.screens().empty()) << arguments;
      EXPECT_FALSE(m.ctx->log.log_path_built) << arguments;  // no log was even named
      EXPECT_EQ(m.drives[0].count(CommandKind::any), 0u) << arguments;
    }
  }
  Machine m(Via::aspi);
  m.host.aspi.library_missing = true;
  EXPECT_EQ(m.run("/DC"), 1);
  EXPECT_TRUE(m.host.windows.message_boxes.empty());  // not even "WNASPI32.DLL Error !!"
}

// The detection answers what the update ends with on the same drives, as far as INQUIRY tells:
// 1001 where the update ends 0, 99 where it ends 99, 4 where it ends 4, 1 where it ends 1.
TEST(RunFlow, TheDetectionAgreesWithTheUpdate) {
  DriveSettings regional = at_level("1.00", false);
  std::memcpy(regional.model_code, "TZ594KR-BDC-0001", 17);
  const struct Case {
    const char* what;
    std::vector<DriveSettings> bay;
    std::int32_t update;     // the silent update's exit code
    std::int32_t detection;  // the detection's
  } cases[] = {
      // Every level of the family: the two the image takes, its own, and the two it never takes.
      {"1.00", {at_level("1.00", false)}, 0, 1001},
      {"0.90", {at_level("0.90", false)}, 0, 1001},
      {"1.01", {at_level("1.01", false)}, 99, 99},
      {"0.80", {at_level("0.80", false)}, 4, 4},
      {"0.50", {at_level("0.50", false)}, 4, 4},
      // Several drives: one the update takes wins, then one at the image's level.
      {"0.80 beside 1.00", {at_level("0.80", false), at_level("1.00", false)}, 0, 1001},
      {"0.80 beside 1.01", {at_level("0.80", false), at_level("1.01", false)}, 99, 99},
      {"no drive", {}, 1, 1},
      // INQUIRY cannot tell this one: the regional model reports the TZ594KS's vendor, product and
      // revision; only its identity block names its model, which the model tables list as known
      // but not updated by this program.
      {"the regional model at 1.00 (INQUIRY alone cannot tell)", {regional}, 4, 1001},
  };
  for (const Case& c : cases) {
    for (const Via via : {Via::pass_through, Via::aspi}) {
      SCOPED_TRACE(std::string(via == Via::pass_through ? "pass-through: " : "ASPI: ") + c.what);
      Machine detection(via);
      for (const DriveSettings& d : c.bay) detection.add(d);
      EXPECT_EQ(detection.run("/DC"), c.detection);
      for (const sim::SimDrive& d : detection.drives) EXPECT_EQ(d.count(CommandKind::any), 1u);
      Machine update(via);
      for (const DriveSettings& d : c.bay) update.add(d);
      EXPECT_EQ(update.run("/AU"), c.update);
    }
  }
}

TEST(RunFlow, AClosedTrayIsOpenedByTheUserAtThePrompt) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    Machine m(via);
    sim::SimDrive& d = m.add(at_level("1.00", false));
    // The user presses the drive's eject button while the prompt stands, then OK.
    m.host.dialogs.on_open = [&d](std::uint16_t id) {
      if (id == tray_prompt) d.set_tray(true, false);
    };
    m.host.dialogs.press(tray_prompt, 1);
    press(m, consent);
    EXPECT_EQ(m.run(""), 0);
    EXPECT_EQ(m.screens().front(), processing);
    EXPECT_EQ(m.screens()[1], tray_prompt);
    EXPECT_EQ(m.screens().back(), success);
    EXPECT_TRUE(sim::rom_is_carried_image(d.rom()));
  }
}

}  // namespace
}  // namespace tz
