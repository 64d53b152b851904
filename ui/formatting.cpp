#include "ui/formatting.h"

#include <cstdio>

#include "app/context.h"

namespace tz {

const char* format_text_v(Context& ctx, const char* format, std::va_list arguments) {
  char* buffer = ctx.ui.formatting_buffer;
  // The callers started the list; clang's analyzer loses track of that when it has looked at
  // another file first.
  std::vsnprintf(buffer, formatting_buffer_size, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
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
