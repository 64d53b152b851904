#pragma once
// Mains power for the ROM rewrite: a laptop whose battery runs out part-way through it leaves the
// drive without firmware, so the update neither starts nor rewrites on battery power unless the
// user plugs the AC adapter in or "/IP" says the power is safe.
#include <cstdint>

#include "platform/system.h"
#include "ui/ui_state.h"

namespace tz {

// What a run refused on battery before it sent anything records: the code launchers already know
// as "[OTHER ERROR]" (exit code 8, try again any time), with a message of its own.
inline constexpr std::int32_t power_refused_code = 800;
// The same refusal right before the first ROM rewrite, after the download: logged alike, but its
// exit code (5) tells a launcher that the computer must be powered off and on first.
inline constexpr std::int32_t power_refused_before_rewrite_code = 803;
inline constexpr char power_refused_message[] = "AC power required.";

// True when the system runs on its battery: the AC line offline and a system battery present. A
// system that lacks the call, has no battery, or reports an unknown state is not held up.
bool on_battery_power(const platform::PowerStatus& status);

// The check before the update starts (a silent run: before the drive search) and again before the
// first ROM rewrite request, never after one was sent: true to go on. On
// battery a silent run stops at once; a user is shown the battery screen until the AC adapter is
// in or he leaves it. With "/IP" the power is not looked at. The caller records a refusal.
bool check_mains_power(Ui& ui, platform::System& system);

}  // namespace tz
