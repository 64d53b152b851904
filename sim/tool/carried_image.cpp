#include "sim/tool/carried_image.h"

#include <memory>

#include "core/string_table.h"
#include "image/image_load.h"
#include "image/image_state.h"

namespace tz::sim {

bool carried_image_digest(std::uint64_t& digest, std::uint32_t& length) {
  StringTable texts;
  texts.decode();
  // The image's buffers are large: on the heap, once per call.
  const auto loaded = std::make_unique<ImageState>();
  if (load_firmware_image(*loaded, texts) != 0) return false;
  const ImageState& image = *loaded;
  digest = image_digest(image.transfer_info_block, image.transfer_info_size);
  length = image.transfer_info_size;
  for (std::uint32_t i = 0; i < image.stored->payload_block_count; ++i) {
    digest = image_digest(image.stored->payload_blocks[i], payload_block_bytes, digest);
    length += payload_block_bytes;
  }
  return true;
}

bool rom_is_carried_image(const Rom& rom) {
  std::uint64_t digest = 0;
  std::uint32_t length = 0;
  return carried_image_digest(digest, length) && rom.length == length && rom.digest == digest;
}

}  // namespace tz::sim
