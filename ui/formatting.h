#pragma once
// The one formatting buffer every screen text and message box goes through.
#include <cstdarg>

#include "ui/ui_state.h"

namespace tz {

// Formats into the formatting buffer and returns it; a text that does not fit is cut, never
// written past the buffer.
[[gnu::format(printf, 2, 3)]] const char* format_text(Ui& ui, const char* format, ...);
const char* format_text_v(Ui& ui, const char* format, std::va_list arguments);

}  // namespace tz
