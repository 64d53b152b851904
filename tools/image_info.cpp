// tz594k-image-info FILE: prints the identity of an image file (header, then info block, then
// payload, as the generator writes it) the way the program reads it, every field of the identity
// record, and whether the header checksum, the magic text, info_sum and image_sum check out.
// Exit code 0 when all of them do, 1 when one does not, 2 when the file cannot be read.
#include <cstdio>
#include <vector>

#include "tools/image_report.h"

namespace {

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
  const int result = tz::tools::report_image_file(file.data(), file.size(), argv[1], stdout);
  if (result == 2) {
    std::fprintf(stderr, "tz594k-image-info: %s holds %zu bytes, fewer than a header and an info block\n", argv[1],
                 file.size());
  }
  return result;
}
