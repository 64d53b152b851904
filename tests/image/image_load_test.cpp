// Loading the carried image: its checks, the identity it yields and the transfer copies the
// update sends.
#include "image/image_load.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>

#include "core/bytes.h"
#include "image/codec.h"
#include "image/firmware_levels.h"
#include "image/layout.h"
#include "image/stored_image.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

// A changed copy of the carried header and info block in front of the carried payload.
struct ChangedImage {
  std::array<std::uint8_t, header_bytes> header{};
  std::array<std::uint8_t, image_info_block_bytes> info_block{};
  StoredImage stored{};

  ChangedImage() {
    const StoredImage& carried = embedded_image();
    std::memcpy(header.data(), carried.header, header.size());
    std::memcpy(info_block.data(), carried.info_block, info_block.size());
    stored = carried;
    stored.header = header.data();
    stored.info_block = info_block.data();
  }
  ChangedImage(const ChangedImage&) = delete;
  ChangedImage& operator=(const ChangedImage&) = delete;
};

struct TransferCopies {
  std::array<std::uint8_t, header_bytes> header{};
  std::array<std::uint8_t, max_info_block_bytes> info_block{};
  std::uint32_t info_size = 0;

  explicit TransferCopies(const ImageState& image) : info_size(image.transfer_info_size) {
    std::memcpy(header.data(), image.transfer_header, header.size());
    std::memcpy(info_block.data(), image.transfer_info_block, info_block.size());
  }
  bool operator==(const TransferCopies&) const = default;
};

std::uint16_t contiguous_payload_sum() {
  const StoredImage& carried = embedded_image();
  return sum16_be(carried.payload_blocks[0], carried.payload_block_count * payload_block_bytes);
}

class ImageLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { f.ctx->app.texts.decode(); }
  ImageState& image() { return f.ctx->image; }

  test::Fixture f;
};

TEST_F(ImageLoadTest, CarriedImageLoadsAsFirmware101OfTheModel) {
  EXPECT_EQ(image().drive_kind_mask, 0u);
  EXPECT_EQ(image().load_sequence, 0u);
  EXPECT_STREQ(image().image_identity.info_revision, "????");

  ASSERT_EQ(load_firmware_image(f.ctx->image, f.ctx->app.texts), 0);
  const IdentityRecord& id = image().image_identity;
  EXPECT_STREQ(id.header_vendor, "KORVANTA");
  EXPECT_STREQ(id.header_product, "BD-CMB TZ594KS  ");
  EXPECT_STREQ(id.header_revision, "1.01");
  EXPECT_EQ(id.start_value, 0u);
  EXPECT_EQ(id.transfer_length, 1122672u);
  EXPECT_EQ(id.header_word, 1u);
  // Built 2009-02-10 at 17:30:00 (BCD), one ROM bank; the checksum is the header's last byte.
  const std::uint8_t date[3] = {0x09, 0x02, 0x10};
  const std::uint8_t time[3] = {0x17, 0x30, 0x00};
  EXPECT_EQ(std::memcmp(id.header_stamp, date, 3), 0);
  EXPECT_EQ(id.header_flag, 0x01);
  EXPECT_EQ(std::memcmp(id.header_stamp2, time, 3), 0);
  EXPECT_EQ(id.header_checksum, embedded_image().header[47]);
  EXPECT_EQ(id.image_sum, get_be16(embedded_image().header + 42));
  EXPECT_STREQ(id.magic_text, "KVT FW IMAGE 594");
  EXPECT_EQ(id.info_length, 346u);
  EXPECT_STREQ(id.model_code, f.ctx->ui.text(Text::special_model_1));
  EXPECT_STREQ(id.info_vendor, id.header_vendor);
  EXPECT_STREQ(id.info_product, id.header_product);
  EXPECT_STREQ(id.info_revision, id.header_revision);
  EXPECT_STREQ(id.t6, f.ctx->ui.text(Text::family_code_a));
  EXPECT_STREQ(id.t21, "0101");
  // The three areas that drives below level_exclude need.
  const char* named[] = {f.ctx->ui.text(Text::area_name_1), f.ctx->ui.text(Text::area_name_2),
                         f.ctx->ui.text(Text::area_name_3)};
  for (const char* name : named) {
    bool found = false;
    for (std::uint32_t i = 0; i < id.area_bytes / area_entry_bytes; ++i) {
      found = found || std::strcmp(id.areas[i].area_name, name) == 0;
    }
    EXPECT_TRUE(found) << name;
  }
  // Everything else as the level's identity says.
  IdentityRecord level;
  ASSERT_EQ(firmware_level_identity("1.01", level), 0);
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    EXPECT_STREQ(info_text(id, i), info_text(level, i)) << "T" << i + 1;
  }
  EXPECT_EQ(id.scramble_key, level.scramble_key);
  EXPECT_EQ(id.blob_length, level.blob_length);
  EXPECT_EQ(std::memcmp(id.blob, level.blob, level.blob_length), 0);
  EXPECT_EQ(id.trailer_length, level.trailer_length);

  EXPECT_EQ(image().drive_kind_mask, 0x200u);
  EXPECT_EQ(image().load_sequence, 2u);
  EXPECT_EQ(image().transfer_info_size, image_info_block_bytes);
}

