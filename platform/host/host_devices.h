#pragma once
#include "platform/devices.h"

namespace tz::platform::host {

class HostDevices final : public Devices {
 public:
};

}  // namespace tz::platform::host
