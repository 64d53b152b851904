#pragma once
// The texts the program keeps scrambled (bitwise complement) in its data: window class names,
// reference texts of the image and drive identities, and screen and log labels.
#include <cstddef>
#include <cstdint>

namespace tz {

// The screens' language.
inline constexpr std::uint8_t language_japanese = 1;
inline constexpr std::uint8_t language_english = 2;

enum class Text : std::uint16_t {
  own_class_name,
  other_loader_class_name,
  launcher_class_name,
  // Reference texts compared with identity fields.
  image_magic,
  special_model_1,
  special_model_2,
  special_model_3,
  special_model_4,
  family_code_a,
  family_code_b1,
  family_code_b2,
  family_code_c,
  level_checksum,
  level_classify,
  level_exclude,
  area_name_1,
  area_name_2,
  area_name_3,
  // Labels of the update screens and the result log.
  drive_label,     // in front of the progress screen's headline
  log_drive_line,  // the result log's drive line
  log_adapter,     // ASPI address in the drive line
  log_target,
  label_vendor,  // shared by the firmware version screen and the log
  label_product,
  label_revision,
  log_no_drive,     // the drive line of a run that never chose a drive
  log_result,       // the result line
  version_heading,  // the firmware version screen's heading
  // Start confirmation and detailed version screens.
  detail_title,
  section_header,
  section_info,
  section_build,
  section_settings,
  header_stamp,
  header_flag,
  start_value,
  transfer_length,
  header_word,
  image_sum,
  header_stamp2,
  header_checksum,
  magic_text,
  scramble_key,
  info_length,
  info_value,
  info_text,  // T1..T26, followed by the field's number
  blob_length,
  blob,
  area_bytes,
  area,
  area_name,
  area_value_1,
  area_value_2,
  area_word,
  trailer_length,
  trailer,
  info_sum,
  build_tool,
  build_program,
  build_date,
  build_number,
  // The build-setting section: a label and a key per row, values shared.
  setting_enabled,
  setting_disabled,
  setting_bytes,
  setting_count,
  setting_milliseconds,
  setting_label_first,
  setting_label_last = setting_label_first + 24,
  setting_key_first,
  setting_key_last = setting_key_first + 22,  // the last two rows have no key
  setting_model,                              // the last row's value
  // The copyright screen.
  copyright_holder,
  copyright_years,
  count
};
inline constexpr std::size_t text_count = static_cast<std::size_t>(Text::count);

// Writes `text` complemented and NUL-terminated into a stored field, at compile time; what does
// not fit the field is cut.
template <std::size_t N>
constexpr void scramble_into(char (&field)[N], const char* text) {
  std::size_t i = 0;
  for (; text[i] != '\0' && i + 1 < N; ++i) field[i] = static_cast<char>(~text[i]);
  field[i] = '\0';
}

// Decodes a stored text in place: complements each byte while the (re-measured) text goes on, so a
// stored 0xFF ends the text there. Applying it twice restores the stored form.
void complement_text(char* text);

class StringTable {
 public:
  StringTable();  // the stored, scrambled form
  void decode();  // once, at start-up
  const char* get(Text id) const { return storage_ + offsets_[static_cast<std::size_t>(id)]; }

  static constexpr std::size_t storage_size = 4096;

 private:
  char storage_[storage_size];
  std::uint16_t offsets_[text_count];
};

}  // namespace tz
