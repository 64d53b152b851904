#include "drive/commands.h"

#include <cstring>

#include "core/bytes.h"
#include "drive/drive_link.h"
#include "drive/transport.h"
#include "ui/waits.h"

namespace tz {

namespace {

constexpr std::uint32_t inquiry_length = 44;
constexpr std::int32_t prepare_download_settle_ms = 2000;

int send(DriveLink& link, const std::uint8_t* cdb, std::uint8_t direction, std::uint32_t length, std::uint8_t* buffer,
         PassThroughKind kind) {
  ScsiRequest request;
  request.cdb = cdb;
  request.direction = direction;
  request.length = length;
  request.buffer = buffer;
  request.kind = kind;
  return execute_request(link, request);
}

int send_no_data(DriveLink& link, const std::uint8_t* cdb) {
  return send(link, cdb, dir_none, 0, nullptr, PassThroughKind::buffered);
}

// Data-in commands that read into scsi_data_buffer start from a cleared buffer.
int read_into_data_buffer(DriveLink& link, const std::uint8_t* cdb, std::uint32_t length) {
  if (length > scsi_data_buffer_size) return -1;
  std::uint8_t* buffer = link.state.scsi_data_buffer;
  std::memset(buffer, 0, length);
  return send(link, cdb, dir_in, length, buffer, PassThroughKind::buffered);
}

// Every byte of the area turned into its complement, eight at a time where it can.
void complement(std::uint8_t* area, std::uint32_t length) {
  std::uint32_t i = 0;
  for (; length - i >= 8; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, area + i, sizeof(word));
    word = ~word;
    std::memcpy(area + i, &word, sizeof(word));
  }
  for (; i < length; ++i) area[i] = static_cast<std::uint8_t>(~area[i]);
}

}  // namespace

int cmd_test_unit_ready(DriveLink& link, std::uint8_t control) {
  std::uint8_t* cdb = link.state.cdb.test_unit_ready;
  cdb[5] = control;
  return send_no_data(link, cdb);
}

int cmd_inquiry(DriveLink& link) { return read_into_data_buffer(link, link.state.cdb.inquiry, inquiry_length); }

int cmd_eject(DriveLink& link, std::uint8_t immed) {
  std::uint8_t* cdb = link.state.cdb.eject;
  cdb[1] = immed;
  return send_no_data(link, cdb);
}

int cmd_stop(DriveLink& link, std::uint8_t immed) {
  std::uint8_t* cdb = link.state.cdb.stop;
  cdb[1] = immed;
  return send_no_data(link, cdb);
}

int cmd_get_event_status(DriveLink& link, std::uint8_t class_request, std::uint16_t length) {
  std::uint8_t* cdb = link.state.cdb.get_event_status;
  cdb[4] = class_request;
  put_be16(cdb + 7, length);
  return read_into_data_buffer(link, cdb, length);
}

int cmd_vendor_read_status(DriveLink& link, std::uint8_t selector, std::uint32_t length) {
  std::uint8_t* cdb = link.state.cdb.vendor_read_status;
  put_be32(cdb + 6, length);
  cdb[10] = selector;
  return read_into_data_buffer(link, cdb, length);
}

int cmd_prepare_download(DriveLink& link, std::uint8_t mode) {
  std::uint8_t* cdb = link.state.cdb.prepare_download;
  cdb[1] = mode;
  const int result = send_no_data(link, cdb);
  // The drive restarts into its boot code and answers nothing useful until it has settled.
  if (result == 0) busy_wait(link.ui.clock, prepare_download_settle_ms);
  return result;
}

int cmd_read_identity_block(DriveLink& link, std::uint8_t p1, std::uint8_t p2, std::uint8_t p3, std::uint8_t p4,
                            std::uint8_t p5, std::uint8_t p6, std::uint16_t length,
                            std::span<std::uint8_t> destination) {
  if (length > destination.size()) return -1;
  std::uint8_t* cdb = link.state.cdb.read_identity_block;
  cdb[2] = p1;
  cdb[3] = p2;
  cdb[4] = p3;
  cdb[5] = p4;
  cdb[7] = p5;
  cdb[8] = p6;
  put_be16(cdb + 9, length);
  std::memset(destination.data(), 0, length);
  return send(link, cdb, dir_in, length, destination.data(), PassThroughKind::direct);
}

int cmd_write_download(DriveLink& link, std::uint32_t header_length, std::uint32_t data_length, std::uint32_t offset,
                       const std::uint8_t* header, const std::uint8_t* data) {
  if (header_length > scsi_data_buffer_size || data_length > scsi_data_buffer_size - header_length) return -1;
  if ((header_length != 0 && header == nullptr) || (data_length != 0 && data == nullptr)) return -1;
  const std::uint32_t total = header_length + data_length;
  std::uint8_t* cdb = link.state.cdb.write_download;
  put_be24(cdb + 3, offset);
  put_be24(cdb + 6, total);
  std::uint8_t* buffer = link.state.scsi_data_buffer;
  if (header_length != 0) std::memmove(buffer, header, header_length);
  if (data_length != 0) std::memmove(buffer + header_length, data, data_length);
  return send(link, cdb, dir_out, total, buffer, PassThroughKind::direct);
}

int cmd_read_download(DriveLink& link, std::uint32_t header_length, std::uint32_t data_length, std::uint32_t offset,
                      std::uint8_t* header_out, std::uint8_t* data_out) {
  if (header_length > scsi_data_buffer_size || data_length > scsi_data_buffer_size - header_length) return -1;
  if (data_length != 0 && data_out == nullptr) return -1;
  const std::uint32_t total = header_length + data_length;
  std::uint8_t* cdb = link.state.cdb.read_download;
  put_be24(cdb + 3, offset);
  put_be24(cdb + 6, total);
  std::uint8_t* buffer = link.state.scsi_data_buffer;
  // The piece this read checks was assembled right here for its write: bytes that a short data
  // phase leaves behind would compare equal with what was sent. Each byte becomes its complement
  // first, so no byte left behind can.
  complement(buffer, total);
  const int result = send(link, cdb, dir_in, total, buffer, PassThroughKind::direct);
  if (result != 0) return result;
  // GOOD says nothing of how much came back: a piece that did not come back whole was not read.
  if (link.state.transferred < total) return -1;
  if (header_out != nullptr && header_length != 0) std::memmove(header_out, buffer, header_length);
  // The data part is often read back into scsi_data_buffer itself: an overlapping move.
  if (data_length != 0) std::memmove(data_out, buffer + header_length, data_length);
  return result;
}

int cmd_execute(DriveLink& link, std::uint8_t mode) {
  std::uint8_t* cdb = link.state.cdb.execute;
  cdb[11] = mode;
  // The drive rewrites or reads its ROM for as long as it needs and is never interrupted: its own
  // answer ends the request, or the longest wait of all.
  ScsiRequest request;
  request.cdb = cdb;
  request.aspi_timeout = aspi_long_command_timeout_ms;
  request.on_timeout = OnTimeout::keep;
  return execute_request(link, request);
}

}  // namespace tz
