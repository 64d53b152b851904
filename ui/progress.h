#pragma once
// The progress screen's eleven lines and its two text-drawn bars.
#include <cstdarg>
#include <cstdint>

#include "ui/ui_state.h"

namespace tz {

inline constexpr int progress_line_count = 11;
inline constexpr int bar_marks = 20;
inline constexpr std::int32_t bar_mark_ms = 30;         // each mark is drawn on its own, this long
inline constexpr std::int32_t bar_full_pause_ms = 300;  // once more when a bar reaches 100 %

// The static control of a progress line; any number outside 1 to 10 is the last line's.
std::uint16_t progress_line_control(int line);
// The bar with `marks` filled marks (0 to 20, clamped) in the screens' language: Japanese "■"
// and "□" when language is 1, else "* " and "- "; always 40 bytes.
const char* bar_text(std::uint8_t language, int marks);

// Formats into the formatting buffer, sets the line in the progress window, refreshes it. Always 0.
[[gnu::format(printf, 3, 4)]] int set_step_text(Ui& ui, int line, const char* format, ...);
int set_step_text_v(Ui& ui, int line, const char* format, std::va_list arguments);
// Moves the bar on the line to the percentage, mark by mark; 0 or less empties it. Always 0.
int set_progress(Ui& ui, int line, std::int32_t percent);

}  // namespace tz
