#include "ui/screens.h"

#include <iterator>

#include "ui/formatting.h"
#include "ui/message_box.h"
#include "ui/waits.h"

namespace tz {

namespace {

using platform::Handle;
using platform::SystemIcon;

constexpr std::uint32_t processing_wait_ms = 1500;
constexpr std::int32_t execution_error_code = 800;

// How one of the shell's screens behaves; every one of them runs the common procedure below.
struct ShellScreen {
  ScreenPair ids;
  bool paints_icon;
  SystemIcon icon;
  bool positive_button;
  bool focus_on_exit;
  bool shows_formatted_text;  // the main text comes from the formatting buffer
};

constexpr ShellScreen invalid_option{screen_invalid_option, true, SystemIcon::hand, false, false, false};
constexpr ShellScreen not_applicable{screen_not_applicable, true, SystemIcon::exclamation, false, false, false};
constexpr ShellScreen already_updated{screen_already_updated, true, SystemIcon::asterisk, false, false, false};
constexpr ShellScreen tray_closed{screen_tray_closed, true, SystemIcon::asterisk, true, true, false};
constexpr ShellScreen on_battery{screen_on_battery, true, SystemIcon::exclamation, true, true, false};
constexpr ShellScreen eject_failed{screen_eject_failed, true, SystemIcon::hand, false, true, false};
constexpr ShellScreen drive_in_use{screen_drive_in_use, true, SystemIcon::hand, false, true, false};
constexpr ShellScreen execution_error{screen_execution_error, true, SystemIcon::hand, false, false, true};
constexpr ShellScreen notice{screen_notice, true, SystemIcon::asterisk, true, true, false};

bool common_procedure(Ui& ui, const ShellScreen& screen, Handle window, std::uint32_t message, std::uintptr_t wparam) {
  platform::Dialogs& dialogs = ui.dialogs;
  switch (message) {
    case platform::wm_paint:
      if (screen.paints_icon) paint_screen_icon(ui, window, screen.icon);
      return false;
    case platform::wm_initdialog:
      open_screen(ui, window);
      if (screen.shows_formatted_text) dialogs.set_item_text(window, control_main_text, ui.state.formatting_buffer);
      if (!screen.focus_on_exit) return true;
      dialogs.set_focus(dialogs.item(window, control_exit));
      return false;  // keep the focus on the exit button
    case platform::wm_command:
      if (wparam == control_exit) {
        dialogs.end_dialog(window, 1);
        return true;
      }
      if (wparam == control_positive && screen.positive_button) {
        dialogs.end_dialog(window, 0);
        return true;
      }
      return false;
    default:
      return false;
  }
}

template <const ShellScreen& screen>
bool shell_procedure(Ui& ui, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t) {
  return common_procedure(ui, screen, window, message, wparam);
}

template <const ShellScreen& screen>
std::int32_t show_shell_screen(Ui& ui) {
  return show_screen(ui, screen.ids.japanese, screen.ids.english, shell_procedure<screen>, ui);
}

bool processing_procedure(void* user, Handle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message != platform::wm_initdialog) return false;
  open_screen(*static_cast<Ui*>(user), window);
  return true;
}

bool quiet_for_launcher(const Ui& ui) { return ui.silent() || ui.switches.launcher_run_check != 0; }

}  // namespace

std::uint16_t choose_template(const Ui& ui, std::uint16_t japanese_id, std::uint16_t english_id) {
  return ui.language == language_japanese ? japanese_id : english_id;
}

std::int32_t show_dialog_screen(Ui& ui, std::uint16_t japanese_id, std::uint16_t english_id,
                                const platform::DialogProcedure& dialog) {
  const std::intptr_t result =
      ui.dialogs.dialog_box(ui.instance, choose_template(ui, japanese_id, english_id), ui.main_window, dialog);
  return result < 0 ? 1 : static_cast<std::int32_t>(result);
}

void open_screen(Ui& ui, Handle window) {
  ui.dialogs.set_window_text(window, program_title);
  fit_screen_logo(ui, window);
  ui.dialogs.set_focus(window);
}

void fit_screen_logo(Ui& ui, Handle window) {
  // A screen whose logo cannot be fitted still works: the template's own drawing stays.
  ui.dialogs.fit_picture(window, control_logo, ui.instance, logo_drawings, std::size(logo_drawings), logo_height);
}

void paint_screen_icon(Ui& ui, Handle window, SystemIcon icon) {
  ui.dialogs.paint_icon(window, icon, screen_icon_x, screen_icon_y);
}

void open_processing_window(Ui& ui) {
  if (ui.state.processing_window != platform::null_handle) return;
  ui.state.processing_procedure = {processing_procedure, &ui};
  const Handle window =
      ui.dialogs.create_dialog(ui.instance, choose_template(ui, screen_processing.japanese, screen_processing.english),
                               ui.main_window, ui.state.processing_procedure);
  // A window that cannot be created still costs its wait, so the pacing of the run stays the same.
  if (window != platform::null_handle) {
    ui.state.processing_window = window;
    ui.dialogs.show_window(window, platform::sw_show);
  }
  wait_servicing(ui, processing_wait_ms, window);
}

void close_processing_window(Ui& ui) {
  if (ui.state.processing_window == platform::null_handle) return;
  ui.dialogs.destroy_window(ui.state.processing_window);
  ui.state.processing_window = platform::null_handle;
}

void show_execution_error(Ui& ui, std::int32_t number) {
  if (ui.silent()) {
    record_result(ui.result, execution_error_code, format_text(ui, "Execution error occurred.(%d)", number));
    return;
  }
  format_text(ui, ui.language == language_japanese ? "実行エラーが発生しました。(%d)" : "Execution error occurred.(%d)",
              number);
  show_shell_screen<execution_error>(ui);
}

void show_not_applicable(Ui& ui) {
  if (!quiet_for_launcher(ui)) show_shell_screen<not_applicable>(ui);
}

void show_already_updated(Ui& ui) {
  if (!quiet_for_launcher(ui)) show_shell_screen<already_updated>(ui);
}

std::int32_t show_tray_prompt(Ui& ui) { return show_shell_screen<tray_closed>(ui); }
std::int32_t show_battery_prompt(Ui& ui) { return show_shell_screen<on_battery>(ui); }
std::int32_t show_notice(Ui& ui) { return show_shell_screen<notice>(ui); }
void show_eject_failed(Ui& ui) { show_shell_screen<eject_failed>(ui); }
void show_drive_in_use(Ui& ui) { show_shell_screen<drive_in_use>(ui); }
void show_invalid_option(Ui& ui) { show_shell_screen<invalid_option>(ui); }

}  // namespace tz
