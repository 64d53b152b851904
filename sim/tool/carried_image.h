#pragma once
// The ROM a drive holds once the program has updated it with the image it carries.
#include <cstdint>

#include "sim/firmware.h"

namespace tz::sim {

// Digest and length of the image as the program downloads it (its transfer info block, then
// the payload); false when the program's image does not load.
bool carried_image_digest(std::uint64_t& digest, std::uint32_t& length);
// True when `rom` was written from exactly that image.
bool rom_is_carried_image(const Rom& rom);

}  // namespace tz::sim
