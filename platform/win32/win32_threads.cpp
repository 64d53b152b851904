#include "platform/win32/win32_threads.h"

#include <process.h>

#include <cstdint>

namespace tz::platform::win32 {

bool Win32Threads::start_thread(ThreadBody body, void* argument) {
  // _beginthread closes the thread's handle itself when the body returns.
  return _beginthread(body, 0, argument) != static_cast<std::uintptr_t>(-1);
}

}  // namespace tz::platform::win32
