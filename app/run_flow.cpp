#include "app/run_flow.h"

#include "app/context.h"
#include "app/screens.h"
#include "app/switches.h"

namespace tz {

void run_flow(Context& ctx, const char* arguments) {
  if (validate_switches(ctx, arguments) != 0) {
    if (!ctx.silent()) show_invalid_option(ctx);
    finish_run(ctx);
    return;
  }
  // The print screens and the update flow follow the switch check here.
  finish_run(ctx);
}

}  // namespace tz
