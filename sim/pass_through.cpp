#include "sim/pass_through.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"
#include "platform/devices.h"

namespace tz::sim {

namespace spt = platform::spt;

bool run_pass_through(SimDrive& drive, const PassThroughCall& call, AddressResolver resolve, void* context,
                      PassThroughResult& result) {
  result = PassThroughResult{};
  if (call.in == nullptr || call.out == nullptr || call.in_size < spt::header_size ||
      call.out_size < spt::header_size) {
    return false;
  }
  const std::uint8_t* in = call.in;
  if (get_le16(in + spt::length) != spt::header_size) return false;
  const std::uint8_t cdb_length = in[spt::cdb_length];
  const std::uint8_t data_in = in[spt::data_in];
  const std::uint8_t sense_length = in[spt::sense_info_length];
  const std::uint32_t length = get_le32(in + spt::data_transfer_length);
  const std::uint32_t sense_offset = get_le32(in + spt::sense_info_offset);
  const std::uint32_t data_field = get_le32(in + spt::data_buffer);
  if (cdb_length == 0 || cdb_length > spt::cdb_capacity || data_in > spt::data_unspecified_direction) return false;
  if (sense_length != 0 && (sense_offset < spt::header_size || sense_offset > call.out_size ||
                            sense_length > call.out_size - sense_offset)) {
    return false;
  }

  const Direction direction = static_cast<Direction>(data_in);
  std::uint8_t* data = nullptr;
  if (length != 0 && direction != Direction::none) {
    if (call.direct) {
      data = resolve(context, data_field, length);
    } else {
      // The data area travels inside the request buffers: out for reading, in for writing.
      const std::uint32_t room = direction == Direction::in ? call.out_size : call.in_size;
      if (data_field >= spt::header_size && data_field <= room && length <= room - data_field) {
        data = call.out + data_field;
        if (direction == Direction::out && call.in != call.out) std::memmove(data, call.in + data_field, length);
      }
    }
    if (data == nullptr) return false;
  }

  std::uint8_t cdb[spt::cdb_capacity];
  std::memcpy(cdb, in + spt::cdb, spt::cdb_capacity);
  if (call.in != call.out) std::memmove(call.out, call.in, spt::header_size);
  result.timeout_seconds = get_le32(in + spt::time_out_value);
  result.outcome = drive.execute(cdb, cdb_length, direction, data, data == nullptr ? 0 : length);
  result.ran = true;
  if (result.outcome.delivery != Outcome::Delivery::completed) return false;

  std::uint8_t* out = call.out;
  out[spt::scsi_status] = result.outcome.status;
  const std::uint32_t sense_copied = std::min<std::uint32_t>(sense_length, result.outcome.sense_length);
  if (sense_copied != 0) std::memcpy(out + sense_offset, result.outcome.sense, sense_copied);
  out[spt::sense_info_length] = static_cast<std::uint8_t>(sense_copied);
  put_le32(out + spt::data_transfer_length, result.outcome.transferred);
  result.returned = spt::header_size;
  if (!call.direct && direction == Direction::in) result.returned = data_field + result.outcome.transferred;
  if (sense_copied != 0) result.returned = std::max(result.returned, sense_offset + sense_copied);
  return true;
}

}  // namespace tz::sim
