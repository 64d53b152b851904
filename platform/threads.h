#pragma once
// Starting the one short-lived worker thread.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

using ThreadBody = void (*)(void* argument);

class Threads {
 public:
  virtual ~Threads() = default;

  // The runtime library's thread start with the default stack size: body(argument) runs on a new
  // thread, which ends (and releases its handle) when the body returns. False when no thread
  // could be started; the body then never runs.
  virtual bool start_thread(ThreadBody body, void* argument) = 0;
};

}  // namespace tz::platform
