#include "drive/preparation.h"

#include "app/context.h"
#include "ui/screens.h"
#include "drive/commands.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "ui/waits.h"

namespace tz {

namespace {

constexpr std::uint8_t media_class_request = 0x10;
constexpr std::uint16_t media_event_length = 8;
constexpr std::uint8_t tray_status_selector = 0x30;
constexpr std::uint32_t tray_status_length = 4;
constexpr std::uint32_t tray_settle_ms = 100;

bool is_target(const DriveRecord& d) {
  return d.status == drive_status_target || d.status == drive_status_chosen_target;
}

}  // namespace

int query_tray_state(Context& ctx) {
  DriveRecord* d = current_drive_record(ctx);
  if (d == nullptr) return tray_unreadable;
  // Slot loaders and drives of that kind have no tray to ask about.
  if (d->tray_check_method == 2 || d->tray_check_method == 3) return tray_open;
  const std::uint8_t* reply = ctx.drive.scsi_data_buffer;
  if (cmd_get_event_status(ctx, media_class_request, media_event_length) == 0) {
    d->media_present = (reply[5] >> 1) & 1;
    return (reply[5] & 0x01) != 0 ? tray_open : tray_closed;
  }
  if (cmd_vendor_read_status(ctx, tray_status_selector, tray_status_length) != 0) return tray_unreadable;
  d->media_present = 0;
  return (reply[2] & 0x40) != 0 ? tray_open : tray_closed;
}

int wait_for_open_tray(Context& ctx, int hide_window) {
  int result = -1;
  while (result == -1) {
    if (query_tray_state(ctx) == tray_open) {
      result = 0;
      continue;
    }
    // A tray whose state cannot be read is asked for like a closed one.
    if (hide_window == 1) close_processing_window(ctx);
    if (show_tray_prompt(ctx) != 0) result = user_chose_exit;
    if (hide_window == 1 && result != user_chose_exit) open_processing_window(ctx);
  }
  return result;
}

int auto_open_tray(Context& ctx) {
  if (query_tray_state(ctx) != tray_closed) return 0;
  open_processing_window(ctx);
  if (eject_and_check(ctx, ctx.ui.processing_window) == 0) return 0;
  close_processing_window(ctx);
  return tray_could_not_open;
}

int eject_and_check(Context& ctx, platform::Handle window) {
  const bool eject = ctx.app.build.eject_switch == 1;
  if (eject) {
    cmd_eject(ctx, 0);
  } else {
    cmd_stop(ctx, 0);
  }
  wait_servicing(ctx, tray_settle_ms, window);
  if (!eject) return 0;
  const int tray = query_tray_state(ctx);
  wait_servicing(ctx, tray_settle_ms, window);
  return tray == tray_open ? 0 : -1;
}

int open_target_handles(Context& ctx) {
  for (ctx.drive.current_drive = 0; ctx.drive.current_drive < drive_table_size; ++ctx.drive.current_drive) {
    const DriveRecord& d = ctx.drive.drive_table[ctx.drive.current_drive];
    if (is_target(d) && d.device_handle == platform::invalid_handle_value && spt_open(ctx) != 0) return -1;
  }
  return 0;
}

void close_target_handles(Context& ctx) {
  // Every handle held, also of a target dropped since it was opened (a removable drive).
  for (ctx.drive.current_drive = 0; ctx.drive.current_drive < drive_table_size; ++ctx.drive.current_drive) {
    if (ctx.drive.drive_table[ctx.drive.current_drive].device_handle != platform::invalid_handle_value) spt_close(ctx);
  }
}

int lock_target_volumes(Context& ctx, platform::Handle window) {
  for (ctx.drive.current_drive = 0; ctx.drive.current_drive < drive_table_size; ++ctx.drive.current_drive) {
    service_messages(ctx, window);
    if (is_target(ctx.drive.drive_table[ctx.drive.current_drive]) && set_volume_lock(ctx, 1) != 0) return -1;
  }
  return 0;
}

void unlock_locked_volumes(Context& ctx) {
  for (ctx.drive.current_drive = 0; ctx.drive.current_drive < drive_table_size; ++ctx.drive.current_drive) {
    if (ctx.drive.drive_table[ctx.drive.current_drive].volume_locked == 1) set_volume_lock(ctx, 0);
  }
}

int set_volume_lock(Context& ctx, std::uint8_t lock) {
  if (ctx.app.transport != transport_pass_through) return 0;
  DriveRecord* d = current_drive_record(ctx);
  if (d == nullptr || spt_lock_volume(ctx, lock) != 0) return -1;
  d->volume_locked = lock;
  return 0;
}

}  // namespace tz
