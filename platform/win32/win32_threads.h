#pragma once
#include "platform/threads.h"

namespace tz::platform::win32 {

class Win32Threads final : public Threads {
 public:
};

}  // namespace tz::platform::win32
