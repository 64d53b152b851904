#include "sim/replay.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/digest.h"
#include "sim/firmware.h"

namespace tz::sim {

namespace {

constexpr std::uint8_t op_write_download = 0xEA;
constexpr std::uint8_t op_read_download = 0xE8;
constexpr std::uint32_t piece_header_bytes = 48;

std::string describe_came(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction,
                          const std::uint8_t* data, std::uint32_t length) {
  std::string text = "cdb=" + hex_bytes(cdb, std::min(cdb_length, max_cdb_bytes)) +
                     " dir=" + direction_word(direction) + " len=" + std::to_string(length);
  if (direction == Direction::out && data != nullptr) {
    char digest[32];
    std::snprintf(digest, sizeof(digest), " digest=%016llX",
                  static_cast<unsigned long long>(piece_digest(data, length)));
    text += digest;
  }
  return text;
}

}  // namespace

Replay::Replay(std::shared_ptr<const TraceFile> trace, const std::vector<std::string>& addresses)
    : trace_(std::move(trace)) {
  for (std::size_t i = 0; i < trace_->commands.size(); ++i) {
    const TraceCommand& c = trace_->commands[i];
    if (c.answer == TraceAnswer::none) continue;
    if (std::find(addresses.begin(), addresses.end(), c.address) != addresses.end()) lines_.push_back(i);
  }
}

bool Replay::take_report() {
  if (!mismatched_ || reported_) return false;
  reported_ = true;
  return true;
}

bool Replay::agrees(const TraceCommand& expected, const std::uint8_t* cdb, std::uint32_t cdb_length,
                    Direction direction, const std::uint8_t* data, std::uint32_t length) const {
  if (!same_cdb(expected.cdb, cdb, cdb_length) || direction != expected.direction || length != expected.length) {
    return false;
  }
  // What a write sends is part of the command: a change in the data is a change in the traffic.
  if (direction == Direction::out && expected.has_digest) {
    return data != nullptr && piece_digest(data, length) == expected.digest;
  }
  return true;
}

Outcome Replay::refuse(const TraceCommand* expected, const std::uint8_t* cdb, std::uint32_t cdb_length,
                       Direction direction, const std::uint8_t* data, std::uint32_t length) {
  if (!mismatched_) {
    mismatched_ = true;
    mismatch_.n = expected == nullptr ? 0 : expected->n;
    mismatch_.expected = expected == nullptr ? "the end of the trace" : describe(*expected);
    mismatch_.came = describe_came(cdb, cdb_length, direction, data, length);
  }
  Outcome out;
  set_check_condition(out, replay_mismatch_sense);
  return out;
}

Outcome Replay::answer(const std::uint8_t* cdb, std::uint32_t cdb_length, Direction direction, std::uint8_t* data,
                       std::uint32_t length) {
  if (data == nullptr) length = 0;
  if (mismatched_) return refuse(nullptr, cdb, cdb_length, direction, data, length);
  if (next_ >= lines_.size()) return refuse(nullptr, cdb, cdb_length, direction, data, length);
  const TraceCommand& expected = trace_->commands[lines_[next_]];
  if (!agrees(expected, cdb, cdb_length, direction, data, length)) {
    return refuse(&expected, cdb, cdb_length, direction, data, length);
  }
  ++next_;

  Outcome out;
  switch (expected.answer) {
    case TraceAnswer::fail:
    case TraceAnswer::none:
      out.delivery = Outcome::Delivery::failed;
      return out;
    case TraceAnswer::timeout:
      out.delivery = Outcome::Delivery::hung;
      return out;
    case TraceAnswer::status:
      break;
  }
  if (expected.answer == TraceAnswer::status && expected.status == status_check_condition) {
    set_check_condition(out, expected.has_sense ? expected.sense : Sense{});
  } else {
    out.status = expected.status;
  }
  play_data(expected, data, length, out);
  return out;
}

// The data phase as the trace gives it: a small reply whole, a write into the download area as the
// drive keeps it, a read-back from there; a read-back the trace says differed has one bit turned.
void Replay::play_data(const TraceCommand& command, std::uint8_t* data, std::uint32_t length, Outcome& out) {
  const std::uint32_t moved = std::min(command.moved, length);
  out.transferred = moved;
  if (moved == 0 || data == nullptr) return;
  const std::uint32_t offset = get_be24(command.cdb + 3);
  const bool piece = moved > piece_header_bytes && offset <= download_area_bytes &&
                     moved - piece_header_bytes <= download_area_bytes - offset;
  if (command.cdb[0] == op_write_download && command.direction == Direction::out) {
    if (command.status != status_good || !piece) return;
    if (area_.empty()) area_.assign(download_area_bytes, 0);
    std::memcpy(header_, data, piece_header_bytes);
    std::memcpy(area_.data() + offset, data + piece_header_bytes, moved - piece_header_bytes);
    return;
  }
  if (command.direction != Direction::in) return;
  if (command.cdb[0] == op_read_download) {
    std::memset(data, 0, moved);
    if (!piece) return;
    std::memcpy(data, header_, piece_header_bytes);
    if (!area_.empty()) std::memcpy(data + piece_header_bytes, area_.data() + offset, moved - piece_header_bytes);
    // A piece that did not come back whole differed by what never came; only a whole one by a bit.
    if (command.same == ReadBack::differs && moved == length) data[piece_header_bytes] ^= 0x01;
    return;
  }
  const std::size_t given = std::min<std::size_t>(command.data.size(), moved);
  if (given != 0) std::memcpy(data, command.data.data(), given);
  std::memset(data + given, 0, moved - given);
}

std::string replay_report(const ReplayMismatch& mismatch) {
  const std::string which =
      mismatch.n == 0 ? "after the trace's last command" : "command " + std::to_string(mismatch.n) + " of the trace";
  return which + ": expected " + mismatch.expected + "; came " + mismatch.came;
}

}  // namespace tz::sim
