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

// The argument text with every access token written as "***", for what the program keeps of its
// command line outside itself (the trace): never longer than the text, cut to `size`.
void mask_access_tokens(const char* arguments, char* out, std::size_t size);

void first_switch_scan(Context& ctx, const char* arguments);
void launcher_switch_scan(Context& ctx, const char* arguments);
// 0 when the switches are acceptable, -1 otherwise; may record 700 or 701.
int validate_switches(Context& ctx, const char* arguments);

}  // namespace tz
