// Golden traces: what the real exe sent under Wine to simulated drives, and what they answered,
// replayed through the program here. A change of the program's traffic fails with the first
// command that differs; when the change is meant, scripts/record-golden.sh records them again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/context.h"
#include "sim/replay_check.h"
#include "tests/golden/replay_run.h"
#include "tests/reliability/whole_run.h"
#include "tests/support/temp_folder.h"

namespace tz::golden {
namespace {

using reliability::Machine;
using reliability::Via;

std::string golden_path(const char* name) { return std::string(TZ594K_GOLDEN_DIR) + "/" + name + ".trace"; }

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What each recording is of, by the system's own codes: a recording of a broken program must not
// pass for golden.
const struct Golden {
  const char* name;
  const char* transport;
  std::int32_t exit_code;
  std::int32_t result_code;
} goldens[] = {
    {"success_aspi", "ASPI", 0, 0},
    {"success_pass_through", "pass-through", 0, 0},
    {"already_updated", "pass-through", 99, 401},
    {"verify_failure", "ASPI", 6, 600},
    {"verify_failure_pass_through", "pass-through", 6, 600},
    {"rewrite_refused_twice", "pass-through", 0, 0},
};

TEST(GoldenTraces, EachReplaysThroughTheProgramToItsRecordedEnd) {
  for (const Golden& g : goldens) {
    SCOPED_TRACE(g.name);
    sim::TraceFile trace;
    std::string error;
    ASSERT_TRUE(sim::load_trace(golden_path(g.name).c_str(), trace, error)) << error;
    const std::string* transport = sim::field_value(trace.system, "transport");
    ASSERT_NE(transport, nullptr);
    EXPECT_EQ(*transport, g.transport);
    EXPECT_TRUE(trace.complete);
    EXPECT_EQ(trace.exit_code, g.exit_code);
    EXPECT_EQ(trace.result_code, g.result_code);

    const test::TempFolder folder("tz594k-golden-");
    reliability::TranscriptCapture transcript;
    ReplayOutcome outcome;
    ASSERT_TRUE(replay_through_program(golden_path(g.name), trace, folder.path, outcome, error, &transcript.file()))
        << error;
    EXPECT_EQ(differences(trace, outcome), "");
    const sim::CheckResult check = sim::check_transcript(trace, transcript.text());
    EXPECT_TRUE(check.same) << check.difference;
    EXPECT_EQ(check.compared, outcome.played);
  }
}

// The number of the first command of the trace whose CDB starts with `prefix` (hex), after `skip`
// such commands.
std::uint32_t command_number(const sim::TraceFile& trace, const std::string& prefix, int skip = 0) {
  for (const sim::TraceCommand& c : trace.commands) {
    if (c.answer == sim::TraceAnswer::status && sim::hex_bytes(c.cdb, 12).rfind(prefix, 0) == 0 && skip-- == 0) {
      return c.n;
    }
  }
  return 0;
}

// The trace with the CDB of command n replaced.
std::string with_cdb(const std::string& text, std::uint32_t n, const std::string& cdb) {
  const std::string start = "cmd n=" + std::to_string(n) + " ";
  const std::size_t line = text.find(start);
  const std::size_t at = text.find("cdb=", line) + 4;
  std::string changed = text;
  changed.replace(at, cdb.size(), cdb);
  return changed;
}

TEST(GoldenTraces, AChangedCommandIsReportedAtItsIndex) {
  const std::string path = golden_path("success_pass_through");
  const std::string text = read_text(path);
  sim::TraceFile trace;
  std::string error;
  ASSERT_TRUE(sim::parse_trace(text, trace, error)) << error;
  const std::uint32_t tur = command_number(trace, "00", 3);
  const std::uint32_t write = command_number(trace, "EA", 10);
  const std::uint32_t rewrite = command_number(trace, "F5000000000000000000008");
  const std::uint32_t identity = command_number(trace, "ED00", 0);
  ASSERT_NE(tur * write * rewrite * identity, 0u);
  // The identity read recorded at another moment (12 s past minute 5): its six time-derived
  // parameters are never compared by value, so the replay of the program's own read goes on.
  const std::string other_moment =
      "ED00F3FA4D9F10"
      "6A6010003C";
  const struct Case {
    const char* name;
    std::uint32_t n;
    std::string cdb;
    std::uint32_t mismatch;  // 0: none
  } cases[] = {
      {"a readiness poll's control byte", tur, "000000000001", tur},
      {"a download write's offset", write, "EA0000000270", write},
      {"the rewrite's mode", rewrite, "F50000000000000000000000", rewrite},
      {"the identity read at another moment", identity, other_moment, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::TempFolder folder("tz594k-golden-");
    const std::string mutated = folder.path + "/mutated.trace";
    std::ofstream(mutated, std::ios::binary) << with_cdb(text, c.n, c.cdb);
    sim::TraceFile changed;
    ASSERT_TRUE(sim::load_trace(mutated.c_str(), changed, error)) << error;
    ReplayOutcome outcome;
    ASSERT_TRUE(replay_through_program(mutated, changed, folder.path, outcome, error)) << error;
    if (c.mismatch == 0) {
      EXPECT_EQ(differences(changed, outcome), "");
    } else {
      EXPECT_EQ(outcome.mismatch_n, c.mismatch) << outcome.mismatch;
      EXPECT_NE(outcome.exit_code, 0);
    }
  }
}

TEST(GoldenTraces, ATraceTheProgramWritesHereReplaysToTheSameEnd) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(reliability::via_name(via));
    const test::TempFolder folder("tz594k-golden-");
    Machine m(via);
    sim::DriveSettings s;
    s.tray_open = true;
    m.add(s);
    m.host.files.set_current_folder(folder.path);
    EXPECT_EQ(m.run("/AU /TRO"), 0);
    const std::string written = m.host.files.disk_path(m.ctx->trace.path);
    sim::TraceFile trace;
    std::string error;
    ASSERT_TRUE(sim::load_trace(written.c_str(), trace, error)) << error;
    ReplayOutcome outcome;
    ASSERT_TRUE(replay_through_program(written, trace, folder.path, outcome, error)) << error;
    EXPECT_EQ(differences(trace, outcome), "");
    EXPECT_EQ(outcome.played, m.drives[0].count(sim::CommandKind::any));
  }
}

}  // namespace
}  // namespace tz::golden
