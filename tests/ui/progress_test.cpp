#include "ui/progress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

using platform::host::DialogEvent;
using Kind = DialogEvent::Kind;

bool ignores_everything(void*, platform::Handle, std::uint32_t, std::uintptr_t, std::intptr_t) { return false; }

std::string english_bar(int filled) {
  std::string s;
  for (int m = 0; m < 20; ++m) s += m < filled ? "* " : "- ";
  return s;
}

std::string japanese_bar(int filled) {
  std::string s;
  for (int m = 0; m < 20; ++m) s += m < filled ? "\x81\xA1" : "\x81\xA0";  // ■ and □ in code page 932
  return s;
}

struct ProgressFixture : test::Fixture {
  explicit ProgressFixture(std::uint8_t language = language_english) {
    ctx->app.language = language;
    progress_window = host.dialogs.create_dialog(0, 205, 0, {ignores_everything, nullptr});
    ctx->ui_state.progress_window = progress_window;
    host.dialogs.events.clear();
  }
  platform::Handle progress_window;
  // The bars drawn so far, as their counts of filled marks.
  std::vector<int> marks_drawn(int control) const {
    std::vector<int> marks;
    for (const std::string& text : host.dialogs.texts_of(control)) {
      int filled = 0;
      while (filled <= 20 && text != bar_text(ctx->app.language, filled)) ++filled;
      marks.push_back(filled);
    }
    return marks;
  }
};

TEST(ProgressLines, EachLineHasItsControlAndAnyOtherNumberIsTheLast) {
  const std::pair<int, std::uint16_t> cases[] = {{1, 1101},  {2, 1103},  {3, 1094},  {4, 1104}, {5, 1095},
                                                 {6, 1096},  {7, 1105},  {8, 1106},  {9, 1100}, {10, 1098},
                                                 {11, 1099}, {12, 1099}, {99, 1099}, {0, 1099}, {-1, 1099}};
  for (const auto& [line, control] : cases) EXPECT_EQ(progress_line_control(line), control) << "line " << line;
}

TEST(ProgressLines, StepTextIsFormattedIntoItsLineAndShownAtOnce) {
  ProgressFixture f;
  EXPECT_EQ(set_step_text(f.ctx->ui, 4, "Data transferring...(%d/%d)", 3, 10), 0);
  EXPECT_EQ(set_step_text(f.ctx->ui, 12, "%s", "Verify completed."), 0);
  EXPECT_EQ(f.host.dialogs.texts_of(1104), std::vector<std::string>{"Data transferring...(3/10)"});
  EXPECT_EQ(f.host.dialogs.texts_of(1099), std::vector<std::string>{"Verify completed."});
  const auto& events = f.host.dialogs.events;
  ASSERT_EQ(events.size(), 6u);
  for (std::size_t i = 0; i < events.size(); i += 3) {
    EXPECT_EQ(events[i].kind, Kind::text);
    EXPECT_EQ(events[i].window, f.progress_window);
    EXPECT_EQ(events[i + 1].kind, Kind::bring_to_top);
    EXPECT_EQ(events[i + 2].kind, Kind::update);
  }
  EXPECT_EQ(f.host.clock.now_ms(), 0) << "a step text costs no time";
}

TEST(ProgressBars, BothLanguagesDrawTwentyMarksInFortyBytes) {
  for (int k = 0; k <= 20; ++k) {
    EXPECT_EQ(bar_text(language_english, k), english_bar(k)) << k;
    EXPECT_EQ(bar_text(language_japanese, k), japanese_bar(k)) << k;
    EXPECT_EQ(std::strlen(bar_text(0, k)), 40u);
  }
  EXPECT_STREQ(bar_text(language_english, 0), "- - - - - - - - - - - - - - - - - - - - ");
  EXPECT_STREQ(bar_text(language_english, 20), "* * * * * * * * * * * * * * * * * * * * ");
  EXPECT_STREQ(bar_text(language_japanese, 20), "■■■■■■■■■■■■■■■■■■■■");
  // Only language 1 is Japanese.
  EXPECT_EQ(bar_text(0, 3), english_bar(3));
  EXPECT_EQ(bar_text(7, 3), english_bar(3));
  EXPECT_EQ(bar_text(language_english, -4), english_bar(0));
  EXPECT_EQ(bar_text(language_english, 99), english_bar(20));
}

