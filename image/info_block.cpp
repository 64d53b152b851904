#include "image/info_block.h"

#include <cstring>

#include "core/bytes.h"
#include "image/codec.h"

namespace tz {

std::uint32_t info_region_bytes(const IdentityRecord& identity) {
  const std::uint32_t entries = identity.area_bytes / area_entry_bytes;
  return region_fixed_bytes + identity.blob_length + entries * area_entry_bytes + identity.trailer_length;
}

std::uint32_t build_info_block(const IdentityRecord& identity, std::uint16_t key, std::uint8_t* out,
                               std::uint32_t capacity) {
  if (identity.blob_length > max_blob_bytes || identity.area_bytes > max_area_entries * area_entry_bytes ||
      identity.trailer_length > max_trailer_bytes) {
    return 0;
  }
  const std::uint32_t region_bytes = info_region_bytes(identity);
  const std::uint32_t block_bytes = region_offset + region_bytes;
  if (out == nullptr || block_bytes > capacity || region_bytes % 2 != 0) return 0;

  std::memcpy(out, identity.magic_text, magic_text_bytes);
  put_be16(out + scramble_key_offset, key);

  std::uint8_t* const region = out + region_offset;
  const std::uint32_t info_length = region_bytes - 4;
  put_be32(region, info_length);
  put_be32(region + region_info_value_offset, identity.info_value);
  std::uint32_t at = region_texts_offset;
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    std::memcpy(region + at, info_text(identity, i), info_text_fields[i].width);
    at += info_text_fields[i].width;
  }
  put_be32(region + at, identity.blob_length);
  at += 4;
  std::memcpy(region + at, identity.blob, identity.blob_length);
  at += identity.blob_length;
  put_be32(region + at, identity.area_bytes);
  at += 4;
  for (std::uint32_t i = 0; i < identity.area_bytes / area_entry_bytes; ++i) {
    const AreaEntry& area = identity.areas[i];
    std::memcpy(region + at, area.area_name, 2);
    put_be32(region + at + 2, area.area_value_1);
    put_be32(region + at + 6, area.area_value_2);
    put_be16(region + at + 10, area.area_word);
    at += area_entry_bytes;
  }
  put_be32(region + at, identity.trailer_length);
  at += 4;
  std::memcpy(region + at, identity.trailer, identity.trailer_length);
  at += identity.trailer_length;
  put_be16(region + at, sum16_be(region, info_length + 2));

  scramble_with_key(key, out, magic_text_bytes);
  scramble_with_key(key, region, region_bytes);
  return block_bytes;
}

}  // namespace tz
