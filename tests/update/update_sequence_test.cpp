// The update of a chosen drive against simulated drives on the virtual clock: the commands it
// sends, the progress it shows, its retries, and that it reports success exactly when the drive
// holds the carried image.
#include "update/update_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_flow.h"
#include "core/run_result.h"
#include "drive/discovery.h"
#include "drive/drive_table.h"
#include "drive/targets.h"
#include "image/matching.h"
#include "sim/tool/carried_image.h"
#include "tests/support/bay_bench.h"
#include "ui/progress.h"
#include "ui/screens.h"
#include "update/update_screens.h"

namespace tz {
namespace {

using sim::CommandKind;
using sim::FaultAction;
using test::BayBench;
using test::Via;

// One transcript line: the CDB as declared and the data length.
struct Command {
  std::vector<std::uint8_t> cdb;
  std::uint32_t length = 0;
  std::string status;

  std::uint8_t op() const { return cdb.empty() ? 0xFF : cdb[0]; }
  std::uint32_t be24(std::size_t at) const {
    return at + 2 < cdb.size() ? (std::uint32_t{cdb[at]} << 16) | (std::uint32_t{cdb[at + 1]} << 8) | cdb[at + 2] : 0;
  }
};

std::vector<Command> parse(const std::vector<std::string>& lines) {
  std::vector<Command> commands;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string address;
    std::string field;
    Command c;
    in >> address;
    while (in >> field) {
      if (field.rfind("cdb=", 0) == 0) {
        for (std::size_t i = 4; i + 1 < field.size(); i += 2) {
          c.cdb.push_back(static_cast<std::uint8_t>(std::strtoul(field.substr(i, 2).c_str(), nullptr, 16)));
        }
      } else if (field.rfind("len=", 0) == 0) {
        c.length = static_cast<std::uint32_t>(std::strtoul(field.c_str() + 4, nullptr, 10));
      } else if (field.rfind("status=", 0) == 0) {
        c.status = field.substr(7);
      }
    }
    commands.push_back(c);
  }
  return commands;
}

// A started program with one drive at D: (record 1) or adapter 0, target 1, chosen for the update
// as the run flow leaves it: scanned, matched, the single target marked 7, its method flags applied.
struct UpdateBench : BayBench {
  sim::SimDrive& drive;

  explicit UpdateBench(Via via, const sim::DriveSettings& settings = test::drive_at_level("1.00"),
                       std::uint8_t language = language_english)
      : BayBench(via, false, language), drive(add(1, settings)) {}

  void choose() {
    Context& c = *ctx;
    ASSERT_EQ(scan_drives(c.link), 0);
    ASSERT_EQ(select_update_targets(c.link), 7);
    c.drive.current_drive = find_drive_by_status(c.drive, drive_status_target, 0);
    ASSERT_EQ(c.drive.current_drive, 1u);
    record(1).status = drive_status_chosen_target;
    apply_method_flags(c);
    take_transcript();  // the scan's commands are not the update's
  }
  // The progress screen runs the update and closes itself.
  void update() { EXPECT_EQ(show_progress_screen(ctx->link, ctx->app.result), 1); }

