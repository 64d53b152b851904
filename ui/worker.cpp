#include "ui/worker.h"

#include "ui/waits.h"

namespace tz {

namespace {

// Anything but success counts as failure, so the poll ends whatever the routine answered.
void worker_body(void* argument) {
  UiState& state = *static_cast<UiState*>(argument);
  const std::int32_t outcome = state.worker_routine(state.worker_work) == 1 ? 1 : -1;
  state.worker_result.store(outcome, std::memory_order_release);
}

}  // namespace

int run_in_worker(Ui& ui, WorkerRoutine routine, void* work) {
  const platform::Handle window = ui.state.progress_window;
  service_messages(ui, window);
  ui.state.worker_result.store(0, std::memory_order_relaxed);
  ui.state.worker_routine = routine;
  ui.state.worker_work = work;
  if (!ui.threads.start_thread(worker_body, &ui.state)) return 1;
  std::int32_t result = 0;
  while ((result = ui.state.worker_result.load(std::memory_order_acquire)) == 0) {
    service_messages(ui, window);
    busy_wait(ui.clock, worker_poll_ms);
  }
  return result == 1 ? 0 : -1;
}

}  // namespace tz
