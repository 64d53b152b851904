#pragma once
// What the Linux SG_IO ioctl does for a simulated drive: the block layer's checks of the request
// header, the command itself, and the status, sense and residual count written back. Wine carries
// a program's SCSI pass-through requests to this ioctl, so this is the drive's side of them.
#include <scsi/sg.h>

#include <cstdint>

#include "sim/sim_drive.h"

namespace tz::sim {

// Longest data phase one request may carry, as the drive's queue limits it.
inline constexpr std::uint32_t sg_max_transfer = 0x10000;
// The block layer's time-out for a request that gives none.
inline constexpr std::uint32_t sg_default_timeout_ms = 60000;

struct SgIoResult {
  int error = 0;     // errno of a failed ioctl; 0 when the ioctl returns 0
  bool ran = false;  // the command reached the drive's model (faults included)
  Outcome outcome;
  std::uint32_t wait_ms = 0;  // how long the call lasts: the drive's time, or a hung request's time-out
};

// Runs one SG_IO request on the drive and fills the header's status fields. A request the drive
// never answered fails with ETIMEDOUT once its time-out has passed, one that never reached it with
// EIO, so that DeviceIoControl fails as it does when the port driver gives up.
SgIoResult run_sg_io(SimDrive& drive, sg_io_hdr& header);

// The drive letter of a device file of ours from the path behind its descriptor: its name is
// "tz594k-drive-X" with X in C..Z. 0 for every other file.
char device_file_letter(const char* path);

}  // namespace tz::sim
