#include "drive/targets.h"

#include "drive/drive_link.h"
#include "image/matching.h"

namespace tz {

namespace {

bool is_candidate(std::uint8_t status) {
  return status == drive_status_candidate_a || status == drive_status_candidate_b || status == drive_status_candidate_c;
}

}  // namespace

int match_drive_identity(DriveLink& link, std::uint32_t drive_index) {
  if (drive_index >= drive_table_size) return -1;
  return match_identity(link.state.drive_table[drive_index].identity, link.image.image_identity, link.supported);
}

int is_excluded_drive(DriveLink& link, std::uint32_t drive_index) {
  if (drive_index >= drive_table_size) return -1;
  return is_excluded_identity(link.state.drive_table[drive_index].identity, link.image.image_identity, link.ui.texts);
}

int select_update_targets(DriveLink& link) {
  int targets = 0;
  int already = 0;
  for (std::uint32_t i = 0; i < drive_table_size; ++i) {
    DriveRecord& d = link.state.drive_table[i];
    if (!is_candidate(d.status)) continue;
    if ((d.drive_kind & link.image.drive_kind_mask) == 0) continue;
    if (is_excluded_drive(link, i) != 0) continue;
    const int r = match_drive_identity(link, i);
    if (r == 0) {
      d.status = drive_status_target;
      ++targets;
    } else if (r == 1) {
      d.status = drive_status_already_updated;
      ++already;
    }
  }
  if (targets == 0) return already == 0 ? 0 : 5;
  return targets == 1 ? 7 : 6;
}

}  // namespace tz
