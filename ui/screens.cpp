#include "ui/screens.h"

#include "app/context.h"
#include "ui/message_box.h"
#include "app/startup.h"
#include "ui/formatting.h"
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
constexpr ShellScreen eject_failed{screen_eject_failed, true, SystemIcon::hand, false, true, false};
constexpr ShellScreen drive_in_use{screen_drive_in_use, true, SystemIcon::hand, false, true, false};
constexpr ShellScreen execution_error{screen_execution_error, true, SystemIcon::hand, false, false, true};
constexpr ShellScreen notice{screen_notice, true, SystemIcon::asterisk, true, true, false};

bool common_procedure(Context& ctx, const ShellScreen& screen, Handle window, std::uint32_t message,
                      std::uintptr_t wparam) {
  platform::Dialogs& dialogs = ctx.os.dialogs;
  switch (message) {
    case platform::wm_paint:
      if (screen.paints_icon) paint_screen_icon(ctx, window, screen.icon);
      return false;
    case platform::wm_initdialog:
      open_screen(ctx, window);
      if (screen.shows_formatted_text) dialogs.set_item_text(window, control_main_text, ctx.ui.formatting_buffer);
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
bool shell_procedure(Context& ctx, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t) {
  return common_procedure(ctx, screen, window, message, wparam);
}

template <const ShellScreen& screen>
std::int32_t show_shell_screen(Context& ctx) {
  return show_screen(ctx, screen.ids.japanese, screen.ids.english, shell_procedure<screen>);
}

struct ScreenBinding {
  Context* ctx;
  ScreenProcedure procedure;
};

bool call_screen(void* user, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  const auto* binding = static_cast<const ScreenBinding*>(user);
  return binding->procedure(*binding->ctx, window, message, wparam, lparam);
}

bool processing_procedure(void* user, Handle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  if (message != platform::wm_initdialog) return false;
  open_screen(*static_cast<Context*>(user), window);
  return true;
}

bool quiet_for_launcher(const Context& ctx) { return ctx.silent() || ctx.app.switches.launcher_run_check != 0; }

}  // namespace

std::uint16_t choose_template(const Context& ctx, std::uint16_t japanese_id, std::uint16_t english_id) {
  return ctx.app.language == language_japanese ? japanese_id : english_id;
}

std::int32_t show_screen(Context& ctx, std::uint16_t japanese_id, std::uint16_t english_id, ScreenProcedure procedure) {
  ScreenBinding binding{&ctx, procedure};
  const platform::DialogProcedure dialog{call_screen, &binding};
  const std::intptr_t result = ctx.os.dialogs.dialog_box(
      ctx.app.instance, choose_template(ctx, japanese_id, english_id), ctx.app.main_window, dialog);
  return result < 0 ? 1 : static_cast<std::int32_t>(result);
}

void open_screen(Context& ctx, Handle window) {
  ctx.os.dialogs.set_window_text(window, program_title);
  ctx.os.dialogs.set_focus(window);
}

void paint_screen_icon(Context& ctx, Handle window, SystemIcon icon) {
  ctx.os.dialogs.paint_icon(window, icon, screen_icon_x, screen_icon_y);
}

void open_processing_window(Context& ctx) {
  if (ctx.ui.processing_window != platform::null_handle) return;
  ctx.ui.processing_procedure = {processing_procedure, &ctx};
  const Handle window = ctx.os.dialogs.create_dialog(
      ctx.app.instance, choose_template(ctx, screen_processing.japanese, screen_processing.english),
      ctx.app.main_window, ctx.ui.processing_procedure);
  // A window that cannot be created still costs its wait, so the pacing of the run stays the same.
  if (window != platform::null_handle) {
    ctx.ui.processing_window = window;
    ctx.os.dialogs.show_window(window, platform::sw_show);
  }
  wait_servicing(ctx, processing_wait_ms, window);
}

void close_processing_window(Context& ctx) {
  if (ctx.ui.processing_window == platform::null_handle) return;
  ctx.os.dialogs.destroy_window(ctx.ui.processing_window);
  ctx.ui.processing_window = platform::null_handle;
}

void show_execution_error(Context& ctx, std::int32_t number) {
  if (ctx.silent()) {
    record_result(ctx, execution_error_code, format_text(ctx, "Execution error occurred.(%d)", number));
    return;
  }
  format_text(
      ctx, ctx.app.language == language_japanese ? "実行エラーが発生しました。(%d)" : "Execution error occurred.(%d)",
      number);
  show_shell_screen<execution_error>(ctx);
}

void show_not_applicable(Context& ctx) {
  if (!quiet_for_launcher(ctx)) show_shell_screen<not_applicable>(ctx);
}

void show_already_updated(Context& ctx) {
  if (!quiet_for_launcher(ctx)) show_shell_screen<already_updated>(ctx);
}

std::int32_t show_tray_prompt(Context& ctx) { return show_shell_screen<tray_closed>(ctx); }
std::int32_t show_notice(Context& ctx) { return show_shell_screen<notice>(ctx); }
void show_eject_failed(Context& ctx) { show_shell_screen<eject_failed>(ctx); }
void show_drive_in_use(Context& ctx) { show_shell_screen<drive_in_use>(ctx); }
void show_invalid_option(Context& ctx) { show_shell_screen<invalid_option>(ctx); }

}  // namespace tz
