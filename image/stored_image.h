#pragma once
// The firmware image the program carries, as its data holds it: header, info block and payload,
// each with its size, and the payload block table. Nothing ever writes it.
#include <cstdint>

#include "image/layout.h"

namespace tz {

struct StoredImage {
  const std::uint8_t* header;
  std::uint32_t header_size;
  const std::uint8_t* info_block;
  std::uint32_t info_block_size;
  const std::uint8_t* const* payload_blocks;  // payload_block_bytes each, in transfer order
  std::uint32_t payload_block_count;
};

// The image embedded in the program.
const StoredImage& embedded_image();

}  // namespace tz
