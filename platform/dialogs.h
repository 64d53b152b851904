#pragma once
// Modal and modeless screens from resource templates, their controls, painting, and the thread's
// message queue.
#include <cstddef>
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

// A screen's procedure as the program writes it. It answers true when it handled the message
// (a dialog procedure's TRUE) and false to leave the message to the dialog manager; for
// WM_INITDIALOG, true lets the dialog manager put the focus on the template's first control and
// false keeps the focus the procedure set. WM_INITDIALOG arrives with lparam 0.
using DialogFunction = bool (*)(void* user, Handle window, std::uint32_t message, std::uintptr_t wparam,
                                std::intptr_t lparam);
struct DialogProcedure {
  DialogFunction function = nullptr;
  void* user = nullptr;
};

// One message as PeekMessageA returns it and DispatchMessageA takes it.
struct QueuedMessage {
  Handle window = null_handle;
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::uint32_t time = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The system's icons a screen paints (LoadIconA with no instance and IDI_HAND, ...).
enum class SystemIcon : std::uint16_t { hand = 32513, exclamation = 32515, asterisk = 32516 };

inline constexpr std::uint32_t pm_noremove = 0x0000;
inline constexpr std::uint32_t pm_remove = 0x0001;

inline constexpr std::uint32_t wm_keydown = 0x0100;
inline constexpr std::uint32_t wm_lbuttondown = 0x0201;
inline constexpr std::uint32_t wm_lbuttonup = 0x0202;

// Messages the screens send to their list and combo boxes (SendDlgItemMessageA).
inline constexpr std::uint32_t cb_addstring = 0x0143;
inline constexpr std::uint32_t cb_getcount = 0x0146;
inline constexpr std::uint32_t cb_getcursel = 0x0147;
inline constexpr std::uint32_t cb_resetcontent = 0x014B;
inline constexpr std::uint32_t cb_setcursel = 0x014E;
inline constexpr std::uint32_t lb_addstring = 0x0180;
inline constexpr std::uint32_t lb_resetcontent = 0x0184;
inline constexpr std::uint32_t lb_getcount = 0x018B;
inline constexpr std::uint32_t lb_sethorizontalextent = 0x0194;
inline constexpr std::intptr_t lb_err = -1;  // also CB_ERR
inline constexpr int sb_horz = 0;

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // DialogBoxParamA: runs the modal screen until its procedure ends it. The value the procedure
  // gave EndDialog, or -1 when the screen could not be created.
  virtual std::intptr_t dialog_box(Handle instance, std::uint16_t template_id, Handle owner,
                                   const DialogProcedure& procedure) = 0;
  // CreateDialogParamA: the modeless screen, hidden until shown, or null. The procedure must
  // outlive the window.
  virtual Handle create_dialog(Handle instance, std::uint16_t template_id, Handle owner,
                               const DialogProcedure& procedure) = 0;
  // EndDialog: false when the window is no modal screen.
  virtual bool end_dialog(Handle window, std::intptr_t result) = 0;

  // GetDlgItem: the control, or null.
  virtual Handle item(Handle window, int control_id) = 0;
  // SetDlgItemTextA: false when the control does not exist.
  virtual bool set_item_text(Handle window, int control_id, const char* text) = 0;
  // SendDlgItemMessageA: what the control answers (for LB_ADDSTRING and CB_ADDSTRING, lparam is
  // the line's text and the answer its index or LB_ERR).
  virtual std::intptr_t send_item_message(Handle window, int control_id, std::uint32_t message, std::uintptr_t wparam,
                                          std::intptr_t lparam) = 0;
  // SetScrollRange on a control's scroll bar, redrawn.
  virtual bool set_item_scroll_range(Handle window, int control_id, int bar, int minimum, int maximum) = 0;
  // SetWindowTextA: the caption of a screen.
  virtual bool set_window_text(Handle window, const char* text) = 0;
  // SetFocus: the window that had the focus before, or null.
  virtual Handle set_focus(Handle window) = 0;
  // BeginPaint, DrawIcon of the system icon at client position (x, y) in the screen's dialog
  // units, at the size the system's icons have at the screen's display scale, EndPaint. Placed in
  // dialog units, the icon stays beside the texts at every scale.
  virtual void paint_icon(Handle window, SystemIcon icon, int x, int y) = 0;
  // Fits a picture control to the screen's display scale: placed at the client area's top left,
  // as wide as the client area and `height` dialog units high, showing the drawing of
  // `drawings` (one picture drawn at several scales, narrowest first) that is the narrowest one
  // at least that wide (else the widest), scaled to the place with a smoothing filter. The fit is
  // made again when the screen moves to a display of another scale. False when no drawing loads.
  virtual bool fit_picture(Handle window, int control_id, Handle instance, const std::uint16_t* drawings,
                           std::size_t count, int height) = 0;

  virtual bool show_window(Handle window, int command) = 0;
  // UpdateWindow: pending painting of the window and its controls, done at once.
  virtual bool update_window(Handle window) = 0;
  virtual bool bring_window_to_top(Handle window) = 0;
  virtual bool destroy_window(Handle window) = 0;

  // PostMessageA: false when the message could not be queued.
  virtual bool post_message(Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) = 0;
  // PeekMessageA for every window of the thread, messages first..last (0, 0: any), with
  // pm_noremove or pm_remove: true and the message when one was queued.
  virtual bool peek_message(QueuedMessage& message, std::uint32_t first, std::uint32_t last, std::uint32_t remove) = 0;
  // DispatchMessageA: what the window's procedure answered.
  virtual std::intptr_t dispatch_message(const QueuedMessage& message) = 0;
};

}  // namespace tz::platform
