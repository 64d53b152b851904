#include "app/run_flow.h"

#include "app/context.h"
#include "app/screens.h"
#include "app/switches.h"
#include "drive/drive_table.h"

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

void apply_method_flags(Context& ctx) {
  const DriveRecord* d = current_drive_record(ctx);
  if (d == nullptr) return;
  BuildSwitches& build = ctx.app.build;
  if (d->method_flags[1] != 3) {
    build.EXEC_BOOT_SYSTEM_NUMBER = 0;
    build.SYNC_BOOT_SYSTEM_NUMBER = 0;
  }
  if (d->method_flags[2] == 0) build.COMPARE_SEND_DATA_NUMBER = 0;
  if (d->method_flags[3] == 0) build.VERIFY_PROCESS_NUMBER = 0;
}

}  // namespace tz