  std::int32_t code() const { return result_code(ctx->app.result); }
  std::string message() const { return result_message(ctx->app.result); }
  bool holds_image() const { return sim::rom_is_carried_image(drive.rom()); }
};

std::string bar(int marks) { return bar_text(language_english, marks); }

// The pieces of one phase: the info block, then every payload block, each written and (with
// compare on) read back at the same offset, 48 header bytes in front.
void expect_phase(const std::vector<Command>& commands, std::size_t& at, bool compare) {
  for (std::uint32_t piece = 0; piece <= image_payload_block_count; ++piece) {
    const std::uint32_t offset = piece == 0 ? 0 : image_info_block_bytes + (piece - 1) * payload_block_bytes;
    const std::uint32_t length = header_bytes + (piece == 0 ? image_info_block_bytes : payload_block_bytes);
    for (const std::uint8_t op : {std::uint8_t{0xEA}, std::uint8_t{0xE8}}) {
      if (op == 0xE8 && !compare) continue;
      ASSERT_LT(at, commands.size());
      const Command& c = commands[at++];
      ASSERT_EQ(c.op(), op) << "piece " << piece;
      ASSERT_EQ(c.be24(3), offset) << "piece " << piece;
      ASSERT_EQ(c.be24(6), length) << "piece " << piece;
      ASSERT_EQ(c.length, length) << "piece " << piece;
    }
  }
}

void expect_readiness_polls(const std::vector<Command>& commands, std::size_t& at) {
  for (int i = 0; i < 5; ++i) {
    ASSERT_LT(at, commands.size());
    EXPECT_EQ(commands[at++].op(), 0x00);
  }
}

TEST(UpdateSequence, FullUpdateSendsTheImageRewritesAndVerifies) {
  for (const Via via : test::both_transports) {
    SCOPED_TRACE(test::name_of(via));
    UpdateBench b(via);
    b.choose();
    b.update();
    EXPECT_EQ(b.code(), 0);
    EXPECT_EQ(b.message(), "");
    EXPECT_TRUE(b.holds_image());

    const std::vector<Command> commands = parse(b.take_transcript());
    std::size_t at = 0;
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[at].op(), 0x1B);  // eject
    EXPECT_EQ(commands[at++].cdb[4], 0x02);
    EXPECT_EQ(commands[at++].op(), 0x4A);  // the tray is open
    EXPECT_EQ(commands[at].op(), 0xED);    // boot mode
    EXPECT_EQ(commands[at].cdb[1], 0x01);
    EXPECT_EQ(commands[at++].cdb[6], 0x01);
    expect_readiness_polls(commands, at);
    expect_phase(commands, at, true);
    ASSERT_LT(at, commands.size());
    EXPECT_EQ(commands[at].op(), 0xF5);
    EXPECT_EQ(commands[at++].cdb.back(), 0x80);  // rewrite, synchronous boot
    expect_readiness_polls(commands, at);
    expect_phase(commands, at, true);
    ASSERT_LT(at, commands.size());
    EXPECT_EQ(commands[at].op(), 0xF5);
    EXPECT_EQ(commands[at++].cdb.back(), 0x40);  // verify
    EXPECT_EQ(at, commands.size());
    for (const Command& c : commands) {
      if (c.op() != 0x00) {
        EXPECT_EQ(c.status, "00");
      }
    }
    // The handle the update opened for itself is closed again.
    EXPECT_EQ(b.host.devices.open_handle_count(), 0u);
  }
}

TEST(UpdateSequence, ProgressLinesAndBarsOfAGoodUpdate) {
  UpdateBench b(Via::aspi);
  b.choose();
  b.update();
  // An update that stopped early shows fewer lines than looked at below: it fails here, not there.
  ASSERT_EQ(b.code(), 0) << b.message();
  const auto& dialogs = b.host.dialogs;
  const auto last = [&](int control) {
    const std::vector<std::string> texts = dialogs.texts_of(control);
    return texts.empty() ? std::string("<never set>") : texts.back();
  };
  EXPECT_EQ(last(1101), "Device : BD-CMB TZ594KS      V1.00  -->  V1.01\n");
  EXPECT_EQ(last(1103), "Checking the Drive...");
  EXPECT_EQ(last(1094), "Good !!");
  EXPECT_EQ(last(1104), "The data transfer...");
  EXPECT_EQ(last(1096), "Complete !!");
  EXPECT_EQ(last(1105), "ROM Data rewriting... (Please wait for about 50 seconds.)");
  EXPECT_EQ(last(1106), "Complete !!");
  EXPECT_EQ(last(1100), "Verify...");
  EXPECT_EQ(last(1099), "Good !!");
  const std::vector<std::string> verify_line = dialogs.texts_of(1099);
  ASSERT_GE(verify_line.size(), 2u);
  EXPECT_EQ(verify_line.end()[-2], "Verify... (Please wait for about 40 seconds.)");

  // Each bar: emptied with the screen and with its attempt, then empty while the block index
  // gives less than one percent, then mark by mark to the full bar.
  for (const int control : {1095, 1098}) {
    SCOPED_TRACE(control);
    std::vector<std::string> seen;
    for (const std::string& t : dialogs.texts_of(control)) {
      if (seen.empty() || seen.back() != t) seen.push_back(t);
    }
    std::vector<std::string> expected = {"", bar(0)};
    for (int k = 1; k <= 20; ++k) expected.push_back(bar(k));
    EXPECT_EQ(seen, expected);
  }
  ASSERT_FALSE(dialogs.screens.empty());
  EXPECT_EQ(dialogs.screens.front().template_id, screen_progress.english);
  EXPECT_EQ(dialogs.screens.front().caption, "F/W Loader  TZ594K for ZEMO V1.01");
}

