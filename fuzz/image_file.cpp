// An image file as tz594k-image-info reads it: header, info block and payload checks, and the
// printed identity record.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/require.h"
#include "tools/image_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::FILE* const sink = std::fopen("/dev/null", "w");
  const int result = tz::tools::report_image_file(data, size, "input", sink);
  tz::fuzz::require(result == 0 || result == 1 || result == 2, "the report ends with 0, 1 or 2");
  return 0;
}
