#pragma once
// Pure helpers over the bytes of the image and of drive replies.
#include <cstdint>

namespace tz {

// XORs the bytes in place with the keyed stream; applying it twice restores them.
void scramble_with_key(std::uint16_t key, std::uint8_t* bytes, std::uint32_t length);
std::uint8_t sum8(const std::uint8_t* bytes, std::uint32_t n);
// Sum of big-endian 16-bit words at even offsets below n, modulo 65536.
std::uint16_t sum16_be(const std::uint8_t* bytes, std::uint32_t n);
// Copies n bytes and writes a NUL at destination[n].
void copy_text(char* destination, const std::uint8_t* source, std::uint32_t n);

}  // namespace tz
