#pragma once
// The screen catalogue, the language rule, the procedures of the shell's own screens and the
// processing window.
#include <cstdint>

#include "core/run_result.h"
#include "platform/dialogs.h"
#include "platform/types.h"
#include "ui/ui_state.h"

namespace tz {

// Templates, Japanese / English. The version, detailed version and copyright screens have one
// template for both languages.
inline constexpr ScreenPair screen_invalid_option{218, 219};
inline constexpr ScreenPair screen_not_applicable{238, 239};
inline constexpr ScreenPair screen_already_updated{220, 221};
inline constexpr ScreenPair screen_tray_closed{279, 280};
inline constexpr ScreenPair screen_eject_failed{230, 231};
inline constexpr ScreenPair screen_drive_in_use{234, 235};
inline constexpr ScreenPair screen_execution_error{292, 293};
inline constexpr ScreenPair screen_on_battery{294, 295};
inline constexpr ScreenPair screen_drive_selection{188, 191};
inline constexpr ScreenPair screen_notice{150, 192};
inline constexpr ScreenPair screen_processing{236, 237};
inline constexpr ScreenPair screen_start_confirmation{141, 202};
inline constexpr ScreenPair screen_progress{204, 205};
inline constexpr ScreenPair screen_success{143, 201};
inline constexpr ScreenPair screen_update_failure{151, 193};
inline constexpr ScreenPair screen_interrupt{160, 196};
inline constexpr ScreenPair screen_abort{174, 189};
inline constexpr ScreenPair screen_log_failure{161, 197};
inline constexpr std::uint16_t screen_version = 223;
inline constexpr std::uint16_t screen_detail = 242;
inline constexpr std::uint16_t screen_copyright = 243;

// Controls the procedures address.
inline constexpr int control_positive = 1;  // "OK"; "開始", "続行" or "選択"
inline constexpr int control_exit = 2;      // "EXIT" / "終了", the default button; also the close box
inline constexpr int control_logo = 1077;   // the picture of bitmap 172
inline constexpr int control_main_text = 1078;
inline constexpr int control_second_text = 1079;
inline constexpr int control_result_message = 1081;
inline constexpr int control_drive_list = 1092;
inline constexpr int control_copyright_text = 1106;
inline constexpr int control_notice_items = 1112;  // English notice; the Japanese one uses 1079
inline constexpr int control_version_comparison = 1113;
inline constexpr int control_processing_text = 1124;
inline constexpr int control_detail_list = 1126;
inline constexpr std::uint16_t logo_bitmap_id = 172;
// The logo drawn for 100 %, 150 % and 200 % display scales, narrowest first; the band it fills at
// the top of every screen is 40 dialog units high.
inline constexpr std::uint16_t logo_drawings[] = {logo_bitmap_id, 173, 174};
inline constexpr int logo_height = 40;

// Where a screen paints its system icon, in dialog units: client pixels (25, 80) at 100 %, left
// of the texts.
inline constexpr int screen_icon_x = 17;
inline constexpr int screen_icon_y = 53;

// A screen's procedure over what its screen touches (the owner): true when it handled the message
// (see platform::DialogFunction).
template <class Owner>
using ScreenProcedure = bool (*)(Owner& owner, platform::Handle window, std::uint32_t message, std::uintptr_t wparam,
                                 std::intptr_t lparam);

// The Japanese template when language is 1, the English one for any other value.
std::uint16_t choose_template(const Ui& ui, std::uint16_t japanese_id, std::uint16_t english_id);
// Shows the modal screen owned by the main window; the value its procedure ended it with. A screen
// that cannot be created counts as left by its exit button (1), never as the user's consent.
std::int32_t show_dialog_screen(Ui& ui, std::uint16_t japanese_id, std::uint16_t english_id,
                                const platform::DialogProcedure& procedure);
template <class Owner>
std::int32_t show_screen(Ui& ui, std::uint16_t japanese_id, std::uint16_t english_id, ScreenProcedure<Owner> procedure,
                         Owner& owner) {
  struct Binding {
    ScreenProcedure<Owner> procedure;
    Owner* owner;
  } binding{procedure, &owner};
  const platform::DialogProcedure dialog{
      [](void* user, platform::Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
        const auto* bound = static_cast<const Binding*>(user);
        return bound->procedure(*bound->owner, window, message, wparam, lparam);
      },
      &binding};
  return show_dialog_screen(ui, japanese_id, english_id, dialog);
}

// What every procedure does as its screen opens: the caption becomes the program title, the logo
// spans the screen's width at the display's scale, and the screen gets the focus.
void open_screen(Ui& ui, platform::Handle window);
// The logo band spans the screen's width at the display's scale (part of open_screen, for the
// screens that open in an order of their own).
void fit_screen_logo(Ui& ui, platform::Handle window);
// Paints the system icon at its place left of the texts in answer to a paint message.
void paint_screen_icon(Ui& ui, platform::Handle window, platform::SystemIcon icon);

// The processing window: opened once (then 1500 ms of serviced waiting, even when it cannot be
// created), closed once.
void open_processing_window(Ui& ui);
void close_processing_window(Ui& ui);

// Execution error n: recorded as 800 in silent mode, else shown (nothing recorded).
void show_execution_error(Ui& ui, std::int32_t number);
// Nothing in silent mode or on a launcher's check run.
void show_not_applicable(Ui& ui);
void show_already_updated(Ui& ui);
// The callers decide about silent mode for these. 0 for the positive button, 1 for exit.
std::int32_t show_tray_prompt(Ui& ui);
// The computer runs on its battery: try again once the AC adapter is in (0), or leave (1).
std::int32_t show_battery_prompt(Ui& ui);
std::int32_t show_notice(Ui& ui);
void show_eject_failed(Ui& ui);
void show_drive_in_use(Ui& ui);
void show_invalid_option(Ui& ui);

}  // namespace tz
