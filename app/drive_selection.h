#pragma once
// The drive selection screen: the user picks one of several drives the image is for.
#include <cstdint>

namespace tz {

struct DriveLink;

// Lists the drives of status 6, the first selected; OK makes the chosen one current_drive with
// status 7 and gives 0, EXIT (or a list without a selection) gives 1 and chooses nothing.
std::int32_t show_drive_selection(DriveLink& link);

}  // namespace tz
