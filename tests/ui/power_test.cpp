// Mains power before the ROM rewrite: which power states hold the run up, and the battery screen
// that asks for the AC adapter.
#include "ui/power.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/context.h"
#include "tests/support/fixture.h"
#include "ui/screens.h"

namespace tz {
namespace {

using platform::PowerStatus;

TEST(MainsPower, OnlyABatteryInUseHoldsTheRunUp) {
  const struct Case {
    const char* what;
    PowerStatus status;
    bool on_battery;
  } cases[] = {
      {"on AC, no system battery (a desktop)", {1, 128, 255}, false},
      {"on AC, battery charging", {1, 8, 60}, false},
      {"on battery, high", {0, 1, 80}, true},
      {"on battery, between low and high (no flag)", {0, 0, 40}, true},
      {"on battery, critical", {0, 4, 3}, true},
      {"AC offline, no system battery", {0, 128, 255}, false},
      {"AC offline, battery state unknown", {0, 255, 255}, false},
      {"AC state unknown, battery present", {255, 1, 80}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(on_battery_power(c.status), c.on_battery) << c.what;
}

// The check itself: the switch goes on unasked, a silent run stops, a user is asked until the AC
// adapter is in or he leaves; the battery screen in the run's language.
TEST(MainsPower, TheCheckAsksUntilTheAdapterIsInOrTheUserLeaves) {
  const PowerStatus battery{0, 1, 80};
  const PowerStatus mains{1, 1, 80};
  const struct Case {
    const char* what;
    bool ignore_power;
    bool silent;
    std::uint8_t language;
    std::vector<int> buttons;  // the user's answers on the battery screen, in order
    bool plug_in_at_screen;    // the AC adapter goes in while the screen stands
    bool go_on;
    std::vector<std::uint16_t> screens;
    std::uint32_t queries;
  } cases[] = {
      {"/IP", true, false, language_english, {}, false, true, {}, 0},
      {"/IP, silent", true, true, language_english, {}, false, true, {}, 0},
      {"silent", false, true, language_english, {}, false, false, {}, 1},
      {"the user leaves", false, false, language_english, {2}, false, false, {295}, 1},
      {"the user closes the screen", false, false, language_japanese, {}, false, false, {294}, 1},
      {"retry still on battery, then leave", false, false, language_english, {1, 2}, false, false, {295, 295}, 2},
      {"plugged in, retry", false, false, language_english, {1}, true, true, {295}, 2},
  };
  for (const Case& c : cases) {
    test::Fixture f;
    f.ctx->app.switches.ignore_power = c.ignore_power ? 1 : 0;
    f.ctx->app.switches.silent = c.silent ? 1 : 0;
    f.ctx->app.language = c.language;
    f.host.system.power = battery;
    for (const int button : c.buttons) f.host.dialogs.press(screen_on_battery.english, button);
    for (const int button : c.buttons) f.host.dialogs.press(screen_on_battery.japanese, button);
    if (c.plug_in_at_screen) f.host.dialogs.on_open = [&f, mains](std::uint16_t) { f.host.system.power = mains; };
    EXPECT_EQ(check_mains_power(f.ctx->ui, f.host.system), c.go_on) << c.what;
    EXPECT_EQ(f.host.dialogs.opened_templates(), c.screens) << c.what;
    EXPECT_EQ(f.host.system.power_queries, c.queries) << c.what;
  }
}

TEST(MainsPower, ASystemWithoutTheCallIsNotHeldUp) {
  test::Fixture f;
  f.host.system.power.reset();
  EXPECT_TRUE(check_mains_power(f.ctx->ui, f.host.system));
  EXPECT_EQ(f.host.system.power_queries, 1u);
  EXPECT_TRUE(f.host.dialogs.opened_templates().empty());
}

}  // namespace
}  // namespace tz
