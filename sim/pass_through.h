#pragma once
// What the port driver does with IOCTL_SCSI_PASS_THROUGH and IOCTL_SCSI_PASS_THROUGH_DIRECT for a
// simulated drive: it checks the request in its 32-bit layout (platform/devices.h), runs the
// command, and writes the SCSI status, the sense data and the transferred length back.
#include <cstdint>

#include "sim/aspi_manager.h"
#include "sim/sim_drive.h"

namespace tz::sim {

struct PassThroughCall {
  bool direct = false;
  const std::uint8_t* in = nullptr;
  std::uint32_t in_size = 0;
  std::uint8_t* out = nullptr;
  std::uint32_t out_size = 0;
};

struct PassThroughResult {
  bool ran = false;  // the command reached the drive's model (faults included)
  Outcome outcome;
  std::uint32_t timeout_seconds = 0;  // TimeOutValue of the request
  std::uint32_t returned = 0;         // bytes DeviceIoControl reports in the output buffer
};

// The result of DeviceIoControl: false for a malformed request, one that never reached the
// drive, or one the drive never answered (it times out).
bool run_pass_through(SimDrive& drive, const PassThroughCall& call, AddressResolver resolve, void* context,
                      PassThroughResult& result);

}  // namespace tz::sim
