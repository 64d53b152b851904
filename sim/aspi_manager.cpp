#include "sim/aspi_manager.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"
#include "platform/aspi.h"

namespace tz::sim {

namespace srb = platform::srb;

namespace {

constexpr std::uint8_t srb_posting = 0x01;

std::uint8_t end_now(std::uint8_t* block, std::uint8_t status) {
  block[srb::status] = status;
  return status;
}

}  // namespace

std::uint32_t aspi_support_info() { return (static_cast<std::uint32_t>(srb::ss_comp) << 8) | aspi_adapters; }

std::uint8_t accept_aspi_request(std::uint8_t* block, const AspiTargets& targets, AddressResolver resolve,
                                 void* context, AspiRequest& request) {
  if (block[srb::cmd] != srb::sc_exec_scsi_cmd) return end_now(block, srb::ss_invalid_cmd);
  const std::uint8_t ha = block[srb::ha_id];
  if (ha >= aspi_adapters) return end_now(block, srb::ss_invalid_ha);
  const std::uint8_t target = block[srb::target];
  if (target >= aspi_targets || block[srb::lun] != 0 || targets.drives[ha][target] == nullptr) {
    return end_now(block, srb::ss_no_device);
  }
  const std::uint8_t flags = block[srb::flags];
  const std::uint8_t cdb_length = block[srb::cdb_len];
  if (cdb_length == 0 || cdb_length > srb::cdb_capacity) return end_now(block, srb::ss_invalid_srb);
  if ((flags & srb_posting) != 0 && (flags & srb::event_notify) != 0) return end_now(block, srb::ss_invalid_srb);

  const std::uint8_t direction_bits = flags & (srb::dir_in | srb::dir_out);
  Direction direction = Direction::none;
  if (direction_bits == srb::dir_in) direction = Direction::in;
  if (direction_bits == srb::dir_out) direction = Direction::out;
  const std::uint32_t length = get_le32(block + srb::buf_len);
  if (length > aspi_max_transfer) return end_now(block, 0xE6);  // SS_BUFFER_TO_BIG
  std::uint8_t* data = nullptr;
  if (length != 0 && direction != Direction::none) {
    data = resolve(context, get_le32(block + srb::buf_pointer), length);
    if (data == nullptr) return end_now(block, srb::ss_invalid_srb);
  }

  request = AspiRequest{};
  request.drive = targets.drives[ha][target];
  request.ha = ha;
  request.target = target;
  std::memcpy(request.cdb, block + srb::cdb_byte, cdb_length);
  request.cdb_length = cdb_length;
  request.direction = direction;
  request.data = data;
  request.length = data == nullptr ? 0 : length;
  request.post = get_le32(block + srb::post_proc);
  request.event_notify = (flags & srb::event_notify) != 0;
  request.posting = (flags & srb_posting) != 0;
  block[srb::ha_stat] = 0;
  block[srb::targ_stat] = 0;
  return end_now(block, srb::ss_pending);
}

void complete_aspi_request(std::uint8_t* block, const Outcome& outcome) {
  // The sense area shows this command's sense only: an SS_ERR without sense (BUSY) must not show
  // what an earlier request left there.
  const std::uint32_t room = std::min<std::uint32_t>(block[srb::sense_len], srb::sense_area_size);
  std::memset(block + srb::sense_area, 0, room);
  std::uint8_t status = srb::ss_comp;
  if (outcome.delivery != Outcome::Delivery::completed) {
    block[srb::ha_stat] = srb::hastat_selection_timeout;
    block[srb::targ_stat] = 0;
    status = srb::ss_aborted;
  } else {
    // A command that ends GOOD having moved less data than the block asked for is an underrun:
    // the adapter says so beside the target's GOOD, and ASPI carries no count of what did move.
    const std::uint8_t direction = block[srb::flags] & (srb::dir_in | srb::dir_out);
    const bool data_phase = direction == srb::dir_in || direction == srb::dir_out;
    const bool underrun =
        data_phase && outcome.status == status_good && outcome.transferred < get_le32(block + srb::buf_len);
    block[srb::ha_stat] = underrun ? srb::hastat_do_du : srb::hastat_ok;
    block[srb::targ_stat] = outcome.status;
    if (outcome.status != status_good) status = srb::ss_err;
    std::memcpy(block + srb::sense_area, outcome.sense, std::min(room, outcome.sense_length));
  }
  block[srb::status] = status;
}

bool AspiQueue::push(const Job& job) {
  if (count_ == capacity) return false;
  entries_[(head_ + count_) % capacity] = job;
  ++count_;
  return true;
}

bool AspiQueue::pop(Job& job) {
  if (count_ == 0 || has_running_) return false;
  running_ = entries_[head_];
  has_running_ = true;
  running_aborted_ = false;
  head_ = (head_ + 1) % capacity;
  --count_;
  job = running_;
  return true;
}

bool AspiQueue::finish() {
  const bool deliver = has_running_ && !running_aborted_;
  running_ = Job{};
  has_running_ = false;
  running_aborted_ = false;
  return deliver;
}

AspiQueue::Abort AspiQueue::abort(const std::uint8_t* block, Job& job) {
  if (block == nullptr) return Abort::none;
  // The running request is the oldest of all.
  if (has_running_ && !running_aborted_ && running_.block == block) {
    running_aborted_ = true;
    job = running_;
    return Abort::running;
  }
  for (std::size_t i = 0; i < count_; ++i) {
    if (entries_[(head_ + i) % capacity].block != block) continue;
    job = entries_[(head_ + i) % capacity];
    for (std::size_t k = i; k + 1 < count_; ++k)
      entries_[(head_ + k) % capacity] = entries_[(head_ + k + 1) % capacity];
    --count_;
    return Abort::queued;
  }
  return Abort::none;
}

bool AspiQueue::owns(const std::uint8_t* block) const {
  if (has_running_ && !running_aborted_ && running_.block == block) return true;
  for (std::size_t i = 0; i < count_; ++i) {
    if (entries_[(head_ + i) % capacity].block == block) return true;
  }
  return false;
}

AbortResult abort_aspi_request(std::uint8_t* abort_block, AspiQueue& queue, AddressResolver resolve, void* context) {
  AbortResult result;
  if (abort_block[srb::ha_id] >= aspi_adapters) {
    result.status = end_now(abort_block, srb::ss_invalid_ha);
    return result;
  }
  std::uint8_t* target = resolve(context, get_le32(abort_block + srb::to_abort), srb::size);
  result.what = queue.abort(target, result.job);
  if (result.what == AspiQueue::Abort::none) {
    result.status = end_now(abort_block, srb::ss_abort_fail);
    return result;
  }
  result.job.block[srb::status] = srb::ss_aborted;
  result.status = end_now(abort_block, srb::ss_comp);
  return result;
}

}  // namespace tz::sim
