#pragma once
#include "platform/threads.h"

namespace tz::platform::host {

class HostThreads final : public Threads {
 public:
};

}  // namespace tz::platform::host
