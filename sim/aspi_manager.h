#pragma once
// The ASPI manager's handling of an SRB_ExecSCSICmd block (the layout of platform/aspi.h) for the
// simulated drives: what SendASPI32Command checks before a command runs, and how a finished
// command is written back into the block. The fronts own the threads and the events.
#include <cstdint>

#include "sim/sim_drive.h"

namespace tz::sim {

inline constexpr std::uint8_t aspi_adapters = 8;
inline constexpr std::uint8_t aspi_targets = 8;
// Largest data phase one request may carry.
inline constexpr std::uint32_t aspi_max_transfer = 0x10000;

struct AspiTargets {
  SimDrive* drives[aspi_adapters][aspi_targets] = {};
};

// Turns the 32-bit buffer address a block carries into memory of at least `length` bytes, or null.
using AddressResolver = std::uint8_t* (*)(void* context, std::uint32_t address, std::uint32_t length);

struct AspiRequest {
  SimDrive* drive = nullptr;
  std::uint8_t ha = 0;
  std::uint8_t target = 0;
  std::uint8_t cdb[max_cdb_bytes] = {};
  std::uint8_t cdb_length = 0;
  Direction direction = Direction::none;
  std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  std::uint32_t post = 0;  // SRB_PostProc: event handle or posting routine
  bool event_notify = false;
  bool posting = false;
};

// GetASPI32SupportInfo: SS_COMP in bits 8..15, the adapter count in bits 0..7.
std::uint32_t aspi_support_info();

// Checks a block handed to SendASPI32Command. SS_PENDING: `request` says what to run and the
// block's status is set to SS_PENDING. Any other value: the request ends at once with that status
// (already written into the block).
std::uint8_t accept_aspi_request(std::uint8_t* block, const AspiTargets& targets, AddressResolver resolve,
                                 void* context, AspiRequest& request);

// Writes a finished command into the block: adapter and target status, sense area, and last of
// all SRB_Status (SS_COMP, SS_ERR, or SS_ABORTED when the request never reached the drive).
void complete_aspi_request(std::uint8_t* block, const Outcome& outcome);

}  // namespace tz::sim
