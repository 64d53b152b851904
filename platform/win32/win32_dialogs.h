#pragma once
#include "platform/dialogs.h"

namespace tz::platform::win32 {

class Win32Dialogs final : public Dialogs {
 public:
  std::intptr_t dialog_box(Handle instance, std::uint16_t template_id, Handle owner,
                           const DialogProcedure& procedure) override;
  Handle create_dialog(Handle instance, std::uint16_t template_id, Handle owner,
                       const DialogProcedure& procedure) override;
  bool end_dialog(Handle window, std::intptr_t result) override;
  Handle item(Handle window, int control_id) override;
  bool set_item_text(Handle window, int control_id, const char* text) override;
  std::intptr_t send_item_message(Handle window, int control_id, std::uint32_t message, std::uintptr_t wparam,
                                  std::intptr_t lparam) override;
  bool set_item_scroll_range(Handle window, int control_id, int bar, int minimum, int maximum) override;
  bool set_window_text(Handle window, const char* text) override;
  Handle set_focus(Handle window) override;
  void paint_icon(Handle window, SystemIcon icon, int x, int y) override;
  bool fit_picture(Handle window, int control_id, Handle instance, const std::uint16_t* drawings, std::size_t count,
                   int height) override;
  bool show_window(Handle window, int command) override;
  bool update_window(Handle window) override;
  bool bring_window_to_top(Handle window) override;
  bool destroy_window(Handle window) override;
  bool post_message(Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) override;
  bool peek_message(QueuedMessage& message, std::uint32_t first, std::uint32_t last, std::uint32_t remove) override;
  std::intptr_t dispatch_message(const QueuedMessage& message) override;
};

}  // namespace tz::platform::win32
