#pragma once
// The screens' shared state: formatting buffer, progress window and bars, processing window,
// worker result.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/dialogs.h"
#include "platform/types.h"

namespace tz {

struct Context;

inline constexpr std::size_t formatting_buffer_size = 4608;

// A long drive command run on the worker thread: 1 when it succeeded, -1 when it failed.
using WorkerRoutine = std::int32_t (*)(Context& ctx);

struct UiState {
  char formatting_buffer[formatting_buffer_size] = {};

  // The progress screen stores its handle here on every message; the progress lines address it.
  platform::Handle progress_window = platform::null_handle;
  // Filled marks the last bar update showed (0 to 20), one count for both bars.
  std::int32_t progress_step = 0;

  platform::Handle processing_window = platform::null_handle;
  platform::DialogProcedure processing_procedure;  // lives as long as the window

  // 0 while the worker runs, then 1 or -1: stored once by the worker (release), polled by the
  // screen's thread (acquire).
  std::atomic<std::int32_t> worker_result{0};
  WorkerRoutine worker_routine = nullptr;
};
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

}  // namespace tz
