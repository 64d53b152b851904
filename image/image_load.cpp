#include "image/image_load.h"

#include <cstring>

#include "core/bytes.h"
#include "image/codec.h"
#include "image/image_state.h"
#include "image/layout.h"

namespace tz {

namespace {

inline constexpr std::uint32_t transfer_download_state = 3;

// info_sum covers region bytes 0 .. info_length + 1; an odd info_length ends on a whole word
// that still lies inside the region.
std::uint32_t info_sum_span(std::uint32_t info_length) { return (info_length + 2 + 1) & ~1u; }

// Walks the fields of a protected region; each take() succeeds only while the field ends inside
// the bytes that were received.
class RegionReader {
 public:
  RegionReader(const std::uint8_t* region, std::uint32_t available, std::uint32_t start)
      : region_(region), available_(available), at_(start) {}

  const std::uint8_t* take(std::uint32_t n) {
    if (n > available_ - at_) return nullptr;
    const std::uint8_t* field = region_ + at_;
    at_ += n;
    return field;
  }

 private:
  const std::uint8_t* region_;
  std::uint32_t available_;
  std::uint32_t at_;
};

int read_u32(RegionReader& reader, std::uint32_t& value) {
  const std::uint8_t* field = reader.take(4);
  if (field == nullptr) return -1;
  value = get_be32(field);
  return 0;
}

int read_u16(RegionReader& reader, std::uint16_t& value) {
  const std::uint8_t* field = reader.take(2);
  if (field == nullptr) return -1;
  value = get_be16(field);
  return 0;
}

int read_text(RegionReader& reader, char* destination, std::uint32_t width) {
  const std::uint8_t* field = reader.take(width);
  if (field == nullptr) return -1;
  copy_text(destination, field, width);
  return 0;
}

// The fields behind info_length, in region order, into the record. A count above its limit is
// refused before it reaches the record, so later readers can trust every count there.
int read_region_fields(RegionReader& reader, IdentityRecord& record) {
  if (read_u32(reader, record.info_value) != 0) return -1;
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    if (read_text(reader, info_text(record, i), info_text_fields[i].width) != 0) return -1;
  }

  std::uint32_t blob_length = 0;
  if (read_u32(reader, blob_length) != 0 || blob_length > max_blob_bytes) return -1;
  const std::uint8_t* blob = reader.take(blob_length);
  if (blob == nullptr) return -1;
  record.blob_length = blob_length;
  std::memcpy(record.blob, blob, blob_length);

  std::uint32_t area_bytes = 0;
  if (read_u32(reader, area_bytes) != 0 || area_bytes > max_area_entries * area_entry_bytes) return -1;
  record.area_bytes = area_bytes;
  for (std::uint32_t i = 0; i < area_bytes / area_entry_bytes; ++i) {
    AreaEntry& area = record.areas[i];
    if (read_text(reader, area.area_name, 2) != 0 || read_u32(reader, area.area_value_1) != 0 ||
        read_u32(reader, area.area_value_2) != 0 || read_u16(reader, area.area_word) != 0) {
      return -1;
    }
  }

  std::uint32_t trailer_length = 0;
  if (read_u32(reader, trailer_length) != 0 || trailer_length > max_trailer_bytes) return -1;
  const std::uint8_t* trailer = reader.take(trailer_length);
  if (trailer == nullptr) return -1;
  record.trailer_length = trailer_length;
  if (trailer_length != 0) std::memcpy(record.trailer, trailer, trailer_length);

  return read_u16(reader, record.info_sum);
}

}  // namespace

int parse_image_header(const std::uint8_t* buffer, IdentityRecord& record) {
  copy_text(record.header_vendor, buffer, 8);
  copy_text(record.header_product, buffer + 8, 16);
  copy_text(record.header_revision, buffer + 24, 4);
  std::memcpy(record.header_stamp, buffer + 28, 3);
  record.header_flag = buffer[31];
  record.start_value = get_be32(buffer + 32);
  record.transfer_length = get_be32(buffer + 36);
  record.header_word = get_be16(buffer + 40);
  record.image_sum = get_be16(buffer + header_image_sum_offset);
  std::memcpy(record.header_stamp2, buffer + 44, 3);
  record.header_checksum = buffer[header_checksum_offset];
  const std::uint8_t s = sum8(buffer, header_checksum_offset);
  return buffer[header_checksum_offset] == static_cast<std::uint8_t>(0 - s) ? 0 : -1;
}

void read_scramble_key(const std::uint8_t* buffer, IdentityRecord& record) {
  record.scramble_key = get_be16(buffer + header_bytes + scramble_key_offset);
}

