#include "drive/preparation.h"

#include "drive/commands.h"
#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "ui/screens.h"
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

int query_tray_state(DriveLink& link) {
  DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr) return tray_unreadable;
  // Slot loaders and drives of that kind have no tray to ask about.
  if (d->tray_check_method == 2 || d->tray_check_method == 3) return tray_open;
  const std::uint8_t* reply = link.state.scsi_data_buffer;
  if (cmd_get_event_status(link, media_class_request, media_event_length) == 0) {
    d->media_present = (reply[5] >> 1) & 1;
    return (reply[5] & 0x01) != 0 ? tray_open : tray_closed;
  }
  if (cmd_vendor_read_status(link, tray_status_selector, tray_status_length) != 0) return tray_unreadable;
  d->media_present = 0;
  return (reply[2] & 0x40) != 0 ? tray_open : tray_closed;
}

int wait_for_open_tray(DriveLink& link, int hide_window) {
  int result = -1;
  while (result == -1) {
    if (query_tray_state(link) == tray_open) {
      result = 0;
      continue;
    }
    // A tray whose state cannot be read is asked for like a closed one.
    if (hide_window == 1) close_processing_window(link.ui);
    if (show_tray_prompt(link.ui) != 0) result = user_chose_exit;
    if (hide_window == 1 && result != user_chose_exit) open_processing_window(link.ui);
  }
  return result;
}

int auto_open_tray(DriveLink& link) {
  if (query_tray_state(link) != tray_closed) return 0;
  open_processing_window(link.ui);
  if (eject_and_check(link, link.ui.state.processing_window) == 0) return 0;
  close_processing_window(link.ui);
  return tray_could_not_open;
}

int eject_and_check(DriveLink& link, platform::Handle window) {
  const bool eject = link.build.eject_switch == 1;
  if (eject) {
    cmd_eject(link, 0);
  } else {
    cmd_stop(link, 0);
  }
  wait_servicing(link.ui, tray_settle_ms, window);
  if (!eject) return 0;
  const int tray = query_tray_state(link);
  wait_servicing(link.ui, tray_settle_ms, window);
  return tray == tray_open ? 0 : -1;
}

int open_target_handles(DriveLink& link) {
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    const DriveRecord& d = link.state.drive_table[link.state.current_drive];
    if (is_target(d) && d.device_handle == platform::invalid_handle_value && spt_open(link) != 0) return -1;
  }
  return 0;
}

void close_target_handles(DriveLink& link) {
  // Every handle held, also of a target dropped since it was opened (a removable drive).
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    if (link.state.drive_table[link.state.current_drive].device_handle != platform::invalid_handle_value)
      spt_close(link);
  }
}

int lock_target_volumes(DriveLink& link, platform::Handle window) {
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    service_messages(link.ui, window);
    if (is_target(link.state.drive_table[link.state.current_drive]) && set_volume_lock(link, 1) != 0) return -1;
  }
  return 0;
}

void unlock_locked_volumes(DriveLink& link) {
  for (link.state.current_drive = 0; link.state.current_drive < drive_table_size; ++link.state.current_drive) {
    if (link.state.drive_table[link.state.current_drive].volume_locked == 1) set_volume_lock(link, 0);
  }
}

int set_volume_lock(DriveLink& link, std::uint8_t lock) {
  if (link.state.transport != transport_pass_through) return 0;
  DriveRecord* d = current_drive_record(link.state);
  if (d == nullptr || spt_lock_volume(link, lock) != 0) return -1;
  d->volume_locked = lock;
  return 0;
}

}  // namespace tz
