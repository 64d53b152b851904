#pragma once
#include "platform/windows.h"

namespace tz::platform::win32 {

class Win32Windows final : public Windows {
 public:
  explicit Win32Windows(Handle instance) : instance_(instance) {}
  Handle module_instance() override { return instance_; }
  Handle find_window(const char* class_name) override;
  Handle create_main_window(const MainWindowClass& window_class) override;
  bool show_window(Handle window, int command) override;
  bool update_window(Handle window) override;
  bool destroy_window(Handle window) override;
  bool is_iconic(Handle window) override;
  bool set_foreground_window(Handle window) override;
  int message_box(Handle owner, const char* text, const char* caption, std::uint32_t flags) override;
  bool set_shutdown_reason(Handle window, const char16_t* reason) override;
  bool clear_shutdown_reason(Handle window) override;

 private:
  Handle instance_;
};

}  // namespace tz::platform::win32