int check_magic_text(const StringTable& texts, std::uint8_t* buffer, IdentityRecord& record) {
  std::uint8_t* const magic = buffer + header_bytes;
  scramble_with_key(record.scramble_key, magic, magic_text_bytes);
  copy_text(record.magic_text, magic, magic_text_bytes);
  return std::strcmp(record.magic_text, texts.get(Text::image_magic)) == 0 ? 0 : -1;
}

int parse_info_block(const StringTable& texts, std::uint8_t* buffer, std::uint32_t received, IdentityRecord& record,
                     int mode) {
  if (received > max_info_block_bytes || received < region_offset + 4) return -1;
  std::uint8_t* const region = buffer + header_bytes + region_offset;
  const std::uint32_t available = received - region_offset;

  std::uint8_t length_field[4];
  std::memcpy(length_field, region, sizeof(length_field));
  scramble_with_key(record.scramble_key, length_field, sizeof(length_field));
  const std::uint32_t info_length = get_be32(length_field);
  record.info_length = info_length;
  // The region is unscrambled in place, so all of it must lie inside what was received; that also
  // keeps it below the 65536 bytes a region can have.
  static_assert(max_info_block_bytes < region_limit);
  if (info_length > available - 4) return -1;
  const std::uint32_t region_bytes = info_length + 4;
  scramble_with_key(record.scramble_key, region, region_bytes);

  RegionReader reader(region, available, region_info_value_offset);
  if (read_region_fields(reader, record) != 0) return -1;

  if (sum16_be(region, info_sum_span(info_length)) == record.info_sum) return 0;
  // Early drives of the model this image is for shipped identity blocks whose sum never matched.
  if (mode == info_mode_drive && std::strcmp(record.model_code, texts.get(Text::special_model_1)) == 0 &&
      std::strcmp(record.t21, texts.get(Text::level_checksum)) <= 0) {
    return 0;
  }
  return -1;
}

std::uint16_t sum_payload(const StoredImage& image) {
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < image.payload_block_count; ++i) {
    sum += sum16_be(image.payload_blocks[i], payload_block_bytes);
  }
  return static_cast<std::uint16_t>(sum);
}

int prepare_transfer_copies(ImageState& image) {
  const IdentityRecord& identity = image.image_identity;
  const std::uint32_t size = image.pristine_info_size;
  const std::uint32_t region_bytes = (identity.info_length & 0xFFFFu) + 4;
  // Only an identity parsed from these very bytes fits them; before the first load nothing does.
  if (size > max_info_block_bytes || identity.trailer_length > max_trailer_bytes ||
      size < region_offset + 2 + identity.trailer_length || region_bytes > size - region_offset) {
    return -1;
  }

  std::memcpy(image.transfer_header, image.pristine_header, header_bytes);
  std::memcpy(image.transfer_info_block, image.pristine_info_block, size);
  image.transfer_info_size = size;

  // The trailer's first byte tells the drive that the block came with a download; info_sum
  // follows the change.
  std::uint8_t* const region = image.transfer_info_block + region_offset;
  scramble_with_key(identity.scramble_key, region, region_bytes);
  image.transfer_info_block[size - 2 - identity.trailer_length] = transfer_download_state;
  put_be16(image.transfer_info_block + size - 2, sum16_be(region, info_sum_span(region_bytes - 4)));
  scramble_with_key(identity.scramble_key, region, region_bytes);

  const std::uint32_t image_sum = sum16_be(image.transfer_info_block, size) + sum_payload(*image.stored);
  put_be16(image.transfer_header + header_image_sum_offset, image_sum);
  image.transfer_header[header_checksum_offset] =
      static_cast<std::uint8_t>(0 - sum8(image.transfer_header, header_checksum_offset));
  return 0;
}

int load_firmware_image(ImageState& image, const StringTable& texts) {
  const StoredImage& stored = *image.stored;
  // The working buffer holds exactly one header in front of at most one reply's worth of block.
  if (stored.header_size != header_bytes || stored.info_block_size > max_info_block_bytes) return -1;

  std::memcpy(image.working_buffer, stored.header, stored.header_size);
  std::memcpy(image.working_buffer + header_bytes, stored.info_block, stored.info_block_size);
  IdentityRecord& identity = image.image_identity;
  if (parse_image_header(image.working_buffer, identity) != 0) return -1;
  read_scramble_key(image.working_buffer, identity);
  if (check_magic_text(texts, image.working_buffer, identity) != 0) return -1;
  if (parse_info_block(texts, image.working_buffer, stored.info_block_size, identity, info_mode_image) != 0) return -1;

  image.drive_kind_mask = image_drive_kind_mask;
  image.load_sequence = image_load_sequence;

  std::memcpy(image.pristine_header, stored.header, header_bytes);
  std::memcpy(image.pristine_info_block, stored.info_block, stored.info_block_size);
  image.pristine_info_size = stored.info_block_size;
  return prepare_transfer_copies(image);
}

}  // namespace tz
