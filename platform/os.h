#pragma once
// The whole seam: everything the program asks of the operating system goes through these.
#include "platform/aspi.h"
#include "platform/clock.h"
#include "platform/devices.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/threads.h"
#include "platform/windows.h"

namespace tz::platform {

struct Os {
  System& system;
  Windows& windows;
  Dialogs& dialogs;
  Clock& clock;
  Threads& threads;
  Devices& devices;
  Aspi& aspi;
  Files& files;
};

}  // namespace tz::platform
