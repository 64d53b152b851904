// Parsing info blocks as drives send them (and as the image carries them), built with the writer
// the simulator uses, then bent in the ways a faulty or hostile drive could send them.
#include "image/info_block.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>

#include "core/bytes.h"
#include "image/codec.h"
#include "image/firmware_levels.h"
#include "image/image_load.h"
#include "image/layout.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

constexpr std::uint8_t guard_byte = 0xA5;

// The working buffer of a drive reply with room behind it that nothing may touch.
struct Reply {
  std::array<std::uint8_t, working_buffer_bytes + 64> buffer{};
  std::uint32_t block_bytes = 0;
  std::uint16_t key = 0;

  std::uint8_t* block() { return buffer.data() + header_bytes; }
};

struct GuardedRecord {
  std::array<std::uint8_t, 32> before{};
  IdentityRecord record{};
  std::array<std::uint8_t, 32> after{};
};

void build_reply(const IdentityRecord& identity, Reply& reply) {
  reply.buffer.fill(guard_byte);
  reply.key = identity.scramble_key;
  reply.block_bytes = build_info_block(identity, reply.key, reply.block(), max_info_block_bytes);
  ASSERT_NE(reply.block_bytes, 0u);
}

// Changes the unscrambled region of a built reply; keeps info_sum right unless told otherwise.
void edit_region(Reply& reply, const std::function<void(std::uint8_t*)>& edit, bool keep_sum = true) {
  std::uint8_t* region = reply.block() + region_offset;
  const std::uint32_t region_bytes = reply.block_bytes - region_offset;
  scramble_with_key(reply.key, region, region_bytes);
  edit(region);
  if (keep_sum) put_be16(region + region_bytes - 2, sum16_be(region, region_bytes - 2));
  scramble_with_key(reply.key, region, region_bytes);
}

IdentityRecord level(const char* revision) {
  IdentityRecord identity;
  EXPECT_EQ(firmware_level_identity(revision, identity), 0) << revision;
  return identity;
}

class InfoBlockTest : public ::testing::Test {
 protected:
  void SetUp() override { f.ctx->app.texts.decode(); }

  // The discovery steps on a reply: key, magic, then the info block.
  int parse(Reply& reply, IdentityRecord& record, std::uint32_t received, int mode) {
    init_identity_record(record);
    read_scramble_key(reply.buffer.data(), record);
    if (check_magic_text(f.ctx->app.texts, reply.buffer.data(), record) != 0) return -2;
    return parse_info_block(f.ctx->app.texts, reply.buffer.data(), received, record, mode);
  }

  test::Fixture f;
};

void expect_same_info(const IdentityRecord& got, const IdentityRecord& want) {
  EXPECT_STREQ(got.magic_text, want.magic_text);
  EXPECT_EQ(got.info_value, want.info_value);
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    EXPECT_STREQ(info_text(got, i), info_text(want, i)) << "T" << i + 1;
  }
  ASSERT_EQ(got.blob_length, want.blob_length);
  EXPECT_EQ(std::memcmp(got.blob, want.blob, want.blob_length), 0);
  ASSERT_EQ(got.area_bytes, want.area_bytes);
  for (std::uint32_t i = 0; i < want.area_bytes / area_entry_bytes; ++i) {
    EXPECT_STREQ(got.areas[i].area_name, want.areas[i].area_name);
    EXPECT_EQ(got.areas[i].area_value_1, want.areas[i].area_value_1);
    EXPECT_EQ(got.areas[i].area_value_2, want.areas[i].area_value_2);
    EXPECT_EQ(got.areas[i].area_word, want.areas[i].area_word);
  }
  ASSERT_EQ(got.trailer_length, want.trailer_length);
  EXPECT_EQ(std::memcmp(got.trailer, want.trailer, want.trailer_length), 0);
}

