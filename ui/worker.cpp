#include "ui/worker.h"

#include "app/context.h"
#include "ui/waits.h"

namespace tz {

namespace {

// Anything but success counts as failure, so the poll ends whatever the routine answered.
void worker_body(void* argument) {
  Context& ctx = *static_cast<Context*>(argument);
  const std::int32_t outcome = ctx.ui.worker_routine(ctx) == 1 ? 1 : -1;
  ctx.ui.worker_result.store(outcome, std::memory_order_release);
}

}  // namespace

int run_in_worker(Context& ctx, WorkerRoutine routine) {
  const platform::Handle window = ctx.ui.progress_window;
  service_messages(ctx, window);
  ctx.ui.worker_result.store(0, std::memory_order_relaxed);
  ctx.ui.worker_routine = routine;
  if (!ctx.os.threads.start_thread(worker_body, &ctx)) return 1;
  std::int32_t result = 0;
  while ((result = ctx.ui.worker_result.load(std::memory_order_acquire)) == 0) {
    service_messages(ctx, window);
    busy_wait(ctx, worker_poll_ms);
  }
  return result == 1 ? 0 : -1;
}

}  // namespace tz
