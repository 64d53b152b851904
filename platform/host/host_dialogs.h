#pragma once
#include "platform/dialogs.h"

namespace tz::platform::host {

class HostDialogs final : public Dialogs {
 public:
};

}  // namespace tz::platform::host
