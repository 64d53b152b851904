#pragma once
// The ASPI manager's handling of SRB_ExecSCSICmd and SRB_Abort blocks (the layouts of
// platform/aspi.h) for the simulated drives: what SendASPI32Command checks before a command runs,
// how a finished command is written back into the block, the order requests are served in, and
// how one is aborted. The fronts own the threads, the time and the events.
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

// Writes a finished command into the block: adapter and target status (HASTAT_DO_DU for a GOOD
// command that moved less data than SRB_BufLen), sense area (zero where the drive gave no sense),
// and last of all SRB_Status (SS_COMP, SS_ERR, or SS_ABORTED when the request never reached the
// drive).
void complete_aspi_request(std::uint8_t* block, const Outcome& outcome);

// The requests a manager has accepted and not yet finished, carried out one at a time in order, as
// ASPI managers do for a target: a request that never ends holds up every one behind it until it
// is aborted. A request block belongs to the manager from SendASPI32Command until its request
// ends; one handed in again before then is still served in turn (the earlier request's end is
// then written into it), as a real manager would, and owns() lets a front notice it. Not
// thread-safe: the front holds its lock around every call.
class AspiQueue {
 public:
  static constexpr std::size_t capacity = 32;
  struct Job {
    std::uint8_t* block = nullptr;
    AspiRequest request;
    std::int32_t accepted_ms = 0;  // the front's clock when it took the request (the host's)
  };
  enum class Abort : std::uint8_t {
    none,     // no request of the manager is in that block
    queued,   // the request left the queue before it reached the drive
    running,  // the drive has the request: its outcome will not be delivered
  };

  // False when the queue is full.
  bool push(const Job& job);
  // The oldest queued job becomes the running one; false when none is queued.
  bool pop(Job& job);
  // The running job has finished: true when its outcome may be written into its block (it was
  // not aborted).
  bool finish();
  // Gives up the oldest request in `block` that has not been given up yet, queued or running;
  // `job` receives it.
  Abort abort(const std::uint8_t* block, Job& job);
  // True while a request in `block` is queued or running and not given up.
  bool owns(const std::uint8_t* block) const;
  bool running() const { return has_running_; }
  std::size_t size() const { return count_; }

 private:
  Job entries_[capacity] = {};
  std::size_t head_ = 0;
  std::size_t count_ = 0;
  Job running_;
  bool has_running_ = false;
  bool running_aborted_ = false;
};

// SC_ABORT_SRB, carried out before SendASPI32Command returns. The request in the block that
// SRB_ToAbort names, queued or running, ends at once with SS_ABORTED written into its block, which
// the manager never writes into again; the front then signals its event (or calls its posting
// routine) and, for a running one, stops waiting for the drive.
struct AbortResult {
  std::uint8_t status = 0;  // also written into the abort block
  AspiQueue::Abort what = AspiQueue::Abort::none;
  AspiQueue::Job job;  // the aborted request, unless `what` is none
};
// Status: SS_COMP when a request was aborted, SS_ABORT_FAIL when the manager holds no request in
// that block (it had ended, or never was), SS_INVALID_HA for an adapter it does not have.
AbortResult abort_aspi_request(std::uint8_t* abort_block, AspiQueue& queue, AddressResolver resolve, void* context);

}  // namespace tz::sim
