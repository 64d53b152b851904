#pragma once
// Writing the info-block layout from an identity: used by the image generator, the drive
// simulator (its identity replies) and tests. The program itself only reads this layout.
#include <cstdint>

#include "image/identity.h"
#include "image/layout.h"

namespace tz {

// Serialises the info part of `identity` (magic text, key, protected region with info_length
// and info_sum computed here) into `out`, scrambled with `key`. The blob, area list and trailer
// take `blob_length`, `area_bytes` (area_bytes / 12 entries follow it) and `trailer_length` from
// the identity. Returns the bytes written, or 0 when the block would not fit in `capacity` or the
// identity breaks the layout's limits (blob above 1024 bytes, area_bytes above 192, trailer above
// 4 bytes, or an odd region length, whose info_sum would cover its own first byte).
std::uint32_t build_info_block(const IdentityRecord& identity, std::uint16_t key, std::uint8_t* out,
                               std::uint32_t capacity);

// The region length that build_info_block gives `identity` (info_length + 4).
std::uint32_t info_region_bytes(const IdentityRecord& identity);

}  // namespace tz