TEST(IdentityRecordPlaceholder, EveryTextIsQuestionMarksToItsWidth) {
  IdentityRecord record;
  std::memset(&record, 0x5A, sizeof(record));
  init_identity_record(record);
  EXPECT_STREQ(record.header_vendor, "????????");
  EXPECT_STREQ(record.header_product, "????????????????");
  EXPECT_STREQ(record.header_revision, "????");
  EXPECT_STREQ(record.magic_text, "????????????????");
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    EXPECT_EQ(std::string(info_text(record, i)), std::string(info_text_fields[i].width, '?')) << "T" << i + 1;
  }
  for (const AreaEntry& area : record.areas) {
    EXPECT_STREQ(area.area_name, "??");
    EXPECT_EQ(area.area_value_1 | area.area_value_2 | area.area_word, 0u);
  }
  EXPECT_EQ(record.header_stamp[0] | record.header_flag | record.header_checksum | record.start_value |
                record.image_sum | record.info_length | record.blob_length | record.area_bytes | record.trailer_length |
                record.info_sum,
            0u);
}

TEST_F(InfoBlockTest, EveryFirmwareLevelReadsBackAsWritten) {
  for (const char* revision : {"1.01", "1.00", "0.90", "0.80", "0.50"}) {
    const IdentityRecord want = level(revision);
    Reply reply;
    build_reply(want, reply);
    IdentityRecord got;
    EXPECT_EQ(parse(reply, got, drive_reply_bytes, info_mode_drive), 0) << revision;
    expect_same_info(got, want);
    EXPECT_EQ(got.info_length, reply.block_bytes - region_offset - 4) << revision;
  }
}

TEST_F(InfoBlockTest, TheCarriedLevelFillsExactlyTheImagesInfoBlock) {
  Reply reply;
  build_reply(level("1.01"), reply);
  EXPECT_EQ(reply.block_bytes, image_info_block_bytes);
  IdentityRecord got;
  EXPECT_EQ(parse(reply, got, image_info_block_bytes, info_mode_image), 0);
  EXPECT_EQ(got.info_length, image_info_block_bytes - region_offset - 4);
}

TEST_F(InfoBlockTest, LargestBlockTheLimitsAllowIsRead) {
  IdentityRecord want = level("1.00");
  want.blob_length = max_blob_bytes;
  for (std::uint32_t i = 0; i < max_blob_bytes; ++i) want.blob[i] = static_cast<std::uint8_t>(i);
  want.area_bytes = max_area_entries * area_entry_bytes;
  for (std::uint32_t i = 0; i < max_area_entries; ++i) {
    want.areas[i] = {{'A', static_cast<char>('A' + i), '\0'}, i * 0x1000, 0x1000, static_cast<std::uint16_t>(i)};
  }
  Reply reply;
  build_reply(want, reply);
  IdentityRecord got;
  EXPECT_EQ(parse(reply, got, drive_reply_bytes, info_mode_drive), 0);
  expect_same_info(got, want);
}

TEST_F(InfoBlockTest, AreaBytesNotAMultipleOf12ReadsWholeEntriesAndGoesOnBehindThem) {
  const IdentityRecord want = level("1.00");
  Reply reply;
  build_reply(want, reply);
  const std::uint32_t area_bytes_at = region_blob_length_offset + 4 + want.blob_length;
  edit_region(reply, [&](std::uint8_t* region) { put_be32(region + area_bytes_at, want.area_bytes + 1); });
  IdentityRecord got;
  ASSERT_EQ(parse(reply, got, drive_reply_bytes, info_mode_drive), 0);
  EXPECT_EQ(got.area_bytes, want.area_bytes + 1);
  EXPECT_STREQ(got.areas[4].area_name, "DT");
  EXPECT_STREQ(got.areas[5].area_name, "??");
  EXPECT_EQ(got.trailer_length, want.trailer_length);
  EXPECT_EQ(std::memcmp(got.trailer, want.trailer, want.trailer_length), 0);
}

