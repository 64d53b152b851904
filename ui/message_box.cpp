#include "ui/message_box.h"

#include <cstdarg>

#include "app/context.h"
#include "ui/formatting.h"

namespace tz {

namespace {

int show_formatted(Context& ctx, std::uint32_t flags, const char* format, std::va_list arguments) {
  const char* text = format_text_v(ctx, format, arguments);
  return ctx.os.windows.message_box(ctx.app.main_window, text, program_title, flags | platform::mb_setforeground);
}

}  // namespace

int show_message_box(Context& ctx, std::uint32_t flags, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const int answer = show_formatted(ctx, flags, format, arguments);
  va_end(arguments);
  return answer;
}

int show_message_box_unless_silent(Context& ctx, std::uint32_t flags, const char* format, ...) {
  if (ctx.silent()) return 0;
  std::va_list arguments;
  va_start(arguments, format);
  const int answer = show_formatted(ctx, flags, format, arguments);
  va_end(arguments);
  return answer;
}

}  // namespace tz
