#include "image/stored_image.h"

#include <array>
#include <cstddef>

// Laid down by embedded_image.S from the generated image file.
extern "C" {
extern const std::uint8_t tz594k_image_header[tz::header_bytes];
extern const std::uint8_t tz594k_image_info_block[tz::image_info_block_bytes];
extern const std::uint8_t tz594k_image_payload[tz::image_payload_block_count * tz::payload_block_bytes];
}

namespace tz {

namespace {

using BlockTable = std::array<const std::uint8_t*, image_payload_block_count>;

constexpr BlockTable make_block_table() {
  BlockTable table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = &tz594k_image_payload[i * payload_block_bytes];
  return table;
}

// Constant data: the references are resolved when the program is linked, not built at start-up.
constexpr BlockTable payload_block_table = make_block_table();

constexpr StoredImage stored = {
    tz594k_image_header,        header_bytes,
    tz594k_image_info_block,    image_info_block_bytes,
    payload_block_table.data(), image_payload_block_count,
};

}  // namespace

const StoredImage& embedded_image() { return stored; }

}  // namespace tz
