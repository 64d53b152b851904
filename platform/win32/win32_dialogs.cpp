#include "platform/win32/win32_dialogs.h"

#include <windows.h>

#include <new>

#include "platform/win32/win32_library.h"

namespace tz::platform::win32 {

namespace {

HWND hwnd(Handle h) { return reinterpret_cast<HWND>(h); }
Handle handle(HWND h) { return reinterpret_cast<Handle>(h); }

// Windows 10 (1607 and 1703 on) tells a window its display's scale; older systems lack these
// calls, so they are looked up rather than linked, and their message is spelled here.
constexpr UINT wm_dpichanged = 0x02E0;
using GetDpiForWindowEntry = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiEntry = int(WINAPI*)(int, UINT);

template <typename Entry>
Entry user32_entry(const char* name) {
  const HMODULE user = GetModuleHandleA("user32.dll");
  return user == nullptr ? nullptr : library_entry<Entry>(user, name);
}

// The size of the system's icons on the display the screen stands on: a window moved to a
// display of another scale has its own, where the system tells it.
int icon_size(HWND window) {
  static const auto dpi_for_window = user32_entry<GetDpiForWindowEntry>("GetDpiForWindow");
  static const auto metrics_for_dpi = user32_entry<GetSystemMetricsForDpiEntry>("GetSystemMetricsForDpi");
  if (dpi_for_window != nullptr && metrics_for_dpi != nullptr) {
    const UINT dpi = dpi_for_window(window);
    const int size = dpi != 0 ? metrics_for_dpi(SM_CXICON, dpi) : 0;
    if (size > 0) return size;
  }
  return GetSystemMetrics(SM_CXICON);
}

// A picture fitted to its screen: what was asked, to fit it again at another scale, and the
// bitmap made for it, which the screen owns until it goes.
struct PictureFit {
  int control_id = 0;
  HINSTANCE instance = nullptr;
  static constexpr std::size_t most_drawings = 8;
  std::uint16_t drawings[most_drawings] = {};
  std::size_t count = 0;
  int height = 0;
  HBITMAP shown = nullptr;
};
constexpr char picture_fit_property[] = "tz594k.picture_fit";

// Posted to a screen whose scale changed, so that the picture is fitted once the dialog manager
// has laid the screen out anew.
UINT refit_message() {
  static const UINT message = RegisterWindowMessageA("tz594k.refit_picture");
  return message;
}

PictureFit* picture_fit_of(HWND window) { return static_cast<PictureFit*>(GetPropA(window, picture_fit_property)); }

// The drawing nearest the width from above (else the widest), loaded.
HBITMAP load_drawing(const PictureFit& fit, int width, BITMAP& size) {
  HBITMAP drawing = nullptr;
  for (std::size_t i = 0; i < fit.count; ++i) {
    HANDLE candidate = LoadImageA(fit.instance, MAKEINTRESOURCEA(fit.drawings[i]), IMAGE_BITMAP, 0, 0, 0);
    BITMAP candidate_size{};
    if (candidate == nullptr) continue;
    if (GetObjectA(candidate, sizeof(candidate_size), &candidate_size) == 0) {
      DeleteObject(candidate);
      continue;
    }
    if (drawing != nullptr) DeleteObject(drawing);
    drawing = static_cast<HBITMAP>(candidate);
    size = candidate_size;
    if (size.bmWidth >= width) break;
  }
  return drawing;
}

// The drawing scaled to width x height with the system's smoothing filter (Windows 98 stretches
// without it).
HBITMAP scaled(HWND window, HBITMAP drawing, const BITMAP& size, int width, int height) {
  HDC screen = GetDC(window);
  HDC from = CreateCompatibleDC(screen);
  HDC to = CreateCompatibleDC(screen);
  HBITMAP result = CreateCompatibleBitmap(screen, width, height);
  bool drawn = false;
  if (from != nullptr && to != nullptr && result != nullptr) {
    HGDIOBJ old_from = SelectObject(from, drawing);
    HGDIOBJ old_to = SelectObject(to, result);
    SetStretchBltMode(to, HALFTONE);
    SetBrushOrgEx(to, 0, 0, nullptr);
    drawn = StretchBlt(to, 0, 0, width, height, from, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY) != 0;
    SelectObject(from, old_from);
    SelectObject(to, old_to);
  }
  if (to != nullptr) DeleteDC(to);
  if (from != nullptr) DeleteDC(from);
  ReleaseDC(window, screen);
  if (!drawn && result != nullptr) {
    DeleteObject(result);
    result = nullptr;
  }
  return result;
}

bool fit_to_screen(HWND window, PictureFit& fit) {
  HWND control = GetDlgItem(window, fit.control_id);
  RECT client{};
  RECT band{0, 0, 0, fit.height};
  if (control == nullptr || GetClientRect(window, &client) == 0 || MapDialogRect(window, &band) == 0) return false;
  const int width = client.right - client.left;
  const int height = band.bottom - band.top;
  if (width <= 0 || height <= 0) return false;
  BITMAP size{};
  HBITMAP drawing = load_drawing(fit, width, size);
  if (drawing == nullptr) return false;
  HBITMAP fitted = scaled(window, drawing, size, width, height);
  DeleteObject(drawing);
  if (fitted == nullptr) return false;
  auto previous =
      reinterpret_cast<HBITMAP>(SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(fitted)));
  // The control's first picture is the one it loaded from the template; later ones were ours.
  if (previous != nullptr && previous != fit.shown) DeleteObject(previous);
  if (fit.shown != nullptr) DeleteObject(fit.shown);
  fit.shown = fitted;
  SetWindowPos(control, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window, nullptr, TRUE);
  return true;
}

void forget_picture_fit(HWND window) {
  PictureFit* fit = picture_fit_of(window);
  if (fit == nullptr) return;
  RemovePropA(window, picture_fit_property);
  if (fit->shown != nullptr) DeleteObject(fit->shown);
  delete fit;
}

// A screen moved to a display of another scale: it takes the size the system suggests (the dialog
// manager lays its controls out anew), then the picture is fitted and the icon painted again.
void follow_new_scale(HWND window, LPARAM suggested_area) {
  const auto* area = reinterpret_cast<const RECT*>(suggested_area);
  if (area != nullptr) {
    SetWindowPos(window, nullptr, area->left, area->top, area->right - area->left, area->bottom - area->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (picture_fit_of(window) != nullptr) PostMessageA(window, refit_message(), 0, 0);
  InvalidateRect(window, nullptr, TRUE);
}

// Every screen runs through this one DLGPROC: the program's procedure travels in the creation
// parameter and stays with the window from WM_INITDIALOG on.
INT_PTR CALLBACK screen_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lparam);
    lparam = 0;
  } else if (message == wm_dpichanged) {
    follow_new_scale(window, lparam);  // and the dialog manager's own handling after it
  } else if (message == refit_message() && message != 0) {
    if (PictureFit* fit = picture_fit_of(window)) fit_to_screen(window, *fit);
    return TRUE;
  } else if (message == WM_DESTROY) {
    forget_picture_fit(window);
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
  RECT place{x, y, x, y};
  MapDialogRect(hwnd(window), &place);
  const int size = icon_size(hwnd(window));
  // A system icon loads only shared; the size picks the image drawn for that scale where there is one.
  auto picture = static_cast<HICON>(
      LoadImageA(nullptr, MAKEINTRESOURCEA(static_cast<std::uint16_t>(icon)), IMAGE_ICON, size, size, LR_SHARED));
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(hwnd(window), &paint);
  if (picture != nullptr) {
    DrawIconEx(dc, place.left, place.top, picture, size, size, 0, nullptr, DI_NORMAL);
  } else {
    DrawIcon(dc, place.left, place.top, LoadIconA(nullptr, MAKEINTRESOURCEA(static_cast<std::uint16_t>(icon))));
  }
  EndPaint(hwnd(window), &paint);
}

bool Win32Dialogs::fit_picture(Handle window, int control_id, Handle instance, const std::uint16_t* drawings,
                               std::size_t count, int height) {
  if (drawings == nullptr || count == 0 || count > PictureFit::most_drawings || IsWindow(hwnd(window)) == 0) {
    return false;
  }
  PictureFit* fit = picture_fit_of(hwnd(window));
  if (fit == nullptr) {
    fit = new (std::nothrow) PictureFit;
    if (fit == nullptr) return false;
    if (SetPropA(hwnd(window), picture_fit_property, fit) == 0) {
      delete fit;
      return false;
    }
  }
  fit->control_id = control_id;
  fit->instance = reinterpret_cast<HINSTANCE>(instance);
  for (std::size_t i = 0; i < count; ++i) fit->drawings[i] = drawings[i];
  fit->count = count;
  fit->height = height;
  return fit_to_screen(hwnd(window), *fit);
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
