#pragma once
// the drive table, current drive, transport request blocks and buffers, sense bytes.

namespace tz {

struct DriveState {};

}  // namespace tz
