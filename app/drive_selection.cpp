#include "app/drive_selection.h"

#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "ui/formatting.h"
#include "ui/screens.h"

namespace tz {

namespace {

using platform::Handle;

const char* format_line(DriveLink& link, const DriveRecord& d) {
  const IdentityRecord& id = d.identity;
  if (link.state.transport == transport_pass_through) {
    const char* letter = d.device_path + device_letter_offset;
    // The runtime ignores a blank flag on %s: the fields are right-aligned in their widths.
    return format_text(link.ui, " (%s) %8s %16s %4s", letter, id.info_vendor, id.info_product, id.info_revision);
  }
  return format_text(link.ui, " [%d %d] %8s %16s %4s", d.ha_id, d.target_id, id.info_vendor, id.info_product,
                     id.info_revision);
}

void fill_list(DriveLink& link, Handle window) {
  platform::Dialogs& dialogs = link.ui.dialogs;
  for (const DriveRecord& d : link.state.drive_table) {
    if (d.status != drive_status_target) continue;
    dialogs.send_item_message(window, control_drive_list, platform::cb_addstring, 0,
                              reinterpret_cast<std::intptr_t>(format_line(link, d)));
  }
  dialogs.send_item_message(window, control_drive_list, platform::cb_setcursel, 0, 0);
}

// The n-th drive of status 6 becomes the one to update.
bool take_choice(DriveLink& link, Handle window) {
  const std::intptr_t line =
      link.ui.dialogs.send_item_message(window, control_drive_list, platform::cb_getcursel, 0, 0);
  if (line < 0 || static_cast<std::uint32_t>(line) >= count_drives_by_status(link.state, drive_status_target))
    return false;
  const std::uint32_t index = find_drive_by_status(link.state, drive_status_target, static_cast<std::uint32_t>(line));
  if (index >= drive_table_size) return false;
  link.state.current_drive = index;
  link.state.drive_table[index].status = drive_status_chosen_target;
  return true;
}

bool selection_procedure(DriveLink& link, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t) {
  platform::Dialogs& dialogs = link.ui.dialogs;
  switch (message) {
    case platform::wm_initdialog:
      open_screen(link.ui, window);
      fill_list(link, window);
      dialogs.set_focus(dialogs.item(window, control_exit));
      return false;  // the focus stays on EXIT
    case platform::wm_command:
      if (wparam == control_positive) {
        // A list that lost its selection chooses nothing, as EXIT would.
        dialogs.end_dialog(window, take_choice(link, window) ? 0 : 1);
        return true;
      }
      if (wparam == control_exit) {
        dialogs.end_dialog(window, 1);
        return true;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace

std::int32_t show_drive_selection(DriveLink& link) {
  return show_screen(link.ui, screen_drive_selection.japanese, screen_drive_selection.english, selection_procedure,
                     link);
}

}  // namespace tz
