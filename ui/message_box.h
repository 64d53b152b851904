#pragma once
// Message boxes under the program title, owned by the main window.
#include <cstdint>

#include "ui/ui_state.h"

namespace tz {

inline constexpr const char* program_title = "F/W Loader  TZ594K for ZEMO V1.01";

// Formats the text into the formatting buffer and shows it with MB_SETFOREGROUND added; returns
// what MessageBoxA returned.
[[gnu::format(printf, 3, 4)]] int show_message_box(Ui& ui, std::uint32_t flags, const char* format, ...);
// The same, but shows nothing and returns 0 in silent mode.
[[gnu::format(printf, 3, 4)]] int show_message_box_unless_silent(Ui& ui, std::uint32_t flags, const char* format, ...);

}  // namespace tz
