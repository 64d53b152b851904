#pragma once
// Mains power for the ROM rewrite: a laptop whose battery runs out part-way through it leaves the
// drive without firmware, so the update neither starts nor rewrites on battery power unless the
// user plugs the AC adapter in or "/IP" says the power is safe.
#include <cstdint>

#include "platform/system.h"
#include "ui/ui_state.h"

namespace tz {

// What a run that would not rewrite on battery records: the code launchers already know as
// "[OTHER ERROR]" (exit code 8), with a message of its own.
inline constexpr std::int32_t power_refused_code = 800;
inline constexpr char power_refused_message[] = "AC power required.";

// True when the system runs on its battery: the AC line offline and a system battery present. A
// system that lacks the call, has no battery, or reports an unknown state is not held up.
bool on_battery_power(const platform::PowerStatus& status);

// The check before the drive is touched and again before every ROM rewrite: true to go on. On
// battery a silent run stops at once; a user is shown the battery screen until the AC adapter is
// in or he leaves it. With "/IP" the power is not looked at. The caller records a refusal.
bool check_mains_power(Ui& ui, platform::System& system);

}  // namespace tz
