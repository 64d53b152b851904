#pragma once
// The ASPI manager's handling of an SRB_ExecSCSICmd block (the layout of platform/aspi.h) for the
// simulated drives: what SendASPI32Command checks before a command runs, and how a finished
// command is written back into the block. The fronts own the threads and the events.
#include <cstddef>
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

// Writes a finished command into the block: adapter and target status, sense area (zero where
// the drive gave no sense), and last of all SRB_Status (SS_COMP, SS_ERR, or SS_ABORTED when the
// request never reached the drive).
void complete_aspi_request(std::uint8_t* block, const Outcome& outcome);

// The requests a manager has accepted and not yet finished, carried out one at a time in order.
// A program that gave up waiting hands the same block in again for its next request; the earlier
// request is then abandoned, so that its late outcome never lands in the block. Not thread-safe:
// the front holds its lock around every call.
class AspiQueue {
 public:
  static constexpr std::size_t capacity = 32;
  struct Job {
    std::uint8_t* block = nullptr;
    AspiRequest request;
  };

  // `block` arrives again: every earlier request in it, queued or running, is abandoned.
  void reuse(const std::uint8_t* block);
  // False when the queue is full.
  bool push(const Job& job);
  // The oldest queued job becomes the running one; false when none is queued.
  bool pop(Job& job);
  // The running job has finished: true when its outcome may still be written into its block.
  bool finish();
  std::size_t size() const { return count_; }

 private:
  struct Entry {
    Job job;
    bool abandoned = false;
  };
  Entry entries_[capacity] = {};
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  Entry running_;
  bool has_running_ = false;
};

}  // namespace tz::sim
