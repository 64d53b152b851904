#pragma once
// The report of tz594k-image-info: an image file's bytes read the way the program reads the
// image it carries, every field of the identity record, and the verdict of its checks.
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace tz::tools {

// Writes the report on `bytes` to `out`, naming the file `name`. 0 when the header checksum, the
// magic text, info_sum, image_sum and the file size all check out; 1 when one does not; 2 (and
// nothing written) when the bytes cannot hold a header and an info block.
int report_image_file(const std::uint8_t* bytes, std::size_t size, const char* name, std::FILE* out);

}  // namespace tz::tools
