#pragma once
#include "platform/threads.h"

namespace tz::platform::win32 {

class Win32Threads final : public Threads {
 public:
  bool start_thread(ThreadBody body, void* argument) override;
};

}  // namespace tz::platform::win32
