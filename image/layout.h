#pragma once
// Sizes and offsets of the image layout, shared by the image, the identity block a drive returns,
// the image generator and the simulated drives. Numbers inside all of them are big-endian.
#include <cstdint>

namespace tz {

// Image header.
inline constexpr std::uint32_t header_bytes = 48;
inline constexpr std::uint32_t header_image_sum_offset = 42;
inline constexpr std::uint32_t header_checksum_offset = 47;

// Info block: magic text and protected region scrambled, key plain between them.
inline constexpr std::uint32_t magic_text_bytes = 16;
inline constexpr std::uint32_t scramble_key_offset = 16;
inline constexpr std::uint32_t region_offset = 18;
// The carried image's info block, and the room a drive's identity reply may fill.
inline constexpr std::uint32_t image_info_block_bytes = 368;
inline constexpr std::uint32_t max_info_block_bytes = 4096;
inline constexpr std::uint32_t drive_reply_bytes = 4096;

// Protected region, from its first byte.
inline constexpr std::uint32_t region_info_value_offset = 4;
inline constexpr std::uint32_t region_texts_offset = 8;
inline constexpr std::uint32_t region_blob_length_offset = 208;
// Below this the region cannot hold even its fixed fields and an empty blob, area list and trailer.
inline constexpr std::uint32_t region_fixed_bytes = region_blob_length_offset + 4 + 4 + 4 + 2;
// The region length is a 16-bit quantity of the scrambling; longer regions are not a block.
inline constexpr std::uint32_t region_limit = 65536;

// Payload.
inline constexpr std::uint32_t payload_block_bytes = 1024;
inline constexpr std::uint32_t image_payload_block_count = 1096;
inline constexpr std::uint32_t image_transfer_length =
    image_info_block_bytes + image_payload_block_count * payload_block_bytes;

// The working buffer: header bytes, then an info block or a drive's reply.
inline constexpr std::uint32_t working_buffer_bytes = header_bytes + max_info_block_bytes;

}  // namespace tz
