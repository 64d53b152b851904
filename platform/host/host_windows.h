#pragma once
// Emulated user32 for native builds: windows that exist, the main window and its procedure,
// and every message box, recorded for tests.
#include <set>
#include <string>
#include <vector>

#include "platform/windows.h"

namespace tz::platform::host {

struct RecordedMessageBox {
  Handle owner;
  std::string text;
  std::string caption;
  std::uint32_t flags;
};

class HostWindows final : public Windows {
 public:
  // Top-level windows of other programs, by class name; a test adds the ones that "run".
  std::vector<std::pair<std::string, Handle>> other_windows;
  std::set<Handle> minimised;
  bool fail_create = false;
  int message_box_answer = 1;  // IDOK

  // What the program did.
  std::vector<RecordedMessageBox> message_boxes;
  // Message boxes, restores and bringing to the front, in the order they happened.
  std::vector<std::string> activation_log;
  std::vector<std::pair<Handle, int>> show_calls;
  std::vector<Handle> foreground_calls;
  std::vector<Handle> destroyed;
  MainWindowClass registered{};
  Handle main_window = null_handle;
  bool main_window_alive = false;
  // The shutdown reason the program holds ("" for none), the window it holds it for, and every
  // setting and clearing in order ("" for a clearing).
  std::u16string shutdown_reason;
  Handle shutdown_reason_window = null_handle;
  std::vector<std::u16string> shutdown_reason_log;
  bool shutdown_reasons_missing = false;  // a system before Vista

  Handle module_instance() override { return 0x400000; }
  Handle find_window(const char* class_name) override;
  Handle create_main_window(const MainWindowClass& window_class) override;
  bool show_window(Handle window, int command) override;
  bool update_window(Handle) override { return true; }
  bool destroy_window(Handle window) override;
  bool is_iconic(Handle window) override { return minimised.count(window) != 0; }
  bool set_foreground_window(Handle window) override;
  int message_box(Handle owner, const char* text, const char* caption, std::uint32_t flags) override;
  bool set_shutdown_reason(Handle window, const char16_t* reason) override;
  bool clear_shutdown_reason(Handle window) override;

  // Delivers a message to the main window's procedure as Windows would (DefWindowProcA answers 1
  // to WM_QUERYENDSESSION and TRUE to WM_POWERBROADCAST when the procedure leaves them).
  std::intptr_t send_to_main_window(std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);
};

}  // namespace tz::platform::host
