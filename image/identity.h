#pragma once
// The identity record shared by the image and every drive: header part (image only) and info part.
// Text fields are the fixed-width characters followed by a NUL; numbers are native after
// conversion from big-endian.
#include <cstdint>

namespace tz {

inline constexpr std::uint32_t max_blob_bytes = 1024;
inline constexpr std::uint32_t max_area_entries = 16;
inline constexpr std::uint32_t area_entry_bytes = 12;
inline constexpr std::uint32_t max_trailer_bytes = 4;

struct AreaEntry {
  char area_name[2 + 1];
  std::uint32_t area_value_1;
  std::uint32_t area_value_2;
  std::uint16_t area_word;
};

struct IdentityRecord {
  // Header part.
  char header_vendor[8 + 1];
  char header_product[16 + 1];
  char header_revision[4 + 1];
  std::uint8_t header_stamp[3];
  std::uint8_t header_flag;
  std::uint32_t start_value;
  std::uint32_t transfer_length;
  std::uint16_t header_word;
  std::uint16_t image_sum;
  std::uint8_t header_stamp2[3];
  std::uint8_t header_checksum;
  // Info part.
  char magic_text[16 + 1];
  std::uint16_t scramble_key;
  std::uint32_t info_length;
  std::uint32_t info_value;
  char model_code[16 + 1];    // T1
  char info_vendor[8 + 1];    // T2
  char info_product[16 + 1];  // T3
  char info_revision[4 + 1];  // T4
  char t5[8 + 1];
  char t6[4 + 1];
  char t7[4 + 1];
  char t8[4 + 1];
  char t9[4 + 1];
  char t10[4 + 1];
  char t11[4 + 1];
  char t12[4 + 1];
  char t13[8 + 1];
  char t14[8 + 1];
  char t15[4 + 1];
  char t16[4 + 1];
  char t17[4 + 1];
  char t18[4 + 1];
  char t19[8 + 1];
  char t20[16 + 1];
  char t21[4 + 1];
  char t22[4 + 1];
  char t23[4 + 1];
  char t24[4 + 1];
  char t25[8 + 1];
  char t26[40 + 1];
  std::uint32_t blob_length;
  std::uint8_t blob[max_blob_bytes];
  std::uint32_t area_bytes;
  AreaEntry areas[max_area_entries];
  std::uint32_t trailer_length;
  std::uint8_t trailer[max_trailer_bytes];
  std::uint16_t info_sum;
};

// The placeholder state: all zero, every text field filled with '?' to its width.
void init_identity_record(IdentityRecord& record);

}  // namespace tz
