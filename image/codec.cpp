#include "image/codec.h"

namespace tz {

namespace {

// Derives the next 16-bit stream word from the state; the state carries into the next pair.
std::uint16_t next_stream_word(std::uint16_t& state) {
  const std::uint16_t t = static_cast<std::uint16_t>(state * 0xFFFDu);
  std::uint16_t s;
  std::uint16_t bits;
  if (t == 0) {
    // A zero product would keep the stream at 0 for ever; the stream restarts from a fixed word.
    s = 0xA986;
    bits = 0xA986;
  } else {
    s = static_cast<std::uint16_t>(t & 0xA996u);
    bits = t;
  }
  if ((bits & 0x4000u) == 0) s |= 0x4000u;
  if ((bits & 0x0020u) != 0) s |= 0x1000u;
  if ((bits & 0x0008u) != 0) s |= 0x0400u;
  if ((bits & 0x0200u) == 0) s |= 0x0200u;
  if ((bits & 0x0200u) != 0) s |= 0x0040u;
  if ((bits & 0x0020u) == 0) s |= 0x0020u;
  if ((bits & 0x0008u) == 0) s |= 0x0008u;
  if ((bits & 0x4000u) != 0) s |= 0x0001u;
  state = s;
  return s;
}

}  // namespace

void scramble_with_key(std::uint16_t key, std::uint8_t* bytes, std::uint32_t length) {
  // Lengths are 16-bit quantities in the block layout; the counter is wider so that a length of
  // 65535 still ends.
  const std::uint32_t n = length & 0xFFFFu;
  std::uint16_t state = key;
  for (std::uint32_t i = 0; i < n; i += 2) {
    const std::uint16_t word = next_stream_word(state);
    bytes[i] ^= static_cast<std::uint8_t>(word >> 8);
    // An odd length stops at its last byte instead of touching the byte behind the data.
    if (i + 1 < n) bytes[i + 1] ^= static_cast<std::uint8_t>(word);
  }
}

std::uint8_t sum8(const std::uint8_t* bytes, std::uint32_t n) {
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < n; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(sum);
}

std::uint16_t sum16_be(const std::uint8_t* bytes, std::uint32_t n) {
  std::uint32_t sum = 0;
  std::uint32_t i = 0;
  for (; i + 1 < n; i += 2) sum += (static_cast<std::uint32_t>(bytes[i]) << 8) | bytes[i + 1];
  // An odd count ends with a word whose low byte lies outside the data; it counts as 0.
  if (i < n) sum += static_cast<std::uint32_t>(bytes[i]) << 8;
  return static_cast<std::uint16_t>(sum);
}

void copy_text(char* destination, const std::uint8_t* source, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) destination[i] = static_cast<char>(source[i]);
  destination[n] = '\0';
}

}  // namespace tz
