#pragma once
// CreateFileA, CloseHandle, DeviceIoControl and GetDriveTypeA on the drives' devices.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

class Devices {
 public:
  virtual ~Devices() = default;
};

}  // namespace tz::platform
