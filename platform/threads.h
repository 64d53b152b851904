#pragma once
// starting the one short-lived worker thread.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

class Threads {
 public:
  virtual ~Threads() = default;
};

}  // namespace tz::platform
