#pragma once
// The monotonic millisecond clock and sleeping until a deadline.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

class Clock {
 public:
  virtual ~Clock() = default;

  // Milliseconds since the program started, on a monotonic clock. Wraps around after 2^31 ms:
  // compare instants by their signed difference only.
  virtual std::int32_t now_ms() = 0;
  // Lets time pass until now_ms() has reached the deadline, or nearly so (callers check again),
  // without using the processor and without servicing any message. Returns at once when the
  // deadline has passed.
  virtual void sleep_until(std::int32_t deadline_ms) = 0;
};

}  // namespace tz::platform
