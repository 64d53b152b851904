#include "sim/firmware.h"

#include <cstring>

#include "core/bytes.h"
#include "image/codec.h"
#include "image/firmware_levels.h"
#include "image/identity.h"
#include "image/info_block.h"

namespace tz::sim {

namespace {

// Region offset of text field T(index + 1).
constexpr std::uint32_t text_offset(std::size_t index) {
  std::uint32_t at = region_texts_offset;
  for (std::size_t i = 0; i < index; ++i) at += info_text_fields[i].width;
  return at;
}
constexpr std::size_t t1 = 0, t2 = 1, t3 = 2, t4 = 3, t21 = 20;
// Firmware levels up to this one shipped before the identity block's info_sum was computed.
constexpr const char* last_level_without_info_sum = "0050";

// Unscrambles a copy of the region's length field: the region's byte count, or 0 when the block
// cannot hold the region it announces.
std::uint32_t region_bytes(const std::uint8_t* info, std::uint32_t size, std::uint16_t key) {
  if (size < region_offset + region_fixed_bytes) return 0;
  std::uint8_t length_field[4];
  std::memcpy(length_field, info + region_offset, sizeof(length_field));
  scramble_with_key(key, length_field, sizeof(length_field));
  const std::uint32_t info_length = get_be32(length_field);
  if (info_length >= region_limit - 4) return 0;
  const std::uint32_t bytes = info_length + 4;
  if (bytes < region_fixed_bytes) return 0;
  if (bytes > size - region_offset) return 0;
  return bytes;
}

void take_text(char* out, const std::uint8_t* region, std::size_t index) {
  copy_text(out, region + text_offset(index), info_text_fields[index].width);
}

// The plain region of a block into `plain`; its byte count, or 0 when it is not a block.
std::uint32_t unscramble_region(const std::uint8_t* info, std::uint32_t size, std::uint8_t* plain) {
  const std::uint16_t key = get_be16(info + scramble_key_offset);
  const std::uint32_t bytes = region_bytes(info, size, key);
  if (bytes == 0) return 0;
  std::memcpy(plain, info + region_offset, bytes);
  scramble_with_key(key, plain, bytes);
  return bytes;
}

// Where the trailer of a plain region of `bytes` bytes lies, found through the length fields in
// front of it; false when they run into info_sum.
bool find_trailer(const std::uint8_t* plain, std::uint32_t bytes, std::uint32_t& at, std::uint32_t& length) {
  const std::uint32_t end = bytes - 2;
  std::uint32_t next = region_blob_length_offset;
  const auto field = [&](std::uint32_t& value) {
    if (end - next < 4) return false;
    value = get_be32(plain + next);
    next += 4;
    return value <= end - next;
  };
  std::uint32_t blob = 0;
  std::uint32_t areas = 0;
  if (!field(blob)) return false;
  next += blob;
  if (!field(areas)) return false;
  next += areas;
  if (!field(length)) return false;
  at = next;
  return true;
}

}  // namespace

bool factory_rom(const char* revision, Rom& rom) { return factory_rom(revision, "", "", rom); }

bool factory_rom(const char* revision, const char* model_code, const char* family_code, Rom& rom) {
  IdentityRecord identity;
  if (firmware_level_identity(revision, identity) != 0) return false;
  if (model_code[0] != '\0') {
    if (std::strlen(model_code) != sizeof(identity.model_code) - 1) return false;
    std::memcpy(identity.model_code, model_code, sizeof(identity.model_code));
  }
  if (family_code[0] != '\0') {
    if (std::strlen(family_code) != sizeof(identity.t6) - 1) return false;
    std::memcpy(identity.t6, family_code, sizeof(identity.t6));
  }
  const std::uint32_t size = build_info_block(identity, identity.scramble_key, rom.info, sizeof(rom.info));
  if (size == 0) return false;
  if (std::strcmp(identity.t21, last_level_without_info_sum) <= 0) {
    // Engineering firmware never filled in its info_sum: the field reads 0.
    std::uint8_t* region = rom.info + region_offset;
    const std::uint32_t region_length = size - region_offset;
    scramble_with_key(identity.scramble_key, region, region_length);
    put_be16(region + region_length - 2, 0);
    scramble_with_key(identity.scramble_key, region, region_length);
  }
  rom.info_size = size;
  // The payload of a factory ROM is not modelled: its digest stands for it, derived from the
  // level's identity so that no download can equal it by accident.
  rom.length = download_area_bytes;
  rom.digest = image_digest(rom.info, size, 0x5A5A5A5A5A5A5A5Aull);
  rom.factory = true;
  return true;
}

bool read_rom_identity(const std::uint8_t* info, std::uint32_t size, RomIdentity& identity) {
  std::uint8_t plain[max_info_block_bytes];
  if (size > max_info_block_bytes) return false;
  if (unscramble_region(info, size, plain) == 0) return false;
  std::uint8_t magic[magic_text_bytes];
  std::memcpy(magic, info, magic_text_bytes);
  scramble_with_key(get_be16(info + scramble_key_offset), magic, magic_text_bytes);
  copy_text(identity.magic, magic, magic_text_bytes);
  take_text(identity.model_code, plain, t1);
  take_text(identity.vendor, plain, t2);
  take_text(identity.product, plain, t3);
  take_text(identity.revision, plain, t4);
  take_text(identity.level, plain, t21);
  return true;
}

std::uint64_t image_digest(const std::uint8_t* bytes, std::uint32_t length, std::uint64_t start) {
  std::uint64_t hash = start;
  for (std::uint32_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}

const char* image_check_name(ImageCheck check) {
  switch (check) {
    case ImageCheck::ok:
      return "ok";
    case ImageCheck::no_header:
      return "nothing downloaded";
    case ImageCheck::header_checksum:
      return "header checksum";
    case ImageCheck::transfer_length:
      return "transfer length";
    case ImageCheck::incomplete:
      return "incomplete download";
    case ImageCheck::image_sum:
      return "image_sum";
    case ImageCheck::magic:
      return "magic text";
    case ImageCheck::info_block:
      return "info block";
    case ImageCheck::info_sum:
      return "info_sum";
    case ImageCheck::stored_copy:
      return "not a transfer copy";
    case ImageCheck::foreign_model:
      return "foreign model";
    case ImageCheck::other_header:
      return "another header";
  }
  return "?";
}

bool area_written(const std::uint8_t* written_bits, std::uint32_t length) {
  if (written_bits == nullptr) return false;
  const std::uint32_t whole = length / 8;
  for (std::uint32_t i = 0; i < whole; ++i) {
    if (written_bits[i] != 0xFF) return false;
  }
  const std::uint32_t rest = length % 8;
  if (rest == 0) return true;
  const std::uint8_t mask = static_cast<std::uint8_t>((1u << rest) - 1);
  return (written_bits[whole] & mask) == mask;
}

ImageCheck check_transfer_header(const Rom& current, const std::uint8_t* header) {
  if (sum8(header, header_bytes) != 0) return ImageCheck::header_checksum;
  const std::uint32_t length = get_be32(header + 36);
  if (length < region_offset + region_fixed_bytes || length > download_area_bytes) return ImageCheck::transfer_length;
  RomIdentity mine;
  if (!read_rom_identity(current.info, current.info_size, mine) || std::memcmp(header, mine.vendor, 8) != 0 ||
      std::memcmp(header + 8, mine.product, 16) != 0) {
    return ImageCheck::foreign_model;
  }
  return ImageCheck::ok;
}

ImageCheck check_downloaded_image(const Rom& current, const std::uint8_t* header, bool header_written,
                                  const std::uint8_t* area, const std::uint8_t* written_bits, Rom& written) {
  if (!header_written || area == nullptr) return ImageCheck::no_header;
  if (sum8(header, header_bytes) != 0) return ImageCheck::header_checksum;
  const std::uint32_t length = get_be32(header + 36);
  if (length < region_offset + region_fixed_bytes || length > download_area_bytes) return ImageCheck::transfer_length;
  if (!area_written(written_bits, length)) return ImageCheck::incomplete;
  if (sum16_be(area, length) != get_be16(header + header_image_sum_offset)) return ImageCheck::image_sum;

  RomIdentity mine;
  if (!read_rom_identity(current.info, current.info_size, mine)) return ImageCheck::foreign_model;

  const std::uint16_t key = get_be16(area + scramble_key_offset);
  std::uint8_t magic[magic_text_bytes];
  std::memcpy(magic, area, magic_text_bytes);
  scramble_with_key(key, magic, magic_text_bytes);
  if (std::memcmp(magic, mine.magic, magic_text_bytes) != 0) return ImageCheck::magic;

  const std::uint32_t info_limit = length < max_info_block_bytes ? length : max_info_block_bytes;
  std::uint8_t plain[max_info_block_bytes];
  const std::uint32_t bytes = unscramble_region(area, info_limit, plain);
  if (bytes == 0) return ImageCheck::info_block;
  const std::uint32_t info_length = bytes - 4;
  if (sum16_be(plain, info_length + 2) != get_be16(plain + info_length + 2)) return ImageCheck::info_sum;
  std::uint32_t trailer_at = 0;
  std::uint32_t trailer_length = 0;
  if (!find_trailer(plain, bytes, trailer_at, trailer_length)) return ImageCheck::info_block;
  if (trailer_length == 0 || plain[trailer_at] != transfer_copy_mark) return ImageCheck::stored_copy;

  RomIdentity theirs;
  if (!read_rom_identity(area, region_offset + bytes, theirs)) return ImageCheck::info_block;
  const bool same_model = std::strcmp(theirs.model_code, mine.model_code) == 0 &&
                          std::strcmp(theirs.vendor, mine.vendor) == 0 &&
                          std::strcmp(theirs.product, mine.product) == 0 && std::memcmp(header, mine.vendor, 8) == 0 &&
                          std::memcmp(header + 8, mine.product, 16) == 0;
  if (!same_model) return ImageCheck::foreign_model;

  written.info_size = region_offset + bytes;
  std::memset(written.info, 0, sizeof(written.info));
  std::memcpy(written.info, area, written.info_size);
  written.length = length;
  written.digest = image_digest(area, length);
  written.factory = false;
  return ImageCheck::ok;
}

}  // namespace tz::sim
