#pragma once
// The command line: the two forgiving scans at start-up and the strict check of the run flow.
#include <cstddef>
#include <cstdint>

#include "core/run_switches.h"

namespace tz {

struct Context;

// The work area the scans walk. A longer argument text is cut for the scans and refused by
// validate_switches as an invalid option.
inline constexpr std::size_t switch_work_area_size = 2048;

// The hidden-mode access tokens (15 and 22 characters) that unlock the detailed version listing.
const char* access_token_a();
const char* access_token_b();

void first_switch_scan(Context& ctx, const char* arguments);
void launcher_switch_scan(Context& ctx, const char* arguments);
// 0 when the switches are acceptable, -1 otherwise; may record 700 or 701.
int validate_switches(Context& ctx, const char* arguments);

}  // namespace tz
