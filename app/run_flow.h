#pragma once

namespace tz {

struct Context;

// What the program does once start-up found no other instance.
void run_flow(Context& ctx, const char* arguments);

}  // namespace tz