TEST(ProgressBars, MoveMarkByMarkNeverBackAndPauseAtTheFullBar) {
  struct Case {
    const char* name;
    std::int32_t step_before;
    std::vector<std::int32_t> percents;
    std::vector<int> drawn;
    std::int32_t ms;
    std::int32_t step_after;
  };
  const Case cases[] = {
      {"0 empties the bar", 12, {0}, {0}, 30, 0},
      {"a negative value empties it too", 12, {-7}, {0}, 30, 0},
      {"0 redraws an empty bar as well", 0, {0}, {0}, 30, 0},
      {"1 to 4 % show nothing", 0, {1, 3, 4}, {}, 0, 0},
      {"7 % draws one mark", 0, {7}, {1}, 30, 1},
      {"a jump draws every mark", 0, {50}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 300, 10},
      {"over 100 counts as 100, with the pause",
       0,
       {150},
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20},
       900,
       20},
      {"100 twice pauses once", 19, {100, 100}, {20}, 330, 20},
      {"no step back", 10, {20, 49}, {}, 0, 10},
      {"the next bar continues from the shared step", 12, {65}, {13}, 30, 13},
      {"after 0 the next bar starts afresh", 12, {0, 10}, {0, 1, 2}, 90, 2},
  };
  for (const Case& c : cases) {
    ProgressFixture f;
    f.ctx->ui_state.progress_step = c.step_before;
    for (const std::int32_t p : c.percents) EXPECT_EQ(set_progress(f.ctx->ui, 10, p), 0);
    EXPECT_EQ(f.marks_drawn(1098), c.drawn) << c.name;
    EXPECT_EQ(f.host.clock.now_ms(), c.ms) << c.name;
    EXPECT_EQ(f.ctx->ui_state.progress_step, c.step_after) << c.name;
    EXPECT_EQ(f.host.dialogs.count(Kind::text), c.drawn.size()) << c.name << ": only line 10's control is written";
  }
}

TEST(ProgressBars, EachMarkIsShownThenHeldThirtyMilliseconds) {
  ProgressFixture f(language_japanese);
  set_progress(f.ctx->ui, 5, 15);
  std::vector<std::int32_t> text_times;
  std::vector<std::int32_t> refresh_times;
  for (const DialogEvent& e : f.host.dialogs.events) {
    if (e.kind == Kind::text) text_times.push_back(e.time);
    if (e.kind == Kind::update) refresh_times.push_back(e.time);
  }
  EXPECT_EQ(text_times, (std::vector<std::int32_t>{0, 30, 60}));
  EXPECT_EQ(refresh_times, text_times);
  EXPECT_EQ(f.host.dialogs.texts_of(1095).back(), japanese_bar(3));
  for (const auto& sleep : f.host.clock.sleeps()) EXPECT_EQ(sleep.to - sleep.from, 30);
}

// Two transfer phases of 1096 blocks, reported as the update reports them: the index of the block
// just written as a share of all (so blocks 0 to 10 report 0 and the last one 99), then 100.
TEST(ProgressBars, TwoWholeTransfersDrawEachMarkOnceAndCostTheirPacingOnly) {
  ProgressFixture f;
  constexpr std::uint32_t blocks = 1096;
  for (const int line : {5, 10}) {
    for (std::uint32_t i = 0; i < blocks; ++i) {
      set_progress(f.ctx->ui, line, static_cast<std::int32_t>(i * 1024 * 100 / (blocks * 1024)));
    }
    set_progress(f.ctx->ui, line, 100);
  }
  std::vector<int> one_bar(11, 0);  // each report of 0 redraws the empty bar
  for (int k = 1; k <= 20; ++k) one_bar.push_back(k);
  EXPECT_EQ(f.marks_drawn(1095), one_bar);
  EXPECT_EQ(f.marks_drawn(1098), one_bar);
  EXPECT_EQ(f.host.clock.now_ms(), 2 * (11 * 30 + 20 * 30 + 300));
}

}  // namespace
}  // namespace tz
