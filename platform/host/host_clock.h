#pragma once
#include "platform/clock.h"

namespace tz::platform::host {

class VirtualClock final : public Clock {
 public:
};

}  // namespace tz::platform::host
