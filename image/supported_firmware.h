#pragma once
// The twelve firmware levels this image may replace: each a pair (INQUIRY-style vendor and
// product) and an identity (the ten identity texts matching compares). Stored with their texts
// complemented; each pair and each identity is decoded in place the first time a check needs it.
#include <cstddef>
#include <cstdint>

namespace tz {

inline constexpr std::size_t supported_firmware_count = 12;

struct SupportedPair {
  char vendor[8 + 1];
  char product[16 + 1];
};

// The ten texts in the order matching compares them.
struct SupportedIdentity {
  char model_code[16 + 1];  // T1
  char t8[4 + 1];
  char t9[4 + 1];
  char t6[4 + 1];
  char info_vendor[8 + 1];    // T2
  char info_product[16 + 1];  // T3
  char info_revision[4 + 1];  // T4
  char t5[8 + 1];
  char t7[4 + 1];
  char t17[4 + 1];
};

class SupportedFirmware {
 public:
  SupportedFirmware();  // the stored, scrambled entries with every decode flag set

  const SupportedPair& pair(std::size_t index);          // decoded on first use
  const SupportedIdentity& identity(std::size_t index);  // decoded on first use
  // How many pairs and identities have been decoded so far (each at most once).
  std::size_t decoded_count() const { return decoded_; }

 private:
  SupportedPair pairs_[supported_firmware_count];
  SupportedIdentity identities_[supported_firmware_count];
  bool pair_scrambled_[supported_firmware_count];
  bool identity_scrambled_[supported_firmware_count];
  std::size_t decoded_ = 0;
};

}  // namespace tz
