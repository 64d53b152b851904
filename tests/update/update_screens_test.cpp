// The screens of the update and its outcome, as finish_run and the run flow show them.
#include "update/update_screens.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/run_flow.h"
#include "app/startup.h"
#include "core/run_result.h"
#include "image/image_load.h"
#include "tests/support/fixture.h"
#include "ui/formatting.h"
#include "ui/screens.h"

namespace tz {
namespace {

using platform::SystemIcon;
using platform::host::DialogEvent;
using platform::host::HostScreen;
using Kind = DialogEvent::Kind;

constexpr platform::Handle main_window = 0x10010;
constexpr const char* title = "F/W Loader  TZ594K for ZEMO V1.01";

struct ScreenBench : test::Fixture {
  explicit ScreenBench(std::uint8_t language, bool silent = false) {
    ctx->app.texts.decode();
    ctx->app.language = language;
    ctx->app.main_window = main_window;
    ctx->app.switches.silent = silent ? 1 : 0;
  }
  std::size_t icons() const { return host.dialogs.count(Kind::icon); }
  // The logo band (control 1077) of the screen fitted to the display's scale as it opened, from the
  // drawings at 100, 150 and 200 % (bitmaps 172 to 174), 40 dialog units high.
  bool logo_fitted(const HostScreen& s) const {
    for (const DialogEvent& e : host.dialogs.events) {
      if (e.kind == Kind::picture_fit && e.window == s.window && e.control_id == 1077 && e.value == 172 && e.x == 3 &&
          e.y == 40)
        return true;
    }
    return false;
  }
};

// What finish_run shows for each result code outside silent mode.
TEST(ResultScreens, EachCodeShowsItsScreenWithTheRecordedMessage) {
  struct Case {
    std::int32_t code;
    const char* message;
    ScreenPair ids;
    bool shows_message;
    bool empties_notes;
    bool stop_icon;
  };
  const Case cases[] = {
      {0, "", {143, 201}, false, true, false},
      {500, "Download error.(31)", {151, 193}, true, true, true},
      {600, "Verify error.(1)", {151, 193}, true, true, true},
      {802, "Eject failed.(21)", {230, 231}, false, false, true},
      {1001, "Load execution error.", {160, 196}, true, false, true},
      {1002, "", {174, 189}, false, true, true},
      {300, "Illegal F/W file.(1)", {151, 193}, true, true, true},
      {100, "Supported drive is not found.(1)", {0, 0}, false, false, false},
      {-1, "", {0, 0}, false, false, false},
  };
  for (const Case& c : cases) {
    for (const std::uint8_t language : {language_japanese, language_english}) {
      SCOPED_TRACE(std::to_string(c.code) + (language == language_japanese ? " Japanese" : " English"));
      ScreenBench b(language);
      record_result(b.ctx->app.result, c.code, c.message);
      const std::uint16_t id = language == language_japanese ? c.ids.japanese : c.ids.english;
      b.host.dialogs.script[id] = {{platform::wm_paint}};
      finish_run(*b.ctx);
      EXPECT_EQ(b.ctx->app.exit_code, exit_code_for(c.code));
      if (c.ids.english == 0) {
        EXPECT_TRUE(b.host.dialogs.screens.empty());
        continue;
      }
      ASSERT_EQ(b.host.dialogs.screens.size(), 1u);
      const HostScreen& s = b.host.dialogs.screens.front();
      EXPECT_EQ(s.template_id, id);
      EXPECT_EQ(s.owner, main_window);
      EXPECT_EQ(s.caption, title);
      EXPECT_TRUE(b.logo_fitted(s));
      EXPECT_EQ(s.result, 1);  // the close box ended it like the exit button
      EXPECT_EQ(s.texts.count(1081) != 0, c.shows_message);
      if (c.shows_message) {
        EXPECT_EQ(s.texts.at(1081), c.message);
      }
      for (const int control : {1127, 1128, 1129}) {
        EXPECT_EQ(s.texts.count(control) != 0, c.empties_notes) << control;
        if (c.empties_notes) {
          EXPECT_EQ(s.texts.at(control), "") << control;
        }
      }
      EXPECT_EQ(b.icons(), c.stop_icon ? 1u : 0u);
    }
  }
}

TEST(ResultScreens, NoneInSilentMode) {
  for (const std::int32_t code : {0, 500, 600, 802, 1001, 1002}) {
    ScreenBench b(language_english, true);
    record_result(b.ctx->app.result, code, "x");
    finish_run(*b.ctx);
    EXPECT_TRUE(b.host.dialogs.screens.empty()) << code;
    EXPECT_EQ(b.ctx->app.exit_code, exit_code_for(code)) << code;
  }
}

// Only the exit button (also Escape and the close box) ends these screens.
TEST(ResultScreens, OnlyTheExitButtonEndsThem) {
  for (const std::int32_t code : {0, 500, 1001, 1002}) {
    ScreenBench b(language_english);
    record_result(b.ctx->app.result, code, "x");
    const ScreenPair ids = result_screen_for(code);
    b.host.dialogs.press(ids.english, 1);
    b.host.dialogs.press(ids.english, 0x10002);
    b.host.dialogs.press(ids.english, 2);
    b.host.dialogs.press(ids.english, 2);
    show_result_screen(b.ctx->ui, code);
    ASSERT_EQ(b.host.dialogs.screens.size(), 1u) << code;
    EXPECT_EQ(b.host.dialogs.screens.front().result, 1) << code;
    EXPECT_EQ(b.host.dialogs.script[ids.english].size(), 1u) << code << ": the first exit ended it";
  }
}

TEST(UpdateScreens, LogFailureScreenPaintsTheStopIcon) {
  for (const std::uint8_t language : {language_japanese, language_english}) {
    ScreenBench b(language);
    b.host.dialogs.script[language == language_japanese ? 161 : 197] = {{platform::wm_paint}};
    show_log_failure(b.ctx->ui);
    ASSERT_EQ(b.host.dialogs.screens.size(), 1u);
    EXPECT_EQ(b.host.dialogs.screens.front().template_id, language == language_japanese ? 161 : 197);
    EXPECT_EQ(b.host.dialogs.screens.front().caption, title);
    EXPECT_EQ(b.icons(), 1u);
  }
}

TEST(UpdateScreens, FirmwareVersionShowsTheCarriedImageUnderItsLabels) {
  for (const std::uint8_t language : {language_japanese, language_english}) {
    ScreenBench b(language);
    ASSERT_EQ(load_firmware_image(b.ctx->image, b.ctx->app.texts), 0);
    EXPECT_EQ(show_firmware_version(b.ctx->ui, b.ctx->image.image_identity), 1);
    const HostScreen& s = b.host.dialogs.screens.front();
    EXPECT_EQ(s.template_id, 223);  // one template for both languages
    EXPECT_EQ(s.caption, title);
    EXPECT_TRUE(b.logo_fitted(s));
    EXPECT_EQ(s.texts.at(1115), "[F/W Version]");
    EXPECT_EQ(s.texts.at(1119), "Product:");
    EXPECT_EQ(s.texts.at(1082), "BD-CMB TZ594KS  ");
    EXPECT_EQ(s.texts.at(1120), "Vendor:");
    EXPECT_EQ(s.texts.at(1083), "KORVANTA");
    EXPECT_EQ(s.texts.at(1121), "Revision:");
    EXPECT_EQ(s.texts.at(1084), "1.01");
  }
}

TEST(UpdateScreens, CopyrightShowsWhatTheCallerFormattedLast) {
  ScreenBench b(language_japanese);
  format_text(b.ctx->ui, "\n          %s %s", "Someone", "2001-2009");
  EXPECT_EQ(show_copyright(b.ctx->ui), 1);
  const HostScreen& s = b.host.dialogs.screens.front();
  EXPECT_EQ(s.template_id, 243);
  EXPECT_EQ(s.texts.at(1106), "\n          Someone 2001-2009");
  EXPECT_TRUE(b.logo_fitted(s));
  EXPECT_EQ(b.icons(), 0u);
}

// The progress screen empties its lines, then starts the update through a message it posts to
// itself, so the update runs only once the screen stands; it ends itself with 1.
TEST(UpdateScreens, ProgressScreenStartsTheUpdateThroughItsOwnMessage) {
  ScreenBench b(language_english, true);
  b.ctx->drive.current_drive = 64;  // nothing chosen: the update refuses at once
  EXPECT_EQ(show_progress_screen(b.ctx->link, b.ctx->app.result), 1);
  const HostScreen& s = b.host.dialogs.screens.front();
  EXPECT_EQ(s.template_id, 205);
  EXPECT_EQ(s.caption, title);
  EXPECT_TRUE(b.logo_fitted(s));
  EXPECT_EQ(b.ctx->ui_state.progress_window, s.window);
  std::vector<int> emptied;
  std::size_t posted_at = 0;
  std::size_t refused_at = 0;
  for (std::size_t i = 0; i < b.host.dialogs.events.size(); ++i) {
    const DialogEvent& e = b.host.dialogs.events[i];
    if (e.kind == Kind::text && e.text.empty() && posted_at == 0) emptied.push_back(e.control_id);
    if (e.kind == Kind::posted && e.value == 0x401) posted_at = i;
    if (e.kind == Kind::dispatched && e.value == 0x401) refused_at = i;
  }
  EXPECT_EQ(emptied, (std::vector<int>{1101, 1103, 1094, 1104, 1095, 1096, 1105, 1106, 1100, 1098, 1099}));
  EXPECT_GT(posted_at, 0u);
  EXPECT_GT(refused_at, posted_at);
  EXPECT_EQ(result_code(b.ctx->app.result), 1001);
}

// When finish_run leaves a result log, and what a log that cannot be written does to the run.
TEST(FinishRun, WritesTheLogWhenAskedAndDueAndReportsAFailureOnlyOnScreen) {
  enum class Folder { writable, denied };
  struct Case {
    std::int32_t code;
    bool silent;
    bool log_output;
    Folder folder;
    bool os_named;
    bool written;
    std::vector<std::uint16_t> screens;
  };
  const Case cases[] = {
      {0, false, true, Folder::writable, true, false, {201}},
      {500, false, true, Folder::writable, true, true, {193}},
      {600, true, true, Folder::writable, true, true, {}},
      {500, false, false, Folder::writable, true, false, {193}},
      {801, false, true, Folder::writable, true, false, {}},
      {801, true, true, Folder::writable, true, true, {}},
      {100, true, true, Folder::writable, true, true, {}},
      {1001, false, true, Folder::denied, true, false, {196, 197}},
      {1001, true, true, Folder::denied, true, false, {}},
      {500, false, true, Folder::writable, false, false, {193, 197}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + (c.silent ? " silent" : "") + (c.log_output ? " /LFO" : ""));
    ScreenBench b(language_english, c.silent);
    char name[] = "/tmp/tz594k-finish-XXXXXX";
    const std::string folder = ::mkdtemp(name) != nullptr ? name : "";
    std::snprintf(b.ctx->app.program_folder, sizeof(b.ctx->app.program_folder), "%s", folder.c_str());
    if (c.folder == Folder::denied) b.host.files.deny_folder(folder.c_str());
    if (c.os_named) b.host.system.set_version(1, 4, 10, 0x040A08AE);
    b.ctx->app.switches.log_output = c.log_output ? 1 : 0;
    record_result(b.ctx->app.result, c.code, "x");
    finish_run(*b.ctx);
    EXPECT_EQ(b.ctx->app.exit_code, exit_code_for(c.code));
    EXPECT_EQ(result_code(b.ctx->app.result), c.code);
    EXPECT_EQ(b.host.dialogs.opened_templates(), c.screens);
    EXPECT_EQ(!std::filesystem::is_empty(folder), c.written);
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
}  // namespace tz
