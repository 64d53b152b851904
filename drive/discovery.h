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

}  // namespace tz
