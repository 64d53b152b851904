#pragma once
// The emulated operating system of the native builds: one instance per test.
#include "platform/host/host_aspi.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_devices.h"
#include "platform/host/host_dialogs.h"
#include "platform/host/host_files.h"
#include "platform/host/host_system.h"
#include "platform/host/host_threads.h"
#include "platform/host/host_windows.h"
#include "platform/os.h"

namespace tz::platform::host {

class HostOs {
 public:
  HostSystem system;
  HostWindows windows;
  HostDialogs dialogs{clock};  // stamps what it records with the virtual time
  VirtualClock clock;
  HostThreads threads{clock};  // its threads are the clock's workers
  HostDevices devices{clock};  // simulated drives take time on the virtual clock
  HostAspi aspi{clock};
  HostFiles files;

  Os os() { return Os{system, windows, dialogs, clock, threads, devices, aspi, files}; }
};

}  // namespace tz::platform::host
