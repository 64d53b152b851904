// The trace a run writes with /TRO, read back as the simulator reads it: every command the drive
// received with its answer, the proof in the footer, failures traced as well as successes, and a
// trace that cannot be written changing nothing else.
#include "drive/trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/switches.h"
#include "core/digest.h"
#include "drive/transport.h"
#include "platform/aspi.h"
#include "platform/host/host_os.h"
#include "sim/replay_check.h"
#include "sim/trace_file.h"
#include "tests/reliability/whole_run.h"
#include "tests/support/temp_folder.h"

namespace tz {
namespace {

using reliability::Machine;
using reliability::Via;
namespace srb = platform::srb;

sim::DriveSettings ready_drive() {
  sim::DriveSettings s;
  s.tray_open = true;
  return s;
}

sim::FaultRule rule(sim::CommandKind kind, sim::FaultAction action, std::uint32_t times = 1) {
  sim::FaultRule r;
  r.kind = kind;
  r.action = action;
  r.times = times;
  return r;
}

// A silent run with the trace on, in a folder of the test's, read back.
struct TracedRun {
  const test::TempFolder folder{"tz594k-trace-"};
  Machine m;
  std::int32_t exit_code = -1;
  sim::TraceFile trace;

  TracedRun(Via via, const sim::DriveSettings& drive, const std::string& arguments = "/AU /TRO") : m(via) {
    m.add(drive);
    m.host.files.set_current_folder(folder.path);
    exit_code = m.run(arguments);
    std::string error;
    const std::vector<std::string> written = folder.files(".trace");
    EXPECT_EQ(written.size(), 1u);
    if (written.size() == 1) {
      EXPECT_TRUE(sim::load_trace(written[0].c_str(), trace, error)) << error;
    }
  }
  std::vector<const sim::TraceCommand*> commands(std::uint8_t opcode) const {
    std::vector<const sim::TraceCommand*> found;
    for (const sim::TraceCommand& c : trace.commands) {
      if (c.cdb[0] == opcode) found.push_back(&c);
    }
    return found;
  }
};

std::string field(const std::vector<sim::Token>& fields, const char* key) {
  const std::string* value = sim::field_value(fields, key);
  return value == nullptr ? "(none)" : *value;
}

TEST(Trace, AnUpdateLeavesEveryCommandAndItsProofOnBothTransports) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(reliability::via_name(via));
    TracedRun run(via, ready_drive());
    ASSERT_EQ(run.exit_code, 0);
    const sim::TraceFile& t = run.trace;
    EXPECT_EQ(field(t.program, "version"), "TZ594K_for_ZEMO_V1.01");
    EXPECT_EQ(field(t.program, "image"), "1.01");
    EXPECT_EQ(field(t.system, "transport"), via == Via::aspi ? "ASPI" : "pass-through");
    EXPECT_EQ(field(t.system, "os"), via == Via::aspi ? "Windows98SE 4.10 (Build 2222)" : "WindowsXP 5.1 (Build 2600)");
    EXPECT_EQ(t.arguments, "/AU /TRO");

    // Every command the drive received, in order, with the answer it gave.
    const sim::CheckResult check = sim::check_transcript(t, run.m.transcript.text());
    EXPECT_TRUE(check.same) << check.difference;
    EXPECT_EQ(check.compared, run.m.drives[0].count(sim::CommandKind::any));

    // The first piece is the header and the info block as the image gives them, read back equal.
    const ImageState& image = run.m.ctx->image;
    const auto writes = run.commands(0xEA);
    const auto reads = run.commands(0xE8);
    ASSERT_EQ(writes.size(), 2u * 1097);
    ASSERT_EQ(reads.size(), 2u * 1097);
    // The digest takes the data behind the header first, then the header.
    EXPECT_EQ(writes[0]->digest, digest64(image.transfer_header, header_bytes,
                                          digest64(image.transfer_info_block, image.transfer_info_size)));
    EXPECT_EQ(writes[0]->moved, 416u);
    for (const sim::TraceCommand* read : reads) EXPECT_EQ(read->same, sim::ReadBack::same) << read->n;
    // The drive's first answer to INQUIRY (under ASPI the addresses without a drive come first).
    const sim::TraceCommand* inquiry = nullptr;
    for (const sim::TraceCommand* c : run.commands(0x12)) {
      if (inquiry == nullptr && c->answer == sim::TraceAnswer::status) inquiry = c;
    }
    ASSERT_NE(inquiry, nullptr);
    const std::vector<std::uint8_t>& reply = inquiry->data;
    ASSERT_GE(reply.size(), 36u);
    EXPECT_EQ(std::string(reply.begin() + 8, reply.begin() + 36), "KORVANTABD-CMB TZ594KS  1.00");

