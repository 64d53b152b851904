#include "update/update_screens.h"

#include "core/run_result.h"
#include "drive/drive_link.h"
#include "ui/formatting.h"
#include "ui/message_box.h"
#include "ui/progress.h"
#include "ui/screens.h"
#include "update/update_ports.h"
#include "update/update_sequence.h"

namespace tz {

namespace {

using platform::Handle;

// What a result screen's procedure fills in; everything else is template text.
struct ResultScreen {
  ScreenPair ids;
  bool paints_stop_icon;
  bool shows_message;           // control 1081 := the run result message
  bool empties_portable_notes;  // controls 1127..1129, written for a portable drive, are never seen
};

constexpr ResultScreen success{screen_success, false, false, true};
constexpr ResultScreen update_failure{screen_update_failure, true, true, true};
constexpr ResultScreen interrupt{screen_interrupt, true, true, false};
constexpr ResultScreen abort_screen{screen_abort, true, false, true};
constexpr ResultScreen log_failure{screen_log_failure, true, false, false};

bool same(ScreenPair a, ScreenPair b) { return a.japanese == b.japanese && a.english == b.english; }

// The part every screen here shares: the stop icon where it has one, and the exit button (and
// Escape, and the close box, which the dialog manager turns into it) ends it with 1.
bool answer_common(Ui& ui, Handle window, std::uint32_t message, std::uintptr_t wparam, bool stop_icon) {
  if (message == platform::wm_paint && stop_icon) {
    paint_screen_icon(ui, window, platform::SystemIcon::hand);
    return false;
  }
  if (message == platform::wm_command && wparam == static_cast<std::uintptr_t>(control_exit)) {
    ui.dialogs.end_dialog(window, 1);
    return true;
  }
  return false;
}

bool result_procedure(Ui& ui, const ResultScreen& screen, Handle window, std::uint32_t message, std::uintptr_t wparam) {
  if (message != platform::wm_initdialog) return answer_common(ui, window, message, wparam, screen.paints_stop_icon);
  platform::Dialogs& dialogs = ui.dialogs;
  dialogs.set_window_text(window, program_title);
  fit_screen_logo(ui, window);
  if (screen.shows_message) dialogs.set_item_text(window, control_result_message, result_message(ui.result));
  if (screen.empties_portable_notes) {
    for (const int control : control_portable_notes) dialogs.set_item_text(window, control, "");
  }
  dialogs.set_focus(window);
  return true;
}

template <const ResultScreen& screen>
bool result_screen_procedure(Ui& ui, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t) {
  return result_procedure(ui, screen, window, message, wparam);
}

template <const ResultScreen& screen>
std::int32_t show(Ui& ui) {
  return show_screen(ui, screen.ids.japanese, screen.ids.english, result_screen_procedure<screen>, ui);
}

// The progress screen hosts the update of the drive its link names.
struct ProgressScreen {
  DriveLink& link;
  RunResult& result;
};

// What Windows shows for the program while it holds up the end of the session during the update.
const char16_t* shutdown_reason(std::uint8_t language) {
  return language == language_japanese ? u"ファームウェアを更新しています。コンピュータの電源を切らないでください。"
                                       : u"Firmware update in progress. Do not turn off the computer.";
}

bool progress_procedure(ProgressScreen& screen, Handle window, std::uint32_t message, std::uintptr_t, std::intptr_t) {
  Ui& ui = screen.link.ui;
  // Every line operation of the update addresses the window stored here.
  ui.state.progress_window = window;
  platform::Dialogs& dialogs = ui.dialogs;
  if (message == platform::wm_initdialog) {
    dialogs.set_window_text(window, program_title);
    fit_screen_logo(ui, window);
    for (int line = 1; line <= progress_line_count; ++line)
      dialogs.set_item_text(window, progress_line_control(line), "");
    dialogs.set_focus(window);
    // Handled once the screen's own loop runs; its template makes it visible as it is created, so
    // it stands on the desktop before the first command goes to the drive.
    dialogs.post_message(window, progress_start_message, 0, 0);
    return true;
  }
  if (message == progress_start_message) {
    LinkedDrive drive(screen.link);
    ProgressView view(ui, screen.link.system);
    // A laptop that falls asleep for want of input part-way through the ROM rewrite leaves the
    // drive without firmware; the system is asked to stay awake for the whole update. The main
    // window refuses the end of the session all along; the reason tells the user why.
    ui.windows.set_shutdown_reason(ui.main_window, shutdown_reason(ui.language));
    screen.link.system.keep_awake(true);
    run_update({drive, view, screen.link.image, screen.link.build, screen.result});
    screen.link.system.keep_awake(false);
    ui.windows.clear_shutdown_reason(ui.main_window);
    dialogs.end_dialog(window, 1);
    return true;
  }
  return false;
}

// The version screen shows the carried image's header fields.
struct VersionScreen {
  Ui& ui;
  const IdentityRecord& image;
};

bool version_procedure(VersionScreen& screen, Handle window, std::uint32_t message, std::uintptr_t wparam,
                       std::intptr_t) {
  Ui& ui = screen.ui;
  if (message != platform::wm_initdialog) return answer_common(ui, window, message, wparam, false);
  platform::Dialogs& dialogs = ui.dialogs;
  const IdentityRecord& image = screen.image;
  dialogs.set_window_text(window, program_title);
  fit_screen_logo(ui, window);
  // Each label goes through the formatting buffer and into its control before the next one.
  dialogs.set_item_text(window, control_version_heading, format_text(ui, "[%s]", ui.text(Text::version_heading)));
  dialogs.set_item_text(window, control_version_product_label, format_text(ui, "%s:", ui.text(Text::label_product)));
  dialogs.set_item_text(window, control_version_product, image.header_product);
  dialogs.set_item_text(window, control_version_vendor_label, format_text(ui, "%s:", ui.text(Text::label_vendor)));
  dialogs.set_item_text(window, control_version_vendor, image.header_vendor);
  dialogs.set_item_text(window, control_version_revision_label, format_text(ui, "%s:", ui.text(Text::label_revision)));
  dialogs.set_item_text(window, control_version_revision, image.header_revision);
  dialogs.set_focus(window);
  return true;
}

bool copyright_procedure(Ui& ui, Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t) {
  if (message != platform::wm_initdialog) return answer_common(ui, window, message, wparam, false);
  ui.dialogs.set_window_text(window, program_title);
  fit_screen_logo(ui, window);
  ui.dialogs.set_item_text(window, control_copyright_text, ui.state.formatting_buffer);
  ui.dialogs.set_focus(window);
  return true;
}

}  // namespace

std::int32_t show_progress_screen(DriveLink& link, RunResult& result) {
  ProgressScreen screen{link, result};
  return show_screen(link.ui, screen_progress.japanese, screen_progress.english, progress_procedure, screen);
}

void show_result_screen(Ui& ui, std::int32_t code) {
  const ScreenPair ids = result_screen_for(code);
  if (same(ids, screen_eject_failed)) {
    show_eject_failed(ui);
    return;
  }
  if (same(ids, success.ids)) show<success>(ui);
  if (same(ids, update_failure.ids)) show<update_failure>(ui);
  if (same(ids, interrupt.ids)) show<interrupt>(ui);
  if (same(ids, abort_screen.ids)) show<abort_screen>(ui);
}

void show_log_failure(Ui& ui) { show<log_failure>(ui); }

std::int32_t show_firmware_version(Ui& ui, const IdentityRecord& image) {
  VersionScreen screen{ui, image};
  return show_screen(ui, screen_version, screen_version, version_procedure, screen);
}

std::int32_t show_copyright(Ui& ui) {
  return show_screen(ui, screen_copyright, screen_copyright, copyright_procedure, ui);
}

}  // namespace tz