// info_sum covers the words at even offsets below info_length + 2: after an odd info_length the
// last of them takes one byte more than info_length + 2 bytes, here a trailer byte. The region is
// declared shorter than its fields, which are read as sent behind it, info_sum among them.
TEST_F(InfoBlockTest, AnOddInfoLengthSumsTheLastWordWhole) {
  for (const bool whole : {true, false}) {
    Reply reply;
    build_reply(level("1.00"), reply);
    const std::uint32_t fields_end = reply.block_bytes - region_offset;
    const std::uint32_t odd_length = fields_end - 7;
    std::uint16_t sum = 0;
    edit_region(
        reply,
        [&](std::uint8_t* region) {
          put_be32(region, odd_length);
          region[odd_length + 2] = 0x5A;
          sum = sum16_be(region, whole ? odd_length + 3 : odd_length + 2);
        },
        false);
    put_be16(reply.block() + region_offset + fields_end - 2, sum);
    IdentityRecord got;
    EXPECT_EQ(parse(reply, got, drive_reply_bytes, info_mode_drive), whole ? 0 : -1) << whole;
    EXPECT_EQ(got.info_length, odd_length);
  }
}

// A reply whose info_sum does not check out is refused, except from the early firmware of the
// model this image is for.
TEST_F(InfoBlockTest, InfoSumMismatchIsAcceptedOnlyFromEarlySpecialModel1Drives) {
  struct Case {
    const char* model_code;
    const char* level;
    int mode;
    int result;
  };
  const Case cases[] = {
      {"TZ594KS-BDC-0001", "0050", info_mode_drive, 0},   // at level_checksum
      {"TZ594KS-BDC-0001", "0049", info_mode_drive, 0},   // below it
      {"TZ594KS-BDC-0001", "0051", info_mode_drive, -1},  // above it
      {"TZ594KS-BDC-0001", "0050", info_mode_image, -1},  // the image never gets the exception
      {"TZ594KT-BDC-0001", "0050", info_mode_drive, -1},  // another special model
  };
  for (const Case& c : cases) {
    IdentityRecord identity = level("0.50");
    std::memcpy(identity.model_code, c.model_code, 16);
    std::memcpy(identity.t21, c.level, 4);
    Reply reply;
    build_reply(identity, reply);
    IdentityRecord got;
    EXPECT_EQ(parse(reply, got, drive_reply_bytes, c.mode), 0) << c.model_code << " " << c.level << ": sound";
    build_reply(identity, reply);  // parsing unscrambled it in place
    edit_region(
        reply, [&](std::uint8_t* region) { region[reply.block_bytes - region_offset - 1] ^= 0x01; }, false);
    EXPECT_EQ(parse(reply, got, drive_reply_bytes, c.mode), c.result)
        << c.model_code << " " << c.level << " mode " << c.mode;
  }
}

// Blocks that break the layout's limits are refused without a byte read or written outside the
// received data or the record, and no count above its limit reaches the record.
TEST_F(InfoBlockTest, BlocksBreakingTheLimitsAreRefusedInsideTheirBounds) {
  const IdentityRecord identity = level("1.01");  // blob 64, five areas, trailer 4: region 350
  constexpr std::uint32_t blob_length_at = region_blob_length_offset;
  constexpr std::uint32_t area_bytes_at = blob_length_at + 4 + 64;
  constexpr std::uint32_t trailer_length_at = area_bytes_at + 4 + 60;
  struct Case {
    const char* what;
    std::uint32_t received;
    std::uint32_t at;  // region offset of the 32-bit field changed
    std::uint32_t value;
  };
  const Case cases[] = {
      {"blob above 1024 bytes", drive_reply_bytes, blob_length_at, 1025},
      {"17 area entries", drive_reply_bytes, area_bytes_at, 17 * 12},
      {"area_bytes above 192", drive_reply_bytes, area_bytes_at, 193},
      {"trailer above 4 bytes", drive_reply_bytes, trailer_length_at, 5},
      {"region of 65536 bytes", drive_reply_bytes, 0, 65532},
      {"region of 4 GB", drive_reply_bytes, 0, 0xFFFFFFFF},
      {"region past the reply", drive_reply_bytes, 0, drive_reply_bytes - region_offset - 4 + 2},
      {"region past the image's block", image_info_block_bytes, 0, 348},
      {"blob past the received bytes", image_info_block_bytes, blob_length_at, 1000},
      {"area list past the received bytes", image_info_block_bytes, area_bytes_at, 192},
      {"nothing behind the length", region_offset + 3, blob_length_at, 64},
      {"more than a reply holds", drive_reply_bytes + 1, blob_length_at, 64},
  };
  for (const Case& c : cases) {
    Reply reply;
    build_reply(identity, reply);
    edit_region(reply, [&](std::uint8_t* region) { put_be32(region + c.at, c.value); });
    // Whatever lies behind the received bytes must stay as it was.
    const std::uint32_t received_end = header_bytes + std::min<std::uint32_t>(c.received, max_info_block_bytes);
    const auto behind = reply.buffer;
    GuardedRecord guarded;
    guarded.before.fill(guard_byte);
    guarded.after.fill(guard_byte);
    read_scramble_key(reply.buffer.data(), guarded.record);
    ASSERT_EQ(check_magic_text(f.ctx->app.texts, reply.buffer.data(), guarded.record), 0) << c.what;
    EXPECT_EQ(parse_info_block(f.ctx->app.texts, reply.buffer.data(), c.received, guarded.record, info_mode_drive), -1)
        << c.what;
    EXPECT_TRUE(std::equal(reply.buffer.begin() + received_end, reply.buffer.end(), behind.begin() + received_end))
        << c.what;
    for (const std::uint8_t b : guarded.before) ASSERT_EQ(b, guard_byte) << c.what;
    for (const std::uint8_t b : guarded.after) ASSERT_EQ(b, guard_byte) << c.what;
    EXPECT_LE(guarded.record.blob_length, max_blob_bytes) << c.what;
    EXPECT_LE(guarded.record.area_bytes, max_area_entries * area_entry_bytes) << c.what;
    EXPECT_LE(guarded.record.trailer_length, max_trailer_bytes) << c.what;
  }
}