TEST_F(ImageLoadTest, PayloadBlockTableNamesTheBlocksInOrder) {
  const StoredImage& carried = embedded_image();
  ASSERT_EQ(carried.payload_block_count, 1096u);
  EXPECT_EQ(carried.header_size, 48u);
  EXPECT_EQ(carried.info_block_size, 368u);
  for (std::uint32_t i = 0; i < carried.payload_block_count; ++i) {
    ASSERT_EQ(carried.payload_blocks[i], carried.payload_blocks[0] + std::size_t{i} * payload_block_bytes)
        << "block " << i;
  }
  EXPECT_EQ(sum_payload(carried), contiguous_payload_sum());
}

// A load that fails on any check leaves the transfer copies and the image settings as they were:
// on a fresh context they stay empty, after a good load they keep that load's bytes.
TEST_F(ImageLoadTest, FailedLoadsLeaveTheTransferCopiesAlone) {
  struct Case {
    const char* what;
    std::function<void(ChangedImage&)> change;
  };
  const Case cases[] = {
      {"header checksum", [](ChangedImage& c) { c.header[24] = '2'; }},
      {"magic text", [](ChangedImage& c) { c.info_block[3] ^= 0x20; }},
      {"info_sum", [](ChangedImage& c) { c.info_block[300] ^= 0x01; }},
      {"key", [](ChangedImage& c) { c.info_block[17] ^= 0x01; }},
      {"header size", [](ChangedImage& c) { c.stored.header_size = 64; }},
      {"info block size", [](ChangedImage& c) { c.stored.info_block_size = max_info_block_bytes + 2; }},
  };
  for (const Case& c : cases) {
    test::Fixture fresh;
    fresh.ctx->app.texts.decode();
    auto changed = std::make_unique<ChangedImage>();
    c.change(*changed);
    fresh.ctx->image.stored = &changed->stored;
    const TransferCopies empty(fresh.ctx->image);
    EXPECT_EQ(load_firmware_image(fresh.ctx->image, fresh.ctx->app.texts), -1) << c.what;
    EXPECT_TRUE(TransferCopies(fresh.ctx->image) == empty) << c.what;
    EXPECT_EQ(fresh.ctx->image.drive_kind_mask, 0u) << c.what;
    EXPECT_EQ(fresh.ctx->image.load_sequence, 0u) << c.what;

    fresh.ctx->image.stored = &embedded_image();
    ASSERT_EQ(load_firmware_image(fresh.ctx->image, fresh.ctx->app.texts), 0) << c.what;
    const TransferCopies good(fresh.ctx->image);
    fresh.ctx->image.stored = &changed->stored;
    EXPECT_EQ(load_firmware_image(fresh.ctx->image, fresh.ctx->app.texts), -1) << c.what;
    EXPECT_TRUE(TransferCopies(fresh.ctx->image) == good) << c.what;
    EXPECT_EQ(fresh.ctx->image.drive_kind_mask, 0x200u) << c.what;
  }
}

