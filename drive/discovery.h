#pragma once
// Finding the drives: every position of the drive table is examined and the outcome left in it.
namespace tz {

struct DriveLink;

// 0: at least one drive reached a candidate decision; 1: drives were recognised, none is a
// candidate; -1: nothing usable (or ASPI could not be loaded); 2: silent mode could not open a
// tray; 6: the user chose EXIT at a tray prompt.
int scan_drives(DriveLink& link);
// The same outcomes for the drive at current_drive.
int probe_drive(DriveLink& link);

// What a detection run learns from INQUIRY alone, as an endpoint-management tool asks it.
// Its verdicts follow the update's order: a drive it can take first, then one at the image's level.
enum class Detection {
  no_supported_drive,  // no drive answered with a supported vendor and product
  no_match,            // supported drives, none at a level the update takes nor at the image's
  all_carry_image,     // none the update can take, one reports the image's revision
  update_needed,       // a supported drive reports a revision a supported firmware entry carries
};
// Sends INQUIRY to every drive position and no other command: no tray is asked about or moved,
// no identity block read. A drive the system reports removable is passed over, as the update
// passes it over. The image must be loaded: its revision is the one compared.
Detection detect_drives(DriveLink& link);

}  // namespace tz
