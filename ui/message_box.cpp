#include "ui/message_box.h"

#include <cstdarg>

#include "ui/formatting.h"
#include "ui/ui_state.h"

namespace tz {

namespace {

int show_formatted(Ui& ui, std::uint32_t flags, const char* format, std::va_list arguments) {
  const char* text = format_text_v(ui, format, arguments);
  return ui.windows.message_box(ui.main_window, text, program_title, flags | platform::mb_setforeground);
}

}  // namespace

int show_message_box(Ui& ui, std::uint32_t flags, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const int answer = show_formatted(ui, flags, format, arguments);
  va_end(arguments);
  return answer;
}

int show_message_box_unless_silent(Ui& ui, std::uint32_t flags, const char* format, ...) {
  if (ui.silent()) return 0;
  std::va_list arguments;
  va_start(arguments, format);
  const int answer = show_formatted(ui, flags, format, arguments);
  va_end(arguments);
  return answer;
}

}  // namespace tz
