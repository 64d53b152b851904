#include "ui/waits.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "tests/support/fixture.h"

namespace tz {
namespace {

using platform::host::DialogEvent;
using Kind = DialogEvent::Kind;

constexpr platform::Handle window = 0x4242;

std::vector<std::int32_t> times_of(const test::Fixture& f, Kind kind) {
  std::vector<std::int32_t> times;
  for (const DialogEvent& e : f.host.dialogs.events) {
    if (e.kind == kind) times.push_back(e.time);
  }
  return times;
}

void queue_clicks(test::Fixture& f, int n) {
  for (int i = 0; i < n; ++i) f.host.dialogs.queue_message(window, platform::wm_lbuttondown);
}

TEST(BusyWait, WaitsTheTimeAndTouchesNoWindow) {
  struct Case {
    std::int32_t ms;
    std::int32_t elapsed;
  };
  for (const Case c : {Case{0, 0}, Case{1, 1}, Case{30, 30}, Case{499, 499}, Case{2000, 2000}, Case{-5, 0}}) {
    test::Fixture f;
    queue_clicks(f, 1);
    EXPECT_EQ(busy_wait(f.ctx->os.clock, c.ms), 0);
    EXPECT_EQ(f.host.clock.now_ms(), c.elapsed) << c.ms;
    EXPECT_TRUE(f.host.dialogs.events.empty()) << c.ms << " ms: the wait must not service or refresh";
    EXPECT_EQ(f.host.dialogs.queue.size(), 1u);
  }
}

TEST(BusyWait, HoldsAcrossTheClockWrappingAround) {
  test::Fixture f;
  f.host.clock.advance(std::numeric_limits<std::int32_t>::max() - 10);
  const std::int32_t start = f.host.clock.now_ms();
  busy_wait(f.ctx->os.clock, 30);
  const std::int32_t end = f.host.clock.now_ms();
  EXPECT_LT(end, start) << "the clock wrapped";
  EXPECT_EQ(static_cast<std::uint32_t>(end) - static_cast<std::uint32_t>(start), 30u);
}

TEST(WaitServicing, ServicesOnceBeforeEachFullSliceThenRefreshesAndWaitsTheRest) {
  struct Case {
    std::uint32_t ms;
    int services;
  };
  for (const Case c :
       {Case{0, 0}, Case{100, 0}, Case{499, 0}, Case{500, 1}, Case{501, 1}, Case{1500, 3}, Case{2000, 4}}) {
    test::Fixture f;
    queue_clicks(f, 10);
    EXPECT_EQ(wait_servicing(f.ctx->ui, c.ms, window), 0);
    EXPECT_EQ(f.host.clock.now_ms(), static_cast<std::int32_t>(c.ms)) << c.ms;
    // One queued input taken away per slice, at the slice's start.
    std::vector<std::int32_t> slices;
    for (int i = 0; i < c.services; ++i) slices.push_back(500 * i);
    EXPECT_EQ(times_of(f, Kind::removed), slices) << c.ms;
    EXPECT_EQ(f.host.dialogs.queue.size(), static_cast<std::size_t>(10 - c.services));
    // Each service refreshes first; the last refresh comes after the slices, before the rest.
    std::vector<std::int32_t> refreshes = slices;
    refreshes.push_back(500 * c.services);
    EXPECT_EQ(times_of(f, Kind::bring_to_top), refreshes) << c.ms;
    EXPECT_EQ(times_of(f, Kind::update), refreshes) << c.ms;
    EXPECT_EQ(f.host.dialogs.count(Kind::dispatched), 0u);
  }
}

TEST(ServiceMessages, PassesOnPowerAndShutdownQueriesAndDropsAnythingElse) {
  constexpr std::uint32_t click = platform::wm_lbuttondown;
  constexpr std::uint32_t power = platform::wm_powerbroadcast;
  constexpr std::uint32_t shutdown = platform::wm_queryendsession;
  struct Case {
    const char* name;
    std::vector<std::uint32_t> queued;
    int result;
    std::uint32_t dispatched;  // 0: nothing dispatched
    std::vector<std::uint32_t> left;
  };
  const Case cases[] = {
      {"empty queue", {}, 1, 0, {}},
      {"a click is dropped unseen", {click, click}, 0, 0, {click}},
      {"a key press is dropped unseen", {platform::wm_keydown}, 0, 0, {}},
      {"a power broadcast is passed on and stays", {power}, 0, power, {power}},
      {"a shutdown query is passed on and stays", {shutdown}, 0, shutdown, {shutdown}},
      {"power goes first, wherever it is", {click, shutdown, power}, 0, power, {click, shutdown, power}},
      {"a shutdown query behind a click", {click, shutdown}, 0, shutdown, {click, shutdown}},
  };
  for (const Case& c : cases) {
    test::Fixture f;
    for (const std::uint32_t m : c.queued) f.host.dialogs.queue_message(0x10010, m);
    EXPECT_EQ(service_messages(f.ctx->ui, window), c.result) << c.name;
    const auto& events = f.host.dialogs.events;
    ASSERT_GE(events.size(), 2u) << c.name;
    EXPECT_EQ(events[0].kind, Kind::bring_to_top) << c.name;
    EXPECT_EQ(events[0].window, window) << c.name;
    EXPECT_EQ(events[1].kind, Kind::update) << c.name;
    EXPECT_EQ(f.host.dialogs.count(Kind::dispatched), c.dispatched != 0 ? 1u : 0u) << c.name;
    if (c.dispatched != 0) {
      EXPECT_EQ(events.back().kind, Kind::dispatched) << c.name;
      EXPECT_EQ(events.back().value, static_cast<std::intptr_t>(c.dispatched)) << c.name;
    }
    std::vector<std::uint32_t> left;
    for (const platform::QueuedMessage& m : f.host.dialogs.queue) left.push_back(m.message);
    EXPECT_EQ(left, c.left) << c.name;
  }
}

}  // namespace
}  // namespace tz
