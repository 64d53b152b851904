#pragma once
#include "platform/devices.h"

namespace tz::platform::win32 {

class Win32Devices final : public Devices {
 public:
};

}  // namespace tz::platform::win32
