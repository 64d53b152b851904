#include "drive/discovery.h"

#include "app/context.h"
#include "drive/commands.h"
#include "drive/drive_table.h"
#include "drive/preparation.h"
#include "drive/transport.h"
#include "image/drive_identity.h"
#include "image/matching.h"

namespace tz {

namespace {

constexpr int readiness_polls = 5;
constexpr int drive_letter_name_offset = 4;  // "\\.\X:" -> "X:"

int scan_pass_through(Context& ctx) {
  int result = -1;
  for (ctx.drive.current_drive = 0; ctx.drive.current_drive < drive_table_size; ++ctx.drive.current_drive) {
    DriveRecord& d = ctx.drive.drive_table[ctx.drive.current_drive];
    int drive_result = -1;
    if (spt_open(ctx) == 0) {
      d.drive_type = ctx.os.devices.get_drive_type(d.device_path + drive_letter_name_offset);
      drive_result = probe_drive(ctx);
      if (drive_result == 0) {
        query_tray_state(ctx);
        result = 0;
      }
    }
    spt_close(ctx);
    if (result == -1 && drive_result == 1) {
      result = 1;
    } else if (drive_result == tray_could_not_open || drive_result == user_chose_exit) {
      return drive_result;
    }
  }
  return result;
}

int scan_aspi(Context& ctx) {
  if (aspi_load(ctx) != 0) return -1;
  int result = -1;
  for (ctx.drive.current_drive = 0; ctx.drive.current_drive < drive_table_size && result != tray_could_not_open;
       ++ctx.drive.current_drive) {
    for (int i = 0; i < readiness_polls; ++i) cmd_test_unit_ready(ctx, 0);
    const int drive_result = probe_drive(ctx);
    if (drive_result == 0) {
      query_tray_state(ctx);
      result = 0;
    }
    // A user's EXIT here does not end the scan: a later drive may still be a candidate.
    if (result == -1 && drive_result == 1) {
      result = 1;
    } else if (drive_result == tray_could_not_open || drive_result == user_chose_exit) {
      result = drive_result;
    }
  }
  return result;
}

}  // namespace

int probe_drive(Context& ctx) {
  if (read_inquiry_identity(ctx) != 0) return -1;
  DriveRecord* d = current_drive_record(ctx);
  if (d == nullptr || is_supported_pair(ctx, d->vendor_id, d->product_id) != 0) return -1;
  const int tray = ctx.silent() ? auto_open_tray(ctx) : wait_for_open_tray(ctx, 1);
  if (tray != 0) return tray;
  if (read_drive_identity(ctx) != 0) return -1;
  d->identity_source = identity_source_drive;
  return classify_drive_identity(ctx);
}

int scan_drives(Context& ctx) {
  init_drive_table(ctx);
  return ctx.app.transport == transport_pass_through ? scan_pass_through(ctx) : scan_aspi(ctx);
}

}  // namespace tz
