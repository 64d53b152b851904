#pragma once
// Who a drive is: its INQUIRY identity looked up in the model tables, its own identity block, and
// the classification of that identity. All act on the drive at current_drive.
namespace tz {

struct DriveLink;
struct IdentityRecord;

// 0 when the drive answered INQUIRY and stands in a model table as a model this program updates;
// -1 otherwise (status 1 when INQUIRY itself succeeded).
int read_inquiry_identity(DriveLink& link);
// 0 when a valid identity block was read and parsed into the drive's identity, -1 otherwise.
int read_drive_identity(DriveLink& link);
// The same read of the current drive's identity block, parsed into `identity` instead.
int read_identity_block(DriveLink& link, IdentityRecord& identity);
// 0: a candidate (status 2, 3 or 4); 1: known, not to be updated (status 8 or 9); -1: no rule
// applies (status 1).
int classify_drive_identity(DriveLink& link);

}  // namespace tz