    // The footer: the result, what the search read, and the drive's answers to the rewrite and
    // the verify; nothing was read from it afterwards.
    EXPECT_TRUE(t.complete);
    EXPECT_EQ(t.result_code, 0);
    EXPECT_EQ(t.exit_code, 0);
    ASSERT_EQ(t.before.size(), 1u);
    EXPECT_EQ(field(t.before[0], "revision"), "1.00");
    EXPECT_EQ(field(t.before[0], "identity"), "1.00");
    ASSERT_EQ(t.after.size(), 1u);
    EXPECT_EQ(field(t.after[0], "read"), "no");
    EXPECT_EQ(field(t.after[0], "rewrite"), "good");
    EXPECT_EQ(field(t.after[0], "verify"), "good");
    // The last command is the verify: the drive is asked nothing after it.
    ASSERT_FALSE(t.commands.empty());
    EXPECT_EQ(t.commands.back().cdb[0], 0xF5);
    EXPECT_EQ(t.commands.back().cdb[11], 0x40);
  }
}

TEST(Trace, FailuresAreTracedWithWhatTheDriveDid) {
  const struct Case {
    const char* name;
    Via via;
    sim::FaultRule fault;
    std::int32_t code, exit_code;
    const char* status;   // of the command the fault struck, as the trace gives it
    std::uint8_t opcode;  // that command's operation code, and one more byte of its CDB when `at` is not 0
    std::uint8_t at, value;
    const char* after;  // the after line's "rewrite verify" answers; empty: no after line
  } cases[] = {
      {"boot-mode command refused (ASPI)", Via::aspi, rule(sim::CommandKind::prepare, sim::FaultAction::check), 500, 5,
       "02 04/44/00", 0xED, 6, 0x01, "none none"},
      {"read-back altered (pass-through)", Via::pass_through,
       rule(sim::CommandKind::read, sim::FaultAction::flip, 1000), 500, 5, "00 same=no", 0xE8, 0, 0, "none none"},
      {"boot-mode command never answers (pass-through)", Via::pass_through,
       rule(sim::CommandKind::prepare, sim::FaultAction::hang), 500, 5, "fail", 0xED, 6, 0x01, "none none"},
      {"INQUIRY never answers (ASPI)", Via::aspi, rule(sim::CommandKind::inquiry, sim::FaultAction::hang), 100, 1,
       "timeout", 0x12, 0, 0, ""},
      {"rewrite refused ten times (pass-through)", Via::pass_through,
       rule(sim::CommandKind::rewrite, sim::FaultAction::check, 10), 300, 3, "02 03/0C/00", 0xF5, 11, 0x80,
       "check none"},
      {"rewrite failed in the transport ten times (ASPI)", Via::aspi,
       rule(sim::CommandKind::rewrite, sim::FaultAction::fail, 10), 300, 3, "fail", 0xF5, 11, 0x80, "no-answer none"},
      {"verify fails every time (ASPI)", Via::aspi, rule(sim::CommandKind::verify, sim::FaultAction::check, 10), 600, 6,
       "02 0E/1D/00", 0xF5, 11, 0x40, "good check"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::DriveSettings drive = ready_drive();
    drive.faults.add_rule(c.fault);
    TracedRun run(c.via, drive);
    EXPECT_EQ(run.exit_code, c.exit_code);
    EXPECT_EQ(run.trace.result_code, c.code);
    EXPECT_EQ(run.trace.exit_code, c.exit_code);
    EXPECT_TRUE(run.trace.complete);
    const auto struck = run.commands(c.opcode);
    ASSERT_FALSE(struck.empty());
    // The first command of that kind the drive received (ASPI asks addresses without a drive too).
    const sim::TraceCommand* first = nullptr;
    for (const sim::TraceCommand* s : struck) {
      if (first == nullptr && s->answer != sim::TraceAnswer::none && (c.at == 0 || s->cdb[c.at] == c.value)) {
        first = s;
      }
    }
    ASSERT_NE(first, nullptr);
    std::string seen;
    if (first->answer == sim::TraceAnswer::fail) seen = "fail";
    if (first->answer == sim::TraceAnswer::timeout) seen = "timeout";
    if (first->answer == sim::TraceAnswer::status) {
      char text[32];
      std::snprintf(text, sizeof(text), "%02X", first->status);
      seen = text;
      if (first->has_sense) {
        std::snprintf(text, sizeof(text), " %02X/%02X/%02X", first->sense.key, first->sense.asc, first->sense.ascq);
        seen += text;
      }
      if (first->same == sim::ReadBack::differs) seen += " same=no";
    }
    EXPECT_EQ(seen, c.status);
    const std::string after = c.after;
    if (after.empty()) {
      EXPECT_TRUE(run.trace.after.empty());
    } else {
      ASSERT_EQ(run.trace.after.size(), 1u);
      EXPECT_EQ(field(run.trace.after[0], "read"), "no");
      EXPECT_EQ(field(run.trace.after[0], "rewrite") + " " + field(run.trace.after[0], "verify"), after);
    }
    // The trace holds what the drive received, and the drive received nothing after the run's
    // own last command.
    const sim::CheckResult check = sim::check_transcript(run.trace, run.m.transcript.text());
    EXPECT_TRUE(check.same) << check.difference;
  }
}

// A traced run is the same run: every path sends exactly the commands of the run without the
// switch, in the same order. Identity reads differ only in the key each request carries (the
// time), which the host's clock holds still here.
TEST(Trace, ATracedRunSendsExactlyTheCommandsOfThePlainRun) {
  const struct Case {
    const char* name;
    std::vector<sim::FaultRule> faults;
    const char* arguments;
    std::int32_t exit_code;  // -1: as the plain run ends, which differs between the transports
  } cases[] = {
      {"success", {}, "/AU", 0},
      {"success, the user's run", {}, "", 0},
      {"rewrite refused ten times", {rule(sim::CommandKind::rewrite, sim::FaultAction::check, 10)}, "/AU", 3},
      {"rewrite refused twice, then taken", {rule(sim::CommandKind::rewrite, sim::FaultAction::check, 2)}, "/AU", 0},
      {"verify fails every time", {rule(sim::CommandKind::verify, sim::FaultAction::check, 10)}, "/AU", 6},
      {"boot-mode command refused", {rule(sim::CommandKind::prepare, sim::FaultAction::check)}, "/AU", 5},
      {"boot-mode command never answers", {rule(sim::CommandKind::prepare, sim::FaultAction::hang)}, "/AU", 5},
      {"rewrite never answers", {rule(sim::CommandKind::rewrite, sim::FaultAction::hang)}, "/AU", -1},
      {"verify never answers", {rule(sim::CommandKind::verify, sim::FaultAction::hang)}, "/AU", -1},
      {"read-back altered", {rule(sim::CommandKind::read, sim::FaultAction::flip, 1000)}, "/AU", 5},
      {"already updated", {}, "/AU --carried", 99},
  };
  for (const Case& c : cases) {
    for (const Via via : {Via::pass_through, Via::aspi}) {
      SCOPED_TRACE(std::string(reliability::via_name(via)) + ": " + c.name);
      std::string arguments = c.arguments;
      const bool carried = arguments.find(" --carried") != std::string::npos;
      if (carried) arguments.erase(arguments.find(" --carried"));
      std::string transcripts[2];
      std::int32_t exits[2] = {-1, -1};
      for (int traced = 0; traced < 2; ++traced) {
        const test::TempFolder folder("tz594k-trace-");
        Machine m(via);
        sim::DriveSettings drive = ready_drive();
        if (carried) std::snprintf(drive.firmware, sizeof(drive.firmware), "%s", "1.01");
        for (const sim::FaultRule& f : c.faults) drive.faults.add_rule(f);
        m.add(drive);
        m.host.files.set_current_folder(folder.path);
        folder.make_program_folder();
        m.host.dialogs.press(reliability::screen::notice, 1);
        m.host.dialogs.press(reliability::screen::start, 1);
        exits[traced] = m.run(traced != 0 ? arguments + " /TRO" : arguments);
        transcripts[traced] = m.transcript.text();
        EXPECT_EQ(folder.files(".trace").size(), static_cast<std::size_t>(traced));
      }
      if (c.exit_code != -1) {
        EXPECT_EQ(exits[0], c.exit_code);
      }
      EXPECT_EQ(exits[1], exits[0]);
      EXPECT_FALSE(transcripts[0].empty());
      EXPECT_TRUE(transcripts[1] == transcripts[0]) << "the traced run sent other commands";
    }
  }
}

// The access token of the detail-print switch never reaches a file an administrator copies around.
TEST(Trace, TheSwitchLineHoldsNoAccessToken) {
  for (const char* token : {access_token_a(), access_token_b()}) {
    const std::string arguments = std::string("/TRO FwVersionDetailPrint ") + token;
    const test::TempFolder folder("tz594k-trace-");
    Machine m(Via::pass_through);
    m.host.files.set_current_folder(folder.path);
    folder.make_program_folder();
    m.run(arguments);
    const std::vector<std::string> written = folder.files(".trace");
    ASSERT_EQ(written.size(), 1u) << arguments;
    sim::TraceFile trace;
    std::string error;
    ASSERT_TRUE(sim::load_trace(written[0].c_str(), trace, error)) << error;
    EXPECT_EQ(trace.arguments, "/TRO FwVersionDetailPrint ***");
  }
}

// A command line the check refuses leaves no trace; neither does the detection, which takes no
// other switch.
TEST(Trace, ARefusedCommandLineLeavesNoTrace) {
  for (const char* arguments : {"/DC /TRO", "/TRO /XYZ", "/TRO /TRO", "/AU /TRO /FVDP"}) {
    const test::TempFolder folder("tz594k-trace-");
    Machine m(Via::pass_through);
    m.add(ready_drive());
    m.host.files.set_current_folder(folder.path);
    EXPECT_EQ(m.run(arguments), 7) << arguments;
    EXPECT_TRUE(folder.files(".trace").empty()) << arguments;
  }
}

// What a failing silent run with its log ends with: the log's lines but its date and time.
struct RunEnd {
  std::int32_t exit_code;
  std::int32_t code;
  std::string message;
  std::vector<std::uint16_t> screens;
  std::string log;
  std::uint64_t commands;
};

RunEnd failing_run(const char* arguments, const std::function<void(platform::host::HostFiles&, const char*)>& spoil) {
  const test::TempFolder folder("tz594k-trace-");
  Machine m(Via::pass_through);
  sim::DriveSettings drive = ready_drive();
  drive.faults.add_rule(rule(sim::CommandKind::prepare, sim::FaultAction::check));
  m.add(drive);
  m.host.files.set_current_folder(folder.path);
  if (spoil) spoil(m.host.files, folder.path.c_str());
  RunEnd end{m.run(arguments),     result_code(m.ctx->app.result), result_message(m.ctx->app.result), m.screens(), "",
             m.transcript.digest()};
  for (const std::string& log : folder.files(".log")) {
    std::FILE* in = std::fopen(log.c_str(), "rb");
    char line[1024];
    while (in != nullptr && std::fgets(line, sizeof(line), in) != nullptr) {
      if (std::strncmp(line, "Date", 4) != 0 && std::strncmp(line, "Time", 4) != 0) end.log += line;
    }
    if (in != nullptr) std::fclose(in);
  }
  return end;
}

TEST(Trace, ATraceThatCannotBeWrittenChangesNothingElse) {
  using Spoil = std::function<void(platform::host::HostFiles&, const char*)>;
  const struct Case {
    const char* name;
    Spoil spoil;
  } cases[] = {
      {"read-only folder", [](platform::host::HostFiles& f, const char* folder) { f.deny_folder(folder); }},
      {"disk full from the start", [](platform::host::HostFiles& f, const char*) { f.space_left = 0; }},
      {"disk full part-way", [](platform::host::HostFiles& f, const char*) { f.space_left = 1000; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunEnd without = failing_run("/AU /LFO", c.spoil);
    const RunEnd with = failing_run("/AU /LFO /TRO", c.spoil);
    EXPECT_EQ(without.exit_code, 5);
    EXPECT_EQ(with.exit_code, without.exit_code);
    EXPECT_EQ(with.code, without.code);
    EXPECT_EQ(with.message, without.message);
    EXPECT_EQ(with.screens, without.screens);
    EXPECT_EQ(with.log, without.log);
    // Nor is the drive asked anything more when the trace has stopped.
    EXPECT_EQ(with.commands, without.commands);
  }
}

TEST(Trace, TheNameIsTheLocalTimeToTheMillisecondAndANumberWhenTaken) {
  const test::TempFolder folder("tz594k-trace-");
  platform::host::HostOs host;
  host.files.set_current_folder(folder.path);
  host.system.time = {2026, 12, 5, 4, 9, 8, 7, 65};  // Friday 2026-12-04 09:08:07.065
  std::unique_ptr<Context> runs[3];
  for (auto& run : runs) {
    run = std::make_unique<Context>(host.os());
    ASSERT_TRUE(begin_trace(run->link, {".\\", "/TRO", "1.01"}));
  }
  EXPECT_STREQ(runs[0]->trace.path, ".\\\\TZ594K_for_ZEMO_V101-20261204090807065.trace");
  EXPECT_STREQ(runs[1]->trace.path, ".\\\\TZ594K_for_ZEMO_V101-20261204090807065-2.trace");
  EXPECT_STREQ(runs[2]->trace.path, ".\\\\TZ594K_for_ZEMO_V101-20261204090807065-3.trace");
  for (auto& run : runs) end_trace(run->link, 8);
  EXPECT_EQ(folder.files(".trace").size(), 3u);
}

// Under ASPI the trace writes the status the program acted on: an SRB ended in error reads as
// CHECK CONDITION when the program took its sense, as a failure when it took none, whatever the
// target status field holds; so a replay gives the program the same answer.
TEST(Trace, AspiStatusIsTheOneTheProgramActedOn) {
  const test::TempFolder folder("tz594k-trace-");
  platform::host::HostOs host;
  host.files.set_current_folder(folder.path);
  host.system.set_version(1, 4, 10, 0x040A08AE);
  auto ctx = std::make_unique<Context>(host.os());
  ctx->drive.transport = transport_aspi;
  ctx->drive.current_drive = 0;
  ASSERT_TRUE(begin_trace(ctx->link, {".\\", "/AU /TRO", "1.01"}));
  std::uint8_t cdb[cdb_bytes] = {0x00};
  ScsiRequest request;
  request.cdb = cdb;
  const struct Case {
    std::uint8_t srb_status, target_status;
    int result;
  } cases[] = {
      {srb::ss_err, 0x00, 1},   // error, target status GOOD, sense taken: CHECK CONDITION
      {srb::ss_err, 0x00, -1},  // error ended at once, nothing taken: a failure
      {srb::ss_err, 0x08, 1},   // BUSY with an error: the program took its sense
      {srb::ss_comp, 0x00, 0},
  };
  for (const Case& c : cases) {
    const std::int32_t started = trace_request_start(ctx->link);
    ctx->drive.aspi_request_block[srb::status] = c.srb_status;
    ctx->drive.aspi_request_block[srb::targ_stat] = c.target_status;
    trace_command(ctx->link, request, c.result, started);
  }
  end_trace(ctx->link, 8);
  const std::vector<std::string> written = folder.files(".trace");
  ASSERT_EQ(written.size(), 1u);
  sim::TraceFile trace;
  std::string error;
  ASSERT_TRUE(sim::load_trace(written[0].c_str(), trace, error)) << error;
  ASSERT_EQ(trace.commands.size(), 4u);
  EXPECT_EQ(trace.commands[0].answer, sim::TraceAnswer::status);
  EXPECT_EQ(trace.commands[0].status, 0x02);
  EXPECT_EQ(trace.commands[1].answer, sim::TraceAnswer::fail);
  EXPECT_EQ(trace.commands[2].answer, sim::TraceAnswer::status);
  EXPECT_EQ(trace.commands[2].status, 0x02);
  EXPECT_EQ(trace.commands[3].answer, sim::TraceAnswer::status);
  EXPECT_EQ(trace.commands[3].status, 0x00);
}

}  // namespace
}  // namespace tz
