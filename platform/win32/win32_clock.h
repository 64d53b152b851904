#pragma once
#include "platform/clock.h"

namespace tz::platform::win32 {

class Win32Clock final : public Clock {
 public:
};

}  // namespace tz::platform::win32
