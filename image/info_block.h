#pragma once
// Writing the info-block layout from an identity: used by the image generator, the drive
// simulator (its identity replies) and tests. The program itself only reads this layout.
#include <cstdint>

#include "image/identity.h"

namespace tz {

// Serialises the info part of `identity` (magic text, key, protected region with info_length
// and info_sum computed here) into `out`, scrambled with `key`. Returns the bytes written, or 0
// when the block would not fit in `capacity` or the identity breaks the layout's limits.
std::uint32_t build_info_block(const IdentityRecord& identity, std::uint16_t key, std::uint8_t* out,
                               std::uint32_t capacity);

}  // namespace tz
