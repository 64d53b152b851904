#pragma once
// Helpers for tests that talk to a simulated drive directly: commands from hex, and the image the
// program carries, laid out as the update downloads it.
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "image/image_load.h"
#include "image/layout.h"
#include "image/stored_image.h"
#include "sim/firmware.h"
#include "sim/sim_drive.h"
#include "tests/support/fixture.h"

namespace tz::test {

// Where payload block i lies in the download area.
constexpr std::uint32_t block_offset(std::uint32_t i) { return image_info_block_bytes + i * payload_block_bytes; }

// The transfer header and the download area's bytes exactly as the program sends them; or, with
// `transfer` false, the header and info block as the image stores them.
struct ProgramImage {
  std::array<std::uint8_t, header_bytes> header{};
  std::vector<std::uint8_t> area = std::vector<std::uint8_t>(sim::download_area_bytes);
  std::uint32_t info_size = 0;
  std::uint32_t trailer_length = 0;

  explicit ProgramImage(bool transfer = true) {
    Fixture f;
    f.ctx->app.texts.decode();
    if (load_firmware_image(f.ctx->image, f.ctx->app.texts) != 0) return;
    const ImageState& image = f.ctx->image;
    std::memcpy(header.data(), transfer ? image.transfer_header : image.pristine_header, header_bytes);
    info_size = transfer ? image.transfer_info_size : image.pristine_info_size;
    trailer_length = image.image_identity.trailer_length;
    std::memcpy(area.data(), transfer ? image.transfer_info_block : image.pristine_info_block, info_size);
    const StoredImage& stored = *image.stored;
    for (std::uint32_t i = 0; i < stored.payload_block_count; ++i) {
      std::memcpy(area.data() + block_offset(i), stored.payload_blocks[i], payload_block_bytes);
    }
  }
};

inline const ProgramImage& program_image() {
  static const ProgramImage image;
  return image;
}

inline const ProgramImage& stored_program_image() {
  static const ProgramImage image(false);
  return image;
}

inline sim::Outcome run(sim::SimDrive& drive, std::initializer_list<std::uint8_t> cdb,
                        sim::Direction direction = sim::Direction::none, std::uint8_t* data = nullptr,
                        std::uint32_t length = 0) {
  const std::vector<std::uint8_t> bytes(cdb);
  return drive.execute(bytes.data(), static_cast<std::uint32_t>(bytes.size()), direction, data, length);
}

// One download write: the header, then `length` bytes of `data`, at `offset`.
inline sim::Outcome write_piece(sim::SimDrive& drive, const std::uint8_t* header, std::uint32_t offset,
                                const std::uint8_t* data, std::uint32_t length) {
  std::vector<std::uint8_t> buffer(header_bytes + length);
  std::memcpy(buffer.data(), header, header_bytes);
  std::memcpy(buffer.data() + header_bytes, data, length);
  std::uint8_t cdb[12] = {0xEA};
  put_be24(cdb + 3, offset);
  put_be24(cdb + 6, header_bytes + length);
  return drive.execute(cdb, 12, sim::Direction::out, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
}

// The whole area in the update's pieces: the info block, then 1024-byte blocks. Every piece but
// `skip_offset` (when given) is written. False when a write was not GOOD.
inline bool download(sim::SimDrive& drive, const std::uint8_t* header, const std::vector<std::uint8_t>& area,
                     std::uint32_t info_size, std::uint32_t skip_offset = 0xFFFFFFFF) {
  bool good = true;
  for (std::uint32_t offset = 0; offset < area.size();) {
    const std::uint32_t length = offset == 0 ? info_size : payload_block_bytes;
    if (offset != skip_offset)
      good = write_piece(drive, header, offset, area.data() + offset, length).status == sim::status_good && good;
    offset += length;
  }
  return good;
}

inline constexpr std::uint32_t boot_mode_wait_ms = 2000;  // the update's wait after the boot-mode command

// The boot-mode command, as the update sends it before its first download, sent as long before the
// drive's present time as the update then waits: the drive has settled by its next command.
inline sim::Outcome enter_download_mode(sim::SimDrive& drive) {
  const std::uint32_t now = drive.time();
  drive.set_time(now - boot_mode_wait_ms);
  const sim::Outcome out = run(drive, {0xED, 0x01, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x3C});
  drive.set_time(now);
  return out;
}

inline sim::Outcome rewrite(sim::SimDrive& drive, std::uint8_t mode = 0x80) {
  return run(drive, {0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, mode});
}

inline std::string sense_of(const sim::Outcome& outcome) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02X/%02X/%02X", outcome.sense[2], outcome.sense[12], outcome.sense[13]);
  return outcome.status == sim::status_check_condition ? text : "none";
}

}  // namespace tz::test
