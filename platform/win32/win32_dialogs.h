#pragma once
#include "platform/dialogs.h"

namespace tz::platform::win32 {

class Win32Dialogs final : public Dialogs {
 public:
};

}  // namespace tz::platform::win32
