#include "platform/win32/win32_dialogs.h"

#include <windows.h>

namespace tz::platform::win32 {

namespace {

HWND hwnd(Handle h) { return reinterpret_cast<HWND>(h); }
Handle handle(HWND h) { return reinterpret_cast<Handle>(h); }

// Every screen runs through this one DLGPROC: the program's procedure travels in the creation
// parameter and stays with the window from WM_INITDIALOG on.
INT_PTR CALLBACK screen_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lparam);
    lparam = 0;
  }
  const auto* procedure = reinterpret_cast<const DialogProcedure*>(GetWindowLongPtrA(window, DWLP_USER));
  if (procedure == nullptr || procedure->function == nullptr) return FALSE;
  return procedure->function(procedure->user, handle(window), message, wparam, lparam) ? TRUE : FALSE;
}

LPARAM creation_parameter(const DialogProcedure& procedure) { return reinterpret_cast<LPARAM>(&procedure); }

}  // namespace

std::intptr_t Win32Dialogs::dialog_box(Handle instance, std::uint16_t template_id, Handle owner,
                                       const DialogProcedure& procedure) {
  // DialogBoxParamA answers 0 for an invalid owner, which a caller would take for the first
  // button's result.
  if (owner != null_handle && IsWindow(hwnd(owner)) == 0) return -1;
  return DialogBoxParamA(reinterpret_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(template_id), hwnd(owner), screen_proc,
                         creation_parameter(procedure));
}

Handle Win32Dialogs::create_dialog(Handle instance, std::uint16_t template_id, Handle owner,
                                   const DialogProcedure& procedure) {
  return handle(CreateDialogParamA(reinterpret_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(template_id), hwnd(owner),
                                   screen_proc, creation_parameter(procedure)));
}

bool Win32Dialogs::end_dialog(Handle window, std::intptr_t result) { return EndDialog(hwnd(window), result) != 0; }

Handle Win32Dialogs::item(Handle window, int control_id) { return handle(GetDlgItem(hwnd(window), control_id)); }

bool Win32Dialogs::set_item_text(Handle window, int control_id, const char* text) {
  return SetDlgItemTextA(hwnd(window), control_id, text) != 0;
}

std::intptr_t Win32Dialogs::send_item_message(Handle window, int control_id, std::uint32_t message,
                                              std::uintptr_t wparam, std::intptr_t lparam) {
  return SendDlgItemMessageA(hwnd(window), control_id, message, wparam, lparam);
}

bool Win32Dialogs::set_item_scroll_range(Handle window, int control_id, int bar, int minimum, int maximum) {
  return SetScrollRange(GetDlgItem(hwnd(window), control_id), bar, minimum, maximum, TRUE) != 0;
}

bool Win32Dialogs::set_window_text(Handle window, const char* text) { return SetWindowTextA(hwnd(window), text) != 0; }

Handle Win32Dialogs::set_focus(Handle window) { return handle(SetFocus(hwnd(window))); }

void Win32Dialogs::paint_icon(Handle window, SystemIcon icon, int x, int y) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(hwnd(window), &paint);
  DrawIcon(dc, x, y, LoadIconA(nullptr, MAKEINTRESOURCEA(static_cast<std::uint16_t>(icon))));
  EndPaint(hwnd(window), &paint);
}

bool Win32Dialogs::show_window(Handle window, int command) { return ShowWindow(hwnd(window), command) != 0; }
bool Win32Dialogs::update_window(Handle window) { return UpdateWindow(hwnd(window)) != 0; }
bool Win32Dialogs::bring_window_to_top(Handle window) { return BringWindowToTop(hwnd(window)) != 0; }
bool Win32Dialogs::destroy_window(Handle window) { return DestroyWindow(hwnd(window)) != 0; }

bool Win32Dialogs::post_message(Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  return PostMessageA(hwnd(window), message, wparam, lparam) != 0;
}

bool Win32Dialogs::peek_message(QueuedMessage& message, std::uint32_t first, std::uint32_t last, std::uint32_t remove) {
  MSG m{};
  if (PeekMessageA(&m, nullptr, first, last, remove) == 0) return false;
  message = {handle(m.hwnd), m.message, m.wParam, m.lParam, m.time, m.pt.x, m.pt.y};
  return true;
}

std::intptr_t Win32Dialogs::dispatch_message(const QueuedMessage& message) {
  MSG m{};
  m.hwnd = hwnd(message.window);
  m.message = message.message;
  m.wParam = message.wparam;
  m.lParam = message.lparam;
  m.time = message.time;
  m.pt.x = message.x;
  m.pt.y = message.y;
  return DispatchMessageA(&m);
}

}  // namespace tz::platform::win32
