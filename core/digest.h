#pragma once
// The 64-bit digest a trace gives of the data a download write sent or a read-back returned, and
// which a replay checks the data of a write against: FNV-1a, as the simulated drive keeps of its ROM.
#include <cstddef>
#include <cstdint>

namespace tz {

inline constexpr std::uint64_t digest_start = 0xCBF29CE484222325ull;

inline std::uint64_t digest64(const std::uint8_t* bytes, std::size_t length, std::uint64_t hash = digest_start) {
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}

}  // namespace tz
