#include "fuzz/reply_drive.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/bytes.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "fuzz/require.h"
#include "image/image_load.h"
#include "image/layout.h"

namespace tz::fuzz {

namespace {

namespace spt = platform::spt;
namespace srb = platform::srb;

constexpr platform::Handle device_handle = 0x44;
constexpr std::uint32_t buffer_token = 0x00400000;

// Fills `length` bytes of `data` from the reply; a short reply leaves the rest as the program
// cleared it, as a drive that moves fewer bytes does. Returns the bytes moved.
std::uint32_t answer(std::uint8_t* data, std::uint32_t length, const std::uint8_t* reply, std::size_t reply_size) {
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(length, reply_size));
  if (n != 0) std::memcpy(data, reply, n);
  return n;
}

}  // namespace

platform::Handle ReplyDevices::create_file(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
  return device_handle;
}

bool ReplyDevices::close_handle(platform::Handle handle) { return handle == device_handle; }

std::uint32_t ReplyDevices::buffer_address(void* buffer) {
  buffer_ = static_cast<std::uint8_t*>(buffer);
  return buffer == nullptr ? 0 : buffer_token;
}

bool ReplyDevices::device_io_control(platform::Handle device, std::uint32_t code, void* in, std::uint32_t in_size,
                                     void* out, std::uint32_t out_size, std::uint32_t& returned) {
  returned = 0;
  if (device != device_handle) return false;
  if (code == platform::fsctl_lock_volume || code == platform::fsctl_unlock_volume) return true;
  const bool direct = code == platform::ioctl_scsi_pass_through_direct;
  if (!direct && code != platform::ioctl_scsi_pass_through) return false;
  if (in == nullptr || out == nullptr || in_size < spt::header_size || out_size < spt::header_size) return false;

  auto* request = static_cast<std::uint8_t*>(out);
  if (in != out) std::memmove(request, in, spt::header_size);
  const std::uint32_t length = get_le32(request + spt::data_transfer_length);
  const std::uint32_t data_field = get_le32(request + spt::data_buffer);
  std::uint32_t moved = 0;
  if (request[spt::data_in] == spt::data_in_direction && length != 0) {
    std::uint8_t* data = nullptr;
    if (direct) {
      data = data_field == buffer_token ? buffer_ : nullptr;
    } else if (data_field >= spt::header_size && data_field <= out_size && length <= out_size - data_field) {
      data = request + data_field;
    }
    if (data == nullptr) return false;
    moved = answer(data, length, reply, reply_size);
  }
  request[spt::scsi_status] = 0;
  request[spt::sense_info_length] = 0;
  put_le32(request + spt::data_transfer_length, moved);
  returned = direct ? spt::header_size : data_field + moved;
  return true;
}

std::uint32_t ReplyAspi::buffer_address(void* buffer) {
  buffer_ = static_cast<std::uint8_t*>(buffer);
  return buffer == nullptr ? 0 : buffer_token;
}

std::uint32_t ReplyAspi::send_command(platform::ProcAddress, std::uint8_t* block) {
  if (block[srb::cmd] != srb::sc_exec_scsi_cmd) {
    block[srb::status] = srb::ss_invalid_cmd;
    return srb::ss_invalid_cmd;
  }
  const std::uint32_t length = get_le32(block + srb::buf_len);
  const std::uint32_t pointer = get_le32(block + srb::buf_pointer);
  if ((block[srb::flags] & srb::dir_in) != 0 && (block[srb::flags] & srb::dir_out) == 0 && length != 0) {
    if (pointer != buffer_token || buffer_ == nullptr) {
      block[srb::status] = srb::ss_invalid_srb;
      return srb::ss_invalid_srb;
    }
    answer(buffer_, length, reply, reply_size);
  }
  block[srb::status] = srb::ss_comp;
  return srb::ss_comp;
}

ReplySystem::ReplySystem() {
  host.clock.keep_sleeps(false);
  build_model_tables(models);
  StringTable texts;
  texts.decode();
  const auto loaded = std::make_unique<ImageState>();
  require(load_firmware_image(*loaded, texts) == 0, "the carried image loads");
  image_identity = loaded->image_identity;
}

Context* ReplySystem::context_for_input(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return nullptr;
  Context* const ctx = context((data[0] & 1) == 0 ? transport_pass_through : transport_aspi, data + 1, size - 1);
  require(ctx != nullptr, "the reply drive opens");
  return ctx;
}

Context* ReplySystem::context(std::uint8_t transport, const std::uint8_t* data, std::size_t size) {
  devices.reply = aspi.reply = data;
  devices.reply_size = aspi.reply_size = size;
  platform::Os os = host.os();
  Context* const ctx =
      &current.emplace(platform::Os{os.system, os.windows, os.dialogs, os.clock, os.threads, devices, aspi, os.files});
  ctx->app.texts.decode();
  ctx->app.models = models;
  ctx->image.image_identity = image_identity;
  ctx->image.drive_kind_mask = image_drive_kind_mask;
  ctx->drive.transport = transport;
  init_drive_table(ctx->drive);
  ctx->drive.current_drive = 0;
  ctx->app.switches.silent = 1;  // no message box waits for an answer
  if (transport == transport_pass_through) {
    if (spt_open(ctx->link) != 0) return nullptr;
  } else if (aspi_load(ctx->link) != 0) {
    return nullptr;
  }
  return ctx;
}

namespace {

bool ends_within(const char* text, std::size_t width) { return std::memchr(text, '\0', width + 1) != nullptr; }

}  // namespace

void require_sound_record(const IdentityRecord& record) {
  require(ends_within(record.magic_text, magic_text_bytes), "magic_text ends inside its field");
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    require(ends_within(info_text(record, i), info_text_fields[i].width), "an info text ends inside its field");
  }
  require(record.blob_length <= max_blob_bytes, "blob_length within its limit");
  require(record.area_bytes <= max_area_entries * area_entry_bytes, "area_bytes within its limit");
  require(record.trailer_length <= max_trailer_bytes, "trailer_length within its limit");
  for (std::uint32_t i = 0; i < record.area_bytes / area_entry_bytes; ++i) {
    require(ends_within(record.areas[i].area_name, 2), "an area name ends inside its field");
  }
}

}  // namespace tz::fuzz
