#include "update/formatting.h"

#include <cstdio>

#include "app/context.h"

namespace tz {

const char* format_text_v(Context& ctx, const char* format, std::va_list arguments) {
  char* buffer = ctx.ui.formatting_buffer;
  std::vsnprintf(buffer, formatting_buffer_size, format, arguments);
  return buffer;
}

const char* format_text(Context& ctx, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const char* text = format_text_v(ctx, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace tz
