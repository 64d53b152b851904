// The rules every whole run keeps catch what they are there for: a rewrite or verify that a drive
// got before its download was complete, seen in transcripts written here, and runs that end with the
// wrong exit code or leave something held.
#include "tests/reliability/whole_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/context.h"
#include "core/bytes.h"
#include "core/run_result.h"

namespace tz::reliability {
namespace {

constexpr std::uint32_t pieces = 1097;

TranscriptLine command(std::initializer_list<std::uint8_t> cdb, std::uint8_t status = 0) {
  TranscriptLine line;
  line.address = "D:";
  std::uint32_t i = 0;
  for (const std::uint8_t b : cdb) line.cdb[i++] = b;
  line.cdb_length = 12;
  line.status = status;
  return line;
}

TranscriptLine download(std::uint8_t opcode, std::uint32_t piece, std::uint8_t status = 0) {
  TranscriptLine line = command({opcode}, status);
  put_be24(line.cdb + 3, piece == 0 ? 0 : 368 + 1024 * (piece - 1));
  put_be24(line.cdb + 6, piece == 0 ? 416 : 1072);
  return line;
}

const TranscriptLine boot_mode_command = command({0xED, 0x01, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x3C});
const TranscriptLine rewrite = command({0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80});
const TranscriptLine refused_rewrite = command({0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}, 0x02);
const TranscriptLine verify = command({0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40});

// One attempt's download: pieces 0 .. count - 1, each written and, with `compare`, read back.
void add_download(std::vector<TranscriptLine>& lines, bool compare, std::uint32_t count = pieces) {
  for (std::uint32_t piece = 0; piece < count; ++piece) {
    lines.push_back(download(0xEA, piece));
    if (compare) lines.push_back(download(0xE8, piece));
  }
}

sim::FaultPlan plan_with(sim::CommandKind kind, sim::FaultAction action, std::uint32_t nth) {
  sim::FaultPlan plan;
  sim::FaultRule rule;
  rule.kind = kind;
  rule.action = action;
  rule.nth = nth;
  plan.add_rule(rule);
  return plan;
}

// Each run below starts with the boot-mode command unless it says otherwise.
TEST(UnearnedRewrite, EveryPieceMustBeStoredAndReadBackSinceTheAttemptBegan) {
  struct Case {
    const char* what;
    std::vector<TranscriptLine> lines;
    sim::DriveSettings drive;
    bool compare;
    bool earned;
  };
  std::vector<Case> cases;
  const auto add = [&](const char* what, bool compare, bool earned, auto build, sim::FaultPlan plan = {},
                       bool starts_in_boot_mode = true) {
    std::vector<TranscriptLine> lines;
    if (starts_in_boot_mode) lines.push_back(boot_mode_command);
    build(lines);
    sim::DriveSettings drive;
    drive.faults = plan;
    cases.push_back({what, lines, drive, compare, earned});
  };
  add("whole download, then rewrite and verify", true, true, [](auto& l) {
    add_download(l, true);
    l.push_back(rewrite);
    add_download(l, true);
    l.push_back(verify);
  });
  add("no read-back where compare is off", false, true, [](auto& l) {
    add_download(l, false);
    l.push_back(rewrite);
  });
  add("a failed attempt, then a whole one", true, true, [](auto& l) {
    add_download(l, true, 5);
    l.push_back(download(0xEA, 5, 0x02));
    add_download(l, true);
    l.push_back(rewrite);
  });
  add("the last block missing", true, false, [](auto& l) {
    add_download(l, true, pieces - 1);
    l.push_back(rewrite);
  });
  add("not read back", true, false, [](auto& l) {
    add_download(l, false);
    l.push_back(rewrite);
  });
  add("a write answered CHECK CONDITION", true, false, [](auto& l) {
    add_download(l, true);
    l[20] = download(0xEA, 10, 0x02);
    l.push_back(rewrite);
  });
  add("a read-back answered BUSY", true, false, [](auto& l) {
    add_download(l, true);
    l[21] = download(0xE8, 10, 0x08);
    l.push_back(rewrite);
  });
  add("a write that never reached the drive", false, false, [](auto& l) {
    add_download(l, false);
    l[10].completed = false;
    l.push_back(rewrite);
  });
  // The host cannot see a write the drive dropped when the place already held the same data (an
  // earlier attempt's); where it did not, the read-back differs, and the drive refuses an area
  // that is not complete.
  add(
      "a write answered GOOD but dropped, the rewrite refused", true, true,
      [](auto& l) {
        add_download(l, true);
        l.push_back(refused_rewrite);
      },
      plan_with(sim::CommandKind::write, sim::FaultAction::drop, 7));
  add(
      "a write answered GOOD but dropped, the rewrite granted all the same", true, false,
      [](auto& l) {
        add_download(l, true);
        l.push_back(rewrite);
      },
      plan_with(sim::CommandKind::write, sim::FaultAction::drop, 7));
  // The verify's download must be stored again: the rewrite request emptied the area.
  add(
      "a verify granted on a download dropped in part after the rewrite", true, false,
      [](auto& l) {
        add_download(l, true);
        l.push_back(rewrite);
        add_download(l, true);
        l.push_back(verify);
      },
      plan_with(sim::CommandKind::write, sim::FaultAction::drop, pieces + 8));
  // A rewrite request that never reached the drive emptied nothing: a piece dropped in the next
  // attempt is still there from the one before.
  add(
      "a write dropped after a rewrite request that never reached the drive", true, true,
      [](auto& l) {
        add_download(l, true);
        TranscriptLine lost = rewrite;
        lost.completed = false;
        l.push_back(lost);
        add_download(l, true);
        l.push_back(rewrite);
      },
      plan_with(sim::CommandKind::write, sim::FaultAction::drop, pieces + 10));
  add(
      "writes before the boot-mode command answered GOOD", true, false, [](auto& l) { add_download(l, true, 3); }, {},
      false);
  add(
      "writes before the boot-mode command refused, then the command and a new download", true, true,
      [](auto& l) {
        l.push_back(download(0xEA, 0, 0x02));
        l.push_back(boot_mode_command);
        add_download(l, true);
        l.push_back(rewrite);
      },
      {}, false);
  add(
      "a read-back answered GOOD with a bit flipped", true, false,
      [](auto& l) {
        add_download(l, true);
        l.push_back(rewrite);
      },
      plan_with(sim::CommandKind::read, sim::FaultAction::flip, 7));
  add(
      "a read-back answered GOOD with no data", true, false,
      [](auto& l) {
        add_download(l, true);
        l.push_back(rewrite);
      },
      plan_with(sim::CommandKind::read, sim::FaultAction::short_transfer, 7));
  // Where compare is off nothing shows the host a write that moved no data; the drive's area has a
  // hole, and a rewrite granted on it was not earned.
  add(
      "a write answered GOOD with no data, the rewrite granted", false, false,
      [](auto& l) {
        add_download(l, false);
        l.push_back(rewrite);
      },
      plan_with(sim::CommandKind::write, sim::FaultAction::short_transfer, 7));
  add("a verify on the download the rewrite used up", true, false, [](auto& l) {
    add_download(l, true);
    l.push_back(rewrite);
    l.push_back(verify);
  });
  add("a retry that does not start again from the info block", true, false, [](auto& l) {
    add_download(l, true);
    l.push_back(rewrite);
    for (std::uint32_t piece = 1; piece < pieces; ++piece) {
      l.push_back(download(0xEA, piece));
      l.push_back(download(0xE8, piece));
    }
    l.push_back(rewrite);
  });
  for (const Case& c : cases) {
    const std::string found = unearned_rewrite(c.lines, c.drive, c.compare);
    EXPECT_EQ(found.empty(), c.earned) << c.what << ": " << found;
  }
  // A drive without boot mode takes a download at any time.
  sim::DriveSettings plain;
  plain.boot_mode = false;
  std::vector<TranscriptLine> lines;
  add_download(lines, true);
  lines.push_back(rewrite);
  EXPECT_EQ(unearned_rewrite(lines, plain, true), "");
}

// A program that leaves out the boot-mode command finds every download write refused by a drive
// that needs it, and the run keeps the rules: nothing is rewritten outside a boot session.
TEST(BrokenRules, HoldForAProgramThatSkipsTheBootModeCommand) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(via_name(via));
    Machine m(via);
    sim::DriveSettings s;
    s.tray_open = true;
    sim::SimDrive& drive = m.add(s);
    m.ctx->app.build.EXEC_BOOT_SYSTEM_NUMBER = 0;
    const std::int32_t exit_code = m.run("/AU");
    EXPECT_EQ(exit_code, 5);
    EXPECT_STREQ(result_message(m.ctx->app.result), "Download error.(13)");
    EXPECT_EQ(drive.count(sim::CommandKind::prepare), 0u);
    EXPECT_EQ(drive.count(sim::CommandKind::rewrite), 0u);
    EXPECT_FALSE(drive.download_mode());
    for (const std::string& broken : broken_rules(m, exit_code)) ADD_FAILURE() << broken;
  }
}

TEST(BrokenRules, AnExitCodeThatIsNotTheResultsAndAHandleLeftOpen) {
  Machine m(Via::pass_through);
  sim::DriveSettings s;
  s.tray_open = true;
  m.add(s);
  const std::int32_t exit_code = m.run("/AU");
  ASSERT_EQ(exit_code, 0);
  EXPECT_TRUE(broken_rules(m, exit_code).empty());
  EXPECT_EQ(broken_rules(m, 5).size(), 1u);
  const platform::Handle held =
      m.host.devices.create_file("\\\\.\\D:", platform::generic_read | platform::generic_write,
                                 platform::file_share_read | platform::file_share_write, platform::open_existing, 0);
  ASSERT_NE(held, platform::invalid_handle_value);
  EXPECT_EQ(broken_rules(m, exit_code).size(), 1u);
}

}  // namespace
}  // namespace tz::reliability
