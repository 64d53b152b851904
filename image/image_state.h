#pragma once
// the image's working buffer, identity, pristine and transfer copies.

namespace tz {

struct ImageState {};

}  // namespace tz
