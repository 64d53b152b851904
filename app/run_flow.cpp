#include "app/run_flow.h"

#include "app/context.h"
#include "app/drive_selection.h"
#include "app/switches.h"
#include "drive/discovery.h"
#include "drive/drive_table.h"
#include "drive/info_screens.h"
#include "drive/preparation.h"
#include "drive/targets.h"
#include "drive/trace.h"
#include "image/image_load.h"
#include "image/layout.h"
#include "image/matching.h"
#include "platform/devices.h"
#include "ui/power.h"
#include "ui/screens.h"
#include "update/result_log.h"
#include "update/update_screens.h"

namespace tz {

namespace {

// The print switches, each screen in its order; true when any was asked for, which means no update.
bool print_screens(Context& ctx) {
  const RunSwitches& sw = ctx.app.switches;
  if (sw.version_print != 0) {
    if (load_firmware_image(ctx.image, ctx.app.texts) == 0) {
      show_firmware_version(ctx.ui, ctx.image.image_identity);
    } else {
      show_execution_error(ctx.ui, 2);
    }
  }
  if (sw.detail_print != 0) {
    if (load_firmware_image(ctx.image, ctx.app.texts) == 0) {
      show_detail_version(ctx.link);
    } else {
      show_execution_error(ctx.ui, 4);
    }
  }
  if (sw.copyright_print != 0) {
    // The screen shows what was formatted last, so it is formatted right before it opens.
    format_copyright(ctx.link);
    show_copyright(ctx.ui);
  }
  return sw.version_print != 0 || sw.detail_print != 0 || sw.copyright_print != 0;
}

bool pass_through(const Context& ctx) { return ctx.drive.transport == transport_pass_through; }

// What every run that searched the drives ends with: locks and handles go back to the system.
void release(Context& ctx) {
  if (!pass_through(ctx)) return;
  unlock_locked_volumes(ctx.link);
  close_target_handles(ctx.link);
}

void choose(Context& ctx, std::uint32_t index) {
  ctx.drive.current_drive = index;
  ctx.drive.drive_table[index].status = drive_status_chosen_target;
}

bool launcher_started(const Context& ctx) {
  return ctx.app.switches.launcher_loading != 0 || ctx.app.switches.launcher_run_check != 0;
}

// The drive search: true to go on.
bool search_drives(Context& ctx) {
  if (!launcher_started(ctx)) open_processing_window(ctx.ui);
  const int r = scan_drives(ctx.link);
  close_processing_window(ctx.ui);
  switch (r) {
    case 0:
      if (count_drives_by_status(ctx.drive, drive_status_candidate_a) == 0 &&
          count_drives_by_status(ctx.drive, drive_status_candidate_b) == 0 &&
          count_drives_by_status(ctx.drive, drive_status_candidate_c) == 0) {
        show_not_applicable(ctx.ui);
        record_result(ctx.app.result, 100, "Supported drive is not found.(1)");
        return false;
      }
      break;
    case 1:
      break;
    case -1:
      show_not_applicable(ctx.ui);
      record_result(ctx.app.result, 100, "Supported drive is not found.(2)");
      return false;
    case user_chose_exit:
      return false;
    default:
      record_result(ctx.app.result, 802, "Eject failed.(1)");
      return false;
  }
  ctx.app.pending_exit_code = launcher_check_exit_code;
  return true;
}

bool match_drives(Context& ctx) {
  const int r = select_update_targets(ctx.link);
  if (r == 0) {
    show_not_applicable(ctx.ui);
    record_result(ctx.app.result, 400, "Non drive match to F/W data.(1)");
    return false;
  }
  if (r == 5) {
    show_already_updated(ctx.ui);
    record_result(ctx.app.result, 401, "Drive F/W already updated.(1)");
    return false;
  }
  ctx.app.pending_exit_code = launcher_check_exit_code;
  return true;
}

// Removable drives are never updated; then one target is taken as it is, the first in silent
// mode, or the user's choice.
bool choose_drive(Context& ctx) {
  for (DriveRecord& d : ctx.drive.drive_table) {
    if (d.drive_type == platform::drive_removable) d.status = drive_status_answered;
  }
  const std::uint32_t targets = count_drives_by_status(ctx.drive, drive_status_target);
  if (targets == 0) {
    // Every target was removable: nothing may be updated, and the run says so like any run that
    // found no drive for the image.
    show_not_applicable(ctx.ui);
    record_result(ctx.app.result, 100, "Supported drive is not found.(3)");
    return false;
  }
  if (targets == 1 || ctx.ui.silent()) {
    choose(ctx, find_drive_by_status(ctx.drive, drive_status_target, 0));
    return true;
  }
  return show_drive_selection(ctx.link) == 0;
}

// Notice, tray, start confirmation and the tray once more: the user's last words before the
// update. True to go on.
bool confirm(Context& ctx) {
  if (ctx.ui.silent()) return true;
  if (show_notice(ctx.ui) != 0 || wait_for_open_tray(ctx.link, 0) == user_chose_exit) return false;
  if (ctx.drive.drive_table[ctx.drive.current_drive].identity_source != identity_source_drive) return false;
  if (show_start_confirmation(ctx.link) != 0) return false;
  return wait_for_open_tray(ctx.link, 0) != user_chose_exit;
}

// A detection run answers as the update would end, as far as INQUIRY tells: 1001 when a supported
// drive reports a level the update takes, 99 (already updated) when none does and one reports the
// image's, 4 (no match) when the supported drives are at levels the image does not take, 1 (no
// drive) when there is none. Nothing is recorded: INQUIRY alone proves no result of an update.
void detection_flow(Context& ctx) {
  if (load_firmware_image(ctx.image, ctx.app.texts) != 0) {
    show_execution_error(ctx.ui, 1);  // silent: recorded, no screen
    finish_run(ctx);
    return;
  }
  switch (detect_drives(ctx.link)) {
    case Detection::update_needed:
      ctx.app.exit_code = launcher_check_exit_code;
      break;
    case Detection::no_match:
      ctx.app.exit_code = exit_code_for(400);
      break;
    case Detection::all_carry_image:
      ctx.app.exit_code = exit_code_for(401);
      break;
    case Detection::no_supported_drive:
      ctx.app.exit_code = exit_code_for(100);
      break;
  }
}

// The trace begins once the switches have passed their check; it names the carried image by the
// revision in its header, read without loading it, and never holds an access token.
void start_trace(Context& ctx, const char* arguments) {
  IdentityRecord header{};
  const StoredImage& stored = *ctx.image.stored;
  if (stored.header != nullptr && stored.header_size >= header_bytes) parse_image_header(stored.header, header);
  char masked[switch_work_area_size];
  mask_access_tokens(arguments, masked, sizeof(masked));
  begin_trace(ctx.link, {ctx.app.program_folder, masked, header.header_revision});
}

void update_flow(Context& ctx) {
  if (load_firmware_image(ctx.image, ctx.app.texts) != 0) {
    show_execution_error(ctx.ui, 1);
    finish_run(ctx);
    return;
  }
  // A silent run on battery sends nothing to any drive: a tool that retries it later would
  // otherwise eject every tray at each try. A user is asked after the search, before the update.
  if (ctx.ui.silent() && ctx.app.switches.launcher_run_check == 0 && !check_mains_power(ctx.ui, ctx.os.system)) {
    record_result(ctx.app.result, power_refused_code, power_refused_message);
    finish_run(ctx);
    return;
  }
  bool go_on = search_drives(ctx) && match_drives(ctx);
  if (go_on && ctx.app.switches.launcher_run_check != 0) {
    release(ctx);
    ctx.app.exit_code = ctx.app.pending_exit_code;
    return;
  }
  if (go_on && pass_through(ctx)) open_target_handles(ctx.link);  // a device that does not open fails its lock next
  if (go_on && lock_target_volumes(ctx.link, ctx.app.main_window) != 0) {
    if (ctx.ui.silent()) {
      record_result(ctx.app.result, 100, "Drive is using.(1)");
    } else {
      show_drive_in_use(ctx.ui);
    }
    go_on = false;
  }
  go_on = go_on && choose_drive(ctx) && confirm(ctx);
  // On battery the user's update does not start before the AC adapter is in, or "/IP" says so.
  if (go_on && !ctx.ui.silent() && !check_mains_power(ctx.ui, ctx.os.system)) {
    record_result(ctx.app.result, power_refused_code, power_refused_message);
    go_on = false;
  }
  if (go_on) {
    apply_method_flags(ctx);
    show_progress_screen(ctx.link, ctx.app.result);
  }
  finish_run(ctx);
  release(ctx);
}

}  // namespace

void run_flow(Context& ctx, const char* arguments) {
  if (validate_switches(ctx, arguments) != 0) {
    if (!ctx.ui.silent()) show_invalid_option(ctx.ui);
    finish_run(ctx);
    return;
  }
  if (ctx.app.switches.trace_output != 0) start_trace(ctx, arguments);
  if (print_screens(ctx)) return;  // no update and no finish_run: the exit code stays 8
  if (ctx.app.switches.detection_check != 0) {
    detection_flow(ctx);
    return;
  }
  update_flow(ctx);
}

void apply_method_flags(Context& ctx) {
  const DriveRecord* d = current_drive_record(ctx.drive);
  if (d == nullptr) return;
  BuildSwitches& build = ctx.app.build;
  if (d->method_flags[1] != 3) {
    build.EXEC_BOOT_SYSTEM_NUMBER = 0;
    build.SYNC_BOOT_SYSTEM_NUMBER = 0;
  }
  if (d->method_flags[2] == 0) build.COMPARE_SEND_DATA_NUMBER = 0;
  if (d->method_flags[3] == 0) build.VERIFY_PROCESS_NUMBER = 0;
}

void finish_run(Context& ctx) {
  const std::int32_t c = result_code(ctx.app.result);
  if (!ctx.ui.silent()) show_result_screen(ctx.ui, c);
  ctx.app.exit_code = exit_code_for(c);
  // A detection run writes nothing, also when it ends before its switches are judged.
  if (ctx.app.switches.log_output == 0 || ctx.app.switches.detection_check != 0 || !result_log_due(c, ctx.ui.silent()))
    return;
  // A log that cannot be written changes neither the result nor the exit code.
  if (write_result_log(ctx.log, log_file_path(ctx.log)) != log_written && !ctx.ui.silent()) show_log_failure(ctx.ui);
}

}  // namespace tz
