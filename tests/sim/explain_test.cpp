// The trace reader for support staff: its verdict on the ROM for the golden traces, for the trace of
// every way a whole run can end under drive faults (checked against the simulated drive's ROM
// afterwards, the one thing the trace cannot show), for traces cut short, and for both footers.
#include "sim/tool/explain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/tool/carried_image.h"
#include "tests/reliability/whole_run.h"
#include "tests/support/temp_folder.h"

namespace tz::sim {
namespace {

using reliability::Machine;
using reliability::Via;

std::string explained(const TraceFile& trace, RomVerdict& verdict) { return explain(trace, verdict); }

TEST(Explain, GoldenTracesGetTheirVerdict) {
  const struct {
    const char* file;
    RomVerdict verdict;
    const char* line;  // a line the explanation must hold
  } cases[] = {
      {"success_aspi.trace", RomVerdict::rewritten_and_verified, "rewrite      1 request: GOOD x1\n"},
      {"success_pass_through.trace", RomVerdict::rewritten_and_verified,
       "download     2 passes: 2194 pieces written, 2194 read back\n"},
      {"already_updated.trace", RomVerdict::untouched, "ROM          untouched: no rewrite request was sent\n"},
      {"verify_failure.trace", RomVerdict::rewritten_not_verified,
       "verify       10 requests: CHECK CONDITION 0E/1D/00 (MISCOMPARE: miscompare during verify operation"},
      {"verify_failure_pass_through.trace", RomVerdict::rewritten_not_verified,
       "footer       after D: rewrite=good verify=check\n"},
      {"rewrite_refused_twice.trace", RomVerdict::rewritten_and_verified,
       "rewrite      3 requests: CHECK CONDITION 03/0C/00 (MEDIUM ERROR: write error) x2, GOOD x1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TraceFile trace;
    std::string error;
    ASSERT_TRUE(load_trace((std::string(TZ594K_GOLDEN_DIR) + "/" + c.file).c_str(), trace, error)) << error;
    RomVerdict verdict = RomVerdict::unknown;
    const std::string text = explained(trace, verdict);
    EXPECT_EQ(verdict, c.verdict) << text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_NE(text.find("drive        "), std::string::npos) << text;
    EXPECT_NE(text.find("switches \"/AU /TRO\""), std::string::npos) << text;
  }
}

FaultRule rule(CommandKind kind, FaultAction action, std::uint32_t times = 1000000) {
  FaultRule r;
  r.kind = kind;
  r.action = action;
  r.times = times;
  return r;
}

// Every outcome of the fault matrix's kind: a silent traced run of a drive at 1.00 with one fault,
// explained, and the verdict held against the drive's ROM. "untouched" must mean the old ROM and
// "rewritten ..." the image; "unknown" is right only where the trace cannot tell.
TEST(Explain, EveryRunOutcomeGetsTheVerdictTheDriveBearsOut) {
  FaultRule miscompare = rule(CommandKind::verify, FaultAction::check);
  miscompare.sense = Sense{0x0E, 0x1D, 0x00};
  const struct Case {
    const char* name;
    std::vector<FaultRule> faults;
    const char* firmware;
    std::int32_t exit_code;
    RomVerdict verdict;
    const char* last_failing;  // in the "last failing" line; empty: none
  } cases[] = {
      {"updated", {}, "1.00", 0, RomVerdict::rewritten_and_verified, ""},
      {"already updated", {}, "1.01", 99, RomVerdict::untouched, ""},
      {"no match", {}, "0.80", 4, RomVerdict::untouched, ""},
      {"boot-mode command refused",
       {rule(CommandKind::prepare, FaultAction::check)},
       "1.00",
       5,
       RomVerdict::untouched,
       "boot-mode command (ED 01) -> CHECK CONDITION"},
      {"download write refused",
       {rule(CommandKind::write, FaultAction::check)},
       "1.00",
       5,
       RomVerdict::untouched,
       "download write (EA) -> CHECK CONDITION"},
      {"read-back altered", {rule(CommandKind::read, FaultAction::flip)}, "1.00", 5, RomVerdict::untouched, ""},
      {"rewrite refused",
       {rule(CommandKind::rewrite, FaultAction::check)},
       "1.00",
       3,
       RomVerdict::untouched,
       "ROM rewrite (F5) -> CHECK CONDITION 03/0C/00"},
      {"rewrite request fails in the transport",
       {rule(CommandKind::rewrite, FaultAction::fail)},
       "1.00",
       3,
       RomVerdict::unknown,
       "ROM rewrite (F5) -> no answer"},
      {"rewrite refused twice, then taken",
       {rule(CommandKind::rewrite, FaultAction::check, 2)},
       "1.00",
       0,
       RomVerdict::rewritten_and_verified,
       "TEST UNIT READY -> CHECK CONDITION 02/3A/02 (NOT READY: medium not present, tray open)"},
      {"verify miscompares",
       {miscompare},
       "1.00",
       6,
       RomVerdict::rewritten_not_verified,
       "ROM verify (F5, mode 40) -> CHECK CONDITION 0E/1D/00"},
      {"verify request fails in the transport",
       {rule(CommandKind::verify, FaultAction::fail)},
       "1.00",
       6,
       RomVerdict::rewritten_not_verified,
       "ROM verify (F5, mode 40) -> no answer"},
  };
  for (const Via via : {Via::pass_through, Via::aspi}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " (" + reliability::via_name(via) + ")");
      const test::TempFolder folder{"tz594k-explain-"};
      Machine m(via);
      DriveSettings drive;
      drive.tray_open = true;
      std::snprintf(drive.firmware, sizeof(drive.firmware), "%s", c.firmware);
      for (const FaultRule& f : c.faults) drive.faults.add_rule(f);
      SimDrive& sim = m.add(drive);
      m.host.files.set_current_folder(folder.path);
      EXPECT_EQ(m.run("/AU /TRO"), c.exit_code);
      const std::vector<std::string> written = folder.files(".trace");
      ASSERT_EQ(written.size(), 1u);
      TraceFile trace;
      std::string error;
      ASSERT_TRUE(load_trace(written[0].c_str(), trace, error)) << error;
      RomVerdict verdict = RomVerdict::unknown;
      const std::string text = explained(trace, verdict);
      EXPECT_EQ(verdict, c.verdict) << text;
      const bool image = rom_is_carried_image(sim.rom());
      if (verdict == RomVerdict::untouched) {
        EXPECT_FALSE(image) << text;
      }
      if (verdict == RomVerdict::rewritten_and_verified || verdict == RomVerdict::rewritten_not_verified) {
        EXPECT_TRUE(image) << text;
      }
      EXPECT_NE(text.find("exit code " + std::to_string(c.exit_code)), std::string::npos) << text;
      const std::string transport = via == Via::aspi ? "run          ASPI" : "run          pass-through";
      EXPECT_NE(text.find(transport), std::string::npos) << text;
      if (*c.last_failing != '\0') {
        EXPECT_NE(text.find(c.last_failing), std::string::npos) << text;
      }
    }
  }
}

// A trace whose run was killed ends without its footer. Cut right after the read-back of the
// image's last piece, it cannot tell whether the rewrite request was under way; cut earlier in the
// download, nothing can have reached the ROM.
TEST(Explain, ATraceCutShortIsReadForWhatItHolds) {
  TraceFile whole;
  std::string error;
  ASSERT_TRUE(load_trace((std::string(TZ594K_GOLDEN_DIR) + "/success_pass_through.trace").c_str(), whole, error));
  std::size_t first_rewrite = 0;
  while (first_rewrite < whole.commands.size() && whole.commands[first_rewrite].cdb[0] != 0xF5) ++first_rewrite;
  ASSERT_LT(first_rewrite, whole.commands.size());
  const struct {
    std::size_t keep;
    RomVerdict verdict;
  } cases[] = {{first_rewrite, RomVerdict::unknown},
               {first_rewrite - 10, RomVerdict::untouched},
               {first_rewrite + 1, RomVerdict::rewritten_not_verified}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keep);
    TraceFile cut;
    cut.program = whole.program;
    cut.system = whole.system;
    cut.has_arguments = whole.has_arguments;
    cut.arguments = whole.arguments;
    cut.commands.assign(whole.commands.begin(), whole.commands.begin() + static_cast<std::ptrdiff_t>(c.keep));
    RomVerdict verdict = RomVerdict::rewritten_and_verified;
    const std::string text = explained(cut, verdict);
    EXPECT_EQ(verdict, c.verdict) << text;
    EXPECT_NE(text.find("result       none: the trace ends without its footer"), std::string::npos) << text;
  }
}