TEST(UpdateSequence, JapaneseScreensGetTheJapaneseSteps) {
  UpdateBench b(Via::pass_through, test::drive_at_level("1.00"), language_japanese);
  b.choose();
  b.update();
  ASSERT_EQ(b.code(), 0) << b.message();
  EXPECT_EQ(b.host.dialogs.screens.front().template_id, screen_progress.japanese);
  EXPECT_EQ(b.host.dialogs.texts_of(1103).back(), "ドライブチェック中...");
  EXPECT_EQ(b.host.dialogs.texts_of(1105).back(), "ＲＯＭデータ書換え中... (50秒程度お待ちください)");
  EXPECT_EQ(b.host.dialogs.texts_of(1099).back(), "ベリファイ完了。");
  EXPECT_EQ(b.host.dialogs.texts_of(1095).back(), bar_text(language_japanese, 20));
}

sim::FaultRule rule(CommandKind kind, FaultAction action, std::uint32_t nth = 1, std::uint32_t times = 1) {
  sim::FaultRule r;
  r.kind = kind;
  r.action = action;
  r.nth = nth;
  r.times = times;
  return r;
}

// What the drive does wrong, and how the update must end. Writes of the write phase are numbered
// 1..1097 (the info block first), those of the verify phase from 1098 on.
struct FaultCase {
  const char* what;
  sim::FaultRule fault;
  bool compare;
  std::int32_t code;
  const char* message;
  std::uint32_t rewrites;
  bool holds_image;
};

