#pragma once
// Timed waits that keep the windows alive without a message loop of the program's own.
#include <cstdint>

#include "platform/clock.h"
#include "platform/types.h"
#include "ui/ui_state.h"

namespace tz {

// Waits ms milliseconds on the clock without servicing any message (the real clock sleeps until
// the deadline). Always 0.
int busy_wait(platform::Clock& clock, std::int32_t ms);
// Waits ms milliseconds in 500 ms slices, servicing one message before each slice. Always 0.
int wait_servicing(Ui& ui, std::uint32_t ms, platform::Handle window);
// Dispatches a queued power broadcast or session-end query, else drops one queued message.
// 1 when the queue was empty, 0 otherwise.
int service_messages(Ui& ui, platform::Handle window);
// BringWindowToTop and UpdateWindow. Always 0.
int refresh_window(Ui& ui, platform::Handle window);

}  // namespace tz
