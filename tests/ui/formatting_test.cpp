#include "ui/formatting.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/fixture.h"

namespace tz {
namespace {

TEST(FormattingBuffer, FormatsAndCutsWhatDoesNotFitWithoutWritingPastIt) {
  test::Fixture f;
  EXPECT_STREQ(format_text(f.ctx->ui, "Download error.(%d)", 31), "Download error.(31)");

  // The progress window handle lies right behind the buffer: a text too long must leave it alone.
  f.ctx->ui_state.progress_window = 0x5A5A5A5A;
  const std::string huge(formatting_buffer_size + 500, 'x');
  const char* text = format_text(f.ctx->ui, "<%s>", huge.c_str());
  EXPECT_EQ(text, f.ctx->ui_state.formatting_buffer);
  EXPECT_EQ(std::strlen(text), formatting_buffer_size - 1);
  EXPECT_EQ(text[0], '<');
  EXPECT_EQ(f.ctx->ui_state.progress_window, platform::Handle{0x5A5A5A5A});

  const std::string exact(formatting_buffer_size - 1, 'y');
  EXPECT_EQ(std::string(format_text(f.ctx->ui, "%s", exact.c_str())), exact);
}

}  // namespace
}  // namespace tz
