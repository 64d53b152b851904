#pragma once

namespace tz {

struct Context;

// What the program does once start-up found no other instance.
void run_flow(Context& ctx, const char* arguments);

// Clears the build switches the current drive's table entry says it lacks: no boot mode (flag 1
// not 3) clears the boot-mode command and the synchronous rewrite, flag 2 of 0 the read-back, flag
// 3 of 0 the verify phase. Switches are only ever cleared here, never set.
void apply_method_flags(Context& ctx);

// The common end of a run: result screen, exit code, result log.
void finish_run(Context& ctx);

}  // namespace tz
