#pragma once
// The identity record shared by the image and every drive: header part (image only) and info part.
// Text fields are the fixed-width characters followed by a NUL; numbers are native after
// conversion from big-endian.
#include <cstddef>
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

// T1..T26 in the order the protected region carries them: where each lies in the record and how
// many characters it has there (the record adds the NUL).
struct InfoTextField {
  std::size_t record_offset;
  std::uint32_t width;
};

#define TZ594K_INFO_TEXT(member) \
  { offsetof(IdentityRecord, member), sizeof(IdentityRecord::member) - 1 }
inline constexpr InfoTextField info_text_fields[] = {
    TZ594K_INFO_TEXT(model_code),   TZ594K_INFO_TEXT(info_vendor),
    TZ594K_INFO_TEXT(info_product), TZ594K_INFO_TEXT(info_revision),
    TZ594K_INFO_TEXT(t5),           TZ594K_INFO_TEXT(t6),
    TZ594K_INFO_TEXT(t7),           TZ594K_INFO_TEXT(t8),
    TZ594K_INFO_TEXT(t9),           TZ594K_INFO_TEXT(t10),
    TZ594K_INFO_TEXT(t11),          TZ594K_INFO_TEXT(t12),
    TZ594K_INFO_TEXT(t13),          TZ594K_INFO_TEXT(t14),
    TZ594K_INFO_TEXT(t15),          TZ594K_INFO_TEXT(t16),
    TZ594K_INFO_TEXT(t17),          TZ594K_INFO_TEXT(t18),
    TZ594K_INFO_TEXT(t19),          TZ594K_INFO_TEXT(t20),
    TZ594K_INFO_TEXT(t21),          TZ594K_INFO_TEXT(t22),
    TZ594K_INFO_TEXT(t23),          TZ594K_INFO_TEXT(t24),
    TZ594K_INFO_TEXT(t25),          TZ594K_INFO_TEXT(t26),
};
#undef TZ594K_INFO_TEXT
inline constexpr std::size_t info_text_field_count = sizeof(info_text_fields) / sizeof(info_text_fields[0]);

constexpr std::uint32_t info_text_bytes() {
  std::uint32_t total = 0;
  for (const InfoTextField& field : info_text_fields) total += field.width;
  return total;
}
static_assert(info_text_field_count == 26 && info_text_bytes() == 200, "T1..T26 fill region bytes 8..207");

inline char* info_text(IdentityRecord& record, std::size_t index) {
  return reinterpret_cast<char*>(&record) + info_text_fields[index].record_offset;
}
inline const char* info_text(const IdentityRecord& record, std::size_t index) {
  return reinterpret_cast<const char*>(&record) + info_text_fields[index].record_offset;
}

// The placeholder state: all zero, every text field filled with '?' to its width.
void init_identity_record(IdentityRecord& record);

}  // namespace tz
