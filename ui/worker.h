#pragma once
// The one long drive command on a worker thread, while the screen's thread keeps the windows alive.
#include <cstdint>

#include "ui/ui_state.h"

namespace tz {

inline constexpr std::int32_t worker_poll_ms = 500;

// Runs the routine with `work` on a new thread and services the progress window every 500 ms until the
// routine has stored its result. 0 when it succeeded, -1 when it failed, 1 when no thread could
// be started.
int run_in_worker(Ui& ui, WorkerRoutine routine, void* work);

}  // namespace tz
