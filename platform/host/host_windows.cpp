#include "platform/host/host_windows.h"

#include <algorithm>

namespace tz::platform::host {

Handle HostWindows::find_window(const char* class_name) {
  for (const auto& [name, window] : other_windows) {
    if (name == class_name) return window;
  }
  if (main_window_alive && registered.class_name != nullptr && std::string(registered.class_name) == class_name) {
    return main_window;
  }
  return null_handle;
}

Handle HostWindows::create_main_window(const MainWindowClass& window_class) {
  registered = window_class;
  if (fail_create) return null_handle;
  main_window = 0x10010;
  main_window_alive = true;
  return main_window;
}

bool HostWindows::show_window(Handle window, int command) {
  show_calls.emplace_back(window, command);
  if (command == sw_restore) activation_log.push_back("restore");
  if (command == sw_restore) minimised.erase(window);
  return true;
}

bool HostWindows::destroy_window(Handle window) {
  destroyed.push_back(window);
  if (window == main_window) main_window_alive = false;
  return true;
}

bool HostWindows::set_foreground_window(Handle window) {
  foreground_calls.push_back(window);
  activation_log.push_back("foreground");
  return true;
}

int HostWindows::message_box(Handle owner, const char* text, const char* caption, std::uint32_t flags) {
  message_boxes.push_back({owner, text, caption, flags});
  activation_log.push_back("message box");
  return message_box_answer;
}

std::intptr_t HostWindows::send_to_main_window(std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (registered.procedure != nullptr) {
    const MessageAnswer answer = registered.procedure(message, wparam, lparam);
    if (answer.handled) return answer.value;
  }
  return message == wm_queryendsession || message == wm_powerbroadcast ? 1 : 0;
}

bool HostWindows::set_shutdown_reason(Handle window, const char16_t* reason) {
  if (shutdown_reasons_missing || reason == nullptr) return false;
  shutdown_reason = reason;
  shutdown_reason_window = window;
  shutdown_reason_log.push_back(shutdown_reason);
  return true;
}

bool HostWindows::clear_shutdown_reason(Handle window) {
  if (shutdown_reasons_missing || window != shutdown_reason_window) return false;
  shutdown_reason.clear();
  shutdown_reason_window = null_handle;
  shutdown_reason_log.emplace_back();
  return true;
}

}  // namespace tz::platform::host
