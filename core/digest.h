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

// The 48 bytes in front of every download piece.
inline constexpr std::size_t piece_header_length = 48;

// The digest of a data phase as a trace gives it: a piece's data behind its header first, then the
// header, so that one pass gives both the digest of the whole and, in `data_digest`, that of the
// data a read-back is compared by. A phase shorter than a header is taken whole.
inline std::uint64_t piece_digest(const std::uint8_t* bytes, std::size_t length, std::uint64_t* data_digest = nullptr) {
  if (length < piece_header_length) {
    if (data_digest != nullptr) *data_digest = digest64(bytes, length);
    return digest64(bytes, length);
  }
  const std::uint64_t data = digest64(bytes + piece_header_length, length - piece_header_length);
  if (data_digest != nullptr) *data_digest = data;
  return digest64(bytes, piece_header_length, data);
}

}  // namespace tz
