#include "drive/discovery.h"

#include <cstring>

#include "drive/commands.h"
#include "drive/drive_identity.h"
#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "drive/preparation.h"
#include "drive/transport.h"
#include "image/matching.h"

namespace tz {

namespace {

constexpr int readiness_polls = 5;

// Folds one drive's result into the scan's: a candidate decision (its tray asked again, which
// refreshes media_present) makes it 0, a recognised drive makes -1 into 1, and a tray that could
// not be opened or the user's EXIT replace it.
int fold_drive_result(DriveLink& link, int result, int drive_result) {
  if (drive_result == 0) {
    query_tray_state(link);
    result = 0;
  }
  if (result == -1 && drive_result == 1) return 1;
  if (drive_result == tray_could_not_open || drive_result == user_chose_exit) return drive_result;
  return result;
}

int scan_pass_through(DriveLink& link) {
  int result = -1;
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    DriveRecord& d = link.state.drive_table[link.state.current_drive];
    int drive_result = -1;  // a letter whose device does not open is passed over
    if (spt_open(link) == 0) {
      d.drive_type = link.devices.get_drive_type(d.device_path + device_letter_offset);
      drive_result = probe_drive(link);
    }
    result = fold_drive_result(link, result, drive_result);
    spt_close(link);
    if (result == tray_could_not_open || result == user_chose_exit) return result;
  }
  return result;
}

int scan_aspi(DriveLink& link) {
  if (aspi_load(link) != 0) return -1;
  int result = -1;
  // A user's EXIT does not end this scan: a later drive may still be a candidate.
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    for (int i = 0; i < readiness_polls; ++i) cmd_test_unit_ready(link, 0);
    result = fold_drive_result(link, result, probe_drive(link));
    // The drive whose tray stayed shut stays current, so the result log names it.
    if (result == tray_could_not_open) break;
  }
  return result;
}

// The drive at current_drive by its INQUIRY alone: not supported, at the image's revision, at a
// revision that a supported firmware entry carries (one the update can take), or at another.
enum class Level { not_supported, image, updatable, other };

Level inquiry_level(DriveLink& link) {
  if (read_inquiry_identity(link) != 0) return Level::not_supported;
  const DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr || is_supported_pair(link.image.image_identity, link.supported, d->vendor_id, d->product_id) != 0)
    return Level::not_supported;
  if (std::strcmp(d->product_revision, link.image.image_identity.info_revision) == 0) return Level::image;
  for (std::size_t i = 0; i < supported_firmware_count; ++i) {
    if (std::strcmp(d->product_revision, link.supported.identity(i).info_revision) == 0) return Level::updatable;
  }
  return Level::other;
}

// The drives' levels folded as the update would end on them: a drive it can take wins, then one
// that already carries the image, then one it cannot take.
struct DetectionCount {
  bool updatable = false;
  bool image = false;
  bool other = false;

  void add(Level level) {
    if (level == Level::updatable) updatable = true;
    if (level == Level::image) image = true;
    if (level == Level::other) other = true;
  }
  Detection verdict() const {
    if (updatable) return Detection::update_needed;
    if (image) return Detection::all_carry_image;
    return other ? Detection::no_match : Detection::no_supported_drive;
  }
};

}  // namespace

Detection detect_drives(DriveLink& link) {
  init_drive_table(link.state);
  DetectionCount count;
  if (link.state.transport == transport_pass_through) {
    for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
      DriveRecord& d = link.state.drive_table[link.state.current_drive];
      if (spt_open(link) == 0) {
        d.drive_type = link.devices.get_drive_type(d.device_path + device_letter_offset);
        if (d.drive_type != platform::drive_removable) count.add(inquiry_level(link));
      }
      spt_close(link);
    }
    return count.verdict();
  }
  // The scan's readiness polls stay out: TEST UNIT READY is a command of its own.
  if (aspi_load(link) != 0) return Detection::no_supported_drive;
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    count.add(inquiry_level(link));
  }
  return count.verdict();
}

int probe_drive(DriveLink& link) {
  if (read_inquiry_identity(link) != 0) return -1;
  DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr || is_supported_pair(link.image.image_identity, link.supported, d->vendor_id, d->product_id) != 0)
    return -1;
  const int tray = link.ui.silent() ? auto_open_tray(link) : wait_for_open_tray(link, 1);
  if (tray != 0) return tray;
  if (read_drive_identity(link) != 0) return -1;
  d->identity_source = identity_source_drive;
  return classify_drive_identity(link);
}

int scan_drives(DriveLink& link) {
  init_drive_table(link.state);
  return link.state.transport == transport_pass_through ? scan_pass_through(link) : scan_aspi(link);
}

}  // namespace tz
