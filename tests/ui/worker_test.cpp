#include "ui/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/context.h"
#include "drive/commands.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "sim/sim_drive.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

using platform::host::DialogEvent;
using Kind = DialogEvent::Kind;

constexpr platform::Handle progress_window = 0x7777;

std::atomic<std::thread::id> worker_thread;

std::int32_t note_thread(std::int32_t result) {
  worker_thread.store(std::this_thread::get_id());
  return result;
}
std::int32_t succeeds(void*) { return note_thread(1); }
std::int32_t fails(void*) { return note_thread(-1); }
std::int32_t answers_nonsense(void*) { return note_thread(0); }

// A command whose drive is busy for each of these times in turn, as a simulated drive makes the
// clock pass; the time at which it ended.
platform::host::VirtualClock* drive_clock = nullptr;
std::vector<std::int32_t> busy_times;
std::atomic<std::int32_t> command_end{-1};
void be_busy(void*) {
  for (const std::int32_t ms : busy_times) drive_clock->advance(ms);
  command_end.store(drive_clock->now_ms());
}
std::int32_t busy_drive(void*) {
  be_busy(nullptr);
  return 1;
}
// A command that sleeps on the clock itself until 1.2 s.
std::int32_t sleeps_until_1200(void* work) {
  platform::Clock& clock = *static_cast<platform::Clock*>(work);
  clock.sleep_until(1200);
  command_end.store(clock.now_ms());
  return 1;
}

struct WorkerFixture : test::Fixture {
  WorkerFixture() {
    ctx->ui_state.progress_window = progress_window;
    worker_thread.store(std::thread::id());
    drive_clock = &host.clock;
    command_end.store(-1);
  }
  // The times of every service of the progress window (its refresh comes first).
  std::vector<std::int32_t> services() const {
    std::vector<std::int32_t> times;
    for (const DialogEvent& e : host.dialogs.events) {
      if (e.kind == Kind::bring_to_top && e.window == progress_window) times.push_back(e.time);
    }
    return times;
  }
};

// One service before the start, then one at the start of each 500 ms slice.
std::vector<std::int32_t> services_for(int slices) {
  std::vector<std::int32_t> times{0};
  for (int i = 0; i < slices; ++i) times.push_back(500 * i);
  return times;
}

TEST(RunInWorker, ReportsTheWorkersOutcome) {
  struct Case {
    const char* name;
    WorkerRoutine routine;
    int result;
    std::int32_t stored;
  };
  for (const Case& c : {Case{"success", succeeds, 0, 1}, Case{"failure", fails, -1, -1},
                        Case{"an answer that is neither counts as failure", answers_nonsense, -1, -1}}) {
    WorkerFixture f;
    EXPECT_EQ(run_in_worker(f.ctx->ui, c.routine, nullptr), c.result) << c.name;
    EXPECT_EQ(f.ctx->ui_state.worker_result.load(), c.stored) << c.name;
    EXPECT_EQ(f.host.threads.started(), 1) << c.name;
    EXPECT_NE(worker_thread.load(), std::this_thread::get_id()) << c.name << ": the command must not block the screens";
  }
}

TEST(RunInWorker, AThreadThatCannotStartIsReportedAsOne) {
  WorkerFixture f;
  f.host.threads.fail_start = true;
  f.host.dialogs.queue_message(progress_window, platform::wm_lbuttondown);
  EXPECT_EQ(run_in_worker(f.ctx->ui, succeeds, nullptr), 1);
  EXPECT_EQ(worker_thread.load(), std::thread::id()) << "the routine never ran";
  EXPECT_EQ(f.host.dialogs.count(Kind::removed), 1u) << "serviced once before the start";
  EXPECT_EQ(f.host.clock.now_ms(), 0);
}

