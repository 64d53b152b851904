#pragma once
#include "platform/aspi.h"

namespace tz::platform::host {

class HostAspi final : public Aspi {
 public:
};

}  // namespace tz::platform::host
