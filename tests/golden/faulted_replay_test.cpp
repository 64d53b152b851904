// A faulted run recorded with its trace and played back: the trace shows what each data phase
// moved (a read-back cut short by its count, never by the length asked for), and the program run
// again on drives that play that trace ends as the recorded run did, with the same commands, over
// pass-through and ASPI alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/context.h"
#include "core/bytes.h"
#include "core/run_result.h"
#include "sim/replay_check.h"
#include "sim/trace_file.h"
#include "tests/golden/replay_run.h"
#include "tests/reliability/whole_run.h"
#include "tests/support/temp_folder.h"

namespace tz::golden {
namespace {

using reliability::Machine;
using reliability::Via;

constexpr std::uint32_t always = 1000000;
constexpr std::uint32_t block1 = 368 + 1024;  // payload block 1 in the download area

sim::FaultRule rule(sim::CommandKind kind, sim::FaultAction action, std::uint32_t nth, std::uint32_t times = 1) {
  sim::FaultRule r;
  r.kind = kind;
  r.action = action;
  r.nth = nth;
  r.times = times;
  return r;
}

sim::FaultRule short_read(std::uint32_t moved, std::uint32_t nth, std::uint32_t times, std::uint32_t offset) {
  sim::FaultRule r = rule(sim::CommandKind::read, sim::FaultAction::short_transfer, nth, times);
  r.moved = moved;
  r.offset = offset;
  return r;
}

const struct Case {
  const char* what;
  std::vector<sim::FaultRule> rules;
  std::int32_t code;
  std::int32_t exit_code;
} cases[] = {
    {"block 1 read back a byte short in every attempt", {short_read(1071, 1, always, block1)}, 500, 5},
    {"the third read-back a header's length short once", {short_read(1024, 3, 1, sim::any_offset)}, 0, 0},
    {"a write refused once and a read-back refused once",
     {rule(sim::CommandKind::write, sim::FaultAction::check, 5),
      rule(sim::CommandKind::read, sim::FaultAction::check, 9)},
     0,
     0},
    {"block 1 read back refused in every attempt",
     {[] {
       sim::FaultRule r = rule(sim::CommandKind::read, sim::FaultAction::check, 1, always);
       r.offset = block1;
       return r;
     }()},
     500,
     5},
};

TEST(FaultedReplay, ARecordedFaultedRunReplaysToTheSameEndWithTheSameCommands) {
  for (const Case& c : cases) {
    for (const Via via : {Via::pass_through, Via::aspi}) {
      SCOPED_TRACE(std::string(c.what) + ", " + reliability::via_name(via));
      const test::TempFolder folder("tz594k-faulted-");
      Machine m(via);
      sim::DriveSettings s;
      s.tray_open = true;
      for (const sim::FaultRule& r : c.rules) s.faults.add_rule(r);
      const sim::SimDrive& drive = m.add(s);
      m.host.files.set_current_folder(folder.path);
      const std::int32_t exit_code = m.run("/AU /TRO");
      EXPECT_EQ(result_code(m.ctx->app.result), c.code);
      EXPECT_EQ(exit_code, c.exit_code);

      const std::string written = m.host.files.disk_path(m.ctx->trace.path);
      sim::TraceFile trace;
      std::string error;
      ASSERT_TRUE(sim::load_trace(written.c_str(), trace, error)) << error;
      EXPECT_EQ(trace.exit_code, exit_code);
      // The trace holds what the drive received, data and counts included.
      const sim::CheckResult recorded = sim::check_transcript(trace, m.transcript.text());
      EXPECT_TRUE(recorded.same) << recorded.difference;

      // A read-back cut short shows its count: what moved over pass-through, an underrun (0) over
      // ASPI, which has no count; never the length asked for.
      for (const sim::FaultRule& r : c.rules) {
        if (r.action != sim::FaultAction::short_transfer) continue;
        std::uint32_t shown = 0;
        for (const sim::TraceCommand& t : trace.commands) {
          if (t.cdb[0] != 0xE8 || t.answer != sim::TraceAnswer::status) continue;
          if (r.offset != sim::any_offset && get_be24(t.cdb + 3) != r.offset) continue;
          if (t.moved == t.length) continue;
          EXPECT_EQ(t.moved, via == Via::pass_through ? r.moved : 0u) << "line " << t.line;
          ++shown;
        }
        EXPECT_EQ(shown, r.times == always ? 10u : r.times) << "read-backs cut short in the trace";
      }

      reliability::TranscriptCapture replayed;
      ReplayOutcome outcome;
      ASSERT_TRUE(replay_through_program(written, trace, folder.path, outcome, error, &replayed.file())) << error;
      EXPECT_EQ(differences(trace, outcome), "");
      EXPECT_EQ(outcome.played, drive.count(sim::CommandKind::any));
      const sim::CheckResult again = sim::check_transcript(trace, replayed.text());
      EXPECT_TRUE(again.same) << again.difference;
      EXPECT_EQ(again.compared, outcome.played);
    }
  }
}

}  // namespace
}  // namespace tz::golden