TEST(UpdateSequence, RetriesAndFailuresEndWithTheirCodeAndMessage) {
  const FaultCase cases[] = {
      {"rewrite fails once", rule(CommandKind::rewrite, FaultAction::check), true, 0, "", 2, true},
      {"rewrite fails ten times", rule(CommandKind::rewrite, FaultAction::check, 1, 10), true, 300,
       "Illegal F/W file.(1)", 10, false},
      {"info block write fails ten times", rule(CommandKind::write, FaultAction::check, 1, 10), true, 500,
       "Download error.(13)", 0, false},
      {"info block read-back fails ten times", rule(CommandKind::read, FaultAction::check, 1, 10), true, 500,
       "Download error.(12)", 0, false},
      {"info block read-back differs ten times", rule(CommandKind::read, FaultAction::flip, 1, 10), true, 500,
       "Download error.(11)", 0, false},
      {"payload write fails once", rule(CommandKind::write, FaultAction::check, 2), true, 0, "", 1, true},
      {"payload read-back fails once", rule(CommandKind::read, FaultAction::check, 7), true, 0, "", 1, true},
      {"payload read-back differs once", rule(CommandKind::read, FaultAction::flip, 9), true, 0, "", 1, true},
      {"a write stored nothing, read back", rule(CommandKind::write, FaultAction::drop, 5), true, 0, "", 1, true},
      {"a write stored nothing, no read-back", rule(CommandKind::write, FaultAction::drop, 5), false, 0, "", 2, true},
      {"verify fails ten times", rule(CommandKind::verify, FaultAction::check, 1, 10), true, 600, "Verify error.(1)", 1,
       true},
      {"verify phase info block write fails ten times", rule(CommandKind::write, FaultAction::check, 1098, 10), true,
       600, "Download error.(13)", 1, true},
      {"verify phase payload read-back differs ten times", rule(CommandKind::read, FaultAction::flip, 1099, 1), true, 0,
       "", 1, true},
      {"boot mode refused", rule(CommandKind::prepare, FaultAction::check), true, 500, "Drive preparation failed.(1)",
       0, false},
  };
  for (const Via via : test::both_transports) {
    for (const FaultCase& c : cases) {
      SCOPED_TRACE(std::string(test::name_of(via)) + ": " + c.what);
      sim::DriveSettings settings = test::drive_at_level("1.00");
      settings.faults.add_rule(c.fault);
      UpdateBench b(via, settings);
      b.choose();
      if (!c.compare) b.ctx->app.build.COMPARE_SEND_DATA_NUMBER = 0;
      b.update();
      EXPECT_EQ(b.code(), c.code);
      EXPECT_EQ(b.message(), c.message);
      EXPECT_EQ(b.drive.count(CommandKind::rewrite), c.rewrites);
      EXPECT_EQ(b.holds_image(), c.holds_image);
      // Success is never reported for a drive that does not hold the image.
      EXPECT_TRUE(b.code() != 0 || b.holds_image());
    }
  }
}