// The fields may run past a short region (they are then read as sent) but never past what was
// received: here the region declares 104 bytes and the fields end exactly at the block's end.
TEST_F(InfoBlockTest, FieldsEndingPastTheReceivedBytesAreRefused) {
  for (const std::uint32_t received : {image_info_block_bytes, image_info_block_bytes - 2}) {
    Reply reply;
    build_reply(level("1.01"), reply);
    std::uint8_t* region = reply.block() + region_offset;
    const std::uint32_t region_bytes = reply.block_bytes - region_offset;
    scramble_with_key(reply.key, region, region_bytes);
    put_be32(region, 100);
    put_be16(region + region_bytes - 2, sum16_be(region, 102));
    scramble_with_key(reply.key, region, 104);
    IdentityRecord got;
    EXPECT_EQ(parse(reply, got, received, info_mode_drive), received == image_info_block_bytes ? 0 : -1)
        << received << " bytes received";
  }
}

TEST(BuildInfoBlock, RefusesIdentitiesTheLayoutCannotCarry) {
  struct Case {
    const char* what;
    std::function<void(IdentityRecord&)> change;
    std::uint32_t capacity;
  };
  const Case cases[] = {
      {"blob above 1024 bytes", [](IdentityRecord& r) { r.blob_length = 1025; }, max_info_block_bytes},
      {"area_bytes above 192", [](IdentityRecord& r) { r.area_bytes = 193; }, max_info_block_bytes},
      {"trailer above 4 bytes", [](IdentityRecord& r) { r.trailer_length = 5; }, max_info_block_bytes},
      {"odd region", [](IdentityRecord& r) { r.trailer_length = 3; }, max_info_block_bytes},
      {"one byte short", [](IdentityRecord&) {}, image_info_block_bytes - 1},
  };
  for (const Case& c : cases) {
    IdentityRecord identity = level("1.01");
    c.change(identity);
    std::array<std::uint8_t, max_info_block_bytes> out{};
    EXPECT_EQ(build_info_block(identity, 0x1234, out.data(), c.capacity), 0u) << c.what;
  }
}

TEST(FirmwareLevels, OnlyLevelsThatShippedExist) {
  IdentityRecord record;
  init_identity_record(record);
  for (const char* revision : {"1.02", "", "1.0", "0100"}) {
    EXPECT_EQ(firmware_level_identity(revision, record), -1) << revision;
  }
  EXPECT_STREQ(record.model_code, "????????????????");
}

}  // namespace
}  // namespace tz
