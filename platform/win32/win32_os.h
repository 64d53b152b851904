#pragma once
// The real operating system: thin wrappers over the Win32 calls.
#include "platform/os.h"
#include "platform/win32/win32_aspi.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_devices.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_windows.h"

namespace tz::platform::win32 {

class Win32Os {
 public:
  explicit Win32Os(Handle instance) : windows(instance) {}

  Win32System system;
  Win32Windows windows;
  Win32Dialogs dialogs;
  Win32Clock clock;
  Win32Threads threads;
  Win32Devices devices;
  Win32Aspi aspi;
  Win32Files files;

  Os os() { return Os{system, windows, dialogs, clock, threads, devices, aspi, files}; }
};

}  // namespace tz::platform::win32