// Read-backs answered GOOD with no data, ten in a row: no attempt passes, nothing is rewritten.
// Where the transport says so the read fails (12); where an ASPI manager does not, the stale
// receive area still cannot match (11).
TEST(UpdateSequence, AReadBackThatBroughtNothingNeverPasses) {
  const struct Case {
    Via via;
    bool underrun_reported;
    const char* message;
  } cases[] = {
      {Via::pass_through, true, "Download error.(12)"},
      {Via::aspi, true, "Download error.(12)"},
      {Via::aspi, false, "Download error.(11)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(test::name_of(c.via)) + (c.underrun_reported ? "" : ", underrun unreported"));
    sim::DriveSettings settings = test::drive_at_level("1.00");
    settings.faults.add_rule(rule(CommandKind::read, FaultAction::short_transfer, 1, 10));
    UpdateBench b(c.via, settings);
    b.host.aspi.underrun_unreported = !c.underrun_reported;
    b.choose();
    b.update();
    EXPECT_EQ(b.code(), 500);
    EXPECT_EQ(b.message(), c.message);
    EXPECT_EQ(b.drive.count(CommandKind::read), 10u);
    EXPECT_EQ(b.drive.count(CommandKind::rewrite), 0u);
    EXPECT_FALSE(b.holds_image());
  }
}

// The ROM rewrite and the verify are never aborted. A drive slower than the other commands' wait
// is waited for and has the last word; one that never answers is given up after the longest wait
// under either transport, and under ASPI, whose manager then keeps the request, nothing more is
// sent: the phase ends with that failure.
TEST(UpdateSequence, ARewritingOrVerifyingDriveIsNeverInterrupted) {
  enum class Slow { rewrite_90_s, verify_90_s, rewrite_hangs, verify_hangs };
  const struct Case {
    const char* what;
    Slow slow;
    Via via;
    std::int32_t code;
    const char* message;
    std::uint32_t rewrites;
    bool holds_image;
  } cases[] = {
      {"rewrite takes 90 s", Slow::rewrite_90_s, Via::aspi, 0, "", 1, true},
      {"verify takes 90 s", Slow::verify_90_s, Via::aspi, 0, "", 1, true},
      {"rewrite never answers", Slow::rewrite_hangs, Via::aspi, 300, "Illegal F/W file.(1)", 1, false},
      {"verify never answers", Slow::verify_hangs, Via::aspi, 600, "Verify error.(1)", 1, true},
      {"rewrite never answers", Slow::rewrite_hangs, Via::pass_through, 0, "", 2, true},
      {"verify never answers", Slow::verify_hangs, Via::pass_through, 0, "", 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(test::name_of(c.via)) + ": " + c.what);
    sim::DriveSettings settings = test::drive_at_level("1.00");
    if (c.slow == Slow::rewrite_90_s) settings.rewrite_ms = 90000;
    if (c.slow == Slow::verify_90_s) settings.verify_ms = 90000;
    if (c.slow == Slow::rewrite_hangs) settings.faults.add_rule(rule(CommandKind::rewrite, FaultAction::hang));
    if (c.slow == Slow::verify_hangs) settings.faults.add_rule(rule(CommandKind::verify, FaultAction::hang));
    UpdateBench b(c.via, settings);
    b.choose();
    b.update();
    EXPECT_EQ(b.code(), c.code);
    EXPECT_EQ(b.message(), c.message);
    EXPECT_EQ(b.host.aspi.aborts_sent, 0u);
    EXPECT_EQ(b.drive.count(CommandKind::rewrite), c.rewrites);
    EXPECT_EQ(b.holds_image(), c.holds_image);
    if (c.via == Via::aspi && c.code != 0) {
      // Nothing follows the long command the drive never answered.
      const std::vector<Command> commands = parse(b.take_transcript());
      ASSERT_FALSE(commands.empty());
      EXPECT_EQ(commands.back().op(), 0xF5);
      EXPECT_EQ(commands.back().status, "hang");
    }
  }
}

// The system is asked to stay awake before the update's first command and let go after its
// last, whether the update succeeded or the drive refused the rewrite ten times.
TEST(UpdateSequence, TheSystemStaysAwakeFromTheFirstCommandToTheLast) {
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "rewrite refused" : "success");
    sim::DriveSettings settings = test::drive_at_level("1.00");
    if (refused) settings.faults.add_rule(rule(CommandKind::rewrite, FaultAction::check, 1, 10));
    UpdateBench b(Via::pass_through, settings);
    b.choose();
    const std::uint32_t before = b.drive.history_size();
    std::vector<std::pair<bool, std::uint32_t>> requests;  // on or off, commands the drive had seen
    b.host.system.on_keep_awake = [&](bool on) { requests.emplace_back(on, b.drive.history_size()); };
    b.update();
    EXPECT_EQ(b.code(), refused ? 300 : 0);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], std::make_pair(true, before));
    EXPECT_GT(b.drive.history_size(), before);
    EXPECT_EQ(requests[1], std::make_pair(false, b.drive.history_size()));
    EXPECT_FALSE(b.host.system.awake);
  }
}

// While the update runs, Windows names the reason the program holds up the end of the session, in
// the run's language, on the main window; the reason goes with the update's end. A system without
// the call updates as ever.
TEST(UpdateSequence, TheShutdownReasonStandsForTheWholeUpdate) {
  const struct Case {
    std::uint8_t language;
    bool missing;
    std::u16string reason;
  } cases[] = {
      {language_english, false, u"Firmware update in progress. Do not turn off the computer."},
      {language_japanese, false, u"ファームウェアを更新しています。コンピュータの電源を切らないでください。"},
      {language_english, true, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.missing ? "before Vista" : c.language == language_japanese ? "Japanese" : "English");
    UpdateBench b(Via::pass_through, test::drive_at_level("1.00"), c.language);
    b.host.windows.shutdown_reasons_missing = c.missing;
    b.ctx->app.main_window = 0x7000;
    b.choose();
    // The system is kept awake from before the first command to after the last: the reason
    // stands at both ends.
    std::vector<std::u16string> at_awake;
    b.host.system.on_keep_awake = [&](bool) {
      at_awake.push_back(b.host.windows.shutdown_reason);
      EXPECT_EQ(b.host.windows.shutdown_reason_window, c.missing ? platform::null_handle : 0x7000);
    };
    b.update();
    EXPECT_EQ(b.code(), 0);
    EXPECT_EQ(at_awake, std::vector<std::u16string>(2, c.reason));
    EXPECT_EQ(b.host.windows.shutdown_reason_window, platform::null_handle);
    EXPECT_EQ(b.host.windows.shutdown_reason, u"") << "cleared at the end";
    const std::vector<std::u16string> log =
        c.missing ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.reason, u""};
    EXPECT_EQ(b.host.windows.shutdown_reason_log, log);
  }
}