// The footer's after line in both forms: the drive's revision read at the end (older traces), and
// the answers to the last rewrite and verify requests, which must agree with the command lines.
TEST(Explain, BothFootersAreRead) {
  const std::string head =
      "program version=\"TZ594K_for_ZEMO_V1.01\" image=\"1.01\"\n"
      "system os=\"WindowsNT 10.0 (Build 18362)\" platform=2 major=10 minor=0 build=18362 transport=pass-through "
      "language=English\n"
      "switches text=\"/AU /TRO /IP\"\n"
      "cmd n=1 at=D: cdb=F50000000000000000000080 dir=none len=0 status=fail moved=0 ms=1800000\n"
      "result code=300 message=\"Illegal F/W file.(1)\" exit=3 elapsed-ms=1900000\n"
      "before at=D: status=7 vendor=\"KORVANTA\" product=\"BD-CMB TZ594KS  \" revision=\"1.00\" identity=\"1.00\"\n";
  const struct {
    const char* after;
    const char* line;
  } cases[] = {
      {"after at=D: read=no rewrite=no-answer verify=none\n", "footer       after D: rewrite=no-answer verify=none\n"},
      {"after at=D: read=no rewrite=good verify=none\n",
       "footer       after D: rewrite=good verify=none; the command lines say otherwise\n"},
      {"after at=D: asked=no\n", "footer       after D: not asked again at the end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    TraceFile trace;
    std::string error;
    ASSERT_TRUE(parse_trace(head + c.after + "end commands=1\n", trace, error)) << error;
    RomVerdict verdict = RomVerdict::untouched;
    const std::string text = explained(trace, verdict);
    EXPECT_EQ(verdict, RomVerdict::unknown) << text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
    EXPECT_NE(
        text.find("ROM          unknown: rewrite n=1: no answer (the request failed in the transport); the ROM may "
                  "be half written\n"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("switches \"/AU /TRO /IP\""), std::string::npos) << text;
  }
}

TEST(Explain, SenseCodesInWords) {
  EXPECT_STREQ(sense_key_name(0x05), "ILLEGAL REQUEST");
  EXPECT_STREQ(sense_key_name(0x0E), "MISCOMPARE");
  EXPECT_STREQ(sense_code_words(0x3A, 0x02), "medium not present, tray open");
  EXPECT_STREQ(sense_code_words(0x7F, 0x7F), "");
}

}  // namespace
}  // namespace tz::sim
