#pragma once
// user32 for the hidden main window, the instance checks and message boxes.
#include <cstdint>

#include "platform/types.h"

namespace tz::platform {

// What a procedure of the program answers to one message: handled with a value, or left to the
// system's default handling.
struct MessageAnswer {
  bool handled = false;
  std::intptr_t value = 0;
};
using MainWindowProcedure = MessageAnswer (*)(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);

struct MainWindowClass {
  const char* class_name = nullptr;  // also the window's title
  Handle instance = null_handle;
  std::uint16_t icon_id = 0;                // LoadIconA from the instance
  MainWindowProcedure procedure = nullptr;  // DefWindowProcA for what it leaves unhandled
};

class Windows {
 public:
  virtual ~Windows() = default;

  // The module instance handle every resource is loaded from.
  virtual Handle module_instance() = 0;
  // FindWindowA(class_name, nullptr): the window, or null.
  virtual Handle find_window(const char* class_name) = 0;
  // RegisterClassA (CS_HREDRAW|CS_VREDRAW, arrow cursor, COLOR_WINDOW+1) then CreateWindowExA
  // (WS_OVERLAPPEDWINDOW, x/width CW_USEDEFAULT, y/height 0): the window, or null.
  virtual Handle create_main_window(const MainWindowClass& window_class) = 0;
  virtual bool show_window(Handle window, int command) = 0;
  virtual bool update_window(Handle window) = 0;
  virtual bool destroy_window(Handle window) = 0;
  virtual bool is_iconic(Handle window) = 0;
  virtual bool set_foreground_window(Handle window) = 0;
  // MessageBoxA: the button pressed (IDOK = 1 ...), 0 on failure.
  virtual int message_box(Handle owner, const char* text, const char* caption, std::uint32_t flags) = 0;
  // ShutdownBlockReasonCreate: the reason Windows shows for the window while the program holds up
  // the end of the session. False where the system lacks the call (before Vista) or refused it.
  virtual bool set_shutdown_reason(Handle window, const char16_t* reason) = 0;
  // ShutdownBlockReasonDestroy.
  virtual bool clear_shutdown_reason(Handle window) = 0;
};

}  // namespace tz::platform
