#include "tools/image_report.h"

#include <cstring>
#include <memory>

#include "core/string_table.h"
#include "image/codec.h"
#include "image/identity.h"
#include "image/image_load.h"
#include "image/image_state.h"
#include "image/layout.h"

namespace tz::tools {

namespace {

void hex_line(std::FILE* out, const char* label, const std::uint8_t* bytes, std::uint32_t n, bool pairs) {
  std::fprintf(out, " %-26s:", label);
  for (std::uint32_t i = 0; i < n; i += pairs ? 2 : 1) {
    if (i != 0 && i % 16 == 0) std::fprintf(out, "\n%28s", "");
    if (pairs) {
      std::fprintf(out, "%02X%02X ", bytes[i], i + 1 < n ? bytes[i + 1] : 0);
    } else {
      std::fprintf(out, "%02X ", bytes[i]);
    }
  }
  std::fprintf(out, "\n");
}

void print_identity(std::FILE* out, const IdentityRecord& r) {
  std::fprintf(out, " < header >\n");
  std::fprintf(out, " %-26s:[%s]\n", "header_vendor", r.header_vendor);
  std::fprintf(out, " %-26s:[%s]\n", "header_product", r.header_product);
  std::fprintf(out, " %-26s:[%s]\n", "header_revision", r.header_revision);
  std::fprintf(out, " %-26s:%02X%02X%02X\n", "header_stamp", r.header_stamp[0], r.header_stamp[1], r.header_stamp[2]);
  std::fprintf(out, " %-26s:%02X\n", "header_flag", r.header_flag);
  std::fprintf(out, " %-26s:0x%08lX\n", "start_value", static_cast<unsigned long>(r.start_value));
  std::fprintf(out, " %-26s:0x%08lX\n", "transfer_length", static_cast<unsigned long>(r.transfer_length));
  std::fprintf(out, " %-26s:0x%04X\n", "header_word", r.header_word);
  std::fprintf(out, " %-26s:0x%04X\n", "image_sum", r.image_sum);
  std::fprintf(out, " %-26s:%02X%02X%02X\n", "header_stamp2", r.header_stamp2[0], r.header_stamp2[1],
               r.header_stamp2[2]);
  std::fprintf(out, " %-26s:%02X\n", "header_checksum", r.header_checksum);
  std::fprintf(out, "\n < info block >\n");
  std::fprintf(out, " %-26s:[%s]\n", "magic_text", r.magic_text);
  std::fprintf(out, " %-26s:0x%04X\n", "scramble_key", r.scramble_key);
  std::fprintf(out, " %-26s:0x%08lX\n", "info_length", static_cast<unsigned long>(r.info_length));
  std::fprintf(out, " %-26s:0x%08lX\n", "info_value", static_cast<unsigned long>(r.info_value));
  static const char* const text_labels[info_text_field_count] = {"T1 model_code",
                                                                 "T2 info_vendor",
                                                                 "T3 info_product",
                                                                 "T4 info_revision",
                                                                 "T5",
                                                                 "T6",
                                                                 "T7",
                                                                 "T8",
                                                                 "T9",
                                                                 "T10",
                                                                 "T11",
                                                                 "T12",
                                                                 "T13",
                                                                 "T14",
                                                                 "T15",
                                                                 "T16",
                                                                 "T17",
                                                                 "T18",
                                                                 "T19",
                                                                 "T20",
                                                                 "T21",
                                                                 "T22",
                                                                 "T23",
                                                                 "T24",
                                                                 "T25",
                                                                 "T26"};
  for (std::size_t i = 0; i < info_text_field_count; ++i) {
    std::fprintf(out, " %-26s:[%s]\n", text_labels[i], info_text(r, i));
  }
  std::fprintf(out, " %-26s:0x%08lX\n", "blob_length", static_cast<unsigned long>(r.blob_length));
  hex_line(out, "blob", r.blob, r.blob_length <= max_blob_bytes ? r.blob_length : 0, true);
  std::fprintf(out, " %-26s:0x%08lX\n", "area_bytes", static_cast<unsigned long>(r.area_bytes));
  std::uint32_t entries = r.area_bytes / area_entry_bytes;
  if (entries > max_area_entries) entries = max_area_entries;
  for (std::uint32_t i = 0; i < (entries == 0 ? 1 : entries); ++i) {
    const AreaEntry& a = r.areas[i];
    if (i == 0) {
      std::fprintf(out, " %-26s:", "area entries");
    } else {
      std::fprintf(out, "%28s", "");
    }
    std::fprintf(out, "area_name=%s area_value_1=0x%06lX area_value_2=0x%06lX area_word=0x%04X\n", a.area_name,
                 static_cast<unsigned long>(a.area_value_1), static_cast<unsigned long>(a.area_value_2), a.area_word);
  }
  std::fprintf(out, " %-26s:0x%08lX\n", "trailer_length", static_cast<unsigned long>(r.trailer_length));
  hex_line(out, "trailer", r.trailer, r.trailer_length <= max_trailer_bytes ? r.trailer_length : 0, false);
  std::fprintf(out, " %-26s:0x%04X\n", "info_sum", r.info_sum);
}

const char* verdict(bool good) { return good ? "good" : "WRONG"; }

}  // namespace

int report_image_file(const std::uint8_t* bytes, std::size_t size, const char* name, std::FILE* out) {
  constexpr std::uint32_t front = header_bytes + image_info_block_bytes;
  if (size < front) return 2;

  // The reference texts the program compares with, decoded as start-up does.
  StringTable texts;
  texts.decode();

  const auto image = std::make_unique<ImageState>();
  std::uint8_t* buffer = image->working_buffer;
  std::memcpy(buffer, bytes, front);
  IdentityRecord& r = image->image_identity;
  const bool header_good = parse_image_header(buffer, r) == 0;
  read_scramble_key(buffer, r);
  const bool magic_good = check_magic_text(texts, buffer, r) == 0;
  const bool info_good = parse_info_block(texts, buffer, image_info_block_bytes, r, info_mode_image) == 0;

  const std::size_t payload_size = size - front;
  const std::uint32_t blocks = static_cast<std::uint32_t>(payload_size / payload_block_bytes);
  std::uint32_t image_sum = sum16_be(bytes + header_bytes, image_info_block_bytes);
  for (std::uint32_t i = 0; i < blocks; ++i) {
    image_sum += sum16_be(bytes + front + std::size_t{i} * payload_block_bytes, payload_block_bytes);
  }
  const bool sum_good = static_cast<std::uint16_t>(image_sum) == r.image_sum;
  const bool size_good = payload_size % payload_block_bytes == 0 && size == header_bytes + r.transfer_length;

  std::fprintf(out, "<< %s >>\n\n", name);
  print_identity(out, r);
  std::fprintf(out, "\n < checks >\n");
  std::fprintf(out, " %-26s:%s\n", "header_checksum", verdict(header_good));
  std::fprintf(out, " %-26s:%s\n", "magic_text", verdict(magic_good));
  std::fprintf(out, " %-26s:%s\n", "info block and info_sum", verdict(info_good));
  std::fprintf(out, " %-26s:%s (computed 0x%04X)\n", "image_sum", verdict(sum_good),
               static_cast<unsigned>(image_sum & 0xFFFF));
  std::fprintf(out, " %-26s:%s (%zu bytes, %lu payload blocks)\n", "file size", verdict(size_good), size,
               static_cast<unsigned long>(blocks));
  return header_good && magic_good && info_good && sum_good && size_good ? 0 : 1;
}

}  // namespace tz::tools
