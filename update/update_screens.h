#pragma once
// The screens of the update and its outcome: the progress screen that hosts the update, the
// result screens finish_run shows, the log-failure screen, and the firmware version and copyright
// screens.
#include <cstdint>

#include "core/run_result.h"
#include "image/identity.h"
#include "ui/ui_state.h"

namespace tz {

struct DriveLink;

// The message the progress screen posts itself once it stands on the desktop.
inline constexpr std::uint32_t progress_start_message = 0x0400 + 1;  // WM_USER + 1

// Controls of these screens.
inline constexpr int control_portable_notes[] = {1127, 1128, 1129};
inline constexpr int control_version_heading = 1115;
inline constexpr int control_version_product_label = 1119;
inline constexpr int control_version_product = 1082;
inline constexpr int control_version_vendor_label = 1120;
inline constexpr int control_version_vendor = 1083;
inline constexpr int control_version_revision_label = 1121;
inline constexpr int control_version_revision = 1084;

// Shows the progress screen (also in silent mode); it runs the update for current_drive and closes
// itself when the update returns. The value it ended with (1).
std::int32_t show_progress_screen(DriveLink& link, RunResult& result);
// The screen finish_run shows for a result code (success, update failure, eject failure, interrupt,
// abort); nothing for a code that has none. The caller decides about silent mode.
void show_result_screen(Ui& ui, std::int32_t code);
// The result log could not be written.
void show_log_failure(Ui& ui);
// The carried firmware's vendor, product and revision.
std::int32_t show_firmware_version(Ui& ui, const IdentityRecord& image);
// Whatever the caller formatted last into the formatting buffer.
std::int32_t show_copyright(Ui& ui);

}  // namespace tz
