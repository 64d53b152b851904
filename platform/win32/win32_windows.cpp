#include "platform/win32/win32_windows.h"

#include <windows.h>

#include "platform/win32/win32_library.h"

namespace tz::platform::win32 {

namespace {

// One main window per process: its procedure is kept where the window procedure can reach it.
MainWindowProcedure main_procedure = nullptr;

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (main_procedure != nullptr) {
    const MessageAnswer answer = main_procedure(message, wparam, lparam);
    if (answer.handled) return answer.value;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

HWND hwnd(Handle h) { return reinterpret_cast<HWND>(h); }

// Looked up, not linked: Windows before Vista lacks the shutdown reasons.
template <typename Entry>
Entry user32_entry(const char* name) {
  const HMODULE user = GetModuleHandleA("user32.dll");
  return user == nullptr ? nullptr : library_entry<Entry>(user, name);
}

}  // namespace

Handle Win32Windows::find_window(const char* class_name) {
  return reinterpret_cast<Handle>(FindWindowA(class_name, nullptr));
}

Handle Win32Windows::create_main_window(const MainWindowClass& window_class) {
  main_procedure = window_class.procedure;
  const HINSTANCE instance = reinterpret_cast<HINSTANCE>(window_class.instance);
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = main_window_proc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(window_class.icon_id));
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = window_class.class_name;
  RegisterClassA(&wc);
  return reinterpret_cast<Handle>(CreateWindowExA(0, window_class.class_name, window_class.class_name,
                                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                                  nullptr, instance, nullptr));
}

bool Win32Windows::show_window(Handle window, int command) { return ShowWindow(hwnd(window), command) != 0; }
bool Win32Windows::update_window(Handle window) { return UpdateWindow(hwnd(window)) != 0; }
bool Win32Windows::destroy_window(Handle window) { return DestroyWindow(hwnd(window)) != 0; }
bool Win32Windows::is_iconic(Handle window) { return IsIconic(hwnd(window)) != 0; }
bool Win32Windows::set_foreground_window(Handle window) { return SetForegroundWindow(hwnd(window)) != 0; }

int Win32Windows::message_box(Handle owner, const char* text, const char* caption, std::uint32_t flags) {
  return MessageBoxA(hwnd(owner), text, caption, flags);
}

bool Win32Windows::set_shutdown_reason(Handle window, const char16_t* reason) {
  static_assert(sizeof(WCHAR) == sizeof(char16_t));
  using CreateEntry = BOOL(WINAPI*)(HWND, LPCWSTR);
  const auto create = user32_entry<CreateEntry>("ShutdownBlockReasonCreate");
  return create != nullptr && create(hwnd(window), reinterpret_cast<LPCWSTR>(reason)) != 0;
}

bool Win32Windows::clear_shutdown_reason(Handle window) {
  using DestroyEntry = BOOL(WINAPI*)(HWND);
  const auto destroy = user32_entry<DestroyEntry>("ShutdownBlockReasonDestroy");
  return destroy != nullptr && destroy(hwnd(window)) != 0;
}

}  // namespace tz::platform::win32
