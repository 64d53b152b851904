#pragma once
// What the drive's ROM holds, as far as the loader can tell: the identity block it reports and a
// digest of the whole image it was written from. Also the drive's own checks of a downloaded image.
#include <cstdint>

#include "image/layout.h"

namespace tz::sim {

// The download area: the info block at offset 0, then the payload.
inline constexpr std::uint32_t download_area_bytes = image_transfer_length;  // 1,122,672

struct Rom {
  std::uint8_t info[max_info_block_bytes] = {};  // identity block as stored, scrambled with its key
  std::uint32_t info_size = 0;
  std::uint64_t digest = 0;  // of the `length` image bytes the ROM was written from
  std::uint32_t length = 0;
  bool factory = true;  // built from a firmware level rather than written by a download
};

// Plain text fields of an identity block, each NUL-terminated.
struct RomIdentity {
  char magic[16 + 1] = {};
  char model_code[16 + 1] = {};  // T1
  char vendor[8 + 1] = {};       // T2
  char product[16 + 1] = {};     // T3
  char revision[4 + 1] = {};     // T4
  char level[4 + 1] = {};        // T21
};

// The ROM a drive leaves the factory with for firmware `revision` ("1.00", "0.90", ...): its
// identity block in the level's own key. False for a level that never existed.
bool factory_rom(const char* revision, Rom& rom);
// The same for a sister model: the identity names `model_code` (16 characters) and `family_code`
// (4 characters) where they are not empty.
bool factory_rom(const char* revision, const char* model_code, const char* family_code, Rom& rom);

// Reads the text fields of an identity block of `size` bytes; false when the block is not one
// (too short, region running past it).
bool read_rom_identity(const std::uint8_t* info, std::uint32_t size, RomIdentity& identity);

// 64-bit FNV-1a, the digest the drive keeps of what it was written from.
std::uint64_t image_digest(const std::uint8_t* bytes, std::uint32_t length,
                           std::uint64_t start = 0xCBF29CE484222325ull);

// The first byte of the info block's trailer in a block that came with a download: the drive
// takes only such a block, never one copied as it is stored.
inline constexpr std::uint8_t transfer_copy_mark = 3;

// Why the drive refuses to rewrite its ROM from the download area, or to verify against it.
enum class ImageCheck : std::uint8_t {
  ok,
  no_header,  // nothing downloaded since the drive started or since the last rewrite request
  header_checksum,
  transfer_length,
  incomplete,
  image_sum,
  magic,
  info_block,
  info_sum,
  stored_copy,  // the info block's trailer does not carry transfer_copy_mark
  foreign_model,
  other_header,  // a piece came with another header than the pieces before it
};
const char* image_check_name(ImageCheck check);

// Checks the downloaded image against the drive's current ROM: header checksum, transfer length,
// every byte of it downloaded, image_sum, magic text, info block and info_sum, the transfer mark in
// the trailer, and model code, vendor and product equal to the ROM's (header and info block). On
// ok fills `written` with the ROM the image makes.
ImageCheck check_downloaded_image(const Rom& current, const std::uint8_t* header, bool header_written,
                                  const std::uint8_t* area, const std::uint8_t* written_bits, Rom& written);

// The checks a transfer header allows on its own, made on every piece as it arrives: header
// checksum, a transfer length the area can hold, and vendor and product equal to the ROM's.
ImageCheck check_transfer_header(const Rom& current, const std::uint8_t* header);

// True when the first `length` bytes of the area were all written since the drive started.
bool area_written(const std::uint8_t* written_bits, std::uint32_t length);

}  // namespace tz::sim
