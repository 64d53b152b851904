#include "platform/host/host_dialogs.h"

#include <algorithm>

namespace tz::platform::host {

namespace {

// Screen windows sit apart far enough that a control's handle (window + id) never meets another.
constexpr Handle first_screen_window = 0x200000;
constexpr Handle screen_stride = 0x10000;
constexpr int idcancel = 2;

bool is_add(std::uint32_t message) { return message == lb_addstring || message == cb_addstring; }

}  // namespace

void HostDialogs::press(std::uint16_t template_id, int control_id) {
  script[template_id].push_back({wm_command, static_cast<std::uintptr_t>(control_id), 0});
}

void HostDialogs::pick(std::uint16_t template_id, int control_id, int line) {
  script[template_id].push_back({user_pick_message, static_cast<std::uintptr_t>(control_id), line});
}

void HostDialogs::close_box(std::uint16_t template_id) { script[template_id].push_back({wm_close, 0, 0}); }

void HostDialogs::queue_message(Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  queue.push_back({window, message, wparam, lparam, static_cast<std::uint32_t>(clock_.now_ms()), 0, 0});
}

std::vector<std::uint16_t> HostDialogs::opened_templates() const {
  std::vector<std::uint16_t> ids;
  for (const HostScreen& s : screens) ids.push_back(s.template_id);
  return ids;
}

std::vector<std::string> HostDialogs::texts_of(int control_id) const {
  std::vector<std::string> texts;
  for (const DialogEvent& e : events) {
    if (e.kind == DialogEvent::Kind::text && e.control_id == control_id) texts.push_back(e.text);
  }
  return texts;
}

std::size_t HostDialogs::count(DialogEvent::Kind kind) const {
  return static_cast<std::size_t>(
      std::count_if(events.begin(), events.end(), [kind](const DialogEvent& e) { return e.kind == kind; }));
}

std::size_t HostDialogs::count(DialogEvent::Kind kind, std::uint16_t template_id) const {
  return static_cast<std::size_t>(std::count_if(events.begin(), events.end(), [&](const DialogEvent& e) {
    return e.kind == kind && e.template_id == template_id;
  }));
}

std::size_t HostDialogs::index_of(Handle window) const {
  if (window < first_screen_window || (window - first_screen_window) % screen_stride != 0) return screens.size();
  return std::min<std::size_t>((window - first_screen_window) / screen_stride, screens.size());
}

const HostScreen* HostDialogs::screen(Handle window) const {
  const std::size_t index = index_of(window);
  return index < screens.size() ? &screens[index] : nullptr;
}

int HostDialogs::control_of(Handle item_handle) {
  return item_handle < first_screen_window ? 0 : static_cast<int>((item_handle - first_screen_window) % screen_stride);
}

HostScreen* HostDialogs::find(Handle window) {
  const std::size_t index = index_of(window);
  return index < screens.size() && screens[index].alive ? &screens[index] : nullptr;
}

DialogEvent& HostDialogs::record(DialogEvent::Kind kind, Handle window) {
  const HostScreen* s = screen(window);
  DialogEvent& e = record_events ? events.emplace_back() : unrecorded_;
  e.kind = kind;
  e.time = clock_.now_ms();
  e.template_id = s != nullptr ? s->template_id : std::uint16_t{0};
  e.window = window;
  return e;
}

HostScreen& HostDialogs::open(std::uint16_t template_id, Handle owner, bool modal, const DialogProcedure& procedure) {
  HostScreen& s = screens.emplace_back();
  s.template_id = template_id;
  s.window = first_screen_window + screen_stride * (screens.size() - 1);
  s.owner = owner;
  s.modal = modal;
  s.procedure = procedure;
  // A modal screen is shown by the dialog manager as it starts; a modeless one waits for ShowWindow.
  s.visible = modal;
  record(DialogEvent::Kind::opened, s.window).value = modal ? 1 : 0;
  return s;
}

bool HostDialogs::deliver(HostScreen& s, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  const bool handled = s.procedure.function(s.procedure.user, s.window, message, wparam, lparam);
  // The dialog manager turns an unhandled close box into the exit button's command.
  if (!handled && message == wm_close && s.alive) return deliver(s, wm_command, idcancel, 0);
  return handled;
}

void HostDialogs::initialize(HostScreen& s) {
  s.init_answer = deliver(s, wm_initdialog, 0, 0);
  if (!s.init_answer || !s.alive) return;
  const auto listed = first_tab_stop.find(s.template_id);
  const int control = listed != first_tab_stop.end() ? listed->second : 1;
  if (control != 0) set_focus(item(s.window, control));
}

std::intptr_t HostDialogs::dialog_box(Handle, std::uint16_t template_id, Handle owner,
                                      const DialogProcedure& procedure) {
  if (missing_templates.count(template_id) != 0 || procedure.function == nullptr) return -1;
  const std::size_t index = screens.size();
  if (on_open) on_open(template_id);
  initialize(open(template_id, owner, true, procedure));
  bool closed_by_default = false;
  // Nested screens may add to `screens`; a deque keeps this one in place.
  while (screens[index].alive) {
    HostScreen& s = screens[index];
    std::deque<ScriptedInput>& inputs = script[template_id];
    if (!queue.empty()) {
      const QueuedMessage m = queue.front();
      queue.pop_front();
      dispatch_message(m);
    } else if (!inputs.empty()) {
      const ScriptedInput input = inputs.front();
      inputs.pop_front();
      if (input.message == user_pick_message) {
        const int control = static_cast<int>(input.wparam);
        const std::size_t lines = s.lines[control].size();
        s.selection[control] = static_cast<std::size_t>(input.lparam) < lines ? input.lparam : lb_err;
      } else {
        deliver(s, input.message, input.wparam, input.lparam);
      }
    } else if (!closed_by_default) {
      closed_by_default = true;
      deliver(s, wm_close, 0, 0);
    } else {
      ++unanswered;
      end_dialog(s.window, -1);
    }
  }
  HostScreen& s = screens[index];
  record(DialogEvent::Kind::destroyed, s.window);
  return s.result;
}

Handle HostDialogs::create_dialog(Handle, std::uint16_t template_id, Handle owner, const DialogProcedure& procedure) {
  if (missing_templates.count(template_id) != 0 || procedure.function == nullptr) return null_handle;
  HostScreen& s = open(template_id, owner, false, procedure);
  initialize(s);
  return s.window;
}

bool HostDialogs::end_dialog(Handle window, std::intptr_t result) {
  HostScreen* s = find(window);
  if (s == nullptr || !s->modal) return false;
  s->alive = false;
  s->ended = true;
  s->result = result;
  record(DialogEvent::Kind::ended, window).value = result;
  return true;
}

Handle HostDialogs::item(Handle window, int control_id) {
  if (find(window) == nullptr || control_id <= 0 || static_cast<Handle>(control_id) >= screen_stride) {
    return null_handle;
  }
  return window + static_cast<Handle>(control_id);
}

bool HostDialogs::set_item_text(Handle window, int control_id, const char* text) {
  HostScreen* s = find(window);
  if (s == nullptr || item(window, control_id) == null_handle) return false;
  // Windows takes a null text for an empty one.
  const char* shown = text != nullptr ? text : "";
  s->texts[control_id] = shown;
  DialogEvent& e = record(DialogEvent::Kind::text, window);
  e.control_id = control_id;
  e.text = shown;
  return true;
}

std::intptr_t HostDialogs::send_item_message(Handle window, int control_id, std::uint32_t message,
                                             std::uintptr_t wparam, std::intptr_t lparam) {
  HostScreen* s = find(window);
  if (s == nullptr || item(window, control_id) == null_handle) return 0;
  DialogEvent& e = record(DialogEvent::Kind::list_message, window);
  e.control_id = control_id;
  e.value = message;
  std::vector<std::string>& lines = s->lines[control_id];
  if (is_add(message)) {
    if (lparam == 0) return lb_err;
    // The line's text travels in lparam, as it does to a real list box.
    e.text = reinterpret_cast<const char*>(lparam);  // NOLINT(performance-no-int-to-ptr)
    lines.push_back(e.text);
    return static_cast<std::intptr_t>(lines.size() - 1);
  }
  switch (message) {
    case lb_resetcontent:
    case cb_resetcontent:
      lines.clear();
      s->selection.erase(control_id);
      return 0;
    case lb_getcount:
    case cb_getcount:
      return static_cast<std::intptr_t>(lines.size());
    case cb_setcursel:
      s->selection[control_id] = wparam < lines.size() ? static_cast<std::intptr_t>(wparam) : lb_err;
      return s->selection[control_id];
    case cb_getcursel: {
      const auto it = s->selection.find(control_id);
      return it != s->selection.end() ? it->second : lb_err;
    }
    case lb_sethorizontalextent:
      s->horizontal_extent[control_id] = static_cast<std::intptr_t>(wparam);
      return 0;
    default:
      return 0;
  }
}

bool HostDialogs::set_item_scroll_range(Handle window, int control_id, int, int minimum, int maximum) {
  if (item(window, control_id) == null_handle) return false;
  DialogEvent& e = record(DialogEvent::Kind::scroll_range, window);
  e.control_id = control_id;
  e.x = minimum;
  e.y = maximum;
  return true;
}

bool HostDialogs::set_window_text(Handle window, const char* text) {
  HostScreen* s = find(window);
  if (s == nullptr) return false;
  s->caption = text != nullptr ? text : "";
  record(DialogEvent::Kind::caption, window).text = s->caption;
  return true;
}

Handle HostDialogs::set_focus(Handle window) {
  const Handle previous = focus;
  focus = window;
  const Handle screen_window = window - static_cast<Handle>(control_of(window));
  DialogEvent& e = record(DialogEvent::Kind::focus, screen_window);
  e.control_id = control_of(window);
  return previous;
}

void HostDialogs::paint_icon(Handle window, SystemIcon icon, int x, int y) {
  DialogEvent& e = record(DialogEvent::Kind::icon, window);
  e.value = static_cast<std::intptr_t>(icon);
  e.x = x;
  e.y = y;
}

bool HostDialogs::fit_picture(Handle window, int control_id, Handle, const std::uint16_t* drawings, std::size_t count,
                              int height) {
  if (find(window) == nullptr || drawings == nullptr || count == 0) return false;
  DialogEvent& e = record(DialogEvent::Kind::picture_fit, window);
  e.control_id = control_id;
  e.value = drawings[0];
  e.x = static_cast<std::int32_t>(count);
  e.y = height;
  return true;
}

bool HostDialogs::show_window(Handle window, int command) {
  HostScreen* s = find(window);
  if (s == nullptr) return false;
  const bool was_visible = s->visible;
  s->visible = command != sw_hide;
  record(DialogEvent::Kind::shown, window).value = command;
  return was_visible;
}

bool HostDialogs::update_window(Handle window) {
  record(DialogEvent::Kind::update, window);
  return find(window) != nullptr;
}

bool HostDialogs::bring_window_to_top(Handle window) {
  record(DialogEvent::Kind::bring_to_top, window);
  return find(window) != nullptr;
}

bool HostDialogs::destroy_window(Handle window) {
  HostScreen* s = find(window);
  if (s == nullptr) return false;
  s->alive = false;
  s->visible = false;
  record(DialogEvent::Kind::destroyed, window);
  return true;
}

bool HostDialogs::post_message(Handle window, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam) {
  queue_message(window, message, wparam, lparam);
  record(DialogEvent::Kind::posted, window).value = message;
  return true;
}

bool HostDialogs::peek_message(QueuedMessage& message, std::uint32_t first, std::uint32_t last, std::uint32_t remove) {
  const bool any = first == 0 && last == 0;
  const auto it = std::find_if(queue.begin(), queue.end(), [&](const QueuedMessage& m) {
    return any || (m.message >= first && m.message <= last);
  });
  if (it == queue.end()) return false;
  message = *it;
  if ((remove & pm_remove) != 0) {
    queue.erase(it);
    record(DialogEvent::Kind::removed, message.window).value = message.message;
  }
  return true;
}

std::intptr_t HostDialogs::dispatch_message(const QueuedMessage& message) {
  record(DialogEvent::Kind::dispatched, message.window).value = message.message;
  HostScreen* s = find(message.window);
  if (s == nullptr) return 0;
  return deliver(*s, message.message, message.wparam, message.lparam) ? 1 : 0;
}

}  // namespace tz::platform::host
