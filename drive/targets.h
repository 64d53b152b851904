#pragma once
// Which drives of the table take this image: the matching of one record and the choice of targets.
#include <cstdint>

namespace tz {

struct DriveLink;

// 1: the drive already carries the image's firmware; 0: it carries a supported level; -1: neither,
// or no such record.
int match_drive_identity(DriveLink& link, std::uint32_t drive_index);
// -1: leave the drive alone (or no such record); 0: it may be considered.
int is_excluded_drive(DriveLink& link, std::uint32_t drive_index);
// Marks candidates as targets (6) or already updated (5). 0: no target and none updated; 5: only
// updated drives; 6: several targets; 7: one target.
int select_update_targets(DriveLink& link);

}  // namespace tz
