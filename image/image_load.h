#pragma once
// Loading and checking the carried image, and parsing info blocks (the image's and drives'
// identity replies) into an IdentityRecord.
#include <cstdint>

#include "core/string_table.h"
#include "image/identity.h"
#include "image/image_state.h"
#include "image/stored_image.h"

namespace tz {

// What a successful load sets for the life of the process: the drive kinds this image is for and
// the load sequence the update engine knows.
inline constexpr std::uint32_t image_drive_kind_mask = 0x200;
inline constexpr std::uint32_t image_load_sequence = 2;

inline constexpr int info_mode_image = 0;
inline constexpr int info_mode_drive = 1;

// 0: the image is valid, image_identity is filled and the transfer copies are ready. -1: the
// header checksum, the magic text, the info block or the stored sizes are wrong; the transfer
// copies, drive_kind_mask and load_sequence keep what they held.
int load_firmware_image(ImageState& image, const StringTable& texts);

// Header bytes 0..47 of `buffer` into the header part. 0, or -1 when the 48 bytes do not sum to 0.
int parse_image_header(const std::uint8_t* buffer, IdentityRecord& record);

// scramble_key from buffer bytes 64..65 (info block bytes 16..17). Never fails.
void read_scramble_key(const std::uint8_t* buffer, IdentityRecord& record);

// Unscrambles buffer bytes 48..63 in place into magic_text. 0 when it is the image magic, else -1.
int check_magic_text(const StringTable& texts, std::uint8_t* buffer, IdentityRecord& record);

// Unscrambles the protected region (from buffer byte 66) in place and reads its fields into
// the info part. `received` is the number of info-block bytes behind the header area: the image's
// info block size, or the length of a drive's reply (at most max_info_block_bytes). Mode
// info_mode_image or info_mode_drive. 0, or -1 when info_sum does not check out (accepted in
// drive mode for special_model_1 at or below level_checksum) or the block breaks the layout:
// a region that does not fit the received bytes, more than 1024 blob bytes, area_bytes above
// 192, more than 4 trailer bytes, or fields running past the received bytes. Nothing outside the
// received bytes or the record is read or written.
int parse_info_block(const StringTable& texts, std::uint8_t* buffer, std::uint32_t received, IdentityRecord& record,
                     int mode);

// Rebuilds the transfer header and info block from the pristine copies. 0, or -1 (nothing
// written) when image_identity does not fit the pristine info block.
int prepare_transfer_copies(ImageState& image);

// sum16_be of every payload block, added modulo 65536; straight from the stored blocks.
std::uint16_t sum_payload(const StoredImage& image);

}  // namespace tz
