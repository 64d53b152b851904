#pragma once
#include "platform/aspi.h"

namespace tz::platform::win32 {

class Win32Aspi final : public Aspi {
 public:
};

}  // namespace tz::platform::win32
