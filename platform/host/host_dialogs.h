#pragma once
// The emulated dialog manager of native builds. It records every screen opened, every caption,
// control text, list line, focus change, icon and refresh, with the virtual time it happened at,
// and answers each modal screen with the input a test scripted for its template: it runs the
// procedure's WM_INITDIALOG (when the procedure answers true, the focus goes to the template's
// first tab stop, as the dialog manager does), delivers queued messages (a screen's posted start
// message among them), then the scripted input, then the close box; a screen that ignores all of
// that is ended with -1 and counted as unanswered. The thread's message queue is open to tests,
// which put user input or a power broadcast into it.
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dialogs.h"

namespace tz::platform::host {

struct DialogEvent {
  enum class Kind : std::uint8_t {
    opened,        // template_id; value 1 modal, 0 modeless
    ended,         // value: the result given to EndDialog
    destroyed,     // the screen's window went away (a modal one once its procedure ended it)
    shown,         // value: the ShowWindow command
    caption,       // text
    text,          // control_id, text
    list_message,  // control_id, value: the message; text: the line of an add
    scroll_range,  // control_id, x: minimum, y: maximum
    focus,         // window: what got the focus
    icon,          // value: the system icon, x and y: where
    picture_fit,   // control_id; value: the first drawing, x: how many drawings, y: the height
    update,        // UpdateWindow
    bring_to_top,  // BringWindowToTop
    posted,        // value: the message
    removed,       // value: the message taken out of the queue without dispatching
    dispatched,    // value: the message
  };
  Kind kind = Kind::opened;
  std::int32_t time = 0;
  std::uint16_t template_id = 0;  // 0 when the window is no screen
  Handle window = null_handle;
  int control_id = 0;
  std::intptr_t value = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::string text;
};

// Scripted input that is no message: the user changes a list's selection (wparam: control id,
// lparam: the line).
inline constexpr std::uint32_t user_pick_message = 0xFFFF0001u;

struct ScriptedInput {
  std::uint32_t message;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
};

struct HostScreen {
  std::uint16_t template_id = 0;
  Handle window = null_handle;
  Handle owner = null_handle;
  bool modal = false;
  DialogProcedure procedure;
  bool alive = true;
  bool visible = false;
  bool ended = false;
  bool init_answer = false;  // what the procedure answered to WM_INITDIALOG
  std::intptr_t result = 0;
  std::string caption;
  std::map<int, std::string> texts;
  std::map<int, std::vector<std::string>> lines;
  std::map<int, std::intptr_t> selection;
  std::map<int, std::intptr_t> horizontal_extent;
};

class HostDialogs final : public Dialogs {
 public:
  explicit HostDialogs(Clock& clock) : clock_(clock) {}

  // What a test chooses.
  std::map<std::uint16_t, std::deque<ScriptedInput>> script;  // per template id, consumed in order
  std::set<std::uint16_t> missing_templates;                  // these cannot be created
  std::deque<QueuedMessage> queue;                            // the thread's message queue
  // The host knows no templates: the first tab stop is control 1 (the positive button comes first
  // where a template has one) unless listed here; 0 for a template without any.
  std::map<std::uint16_t, int> first_tab_stop;

  // Called as each screen opens, before its procedure sees WM_INITDIALOG: what the user does to
  // the machine while the screen stands (opens a tray, plugs a drive out).
  std::function<void(std::uint16_t template_id)> on_open;

  void press(std::uint16_t template_id, int control_id);  // a click on a button of that screen
  // The user picks line `line` of a list or drop-down control on that screen (scripted input).
  void pick(std::uint16_t template_id, int control_id, int line);
  void close_box(std::uint16_t template_id);  // the user closes that screen
  void queue_message(Handle window, std::uint32_t message, std::uintptr_t wparam = 0, std::intptr_t lparam = 0);

  // Off: nothing is appended to `events` (a benchmark's long runs); the screens still keep their texts.
  bool record_events = true;

  // What the program did.
  std::deque<HostScreen> screens;  // every screen opened, in order
  std::vector<DialogEvent> events;
  Handle focus = null_handle;
  int unanswered = 0;

  std::vector<std::uint16_t> opened_templates() const;
  std::vector<std::string> texts_of(int control_id) const;  // every text set into controls with that id
  std::size_t count(DialogEvent::Kind kind) const;
  std::size_t count(DialogEvent::Kind kind, std::uint16_t template_id) const;
  const HostScreen* screen(Handle window) const;
  static int control_of(Handle item_handle);  // the id a handle from item() stands for

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

 private:
  std::size_t index_of(Handle window) const;  // screens.size() when the window is no screen
  HostScreen* find(Handle window);            // a screen that is still open, or null
  HostScreen& open(std::uint16_t template_id, Handle owner, bool modal, const DialogProcedure& procedure);
  bool deliver(HostScreen& screen, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam);
  void initialize(HostScreen& screen);
  DialogEvent& record(DialogEvent::Kind kind, Handle window);

  Clock& clock_;
  DialogEvent unrecorded_;  // what record() fills while events are not kept
};

}  // namespace tz::platform::host
