#pragma once
// modal and modeless screens from resource templates, control texts, list lines, icons, message peeking and dispatching.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
};

}  // namespace tz::platform
