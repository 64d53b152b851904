#pragma once
// The image's working buffer, identity, pristine and transfer copies.
#include <cstdint>

#include "image/identity.h"
#include "image/layout.h"
#include "image/stored_image.h"

namespace tz {

struct ImageState {
  ImageState();

  // Header bytes, then the info block or a drive's identity reply; parsed in place.
  std::uint8_t working_buffer[working_buffer_bytes];
  IdentityRecord image_identity;

  // Refreshed from the stored image at every successful load; the transfer copies are built
  // from them.
  std::uint8_t pristine_header[header_bytes];
  std::uint8_t pristine_info_block[max_info_block_bytes];
  std::uint32_t pristine_info_size = 0;

  // What the update sends: the header in front of every piece, the info block at offset 0.
  std::uint8_t transfer_header[header_bytes];
  std::uint8_t transfer_info_block[max_info_block_bytes];
  std::uint32_t transfer_info_size = 0;

  // 0 until the first successful load, then 0x200 and 2 for the life of the process.
  std::uint32_t drive_kind_mask = 0;
  std::uint32_t load_sequence = 0;

  // The image that loading reads: the embedded one; a test may point it at another.
  const StoredImage* stored;
};

}  // namespace tz
