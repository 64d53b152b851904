#pragma once
// The screens' shared state: formatting buffer, progress window and bars, processing window,
// worker result.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/run_result.h"
#include "core/run_switches.h"
#include "core/string_table.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/threads.h"
#include "platform/types.h"
#include "platform/windows.h"

namespace tz {

inline constexpr std::size_t formatting_buffer_size = 4608;

// A long drive command run on the worker thread, given what its starter handed over: 1 when it
// succeeded, -1 when it failed.
using WorkerRoutine = std::int32_t (*)(void* work);

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
  void* worker_work = nullptr;
};
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

// What the screen mechanics are given: the seam's windows, dialogs, clock and threads, their own
// state, what start-up settles for every screen (texts, language, switches, owner window), and
// the run result the silent forms of the screens record into. The program builds it once.
struct Ui {
  platform::Dialogs& dialogs;
  platform::Windows& windows;
  platform::Clock& clock;
  platform::Threads& threads;
  UiState& state;
  const StringTable& texts;
  const std::uint8_t& language;
  const RunSwitches& switches;
  const platform::Handle& instance;
  const platform::Handle& main_window;
  RunResult& result;

  const char* text(Text id) const { return texts.get(id); }
  // A detection run is silent as well: it runs where no one can answer a screen.
  bool silent() const { return switches.silent != 0 || switches.detection_check != 0; }
};

}  // namespace tz
