#include "update/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/context.h"
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
std::int32_t succeeds(Context&) { return note_thread(1); }
std::int32_t fails(Context&) { return note_thread(-1); }
std::int32_t answers_nonsense(Context&) { return note_thread(0); }
// A command that takes 1.5 s: it ends only once the waiting thread has let that much time pass.
std::int32_t takes_its_time(Context& ctx) {
  while (ctx.os.clock.now_ms() < 1500) std::this_thread::yield();
  return note_thread(1);
}

struct WorkerFixture : test::Fixture {
  WorkerFixture() {
    ctx->ui.progress_window = progress_window;
    worker_thread.store(std::thread::id());
  }
};

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
    EXPECT_EQ(run_in_worker(*f.ctx, c.routine), c.result) << c.name;
    EXPECT_EQ(f.ctx->ui.worker_result.load(), c.stored) << c.name;
    EXPECT_EQ(f.host.threads.started(), 1) << c.name;
    EXPECT_NE(worker_thread.load(), std::this_thread::get_id()) << c.name << ": the command must not block the screens";
  }
}

TEST(RunInWorker, AThreadThatCannotStartIsReportedAsOne) {
  WorkerFixture f;
  f.host.threads.fail_start = true;
  f.host.dialogs.queue_message(progress_window, platform::wm_lbuttondown);
  EXPECT_EQ(run_in_worker(*f.ctx, succeeds), 1);
  EXPECT_EQ(worker_thread.load(), std::thread::id()) << "the routine never ran";
  EXPECT_EQ(f.host.dialogs.count(Kind::removed), 1u) << "serviced once before the start";
  EXPECT_EQ(f.host.clock.now_ms(), 0);
}

TEST(RunInWorker, KeepsTheProgressWindowServicedEveryHalfSecondWhileTheCommandRuns) {
  WorkerFixture f;
  EXPECT_EQ(run_in_worker(*f.ctx, takes_its_time), 0);
  const auto sleeps = f.host.clock.sleeps();
  ASSERT_GE(sleeps.size(), 3u);
  for (const auto& sleep : sleeps) EXPECT_EQ(sleep.to - sleep.from, 500);
  // One service before the start and one before every poll slice, all on the progress window.
  std::size_t services = 0;
  for (const DialogEvent& e : f.host.dialogs.events) {
    if (e.kind != Kind::bring_to_top) continue;
    EXPECT_EQ(e.window, progress_window);
    EXPECT_EQ(e.time, static_cast<std::int32_t>(services == 0 ? 0 : 500 * (services - 1)));
    ++services;
  }
  EXPECT_EQ(services, sleeps.size() + 1);
}

}  // namespace
}  // namespace tz
