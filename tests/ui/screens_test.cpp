#include "ui/screens.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/context.h"
#include "app/startup.h"
#include "tests/support/fixture.h"
#include "ui/message_box.h"

namespace tz {
namespace {

using platform::SystemIcon;
using platform::host::DialogEvent;
using platform::host::HostScreen;
using Kind = DialogEvent::Kind;

constexpr platform::Handle main_window = 0x10010;

struct ScreenFixture : test::Fixture {
  explicit ScreenFixture(std::uint8_t language = language_english) {
    ctx->app.language = language;
    ctx->app.main_window = main_window;
  }
  const HostScreen& last() const { return host.dialogs.screens.back(); }
};

std::int32_t shown_result(const ScreenFixture& f) { return static_cast<std::int32_t>(f.last().result); }

struct ShellCase {
  const char* name;
  ScreenPair ids;
  void (*show)(Ui&);
  SystemIcon icon;
  bool positive_button;
  bool focus_on_exit;
};

const ShellCase shell_screens[] = {
    {"invalid option", {218, 219}, show_invalid_option, SystemIcon::hand, false, false},
    {"not applicable", {238, 239}, show_not_applicable, SystemIcon::exclamation, false, false},
    {"already updated", {220, 221}, show_already_updated, SystemIcon::asterisk, false, false},
    {"tray closed", {279, 280}, [](Ui& ui) { show_tray_prompt(ui); }, SystemIcon::asterisk, true, true},
    {"eject failed", {230, 231}, show_eject_failed, SystemIcon::hand, false, true},
    {"drive in use", {234, 235}, show_drive_in_use, SystemIcon::hand, false, true},
    {"execution error", {292, 293}, [](Ui& ui) { show_execution_error(ui, 1); }, SystemIcon::hand, false, false},
    {"notice", {150, 192}, [](Ui& ui) { show_notice(ui); }, SystemIcon::asterisk, true, true},
};

TEST(Screens, LanguageOnePicksTheJapaneseTemplateAnyOtherValueTheEnglishOne) {
  for (const std::uint8_t language : {0, 1, 2, 3, 255}) {
    ScreenFixture f(language);
    show_invalid_option(f.ctx->ui);
    open_processing_window(f.ctx->ui);
    const std::vector<std::uint16_t> expected =
        language == 1 ? std::vector<std::uint16_t>{218, 236} : std::vector<std::uint16_t>{219, 237};
    EXPECT_EQ(f.host.dialogs.opened_templates(), expected) << "language " << int(language);
  }
}

TEST(Screens, EveryShellScreenOpensUnderTheProgramTitleWithItsIconAndFocus) {
  for (const ShellCase& c : shell_screens) {
    for (const std::uint8_t language : {language_japanese, language_english}) {
      ScreenFixture f(language);
      const std::uint16_t id = choose_template(f.ctx->ui, c.ids.japanese, c.ids.english);
      f.host.dialogs.script[id] = {{platform::wm_paint}};
      // As in the templates: the positive button comes first; without it, exit is the only stop.
      f.host.dialogs.first_tab_stop[id] = c.positive_button ? 1 : 2;
      c.show(f.ctx->ui);
      ASSERT_EQ(f.host.dialogs.screens.size(), 1u) << c.name;
      const HostScreen& s = f.last();
      EXPECT_EQ(s.template_id, language == 1 ? c.ids.japanese : c.ids.english) << c.name;
      EXPECT_TRUE(s.modal) << c.name;
      EXPECT_EQ(s.owner, main_window) << c.name;
      EXPECT_EQ(s.caption, "F/W Loader  TZ594K for ZEMO V1.01") << c.name;

      std::vector<int> focus;  // 0: the screen itself
      for (const DialogEvent& e : f.host.dialogs.events) {
        if (e.kind == Kind::focus) focus.push_back(e.control_id);
        if (e.kind == Kind::icon) {
          EXPECT_EQ(e.value, static_cast<std::intptr_t>(c.icon)) << c.name;
          // In dialog units, left of the texts (x 45) beside the first one: pixels (25, 80) at 100 %.
          EXPECT_EQ(e.x, 17) << c.name;
          EXPECT_EQ(e.y, 53) << c.name;
        }
        // The logo band (control 1077) spans the screen at the display's scale, from the drawings
        // at 100, 150 and 200 % (bitmaps 172 to 174), 40 dialog units high.
        if (e.kind == Kind::picture_fit) {
          EXPECT_EQ(e.control_id, 1077) << c.name;
          EXPECT_EQ(e.value, 172) << c.name;
          EXPECT_EQ(e.x, 3) << c.name;
          EXPECT_EQ(e.y, 40) << c.name;
        }
      }
      // The screen first; then exit, set by the procedure, which keeps it by answering false (true
      // would move it to the first tab stop: on the positive button, Enter would mean consent),
      // or by the dialog manager on a screen whose only button is exit.
      EXPECT_EQ(focus, (std::vector<int>{0, 2})) << c.name;
      EXPECT_EQ(s.init_answer, !c.focus_on_exit) << c.name;
      EXPECT_EQ(f.host.dialogs.focus, s.window + 2) << c.name;
      EXPECT_EQ(f.host.dialogs.count(Kind::icon), 1u) << c.name << ": one paint, one icon";
      EXPECT_EQ(f.host.dialogs.count(Kind::picture_fit), 1u) << c.name << ": the logo fitted as the screen opens";
    }
  }
}

TEST(Screens, ExitAndTheCloseBoxEndWithOneThePositiveButtonWithZero) {
  struct Input {
    const char* name;
    platform::host::ScriptedInput input;
  };
  const Input exit_button{"exit", {platform::wm_command, 2, 0}};
  const Input close_box{"close box", {platform::wm_close, 0, 0}};
  const Input positive{"positive", {platform::wm_command, 1, 0}};
  const Input escape_twin{"a notification from the exit button", {platform::wm_command, 0x10002, 0}};
  for (const ShellCase& c : shell_screens) {
    for (const Input& in : {exit_button, close_box, positive, escape_twin}) {
      ScreenFixture f;
      f.host.dialogs.script[c.ids.english] = {in.input};
      // After the input, a click on the exit button that would end any screen still open.
      f.host.dialogs.press(c.ids.english, 2);
      c.show(f.ctx->ui);
      const bool takes_positive = in.input.message == platform::wm_command && in.input.wparam == 1 && c.positive_button;
      EXPECT_EQ(shown_result(f), takes_positive ? 0 : 1) << c.name << ", " << in.name;
      const bool ignored = f.host.dialogs.script[c.ids.english].empty();
      EXPECT_EQ(ignored, in.input.wparam == 0x10002 || (in.input.wparam == 1 && !c.positive_button))
          << c.name << ", " << in.name << ": only ids 1 and 2 are commands";
      EXPECT_EQ(f.host.dialogs.unanswered, 0);
    }
  }
}

TEST(Screens, ShowScreenReportsWhatTheScreenEndedWithAndAMissingScreenAsExit) {
  ScreenFixture f;
  f.host.dialogs.press(280, 1);
  EXPECT_EQ(show_tray_prompt(f.ctx->ui), 0);
  f.host.dialogs.press(280, 2);
  EXPECT_EQ(show_tray_prompt(f.ctx->ui), 1);
  f.host.dialogs.press(192, 1);
  EXPECT_EQ(show_notice(f.ctx->ui), 0);

  f.host.dialogs.missing_templates = {192, 280};
  f.host.dialogs.press(192, 1);
  f.host.dialogs.press(280, 1);
  EXPECT_EQ(show_notice(f.ctx->ui), 1) << "a screen that never showed is no consent";
  EXPECT_EQ(show_tray_prompt(f.ctx->ui), 1);
}

TEST(Screens, ExecutionErrorIsShownWithItsNumberOrRecordedInSilentMode) {
  struct Case {
    std::uint8_t language;
    bool silent;
    std::int32_t number;
    std::uint16_t screen;  // 0: none
    const char* text;
    std::int32_t recorded;
  };
  const Case cases[] = {
      {language_english, false, 2, 293, "Execution error occurred.(2)", -1},
      {language_japanese, false, 4, 292, "実行エラーが発生しました。(4)", -1},
      {language_english, true, 1, 0, "Execution error occurred.(1)", 800},
      {language_japanese, true, 4, 0, "Execution error occurred.(4)", 800},
  };
  for (const Case& c : cases) {
    ScreenFixture f(c.language);
    f.ctx->app.switches.silent = c.silent ? 1 : 0;
    show_execution_error(f.ctx->ui, c.number);
    if (c.screen == 0) {
      EXPECT_TRUE(f.host.dialogs.screens.empty());
      EXPECT_EQ(result_code(f.ctx->app.result), 800);
      EXPECT_STREQ(result_message(f.ctx->app.result), c.text);
    } else {
      ASSERT_EQ(f.host.dialogs.opened_templates(), std::vector<std::uint16_t>{c.screen});
      EXPECT_EQ(f.last().texts.at(1078), c.text);
      EXPECT_EQ(result_code(f.ctx->app.result), -1) << "a shown execution error records nothing";
    }
  }
  // The Japanese text reaches the screen as code page 932 bytes.
  ScreenFixture f(language_japanese);
  show_execution_error(f.ctx->ui, 1);
  EXPECT_EQ(f.last().texts.at(1078).substr(0, 4), "\x8E\xC0\x8D\x73");  // 実行
}

TEST(Screens, NotApplicableAndAlreadyUpdatedStayAwayInSilentModeAndOnALaunchersCheck) {
  struct Case {
    bool silent;
    bool run_check;
    bool shown;
  };
  for (const Case c :
       {Case{false, false, true}, Case{true, false, false}, Case{false, true, false}, Case{true, true, false}}) {
    ScreenFixture f;
    f.ctx->app.switches.silent = c.silent ? 1 : 0;
    f.ctx->app.switches.launcher_run_check = c.run_check ? 1 : 0;
    show_not_applicable(f.ctx->ui);
    show_already_updated(f.ctx->ui);
    EXPECT_EQ(f.host.dialogs.opened_templates(),
              c.shown ? (std::vector<std::uint16_t>{239, 221}) : (std::vector<std::uint16_t>{}))
        << c.silent << c.run_check;
  }
}

// The progress screen's way: it posts itself a start message as it opens, does its work inside
// that message (showing other screens meanwhile) and ends itself; no input is needed.
bool starts_itself(Ui& ui, platform::Handle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  constexpr std::uint32_t start = platform::wm_user + 1;
  if (message == platform::wm_initdialog) {
    open_screen(ui, window);
    ui.dialogs.post_message(window, start, 0, 0);
    return true;
  }
  if (message != start) return false;
  show_tray_prompt(ui);
  ui.dialogs.end_dialog(window, 1);
  return true;
}

TEST(Screens, AScreenThatPostsItselfItsStartRunsItBeforeAnyInput) {
  ScreenFixture f;
  f.host.dialogs.press(205, 2);  // must stay unused: the screen ends by itself
  f.host.dialogs.press(280, 1);
  EXPECT_EQ(show_screen(f.ctx->ui, 204, 205, starts_itself, f.ctx->ui), 1);
  EXPECT_EQ(f.host.dialogs.opened_templates(), (std::vector<std::uint16_t>{205, 280}));
  EXPECT_EQ(f.host.dialogs.screens[1].result, 0) << "the nested screen got its own input";
  EXPECT_EQ(f.host.dialogs.script[205].size(), 1u);
  EXPECT_EQ(f.host.dialogs.unanswered, 0);
}

// The shows and refreshes of the wait that opening the processing window makes, in order.
std::vector<std::pair<Kind, std::int32_t>> shows_and_refreshes(const ScreenFixture& f, platform::Handle window) {
  std::vector<std::pair<Kind, std::int32_t>> seen;
  for (const DialogEvent& e : f.host.dialogs.events) {
    if (e.kind != Kind::shown && e.kind != Kind::bring_to_top && e.kind != Kind::update) continue;
    EXPECT_EQ(e.window, window) << "every refresh of the wait targets the processing window";
    if (e.kind == Kind::shown) {
      EXPECT_EQ(e.value, platform::sw_show);
    }
    seen.emplace_back(e.kind, e.time);
  }
  return seen;
}

// Three serviced slices of 500 ms, then the last refresh.
std::vector<std::pair<Kind, std::int32_t>> processing_wait() {
  return {{Kind::bring_to_top, 0},    {Kind::update, 0},    {Kind::bring_to_top, 500},  {Kind::update, 500},
          {Kind::bring_to_top, 1000}, {Kind::update, 1000}, {Kind::bring_to_top, 1500}, {Kind::update, 1500}};
}

TEST(ProcessingWindow, IsShownThenWaitedForWhileItsMessagesAreServiced) {
  ScreenFixture f;
  open_processing_window(f.ctx->ui);
  auto expected = processing_wait();
  expected.insert(expected.begin(), {Kind::shown, 0});
  EXPECT_EQ(shows_and_refreshes(f, f.ctx->ui_state.processing_window), expected);
  const auto sleeps = f.host.clock.sleeps();
  ASSERT_EQ(sleeps.size(), 3u);
  EXPECT_EQ(sleeps[0].from, 0) << "no time passes before the window is shown";
}

TEST(ProcessingWindow, OpensOnceWaitsOnceAndClosesOnce) {
  ScreenFixture f(language_japanese);
  f.host.dialogs.queue_message(main_window, platform::wm_lbuttondown);
  open_processing_window(f.ctx->ui);
  open_processing_window(f.ctx->ui);
  ASSERT_EQ(f.host.dialogs.screens.size(), 1u) << "one window";
  const HostScreen& s = f.last();
  EXPECT_EQ(s.template_id, 236);
  EXPECT_FALSE(s.modal);
  EXPECT_EQ(s.owner, main_window);
  EXPECT_TRUE(s.visible);
  EXPECT_EQ(s.caption, program_title);
  EXPECT_EQ(f.ctx->ui_state.processing_window, s.window);
  EXPECT_EQ(f.host.clock.now_ms(), 1500) << "one wait";
  EXPECT_EQ(f.host.clock.sleep_count(), 3u) << "three serviced slices of 500 ms";
  EXPECT_TRUE(f.host.dialogs.queue.empty()) << "the wait serviced the queue";

  close_processing_window(f.ctx->ui);
  close_processing_window(f.ctx->ui);
  EXPECT_FALSE(s.alive);
  EXPECT_EQ(f.host.dialogs.count(Kind::destroyed, 236), 1u);
  EXPECT_EQ(f.ctx->ui_state.processing_window, platform::null_handle);

  // After closing, opening again makes a new window with its own wait (the tray prompt's way).
  open_processing_window(f.ctx->ui);
  EXPECT_EQ(f.host.dialogs.opened_templates(), (std::vector<std::uint16_t>{236, 236}));
  EXPECT_EQ(f.host.clock.now_ms(), 3000);
}

TEST(ProcessingWindow, AWindowThatCannotBeCreatedStillCostsItsWait) {
  ScreenFixture f;
  f.host.dialogs.missing_templates = {237};
  f.host.dialogs.queue_message(main_window, platform::wm_lbuttondown);
  open_processing_window(f.ctx->ui);
  EXPECT_EQ(f.ctx->ui_state.processing_window, platform::null_handle);
  EXPECT_EQ(shows_and_refreshes(f, platform::null_handle), processing_wait()) << "nothing to show";
  EXPECT_EQ(f.host.clock.now_ms(), 1500);
  EXPECT_TRUE(f.host.dialogs.queue.empty()) << "the wait serviced the queue";
  close_processing_window(f.ctx->ui);
  EXPECT_EQ(f.host.dialogs.count(Kind::destroyed), 0u);
}

}  // namespace
}  // namespace tz
