// tz594k-image-info FILE: prints the identity of an image file (header, then info block, then
// payload, as the generator writes it) the way the program reads it, every field of the identity
// record, and whether the header checksum, the magic text, info_sum and image_sum check out.
// Exit code 0 when all of them do, 1 when one does not, 2 when the file cannot be read.
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/context.h"
#include "image/codec.h"
#include "image/identity.h"
#include "image/image_load.h"
#include "image/layout.h"
#include "platform/host/host_os.h"

namespace {

using tz::IdentityRecord;

bool read_file(const char* path, std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::uint8_t chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return !failed;
}

void hex_line(const char* label, const std::uint8_t* bytes, std::uint32_t n, bool pairs) {
  std::printf(" %-26s:", label);
  for (std::uint32_t i = 0; i < n; i += pairs ? 2 : 1) {
    if (i != 0 && i % 16 == 0) std::printf("\n%28s", "");
    if (pairs) {
      std::printf("%02X%02X ", bytes[i], i + 1 < n ? bytes[i + 1] : 0);
    } else {
      std::printf("%02X ", bytes[i]);
    }
  }
  std::printf("\n");
}

void print_identity(const IdentityRecord& r) {
  std::printf(" < header >\n");
  std::printf(" %-26s:[%s]\n", "header_vendor", r.header_vendor);
  std::printf(" %-26s:[%s]\n", "header_product", r.header_product);
  std::printf(" %-26s:[%s]\n", "header_revision", r.header_revision);
  std::printf(" %-26s:%02X%02X%02X\n", "header_stamp", r.header_stamp[0], r.header_stamp[1], r.header_stamp[2]);
  std::printf(" %-26s:%02X\n", "header_flag", r.header_flag);
  std::printf(" %-26s:0x%08lX\n", "start_value", static_cast<unsigned long>(r.start_value));
  std::printf(" %-26s:0x%08lX\n", "transfer_length", static_cast<unsigned long>(r.transfer_length));
  std::printf(" %-26s:0x%04X\n", "header_word", r.header_word);
  std::printf(" %-26s:0x%04X\n", "image_sum", r.image_sum);
  std::printf(" %-26s:%02X%02X%02X\n", "header_stamp2", r.header_stamp2[0], r.header_stamp2[1], r.header_stamp2[2]);
  std::printf(" %-26s:%02X\n", "header_checksum", r.header_checksum);
  std::printf("\n < info block >\n");
  std::printf(" %-26s:[%s]\n", "magic_text", r.magic_text);
  std::printf(" %-26s:0x%04X\n", "scramble_key", r.scramble_key);
  std::printf(" %-26s:0x%08lX\n", "info_length", static_cast<unsigned long>(r.info_length));
  std::printf(" %-26s:0x%08lX\n", "info_value", static_cast<unsigned long>(r.info_value));
  static const char* const text_labels[tz::info_text_field_count] = {"T1 model_code",
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
  for (std::size_t i = 0; i < tz::info_text_field_count; ++i) {
    std::printf(" %-26s:[%s]\n", text_labels[i], tz::info_text(r, i));
  }
  std::printf(" %-26s:0x%08lX\n", "blob_length", static_cast<unsigned long>(r.blob_length));
  hex_line("blob", r.blob, r.blob_length <= tz::max_blob_bytes ? r.blob_length : 0, true);
  std::printf(" %-26s:0x%08lX\n", "area_bytes", static_cast<unsigned long>(r.area_bytes));
  std::uint32_t entries = r.area_bytes / tz::area_entry_bytes;
  if (entries > tz::max_area_entries) entries = tz::max_area_entries;
  for (std::uint32_t i = 0; i < (entries == 0 ? 1 : entries); ++i) {
    const tz::AreaEntry& a = r.areas[i];
    if (i == 0) {
      std::printf(" %-26s:", "area entries");
    } else {
      std::printf("%28s", "");
    }
    std::printf("area_name=%s area_value_1=0x%06lX area_value_2=0x%06lX area_word=0x%04X\n", a.area_name,
                static_cast<unsigned long>(a.area_value_1), static_cast<unsigned long>(a.area_value_2), a.area_word);
  }
  std::printf(" %-26s:0x%08lX\n", "trailer_length", static_cast<unsigned long>(r.trailer_length));
  hex_line("trailer", r.trailer, r.trailer_length <= tz::max_trailer_bytes ? r.trailer_length : 0, false);
  std::printf(" %-26s:0x%04X\n", "info_sum", r.info_sum);
}

const char* verdict(bool good) { return good ? "good" : "WRONG"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tz594k-image-info FILE\n");
    return 2;
  }
  std::vector<std::uint8_t> file;
  if (!read_file(argv[1], file)) {
    std::fprintf(stderr, "tz594k-image-info: cannot read %s\n", argv[1]);
    return 2;
  }
  constexpr std::uint32_t front = tz::header_bytes + tz::image_info_block_bytes;
  if (file.size() < front) {
    std::fprintf(stderr, "tz594k-image-info: %s holds %zu bytes, fewer than a header and an info block\n", argv[1],
                 file.size());
    return 2;
  }

  // The reference texts the program compares with, decoded as start-up does.
  tz::platform::host::HostOs host;
  auto ctx = std::make_unique<tz::Context>(host.os());
  ctx->app.texts.decode();

  std::uint8_t* buffer = ctx->image.working_buffer;
  std::memcpy(buffer, file.data(), front);
  IdentityRecord& r = ctx->image.image_identity;
  const bool header_good = tz::parse_image_header(buffer, r) == 0;
  tz::read_scramble_key(buffer, r);
  const bool magic_good = tz::check_magic_text(*ctx, buffer, r) == 0;
  const bool info_good = tz::parse_info_block(*ctx, buffer, tz::image_info_block_bytes, r, tz::info_mode_image) == 0;

  const std::size_t payload_size = file.size() - front;
  const std::uint32_t blocks = static_cast<std::uint32_t>(payload_size / tz::payload_block_bytes);
  std::uint32_t image_sum = tz::sum16_be(file.data() + tz::header_bytes, tz::image_info_block_bytes);
  for (std::uint32_t i = 0; i < blocks; ++i) {
    image_sum += tz::sum16_be(file.data() + front + std::size_t{i} * tz::payload_block_bytes, tz::payload_block_bytes);
  }
  const bool sum_good = static_cast<std::uint16_t>(image_sum) == r.image_sum;
  const bool size_good =
      payload_size % tz::payload_block_bytes == 0 && file.size() == tz::header_bytes + r.transfer_length;

  std::printf("<< %s >>\n\n", argv[1]);
  print_identity(r);
  std::printf("\n < checks >\n");
  std::printf(" %-26s:%s\n", "header_checksum", verdict(header_good));
  std::printf(" %-26s:%s\n", "magic_text", verdict(magic_good));
  std::printf(" %-26s:%s\n", "info block and info_sum", verdict(info_good));
  std::printf(" %-26s:%s (computed 0x%04X)\n", "image_sum", verdict(sum_good),
              static_cast<unsigned>(image_sum & 0xFFFF));
  std::printf(" %-26s:%s (%zu bytes, %lu payload blocks)\n", "file size", verdict(size_good), file.size(),
              static_cast<unsigned long>(blocks));
  return header_good && magic_good && info_good && sum_good && size_good ? 0 : 1;
}
