#include "image/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <vector>

namespace tz {
namespace {

// Stream words worked out by hand from the keyed stream.
//
// Key 0: s = 0 x 0xFFFD = 0, so the state restarts: t = s = 0xA986. t has bits 15 13 11 8 7 2 1;
// bit 14 clear sets bit 14, bit 9 clear sets bit 9, bit 5 clear sets bit 5, bit 3 clear sets bit
// 3 (bits 5, 3 and 9 clear set nothing else): s = 0xA986 | 0x4228 = 0xEBAE.
// Second pair: s = 0xEBAE x 0xFFFD = -3 x 60334 mod 65536 = 15606 = 0x3CF6 = t, s = t & 0xA996 =
// 0x2896; bit 14 clear sets bit 14 (0x6896), bit 5 set sets bit 12 (0x7896), bit 9 clear sets bit
// 9 (0x7A96), bit 3 clear sets bit 3: s = 0x7A9E.
//
// Key 1: t = 0xFFFD, s = t & 0xA996 = 0xA994; bit 14 set sets bit 0, bit 5 set sets bit 12, bit 3
// set sets bit 10, bit 9 set sets bit 6: s = 0xA994 | 0x1441 = 0xBDD5.
TEST(ScrambleWithKey, KnownStreamWords) {
  struct Case {
    std::uint16_t key;
    std::vector<std::uint8_t> stream;
  };
  const Case cases[] = {
      {0x0000, {0xEB, 0xAE, 0x7A, 0x9E}},
      {0x0001, {0xBD, 0xD5}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> bytes(c.stream.size(), 0x00);
    scramble_with_key(c.key, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(bytes, c.stream) << "key " << c.key;
  }
}

TEST(ScrambleWithKey, TwiceRestoresTheBytes) {
  std::vector<std::uint8_t> original(1024);
  for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<std::uint8_t>(i * 7 + 3);
  for (const std::uint16_t key : {0x0000, 0x0001, 0x594B, 0xA986, 0xFFFF}) {
    for (const std::uint32_t length : {2u, 16u, 350u, 1024u}) {
      std::vector<std::uint8_t> bytes = original;
      scramble_with_key(key, bytes.data(), length);
      EXPECT_NE(bytes, original) << "key " << key << " length " << length;
      scramble_with_key(key, bytes.data(), length);
      EXPECT_EQ(bytes, original) << "key " << key << " length " << length;
    }
  }
}

TEST(ScrambleWithKey, NeverSticksAtZero) {
  // Every state after the bit step has bit 14 or bit 0 set, so no stream word is ever 0.
  std::vector<std::uint8_t> bytes(4096, 0x00);
  scramble_with_key(0, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    ASSERT_NE(bytes[i] | bytes[i + 1], 0) << "stream word " << i / 2;
  }
}

TEST(ScrambleWithKey, OddLengthLeavesTheByteBehindAlone) {
  std::array<std::uint8_t, 4> bytes = {0x00, 0x00, 0x00, 0x5A};
  scramble_with_key(0, bytes.data(), 3);
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0xEB, 0xAE, 0x7A, 0x5A}));
}

TEST(Sums, Sum8AndSum16) {
  const std::uint8_t bytes[] = {0x12, 0x34, 0xFF, 0xFF, 0x80, 0x01, 0x7F};
  EXPECT_EQ(sum8(bytes, 0), 0x00);
  EXPECT_EQ(sum8(bytes, 4), static_cast<std::uint8_t>(0x12 + 0x34 + 0xFF + 0xFF));
  // 0x1234 + 0xFFFF + 0x8001 wraps modulo 65536.
  EXPECT_EQ(sum16_be(bytes, 6), static_cast<std::uint16_t>(0x1234 + 0xFFFF + 0x8001));
  // An odd count takes the last byte as a high byte and reads nothing behind it.
  EXPECT_EQ(sum16_be(bytes, 7), static_cast<std::uint16_t>(0x1234 + 0xFFFF + 0x8001 + 0x7F00));
  EXPECT_EQ(sum16_be(bytes, 1), 0x1200);
}

TEST(CopyText, CopiesExactlyNBytesAndTerminates) {
  const std::uint8_t source[] = {'K', 'V', 0x00, 'T', 'Z'};
  char destination[8];
  std::fill(std::begin(destination), std::end(destination), '#');
  copy_text(destination, source, 5);
  EXPECT_EQ(destination[3], 'T');
  EXPECT_EQ(destination[4], 'Z');
  EXPECT_EQ(destination[5], '\0');
  EXPECT_EQ(destination[6], '#');
}

}  // namespace
}  // namespace tz