// The drive's table entry, as the model tables give it, decides which steps run.
TEST(UpdateSequence, MethodFlagsChooseTheSteps) {
  struct Case {
    const char* what;
    std::uint8_t flag;  // index into method_flags
    std::uint8_t value;
    std::uint32_t writes;
    std::uint32_t reads;
    std::uint32_t prepares;
    std::uint8_t rewrite_mode;
    std::uint32_t verifies;
  };
  const Case cases[] = {
      {"as built", 0, 1, 2 * 1097, 2 * 1097, 1, 0x80, 1},
      {"no read-back", 2, 0, 2 * 1097, 0, 1, 0x80, 1},
      {"no verify", 3, 0, 1097, 1097, 1, 0x80, 0},
      {"no boot mode", 1, 2, 2 * 1097, 2 * 1097, 0, 0x00, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::DriveSettings settings = test::drive_at_level("1.00");
    // A drive whose entry lacks the boot mode is a drive without it.
    settings.boot_mode = !(c.flag == 1 && c.value != 3);
    UpdateBench b(Via::pass_through, settings);
    b.ctx->app.models.primary[0].entry_method_flags[c.flag] = c.value;  // the TZ594KS's entry
    b.choose();
    b.update();
    EXPECT_EQ(b.code(), 0);
    EXPECT_TRUE(b.holds_image());
    EXPECT_EQ(b.drive.count(CommandKind::write), c.writes);
    EXPECT_EQ(b.drive.count(CommandKind::read), c.reads);
    EXPECT_EQ(b.drive.count(CommandKind::prepare), c.prepares);
    EXPECT_EQ(b.drive.count(CommandKind::verify), c.verifies);
    std::vector<std::uint8_t> modes;
    for (const Command& command : parse(b.take_transcript())) {
      if (command.op() == 0xF5) modes.push_back(command.cdb.back());
    }
    std::vector<std::uint8_t> expected = {c.rewrite_mode};
    if (c.verifies != 0) expected.push_back(0x40);
    EXPECT_EQ(modes, expected);
  }
}

// The progress screen from the last step's text to its end: how long it stayed, and the longest
// stretch in which nobody looked after the screen (brought it to the top and took its messages).
struct LastWait {
  std::int32_t stayed_ms = -1;
  std::int32_t longest_unserviced_ms = -1;
};

LastWait last_wait(const platform::host::HostDialogs& dialogs, int control, const std::string& text) {
  using Kind = platform::host::DialogEvent::Kind;
  std::int32_t done_at = -1;
  for (const auto& e : dialogs.events) {
    if (e.kind == Kind::text && e.control_id == control && e.text == text) done_at = e.time;
  }
  LastWait wait;
  if (done_at < 0) return wait;
  std::int32_t serviced_at = done_at;
  wait.longest_unserviced_ms = 0;
  for (const auto& e : dialogs.events) {
    if (e.time < done_at || (e.kind != Kind::bring_to_top && e.kind != Kind::ended)) continue;
    wait.longest_unserviced_ms = std::max(wait.longest_unserviced_ms, e.time - serviced_at);
    serviced_at = e.time;
    if (e.kind == Kind::ended) {
      wait.stayed_ms = e.time - done_at;
      break;
    }
  }
  return wait;
}

TEST(UpdateSequence, WithoutVerifyTheLastLinesStayEmptyAndTheDriveGetsTwoSeconds) {
  UpdateBench b(Via::aspi);
  b.ctx->app.models.primary[0].entry_method_flags[3] = 0;
  b.choose();
  b.update();
  const auto& dialogs = b.host.dialogs;
  for (const int control : {1100, 1098, 1099}) {
    for (const std::string& text : dialogs.texts_of(control)) EXPECT_EQ(text, "") << control;
  }
  // From "Complete !!" in line 8 to the end of the screen: the 2000 ms settle, serviced in slices.
  const LastWait wait = last_wait(dialogs, 1106, "Complete !!");
  ASSERT_GE(wait.stayed_ms, 0);
  EXPECT_GE(wait.stayed_ms, 2000);
  EXPECT_LT(wait.stayed_ms, 2100);
  EXPECT_LE(wait.longest_unserviced_ms, 500);
}

// After a good verify the screen stays 2000 ms with its last line, looked after in 500 ms slices,
// before it ends; over either transport.
TEST(UpdateSequence, AfterAGoodVerifyTheScreenStaysTwoSecondsServicingMessages) {
  for (const Via via : test::both_transports) {
    SCOPED_TRACE(test::name_of(via));
    UpdateBench b(via);
    b.choose();
    b.update();
    ASSERT_EQ(b.code(), 0);
    const LastWait wait = last_wait(b.host.dialogs, 1099, "Good !!");
    ASSERT_GE(wait.stayed_ms, 0) << "the verify's last line and the screen's end";
    EXPECT_GE(wait.stayed_ms, 2000);
    EXPECT_LT(wait.stayed_ms, 2100);
    EXPECT_LE(wait.longest_unserviced_ms, 500);
  }
}

// Ends that happen before anything reaches the drive's download area.
TEST(UpdateSequence, AnUpdateThatCannotStartIsReportedAndSendsNothing) {
  enum class Spoil { device_refuses_open, method_flag_zero, other_drive_kind, tray_stays_shut };
  struct Case {
    const char* what;
    Spoil spoil;
    Via via;
    std::int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {"device cannot be opened", Spoil::device_refuses_open, Via::pass_through, 500, "Drive preparation failed.(2)"},
      {"entry says no update sequence", Spoil::method_flag_zero, Via::aspi, 1001, "Load execution error."},
      {"drive of another kind", Spoil::other_drive_kind, Via::pass_through, 1001, "Load execution error."},
      {"tray stays shut", Spoil::tray_stays_shut, Via::aspi, 802, "Eject failed.(21)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UpdateBench b(c.via);
    b.choose();
    switch (c.spoil) {
      case Spoil::device_refuses_open:
        b.host.devices.refuse_open('D');
        break;
      case Spoil::method_flag_zero:
        b.record(1).method_flags[0] = 0;
        break;
      case Spoil::other_drive_kind:
        b.record(1).drive_kind = 0x100;
        break;
      case Spoil::tray_stays_shut:
        b.drive.set_tray(false, false);
        b.drive.settings().tray_stuck = true;
        break;
    }
    b.update();
    EXPECT_EQ(b.code(), c.code);
    EXPECT_EQ(b.message(), c.message);
    EXPECT_EQ(b.drive.count(CommandKind::write), 0u);
    EXPECT_EQ(b.drive.count(CommandKind::rewrite), 0u);
    EXPECT_FALSE(b.holds_image());
    // The preparation's last line is written only when it succeeded.
    for (const std::string& text : b.host.dialogs.texts_of(1094)) EXPECT_EQ(text, "");
  }
}

}  // namespace
}  // namespace tz
