#pragma once
// The identities that the TZ594K firmware levels report: one story for the carried image and for
// the drives in the field. The image is firmware 1.01; drives carry 1.00 or 0.90 (updated by this
// program) or one of the early levels 0.80 and 0.50 (known, never updated).
#include <cstdint>

#include "image/identity.h"

namespace tz {

// Key of the carried image's info block.
inline constexpr std::uint16_t image_scramble_key = 0x594B;

// Fills `record` with the identity that firmware `revision` ("1.01", "1.00", "0.90", "0.80",
// "0.50") reports in its info block: placeholder header part, magic text, the level's own
// scramble_key, info_value, T1..T26, blob, areas and trailer. info_length and info_sum stay 0:
// build_info_block derives them. Returns 0, or -1 (record untouched) for a level that never
// existed.
int firmware_level_identity(const char* revision, IdentityRecord& record);

}  // namespace tz
