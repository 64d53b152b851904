#include "drive/transport.h"

#include <cstring>

#include "core/bytes.h"
#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "drive/trace.h"
#include "platform/aspi.h"
#include "platform/devices.h"
#include "ui/message_box.h"

namespace tz {

namespace {

namespace srb = platform::srb;
namespace spt = platform::spt;

constexpr std::uint8_t scsi_status_good = 0x00;
constexpr std::uint8_t scsi_status_check_condition = 0x02;

bool valid_direction(std::uint8_t direction) { return direction <= dir_none; }

void save_sense(DriveState& drive, const std::uint8_t* sense) {
  drive.last_sense_key = sense[2];
  drive.last_asc = sense[12];
  drive.last_ascq = sense[13];
}

// What the system wrote back into DataTransferLength, never more than was asked for.
std::uint32_t pass_through_transferred(bool call_succeeded, const std::uint8_t* header, std::uint32_t length) {
  if (!call_succeeded) return 0;
  const std::uint32_t moved = get_le32(header + spt::data_transfer_length);
  return moved < length ? moved : length;
}

// ASPI has no residual count: a request that completed moved its whole length unless the manager
// reports a data underrun (whatever SRB_Status says), and then how much it moved is unknown.
std::uint32_t aspi_transferred(const std::uint8_t* block, std::uint32_t length) {
  if (block[srb::status] != srb::ss_comp || block[srb::ha_stat] == srb::hastat_do_du) return 0;
  return length;
}

int pass_through_result(bool call_succeeded, std::uint8_t scsi_status) {
  if (!call_succeeded) return -1;
  if (scsi_status == scsi_status_good) return 0;
  if (scsi_status == scsi_status_check_condition) return 1;
  return -1;
}

// Both pass-through headers share every field but the one at `data_buffer`.
void fill_pass_through_header(std::uint8_t* header, const std::uint8_t* cdb, std::uint8_t direction,
                              std::uint32_t length, std::uint32_t data_buffer) {
  put_le16(header + spt::length, spt::header_size);
  header[spt::scsi_status] = 0;
  header[spt::path_id] = 0;
  header[spt::target_id] = 1;
  header[spt::lun] = 0;
  header[spt::cdb_length] = cdb_bytes;
  header[spt::sense_info_length] = spt_sense_size;
  header[spt::data_in] = direction;
  put_le32(header + spt::data_transfer_length, length);
  put_le32(header + spt::time_out_value, spt_timeout_seconds);
  put_le32(header + spt::data_buffer, data_buffer);
  put_le32(header + spt::sense_info_offset, spt_sense_offset);
  std::memcpy(header + spt::cdb, cdb, cdb_bytes);
}

// After a wait that did not see the request end, the manager may still write the request's end
// into the block and signal its event at any moment, also once the block holds the next request.
// So the request is aborted first. True when the block is free again.
bool reclaim_request_block(DriveLink& link, std::uint8_t* block, platform::Handle event) {
  platform::Aspi& os = link.aspi;
  if (block[srb::status] == srb::ss_pending) {
    std::uint8_t abort_block[srb::abort_size] = {};
    abort_block[srb::cmd] = srb::sc_abort_srb;
    abort_block[srb::ha_id] = block[srb::ha_id];
    put_le32(abort_block + srb::to_abort, os.buffer_address(block));
    os.send_command(link.state.aspi.send_command, abort_block);
  }
  // The manager signals a request's event last of all: once signalled, neither the block nor the
  // event is touched again, and the event may close.
  if (os.wait_for_single_object(event, aspi_abort_wait_ms) == platform::wait_object_0) {
    os.close_handle(event);
    return true;
  }
  // Ended without its signal so far: the block is free, the event stays open for the signal.
  return block[srb::status] != srb::ss_pending;
}

}  // namespace

std::uint8_t aspi_direction_flags(std::uint8_t direction) {
  if (direction == dir_in) return srb::dir_in;
  if (direction == dir_out) return srb::dir_out;
  return srb::dir_in | srb::dir_out;
}

int aspi_load(DriveLink& link) {
  AspiLibrary& aspi = link.state.aspi;
  platform::Aspi& os = link.aspi;
  aspi.module = os.load_library("wnaspi32.dll");
  if (aspi.module != platform::null_handle) {
    aspi.get_support_info = os.get_proc_address(aspi.module, "GetASPI32SupportInfo");
    aspi.send_command = os.get_proc_address(aspi.module, "SendASPI32Command");
  }
  // A library without both entry points is no more usable than a missing one, and calling
  // through a missing entry point would bring the program down.
  if (aspi.module == platform::null_handle || aspi.get_support_info == 0 || aspi.send_command == 0) {
    aspi.get_support_info = 0;
    aspi.send_command = 0;
    show_message_box_unless_silent(link.ui, platform::mb_iconhand, "WNASPI32.DLL Error !!");
    return -1;
  }
  const std::uint32_t support = os.get_support_info(aspi.get_support_info);
  if (((support >> 8) & 0xFF) == srb::ss_comp) return 0;
  show_message_box_unless_silent(link.ui, platform::mb_iconhand, "ASPI Error ASPI Status = %04x",
                                 static_cast<unsigned>(support));
  return -1;
}

bool aspi_usable(const DriveLink& link) { return link.state.aspi.send_command != 0; }

int aspi_execute(DriveLink& link, const std::uint8_t* cdb, std::uint8_t flags, std::uint32_t length,
                 std::uint8_t* buffer, std::uint32_t timeout_ms, OnTimeout on_timeout) {
  DriveState& state = link.state;
  state.transferred = 0;
  const DriveRecord* drive = current_drive_record(link.state);
  if (drive == nullptr || cdb == nullptr || state.aspi.send_command == 0) return -1;
  if (length != 0 && buffer == nullptr) return -1;

  platform::Aspi& os = link.aspi;
  const platform::Handle event = os.create_event(false, false);
  if (event == platform::null_handle) {
    show_message_box_unless_silent(link.ui, platform::mb_iconhand, "CreateEvent Failed");
    return -1;
  }

  std::uint8_t* block = state.aspi_request_block;
  std::memset(block, 0, srb::size);
  block[srb::cmd] = srb::sc_exec_scsi_cmd;
  block[srb::ha_id] = drive->ha_id;
  block[srb::flags] = static_cast<std::uint8_t>(flags | srb::event_notify);
  put_le32(block + srb::hdr_rsvd, 0);
  block[srb::target] = drive->target_id;
  block[srb::lun] = 0;
  put_le32(block + srb::buf_len, length);
  put_le32(block + srb::buf_pointer, os.buffer_address(buffer));
  block[srb::sense_len] = srb::sense_len_value;
  block[srb::cdb_len] = cdb_length_table[cdb[0]];
  put_le32(block + srb::post_proc, static_cast<std::uint32_t>(event));
  std::memcpy(block + srb::cdb_byte, cdb, cdb_bytes);

  // The call's own answer says whether the request goes on past it: one answered SS_PENDING is
  // signalled when it ends, even when SRB_Status already shows its end by the time it is read, and
  // only after that signal may the event close; else the late signal would land on the next
  // request's event, taken for that request's end before it came.
  const auto immediate = static_cast<std::uint8_t>(os.send_command(state.aspi.send_command, block) & 0xFF);
  if (immediate != srb::ss_pending) {
    os.close_handle(event);
    state.transferred = aspi_transferred(block, length);
    return immediate == srb::ss_comp ? 0 : -1;
  }

  const std::uint32_t waited = os.wait_for_single_object(event, timeout_ms);
  if (waited != platform::wait_object_0) {
    // A kept request may still end and signal its event at any moment: the event stays open.
    const bool block_free = on_timeout == OnTimeout::keep ? block[srb::status] != srb::ss_pending
                                                          : reclaim_request_block(link, block, event);
    if (!block_free) {
      // The manager keeps the block, so its late end could land in any later request: ASPI
      // serves no more requests this run.
      state.aspi.send_command = 0;
    }
    const char* text = "WaitForSingleObject Unknown Error";
    if (waited == platform::wait_abandoned) text = "WaitForSingleObject Abandoned";
    if (waited == platform::wait_timeout) text = "WaitForSingleObject Timeout";
    if (waited == platform::wait_failed) text = "WaitForSingleObject Failed";
    show_message_box_unless_silent(link.ui, platform::mb_iconhand, "%s", text);
    return -1;
  }
  const bool reset = os.reset_event(event);
  os.close_handle(event);
  if (!reset) {
    show_message_box_unless_silent(link.ui, platform::mb_iconhand, "ResetEvent Failed");
    return -1;
  }
  const std::uint8_t status = block[srb::status];
  state.transferred = aspi_transferred(block, length);
  if (status == srb::ss_comp) return 0;
  if (status == srb::ss_err) {
    save_sense(state, block + srb::sense_area);
    return 1;
  }
  return -1;
}

int spt_open(DriveLink& link) {
  DriveRecord* drive = current_drive_record(link.state);
  if (drive == nullptr) return -1;
  drive->device_handle =
      link.devices.create_file(drive->device_path, platform::generic_read | platform::generic_write,
                               platform::file_share_read | platform::file_share_write, platform::open_existing, 0);
  return drive->device_handle == platform::invalid_handle_value ? -1 : 0;
}

void spt_close(DriveLink& link) {
  DriveRecord* drive = current_drive_record(link.state);
  if (drive == nullptr || drive->device_handle == platform::invalid_handle_value) return;
  link.devices.close_handle(drive->device_handle);
  drive->device_handle = platform::invalid_handle_value;
}

int spt_execute_buffered(DriveLink& link, const std::uint8_t* cdb, std::uint8_t direction, std::uint32_t length,
                         std::uint8_t* buffer) {
  link.state.transferred = 0;
  // The buffered request sends the header alone, so it cannot carry data to the drive.
  if (cdb == nullptr || !valid_direction(direction) || direction == dir_out) return -1;
  if (length > spt_buffered_data_capacity || (length != 0 && direction == dir_in && buffer == nullptr)) return -1;
  const DriveRecord* drive = current_drive_record(link.state);
  if (drive == nullptr) return -1;

  DriveState& state = link.state;
  std::uint8_t* request = state.spt_buffered;
  std::memset(request, 0, spt_buffered_size);
  fill_pass_through_header(request, cdb, direction, length, spt_data_offset);
  std::uint32_t returned = 0;
  const bool ok = link.devices.device_io_control(drive->device_handle, platform::ioctl_scsi_pass_through, request,
                                                 spt::header_size, request, length + spt_data_offset, returned);
  if (direction == dir_in && length != 0) std::memcpy(buffer, request + spt_data_offset, length);
  save_sense(state, request + spt_sense_offset);
  state.transferred = pass_through_transferred(ok, request, length);
  return pass_through_result(ok, request[spt::scsi_status]);
}

int spt_execute_direct(DriveLink& link, const std::uint8_t* cdb, std::uint8_t direction, std::uint32_t length,
                       std::uint8_t* buffer) {
  link.state.transferred = 0;
  if (cdb == nullptr || !valid_direction(direction) || (length != 0 && buffer == nullptr)) return -1;
  const DriveRecord* drive = current_drive_record(link.state);
  if (drive == nullptr) return -1;

  DriveState& state = link.state;
  std::uint8_t* request = state.spt_direct;
  std::memset(request, 0, spt_direct_size);
  fill_pass_through_header(request, cdb, direction, length, link.devices.buffer_address(buffer));
  std::uint32_t returned = 0;
  const bool ok = link.devices.device_io_control(drive->device_handle, platform::ioctl_scsi_pass_through_direct,
                                                 request, spt_direct_size, request, spt_direct_size, returned);
  save_sense(state, request + spt_sense_offset);
  state.transferred = pass_through_transferred(ok, request, length);
  return pass_through_result(ok, request[spt::scsi_status]);
}

int spt_lock_volume(DriveLink& link, std::uint8_t lock) {
  const DriveRecord* drive = current_drive_record(link.state);
  if (drive == nullptr) return -1;
  std::uint32_t returned = 0;
  const std::uint32_t code = lock == 1 ? platform::fsctl_lock_volume : platform::fsctl_unlock_volume;
  return link.devices.device_io_control(drive->device_handle, code, nullptr, 0, nullptr, 0, returned) ? 0 : -1;
}

namespace {

int send_request(DriveLink& link, const ScsiRequest& request) {
  if (link.state.transport == transport_pass_through) {
    if (request.kind == PassThroughKind::direct) {
      return spt_execute_direct(link, request.cdb, request.direction, request.length, request.buffer);
    }
    return spt_execute_buffered(link, request.cdb, request.direction, request.length, request.buffer);
  }
  return aspi_execute(link, request.cdb, aspi_direction_flags(request.direction), request.length, request.buffer,
                      request.aspi_timeout, request.on_timeout);
}

}  // namespace

int execute_request(DriveLink& link, const ScsiRequest& request) {
  if (!trace_on(link.trace)) return send_request(link, request);
  const std::int32_t started = trace_request_start(link);
  const int result = send_request(link, request);
  trace_command(link, request, result, started);
  return result;
}

}  // namespace tz
