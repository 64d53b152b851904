#include "ui/progress.h"

#include <array>
#include <cstdarg>

#include "ui/formatting.h"
#include "ui/ui_state.h"
#include "ui/waits.h"

namespace tz {

namespace {

constexpr std::uint16_t line_controls[progress_line_count] = {1101, 1103, 1094, 1104, 1095, 1096,
                                                              1105, 1106, 1100, 1098, 1099};

constexpr std::size_t marks_per_bar = bar_marks;
constexpr std::size_t bar_bytes = 2 * marks_per_bar;
using BarTable = std::array<std::array<char, bar_bytes + 1>, marks_per_bar + 1>;

// Every mark is two bytes: a glyph and a blank, or one code page 932 character.
constexpr BarTable make_bars(const char (&filled)[3], const char (&empty)[3]) {
  BarTable table{};
  for (std::size_t k = 0; k <= marks_per_bar; ++k) {
    for (std::size_t m = 0; m < marks_per_bar; ++m) {
      const char* mark = m < k ? filled : empty;
      table[k][2 * m] = mark[0];
      table[k][2 * m + 1] = mark[1];
    }
  }
  return table;
}

constexpr BarTable english_bars = make_bars("* ", "- ");
// "■" and "□" as the ANSI calls of a Japanese Windows take them, whatever the compiler's charset.
constexpr BarTable japanese_bars = make_bars("\x81\xA1", "\x81\xA0");

void set_line(Ui& ui, int line, const char* text) {
  const platform::Handle window = ui.state.progress_window;
  ui.dialogs.set_item_text(window, progress_line_control(line), text);
  refresh_window(ui, window);
}

}  // namespace

std::uint16_t progress_line_control(int line) {
  return line >= 1 && line <= progress_line_count ? line_controls[line - 1] : line_controls[progress_line_count - 1];
}

const char* bar_text(std::uint8_t language, int marks) {
  const int k = marks < 0 ? 0 : (marks > bar_marks ? bar_marks : marks);
  return (language == language_japanese ? japanese_bars : english_bars)[k].data();
}

int set_step_text(Ui& ui, int line, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  set_step_text_v(ui, line, format, arguments);
  va_end(arguments);
  return 0;
}

int set_step_text_v(Ui& ui, int line, const char* format, std::va_list arguments) {
  set_line(ui, line, format_text_v(ui, format, arguments));
  return 0;
}

int set_progress(Ui& ui, int line, std::int32_t percent) {
  const std::uint8_t language = ui.language;
  if (percent <= 0) {
    set_line(ui, line, bar_text(language, 0));
    busy_wait(ui.clock, bar_mark_ms);
    ui.state.progress_step = 0;
    return 0;
  }
  const std::int32_t clamped = percent >= 100 ? 100 : percent;
  const std::int32_t target = clamped / 5;
  if (target <= ui.state.progress_step) return 0;
  for (std::int32_t k = ui.state.progress_step + 1; k <= target; ++k) {
    set_line(ui, line, bar_text(language, k));
    busy_wait(ui.clock, bar_mark_ms);
  }
  ui.state.progress_step = target;
  if (clamped == 100) busy_wait(ui.clock, bar_full_pause_ms);
  return 0;
}

}  // namespace tz
