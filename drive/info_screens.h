#pragma once
// The screens that print identity data: the start confirmation (the chosen drive against the
// carried image) and the detailed version list of the image and the build; and the copyright text.
#include <cstdint>

#include "platform/types.h"

namespace tz {

struct DriveLink;

// Start confirmation of the drive at current_drive: 0 to start the update, 1 to leave.
std::int32_t show_start_confirmation(DriveLink& link);
// The detailed version list (one template for both languages); 1.
std::int32_t show_detail_version(DriveLink& link);

// The comparison text the start confirmation shows, formatted into the formatting buffer.
const char* format_version_comparison(DriveLink& link);
// Fills a list box of the detailed version screen with every line in order.
void fill_detail_list(DriveLink& link, platform::Handle window, int control_id);
// Formats the copyright text into the formatting buffer, for the copyright screen to show next.
const char* format_copyright(DriveLink& link);

}  // namespace tz
