#include "ui/waits.h"

#include "ui/ui_state.h"

namespace tz {

namespace {

constexpr std::uint32_t slice_ms = 500;

// Instants wrap around; only their signed difference orders them.
bool reached(std::int32_t now, std::int32_t deadline) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(deadline)) >= 0;
}

}  // namespace

int busy_wait(platform::Clock& clock, std::int32_t ms) {
  const std::int32_t deadline =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(clock.now_ms()) + static_cast<std::uint32_t>(ms));
  for (std::int32_t now = clock.now_ms(); !reached(now, deadline); now = clock.now_ms()) clock.sleep_until(deadline);
  return 0;
}

int refresh_window(Ui& ui, platform::Handle window) {
  ui.dialogs.bring_window_to_top(window);
  ui.dialogs.update_window(window);
  return 0;
}

int service_messages(Ui& ui, platform::Handle window) {
  platform::Dialogs& dialogs = ui.dialogs;
  refresh_window(ui, window);
  // Power and shutdown queries reach their windows (the main window refuses both) and stay
  // queued; any other input is taken away unseen, so the screens cannot be operated meanwhile.
  platform::QueuedMessage message;
  if (dialogs.peek_message(message, platform::wm_powerbroadcast, platform::wm_powerbroadcast, platform::pm_noremove) ||
      dialogs.peek_message(message, platform::wm_queryendsession, platform::wm_queryendsession,
                           platform::pm_noremove)) {
    dialogs.dispatch_message(message);
    return 0;
  }
  return dialogs.peek_message(message, 0, 0, platform::pm_remove) ? 0 : 1;
}

int wait_servicing(Ui& ui, std::uint32_t ms, platform::Handle window) {
  const std::uint32_t slices = ms / slice_ms;
  for (std::uint32_t i = 0; i < slices; ++i) {
    service_messages(ui, window);
    busy_wait(ui.clock, static_cast<std::int32_t>(slice_ms));
  }
  refresh_window(ui, window);
  busy_wait(ui.clock, static_cast<std::int32_t>(ms % slice_ms));
  return 0;
}

}  // namespace tz
