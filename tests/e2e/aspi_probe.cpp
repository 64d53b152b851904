// The program's own transport and command code, sent through wnaspi32.dll to the simulated drive
// at adapter 0, target 0: INQUIRY, an identity read, the boot-mode command, a download write (the
// carried image's header in front of a piece of its own) and its read-back. With "update" it also downloads the whole
// carried image with read-back, rewrites the ROM, downloads it again and verifies. Prints what the drive answered; exit
// code 0 when every step went as the drive should. With "abort" it instead gives up on two requests, one the drive
// never answers and one it answers too late, and checks that the manager then serves the next one
// and never writes into the block or buffer of the requests given up. With "load" it only loads
// the library.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

#include "app/context.h"
#include "drive/commands.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "image/image_load.h"
#include "platform/win32/win32_os.h"

namespace {

using tz::Context;

bool step(const char* what, int result, int expected = 0) {
  std::printf("%s: %d\n", what, result);
  return result == expected;
}

bool probe(Context& ctx) {
  if (!step("aspi_load", tz::aspi_load(ctx.link))) return false;
  if (!step("cmd_inquiry", tz::cmd_inquiry(ctx.link))) return false;
  const std::uint8_t* reply = ctx.drive.scsi_data_buffer;
  std::printf("inquiry: type %u [%.8s] [%.16s] [%.4s]\n", static_cast<unsigned>(reply[0] & 0x1F),
              reinterpret_cast<const char*>(reply + 8), reinterpret_cast<const char*>(reply + 16),
              reinterpret_cast<const char*>(reply + 32));

  // Parameters as the identity read derives them at 59 seconds and 15 minutes.
  std::uint8_t* buffer = ctx.image.working_buffer;
  const std::span<std::uint8_t> destination(buffer + tz::header_bytes, tz::drive_reply_bytes);
  if (!step("cmd_read_identity_block",
            tz::cmd_read_identity_block(ctx.link, 0xC4, 0x0F, 0x1E, 0xB4, 0x3B, 0x75, 4096, destination))) {
    return false;
  }
  tz::IdentityRecord& identity = ctx.drive.drive_table[0].identity;
  tz::read_scramble_key(buffer, identity);
  if (!step("check_magic_text", tz::check_magic_text(ctx.app.texts, buffer, identity))) return false;
  if (!step("parse_info_block", tz::parse_info_block(ctx.app.texts, buffer, 4096, identity, tz::info_mode_drive)))
    return false;
  std::printf("identity: [%s] [%s] [%s] level [%s]\n", identity.model_code, identity.info_product,
              identity.info_revision, identity.t21);

  // The drive looks at the header in front of every piece: the carried image's transfer header.
  if (!step("load_firmware_image", tz::load_firmware_image(ctx.image, ctx.app.texts))) return false;
  const std::uint8_t* header = ctx.image.transfer_header;
  std::uint8_t data[1024];
  for (unsigned i = 0; i < sizeof(data); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  // The drive takes download writes only in download mode, which lasts until it is next started.
  if (!step("cmd_prepare_download", tz::cmd_prepare_download(ctx.link, 1))) return false;
  if (!step("cmd_write_download", tz::cmd_write_download(ctx.link, 48, 1024, 368, header, data))) return false;
  std::uint8_t header_back[48] = {};
  if (!step("cmd_read_download",
            tz::cmd_read_download(ctx.link, 48, 1024, 368, header_back, ctx.drive.scsi_data_buffer))) {
    return false;
  }
  const bool same =
      std::memcmp(header_back, header, 48) == 0 && std::memcmp(ctx.drive.scsi_data_buffer, data, 1024) == 0;
  std::printf("read-back: %s\n", same ? "same" : "differs");
  return same;
}

// The whole download, one piece at a time and each read back.
bool download(Context& ctx) {
  const tz::ImageState& image = ctx.image;
  std::uint8_t header_back[48];
  const auto send = [&](std::uint32_t offset, const std::uint8_t* piece, std::uint32_t length) {
    if (tz::cmd_write_download(ctx.link, 48, length, offset, image.transfer_header, piece) != 0) return false;
    if (tz::cmd_read_download(ctx.link, 48, length, offset, header_back, ctx.drive.scsi_data_buffer) != 0) return false;
    return std::memcmp(ctx.drive.scsi_data_buffer, piece, length) == 0;
  };
  bool sent = send(0, image.transfer_info_block, image.transfer_info_size);
  for (std::uint32_t i = 0; sent && i < image.stored->payload_block_count; ++i) {
    sent = send(image.transfer_info_size + i * tz::payload_block_bytes, image.stored->payload_blocks[i],
                tz::payload_block_bytes);
  }
  std::printf("download: %s\n", sent ? "complete" : "failed");
  return sent;
}

// Download, rewrite; the rewrite empties the drive's download area, so download again and verify.
bool update(Context& ctx) {
  if (!download(ctx)) return false;
  if (!step("cmd_execute rewrite", tz::cmd_execute(ctx.link, 0x80))) return false;
  for (int i = 0; i < 5; ++i) tz::cmd_test_unit_ready(ctx.link, 0);
  if (!download(ctx)) return false;
  if (!step("cmd_execute verify", tz::cmd_execute(ctx.link, 0x40))) return false;
  if (!step("cmd_inquiry", tz::cmd_inquiry(ctx.link))) return false;
  std::printf("inquiry: [%.4s]\n", reinterpret_cast<const char*>(ctx.drive.scsi_data_buffer + 32));
  return true;
}

// The block and a buffer of a request given up on, filled as if the program had moved on: they
// must stay so while the drive's time for that request passes.
bool untouched_after(Context& ctx, std::uint8_t* buffer, std::uint32_t length, DWORD wait_ms) {
  std::uint8_t* block = ctx.drive.aspi_request_block;
  std::memset(block, 0xA5, tz::platform::srb::size);
  std::memset(buffer, 0x3C, length);
  Sleep(wait_ms);
  for (std::uint32_t i = 0; i < tz::platform::srb::size; ++i) {
    if (block[i] != 0xA5) return false;
  }
  for (std::uint32_t i = 0; i < length; ++i) {
    if (buffer[i] != 0x3C) return false;
  }
  return true;
}

bool abort_requests(Context& ctx) {
  namespace srb = tz::platform::srb;
  if (!step("aspi_load", tz::aspi_load(ctx.link))) return false;
  // The bay's drive hangs on its first TEST UNIT READY.
  const std::uint8_t test_unit_ready[12] = {0x00};
  if (!step("hung request", tz::aspi_execute(ctx.link, test_unit_ready, 0x18, 0, nullptr, 300), -1)) return false;
  if (!step("hung request aborted", ctx.drive.aspi_request_block[srb::status], srb::ss_aborted)) return false;
  if (!step("cmd_inquiry", tz::cmd_inquiry(ctx.link))) return false;
  // Its tray takes 2 s; the program waits 300 ms for it, with the reply of an INQUIRY in the data
  // buffer's place.
  const std::uint8_t eject[12] = {0x1B, 0, 0, 0, 0x02};
  if (!step("late request", tz::aspi_execute(ctx.link, eject, 0x18, 0, nullptr, 300), -1)) return false;
  if (!step("late request aborted", ctx.drive.aspi_request_block[srb::status], srb::ss_aborted)) return false;
  if (!step("nothing written after the abort", untouched_after(ctx, ctx.drive.scsi_data_buffer, 96, 2500) ? 0 : -1)) {
    return false;
  }
  if (!step("cmd_inquiry", tz::cmd_inquiry(ctx.link))) return false;
  std::printf("inquiry: [%.8s]\n", reinterpret_cast<const char*>(ctx.drive.scsi_data_buffer + 8));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tz::platform::win32::Win32Os system_seam(tz::platform::null_handle);
  const auto ctx = std::make_unique<Context>(system_seam.os());
  ctx->app.switches.silent = 1;  // a message box would wait for a click nobody gives
  ctx->drive.transport = tz::transport_aspi;
  ctx->app.texts.decode();
  tz::init_drive_table(ctx->drive);
  ctx->drive.current_drive = 0;
  const char* mode = argc > 1 ? argv[1] : "";
  bool good = false;
  if (std::strcmp(mode, "abort") == 0) {
    good = abort_requests(*ctx);
  } else if (std::strcmp(mode, "load") == 0) {
    good = step("aspi_load", tz::aspi_load(ctx->link));
  } else {
    good = probe(*ctx);
    if (good && std::strcmp(mode, "update") == 0) good = update(*ctx);
  }
  std::printf("%s\n", good ? "probe: good" : "probe: FAILED");
  std::fflush(stdout);
  return good ? 0 : 1;
}