TEST(RunInWorker, TheCommandsTimePassesInServicedHalfSecondSlices) {
  struct Case {
    const char* name;
    std::vector<std::int32_t> busy;
    int slices;
    std::int32_t end;  // of the command on the worker; the poll ends at 500 * slices
  };
  const Case cases[] = {
      {"no time at all: the result is there before the first look", {}, 0, 0},
      {"1 ms", {1}, 1, 500},
      {"499 ms", {499}, 1, 500},
      {"500 ms", {500}, 1, 500},
      {"501 ms", {501}, 2, 1000},
      {"two steps of 300 ms: the second starts when the first slice ends", {300, 300}, 2, 1000},
      {"a ROM rewrite of 3 s", {3000}, 6, 3000},
  };
  for (const Case& c : cases) {
    WorkerFixture f;
    busy_times = c.busy;
    EXPECT_EQ(run_in_worker(f.ctx->ui, busy_drive, nullptr), 0) << c.name;
    EXPECT_EQ(command_end.load(), c.end) << c.name;
    EXPECT_EQ(f.host.clock.now_ms(), 500 * c.slices) << c.name;
    EXPECT_EQ(f.host.clock.sleep_count(), static_cast<std::size_t>(c.slices)) << c.name;
    for (const auto& sleep : f.host.clock.sleeps()) EXPECT_EQ(sleep.to - sleep.from, 500) << c.name;
    EXPECT_EQ(f.services(), services_for(c.slices)) << c.name;
  }
  WorkerFixture f;
  EXPECT_EQ(run_in_worker(f.ctx->ui, sleeps_until_1200, &f.ctx->os.clock), 0);
  EXPECT_EQ(command_end.load(), 1500) << "a worker's own sleep waits for the poller's time";
  EXPECT_EQ(f.services(), services_for(3));
}

TEST(RunInWorker, AFiftySecondCommandTakesOneHundredSlicesOnEveryRun) {
  busy_times = {50000};
  for (int run = 0; run < 200; ++run) {
    WorkerFixture f;
    ASSERT_EQ(run_in_worker(f.ctx->ui, busy_drive, nullptr), 0);
    ASSERT_EQ(f.host.clock.sleep_count(), 100u) << "run " << run;
    ASSERT_EQ(f.services().size(), 101u) << "run " << run;
    ASSERT_EQ(command_end.load(), 50000) << "run " << run;
    ASSERT_EQ(f.host.clock.now_ms(), 50000) << "run " << run;
  }
}

TEST(RunInWorker, AWorkerLeftWaitingWhenNobodyPollsPassesTheTimeItselfAsTheThreadsGoAway) {
  platform::host::VirtualClock clock;
  {
    platform::host::HostThreads threads(clock);
    drive_clock = &clock;
    busy_times = {700, 300};
    command_end.store(-1);
    ASSERT_TRUE(threads.start_thread(be_busy, nullptr));
    EXPECT_EQ(clock.now_ms(), 0) << "the worker waits for a poller";
  }
  EXPECT_EQ(command_end.load(), 1000);
  EXPECT_EQ(clock.now_ms(), 1000);
  EXPECT_EQ(clock.sleep_count(), 0u);
}

// The drive on the worker: eject with a tray that takes 50 s, over both transports.
std::int32_t eject(void* work) { return cmd_eject(*static_cast<DriveLink*>(work), 0) == 0 ? 1 : -1; }

TEST(RunInWorker, ASimulatedDriveCommandOnTheWorkerTakesItsTimeInSlices) {
  for (const std::uint8_t transport : {transport_pass_through, transport_aspi}) {
    sim::DriveSettings settings;
    settings.tray_ms = 50000;
    sim::SimDrive drive(settings);
    WorkerFixture f;
    Context& ctx = *f.ctx;
    init_drive_table(ctx.drive);
    ctx.drive.current_drive = 1;
    ctx.drive.transport = transport;
    const DriveRecord& record = ctx.drive.drive_table[1];
    if (transport == transport_pass_through) {
      f.host.devices.attach('D', drive);
      ASSERT_EQ(spt_open(ctx.link), 0);
    } else {
      f.host.aspi.attach(record.ha_id, record.target_id, drive);
      ASSERT_EQ(aspi_load(ctx.link), 0);
    }
    EXPECT_EQ(run_in_worker(ctx.ui, eject, &ctx.link), 0) << int(transport);
    EXPECT_TRUE(drive.tray_open()) << int(transport);
    EXPECT_EQ(f.host.clock.now_ms(), 50000) << int(transport);
    EXPECT_EQ(f.services(), services_for(100)) << int(transport);
  }
}

}  // namespace
}  // namespace tz
