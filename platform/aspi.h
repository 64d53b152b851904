#pragma once
// LoadLibraryA and GetProcAddress of wnaspi32.dll, its two entry points, and the events ASPI completes through.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

class Aspi {
 public:
  virtual ~Aspi() = default;
};

}  // namespace tz::platform
