// Whole runs on a laptop: the power source is looked at before anything is sent (a silent run:
// before the drive search; a user's: before the progress screen) and again right before the first
// ROM rewrite request, never after one. On battery a silent run ends with "AC power required." and
// a user is asked for the AC adapter; "/IP" lets the run go on. Refused before anything was sent it
// is code 800 (exit code 8); refused after the download, 803 (exit code 5: power off and on first).
// A refused run leaves the old ROM, and every run keeps the rules of every run
// (tests/reliability/whole_run.h).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/context.h"
#include "core/run_result.h"
#include "sim/tool/carried_image.h"
#include "tests/reliability/whole_run.h"

namespace tz {
namespace {

using platform::PowerStatus;
using platform::host::HostScreen;
using reliability::Machine;
using reliability::Via;
using namespace reliability::screen;

constexpr std::uint16_t battery_screen = 295;
constexpr int retry = 1;
constexpr int leave = 2;

const PowerStatus on_ac{1, 128, 255};
const PowerStatus on_battery{0, 1, 80};
const PowerStatus no_battery{0, 128, 255};
const PowerStatus unknown{255, 255, 255};

// When the computer is on battery in a run.
enum class When : std::uint8_t {
  throughout,    // from the start
  from_rewrite,  // the adapter is pulled once the progress screen stands: the check before the rewrite
  // the first rewrite request fails (the drive refuses it, or the request fails in the transport),
  // and the adapter is pulled right after it: the later attempts must go on
  after_failed_rewrite,
  after_unanswered_rewrite,
};

struct Case {
  const char* what;
  std::optional<PowerStatus> power;  // empty: the system lacks the call
  When when;
  std::string arguments;
  std::vector<int> battery_answers;  // the user's buttons on the battery screen, in order
  bool plug_in_at_screen;            // the adapter goes in while the battery screen stands
  std::int32_t code;
  std::int32_t exit_code;
  std::vector<std::uint16_t> screens;
  std::uint32_t rewrites;
};

const std::vector<std::uint16_t> asked = {processing, notice, start};
std::vector<std::uint16_t> then(std::vector<std::uint16_t> screens, std::vector<std::uint16_t> more) {
  screens.insert(screens.end(), more.begin(), more.end());
  return screens;
}

std::vector<Case> cases() {
  return {
      // Power states that go on as ever, a user's run and a silent one.
      {"on AC", on_ac, When::throughout, "", {}, false, 0, 0, then(asked, {progress, success}), 1},
      {"on AC, silent", on_ac, When::throughout, "/AU", {}, false, 0, 0, {processing, progress}, 1},
      {"no system battery", no_battery, When::throughout, "", {}, false, 0, 0, then(asked, {progress, success}), 1},
      {"no system battery, silent", no_battery, When::throughout, "/AU", {}, false, 0, 0, {processing, progress}, 1},
      {"unknown state", unknown, When::throughout, "", {}, false, 0, 0, then(asked, {progress, success}), 1},
      {"unknown state, silent", unknown, When::throughout, "/AU", {}, false, 0, 0, {processing, progress}, 1},
      {"the call missing", std::nullopt, When::throughout, "", {}, false, 0, 0, then(asked, {progress, success}), 1},
      {"the call missing, silent", std::nullopt, When::throughout, "/AU", {}, false, 0, 0, {processing, progress}, 1},
      // On battery before the progress screen: nothing reaches the drive's download area.
      {"on battery: the user leaves",
       on_battery,
       When::throughout,
       "",
       {leave},
       false,
       800,
       8,
       then(asked, {battery_screen}),
       0},
      {"on battery: plugged in, retry",
       on_battery,
       When::throughout,
       "",
       {retry},
       true,
       0,
       0,
       then(asked, {battery_screen, progress, success}),
       1},
      {"on battery, silent", on_battery, When::throughout, "/AU", {}, false, 800, 8, {}, 0},
      {"on battery, /IP", on_battery, When::throughout, "/IP", {}, false, 0, 0, then(asked, {progress, success}), 1},
      {"on battery, silent, /IP", on_battery, When::throughout, "/AU /IP", {}, false, 0, 0, {processing, progress}, 1},
      // Unplugged during the download: the check right before the rewrite.
      {"unplugged: the user leaves",
       on_battery,
       When::from_rewrite,
       "",
       {leave},
       false,
       803,
       5,
       then(asked, {progress, battery_screen, update_failure}),
       0},
      {"unplugged: plugged in again, retry",
       on_battery,
       When::from_rewrite,
       "",
       {retry},
       true,
       0,
       0,
       then(asked, {progress, battery_screen, success}),
       1},
      {"unplugged, silent", on_battery, When::from_rewrite, "/AU", {}, false, 803, 5, {processing, progress}, 0},
      {"unplugged, /IP",
       on_battery,
       When::from_rewrite,
       "IgnorePower",
       {},
       false,
       0,
       0,
       then(asked, {progress, success}),
       1},
      // Once a rewrite was asked for, the ROM may be half written: no power check stops the run.
      {"refused rewrite, then unplugged",
       on_battery,
       When::after_failed_rewrite,
       "",
       {},
       false,
       0,
       0,
       then(asked, {progress, success}),
       2},
      {"refused rewrite, then unplugged, silent",
       on_battery,
       When::after_failed_rewrite,
       "/AU",
       {},
       false,
       0,
       0,
       {processing, progress},
       2},
      {"rewrite failed in the transport, then unplugged, silent",
       on_battery,
       When::after_unanswered_rewrite,
       "/AU",
       {},
       false,
       0,
       0,
       {processing, progress},
       2},
  };
}

TEST(PowerRuns, OnBatteryTheRomIsRewrittenOnlyWithTheAdapterOrTheSwitch) {
  for (const Case& c : cases()) {
    for (const Via via : {Via::pass_through, Via::aspi}) {
      SCOPED_TRACE(std::string(reliability::via_name(via)) + ": " + c.what);
      Machine m(via);
      sim::DriveSettings s;
      // A tool meets a drive whose tray is closed; a silent run opens it itself.
      const bool silent = c.arguments.find("/AU") != std::string::npos;
      s.tray_open = !silent;
      if (c.when == When::after_failed_rewrite || c.when == When::after_unanswered_rewrite) {
        sim::FaultRule rule;
        rule.kind = sim::CommandKind::rewrite;
        rule.action = c.when == When::after_failed_rewrite ? sim::FaultAction::check : sim::FaultAction::fail;
        s.faults.add_rule(rule);
      }
      sim::SimDrive& drive = m.add(s);
      m.host.system.power = c.when == When::throughout ? c.power : std::optional<PowerStatus>(on_ac);
      m.host.system.on_power_query = [&m, &c, &drive] {
        if (drive.count(sim::CommandKind::rewrite) >= 1 &&
            (c.when == When::after_failed_rewrite || c.when == When::after_unanswered_rewrite)) {
          m.host.system.power = c.power;
        }
      };
      m.host.dialogs.press(notice, 1);
      m.host.dialogs.press(start, 1);
      for (const int answer : c.battery_answers) m.host.dialogs.press(battery_screen, answer);
      m.host.dialogs.on_open = [&m, &c](std::uint16_t screen) {
        if (screen == progress && c.when == When::from_rewrite) m.host.system.power = c.power;
        if (screen == battery_screen && c.plug_in_at_screen) m.host.system.power = on_ac;
      };
      const std::int32_t exit_code = m.run(c.arguments);
      EXPECT_EQ(result_code(m.ctx->app.result), c.code);
      EXPECT_STREQ(result_message(m.ctx->app.result), c.code == 0 ? "" : "AC power required.");
      EXPECT_EQ(exit_code, c.exit_code);
      EXPECT_EQ(m.screens(), c.screens);
      EXPECT_EQ(drive.count(sim::CommandKind::rewrite), c.rewrites);
      EXPECT_EQ(sim::rom_is_carried_image(drive.rom()), c.code == 0);
      const bool switched =
          c.arguments.find("/IP") != std::string::npos || c.arguments.find("IgnorePower") != std::string::npos;
      EXPECT_EQ(m.host.system.power_queries == 0, switched) << "the switch alone spares the question";
      // A user who left once the image was in the drive learns why and that it needs a power cycle.
      for (const HostScreen& screen : m.host.dialogs.screens) {
        if (screen.template_id == update_failure) {
          EXPECT_EQ(screen.texts.at(1081), "AC power required.");
        }
      }
      if (c.when == When::throughout && c.code == 800) {
        EXPECT_EQ(drive.count(sim::CommandKind::write), 0u) << "refused before the drive was touched";
      }
      if (c.when == When::throughout && c.code == 800 && silent) {
        EXPECT_EQ(drive.count(sim::CommandKind::any), 0u) << "a silent run on battery sends nothing";
        EXPECT_FALSE(drive.tray_open()) << "and moves no tray";
      }
      for (const std::string& broken : reliability::broken_rules(m, exit_code)) ADD_FAILURE() << broken;
    }
  }
}

}  // namespace
}  // namespace tz
