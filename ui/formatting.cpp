#include "ui/formatting.h"

#include <cstdio>

#include "ui/ui_state.h"

namespace tz {

const char* format_text_v(Ui& ui, const char* format, std::va_list arguments) {
  char* buffer = ui.state.formatting_buffer;
  // The callers started the list; clang's analyzer loses track of that when it has looked at
  // another file first.
  std::vsnprintf(buffer, formatting_buffer_size, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
  return buffer;
}

const char* format_text(Ui& ui, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const char* text = format_text_v(ui, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace tz
