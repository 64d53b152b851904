#pragma once
// the monotonic millisecond clock and sleeping until a deadline.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

class Clock {
 public:
  virtual ~Clock() = default;
};

}  // namespace tz::platform