TEST_F(ImageLoadTest, BadHeaderChecksumStopsBeforeTheInfoBlock) {
  ChangedImage changed;
  changed.header[0] = 'k';
  image().stored = &changed.stored;
  EXPECT_EQ(load_firmware_image(f.ctx->image, f.ctx->app.texts), -1);
  EXPECT_STREQ(image().image_identity.header_vendor, "kORVANTA");
  EXPECT_STREQ(image().image_identity.magic_text, "????????????????");
}

TEST_F(ImageLoadTest, LoadingTwiceGivesTheSameTransferCopies) {
  ASSERT_EQ(load_firmware_image(f.ctx->image, f.ctx->app.texts), 0);
  const TransferCopies first(image());
  ASSERT_EQ(load_firmware_image(f.ctx->image, f.ctx->app.texts), 0);
  EXPECT_TRUE(TransferCopies(image()) == first);
  // The stored image itself never changes.
  EXPECT_EQ(std::memcmp(embedded_image().info_block, image().pristine_info_block, image_info_block_bytes), 0);
}

TEST_F(ImageLoadTest, TransferInfoBlockDiffersOnlyInTheDownloadStateAndInfoSum) {
  ASSERT_EQ(load_firmware_image(f.ctx->image, f.ctx->app.texts), 0);
  const std::uint16_t key = image().image_identity.scramble_key;
  std::array<std::uint8_t, image_info_block_bytes> stored{};
  std::array<std::uint8_t, image_info_block_bytes> sent{};
  std::memcpy(stored.data(), embedded_image().info_block, stored.size());
  std::memcpy(sent.data(), image().transfer_info_block, sent.size());
  const std::uint32_t region_bytes = image_info_block_bytes - region_offset;
  scramble_with_key(key, stored.data() + region_offset, region_bytes);
  scramble_with_key(key, sent.data() + region_offset, region_bytes);

  const std::uint32_t trailer_first = image_info_block_bytes - 2 - 4;
  for (std::uint32_t i = 0; i < image_info_block_bytes; ++i) {
    if (i == trailer_first || i >= image_info_block_bytes - 2) continue;
    ASSERT_EQ(sent[i], stored[i]) << "byte " << i;
  }
  EXPECT_EQ(stored[trailer_first], 0x01);
  EXPECT_EQ(sent[trailer_first], 0x03);
  EXPECT_EQ(get_be16(sent.data() + image_info_block_bytes - 2),
            sum16_be(sent.data() + region_offset, region_bytes - 2));
  EXPECT_NE(get_be16(sent.data() + image_info_block_bytes - 2), get_be16(stored.data() + image_info_block_bytes - 2));
}

TEST_F(ImageLoadTest, TransferHeaderCarriesTheSumsOfWhatIsSent) {
  ASSERT_EQ(load_firmware_image(f.ctx->image, f.ctx->app.texts), 0);
  const std::uint8_t* sent = image().transfer_header;
  const std::uint8_t* carried = embedded_image().header;
  EXPECT_EQ(std::memcmp(sent, carried, header_image_sum_offset), 0);
  EXPECT_EQ(std::memcmp(sent + 44, carried + 44, 3), 0);
  const std::uint16_t expected = static_cast<std::uint16_t>(
      sum16_be(image().transfer_info_block, image_info_block_bytes) + contiguous_payload_sum());
  EXPECT_EQ(get_be16(sent + header_image_sum_offset), expected);
  EXPECT_EQ(sum8(sent, header_bytes), 0) << "the 48 bytes of the transfer header sum to 0";
  // The carried header holds the same sums over the carried info block.
  EXPECT_EQ(get_be16(carried + header_image_sum_offset),
            static_cast<std::uint16_t>(sum16_be(embedded_image().info_block, image_info_block_bytes) +
                                       contiguous_payload_sum()));
  EXPECT_EQ(sum8(carried, header_bytes), 0);
}

TEST_F(ImageLoadTest, TransferCopiesNeedALoadedImage) {
  const TransferCopies before(image());
  EXPECT_EQ(prepare_transfer_copies(f.ctx->image), -1);
  EXPECT_TRUE(TransferCopies(image()) == before);
}

}  // namespace
}  // namespace tz
