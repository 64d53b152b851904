// ui_driver: operates the program's screens from outside, as a user would, for the shell scripts
// that walk runs under Wine or Windows. It starts once for a whole walk and takes its requests on
// standard input, one a line: a look at a screen then costs milliseconds, not the start of a
// process (some ten to twenty seconds where 32-bit code is emulated), and a screen watch polls
// from the start of a run, so that it misses no state of the screen a user could see. A screen is
// one of the program's top-level windows whose caption is the program title; its role comes from
// the controls and the main text it holds, compared with the screen catalogue.
//
//   request   [--lang ja|en] VERB ARGS [: VERB ARGS]...
//   answer    the verbs' lines, then "@@ 0" when every verb did its work, "@@ 1 REASON" when one
//             failed, "@@ 2 REASON" for a request that does not read
//
//   wait ROLE [MS]      until a screen of ROLE shows; prints "ROLE TEMPLATE_ID #WINDOW"
//   gone ROLE|#WINDOW [MS]  until no screen of ROLE (or that very window) is left
//   text ROLE ID|all    the text of control ID (or of every control as "ID<TAB>text")
//   lines ROLE ID       the lines of drop-down or list control ID, one a line
//   click ROLE ID       presses button ID
//   close ROLE          the close box
//   pick ROLE ID N      chooses line N (from 0) of drop-down list ID
//   chosen ROLE ID      the number of the line chosen in drop-down list ID (from 0; -1: none)
//   key ROLE KEY...     brings the screen to the front and presses the keys in turn as the keyboard
//                       does, through the system's input: enter, esc, tab, space, up, down, f4, or
//                       a chord such as shift+tab, alt+down, alt+f4
//   focus ROLE          prints "focus ID shown|hidden" for the control that has the keyboard
//                       (shown: its focus mark is drawn), "open" added for a drop-down list open
//   shot ROLE FILE [MS] waits until the screen of ROLE shows every text and button it holds, checks
//                       it against the catalogue (its language, every button with its label, no
//                       other button, its fixed texts) and saves the desktop as the BMP file FILE;
//                       a screen that stays blank or shows anything else fails, naming FILE
//   snap FILE           the desktop as it stands, as the BMP file FILE
//   watch ROLE [MS]     waits for the screen, then prints "ID<TAB>text" for every text change of its
//                       controls until it goes, then "gone"
//   quiet [MS]          reports every screen of the program that shows ("shown: ROLE ...") until the
//                       job is stopped or MS pass; fails if any did
//   screens             every screen of the program now, hidden ones marked
//   cd DIR              the folder programs start in
//   start [NAME=VALUE]... PROGRAM ARGS...
//                       starts PROGRAM with ARGS as its command line (written as given: the program
//                       takes quotes as part of its switches) and those variables added to its
//                       environment; prints "started"
//   exit [MS]           waits for the program; prints "exit code N", the whole 32-bit code, which a
//                       Unix exit status would cut to its low byte
//   kill                ends the program at once
//   bg FILE VERB ARGS   runs VERB (watch, quiet) on a thread of its own, its lines going to FILE,
//                       which ends with the verb's own "@@" line; prints "job N"
//   stop N              asks job N to end
//   join N [MS]         waits for job N to end; fails when the job failed
//
// Texts are printed in UTF-8 with line breaks as \n and backslashes as \\. With --lang only screens
// of that language count. The program started last ends with the driver: a walk that gives up must
// not leave it behind, where the next run would find it as another instance.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/gallery/catalogue.h"
#include "tests/e2e/gallery/screen_picture.h"

namespace {

using tz::gallery::ExpectedTemplate;
using tz::gallery::Language;

constexpr wchar_t program_title[] = L"F/W Loader  TZ594K for ZEMO V1.01";
// Watches look this often: a bar mark stands longer than that even where the program is emulated.
constexpr DWORD poll_ms = 10;
constexpr UINT reply_timeout_ms = 5000;
constexpr DWORD paint_timeout_ms = 10000;
constexpr int text_all = -1;
// A screen that shows the program title but is none of the catalogue's: the system's message box.
constexpr char other_role[] = "message_box";

// What one thread is doing for a request: where its lines go, which language counts, why it failed.
struct Task {
  std::FILE* out = stdout;
  Language language = Language::both;  // both: any
  std::string failure;
  const std::atomic<bool>* stop = nullptr;
  bool stopped() const { return stop != nullptr && stop->load(); }
};
thread_local Task* task = nullptr;

// Milliseconds on the performance counter: Wine's tick count can stand still for a process that
// waits on a wineserver kept for a whole session.
DWORD now_ms() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? f.QuadPart : 1;
  }();
  LARGE_INTEGER count{};
  QueryPerformanceCounter(&count);
  return static_cast<DWORD>(count.QuadPart * 1000 / frequency);
}

const std::vector<ExpectedTemplate>& screens_known() {
  static const std::vector<ExpectedTemplate> known = tz::gallery::catalogue();
  return known;
}

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// One line of output per text, whatever breaks it holds.
std::string printable(const std::wstring& text) {
  std::string out;
  for (const char c : utf8(text)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

void say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), task->out);
  std::fputc('\n', task->out);
  std::fflush(task->out);
}

// The first failure of a request is its reason.
bool fail(const char* format, const std::string& detail = {}) {
  char text[1024];
  std::snprintf(text, sizeof(text), format, detail.c_str());
  if (task->failure.empty()) task->failure = text;
  return false;
}

// The control's text as the system keeps it for the window, read without a message to the
// program: while the program works it answers messages only between its drive commands and wait
// slices, so asking would make a watcher see a screen seconds late. False when there is no such
// window.
bool read_text(HWND control, std::wstring& text) {
  SetLastError(ERROR_SUCCESS);
  const int length = GetWindowTextLengthW(control);
  if (length == 0 && GetLastError() != ERROR_SUCCESS) return false;
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 2, L'\0');
  const int copied = GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()));
  if (copied == 0 && GetLastError() != ERROR_SUCCESS) return false;
  text.assign(buffer.data(), static_cast<std::size_t>(copied));
  return true;
}

std::wstring caption_of(HWND window) {
  wchar_t caption[128] = {};
  GetWindowTextW(window, caption, 128);
  return caption;
}

bool starts_with(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool holds_control(HWND window, int id) { return GetDlgItem(window, id) != nullptr; }

// Control texts of one window, each asked for once.
class Texts {
 public:
  explicit Texts(HWND window) : window_(window) {}
  // False when the window has no such control or it did not answer.
  bool get(int id, std::wstring& text) {
    for (const Entry& e : read_) {
      if (e.id == id) return text = e.text, e.ok;
    }
    Entry e{id, false, {}};
    HWND control = GetDlgItem(window_, id);
    e.ok = control != nullptr && read_text(control, e.text);
    read_.push_back(e);
    text = e.text;
    return e.ok;
  }

 private:
  struct Entry {
    int id;
    bool ok;
    std::wstring text;
  };
  HWND window_;
  std::vector<Entry> read_;
};

// How well a window fits a template: -1 when it does not (a control missing, or another main text;
// the execution error screen's main text only begins with its template's), else one point for
// every control there and every text or button label as the template has it, so that a screen is
// told from one whose controls are a subset of its own, and a Japanese screen from an English one.
int fit(HWND window, Texts& texts, const ExpectedTemplate& e) {
  int score = 0;
  for (const int id : e.controls) {
    if (!holds_control(window, id)) return -1;
    ++score;
  }
  std::wstring shown;
  for (const auto& [id, label] : e.buttons) {
    if (!holds_control(window, id)) return -1;
    score += texts.get(id, shown) && shown == wide(label) ? 2 : 1;
  }
  for (const auto& [id, text] : e.texts) {
    const bool same = texts.get(id, shown) && starts_with(shown, wide(text));
    if (id == 1078 && !same) return -1;
    if (same) ++score;
  }
  return score;
}

bool language_fits(const ExpectedTemplate* entry, bool language_known, Language wanted) {
  return wanted == Language::both || entry == nullptr || !language_known || entry->language == Language::both ||
         entry->language == wanted;
}

struct Screen {
  HWND window = nullptr;
  const ExpectedTemplate* entry = nullptr;  // null: a message box
  bool language_known = true;               // false when both twins fit alike (the progress screen)
  std::string role() const { return entry != nullptr ? entry->role : other_role; }
  bool language_fits() const { return ::language_fits(entry, language_known, task->language); }
};

Screen identify(HWND window) {
  Screen s{window, nullptr, true};
  Texts texts(window);
  int best = -1;
  for (const ExpectedTemplate& e : screens_known()) {
    const int f = fit(window, texts, e);
    if (f > best) {
      best = f, s.entry = &e, s.language_known = true;
    } else if (f == best && f >= 0 && std::strcmp(e.role, s.entry->role) == 0) {
      s.language_known = false;
    }
  }
  return s;
}

struct Collection {
  std::vector<HWND> windows;
  bool hidden_too = false;
};

BOOL CALLBACK collect(HWND window, LPARAM list) {
  auto& c = *reinterpret_cast<Collection*>(list);
  if ((c.hidden_too || IsWindowVisible(window)) && caption_of(window) == program_title) c.windows.push_back(window);
  return TRUE;
}

// Only what the user can see counts, unless asked for the hidden ones too.
std::vector<Screen> screens_now(bool hidden_too = false) {
  Collection c;
  c.hidden_too = hidden_too;
  EnumWindows(collect, reinterpret_cast<LPARAM>(&c));
  std::vector<Screen> out;
  for (HWND w : c.windows) out.push_back(identify(w));
  return out;
}

std::string describe(const Screen& s) {
  char line[128];
  std::snprintf(line, sizeof(line), "%s %u #%lu%s%s", s.role().c_str(), s.entry != nullptr ? s.entry->id : 0u,
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(s.window)),
                s.language_known ? "" : " (either language)", IsWindowVisible(s.window) ? "" : " (hidden)");
  return line;
}

std::string all_described(const std::vector<Screen>& list) {
  std::string out;
  for (const Screen& s : list) out += (out.empty() ? "" : ", ") + describe(s);
  return out.empty() ? "none" : out;
}

// A screen of the role: in the wanted language, or (any_language) in either.
bool find(const std::string& role, Screen& found, bool any_language = false) {
  for (const Screen& s : screens_now()) {
    if (s.role() == role && (any_language || s.language_fits())) {
      found = s;
      return true;
    }
  }
  return false;
}

bool parse_number(const std::string& text, long& value) {
  char* end = nullptr;
  value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0';
}

bool current(const std::string& role, Screen& s) {
  if (find(role, s)) return true;
  return fail("%s", "no " + role + " screen; screens now: " + all_described(screens_now()));
}

// ---- verbs on screens ----

bool verb_wait(const std::string& role, DWORD timeout) {
  const DWORD start = now_ms();
  Screen s;
  while (!find(role, s)) {
    if (now_ms() - start > timeout) {
      return fail("no %s", role + " screen within " + std::to_string(timeout) +
                               " ms; screens now: " + all_described(screens_now()));
    }
    Sleep(poll_ms);
  }
  say(describe(s));
  return true;
}

bool verb_gone(const std::string& what, DWORD timeout) {
  const DWORD start = now_ms();
  const bool one_window = !what.empty() && what[0] == '#';
  const HWND window = one_window ? reinterpret_cast<HWND>(std::strtoul(what.c_str() + 1, nullptr, 10)) : nullptr;
  Screen s;
  while (one_window ? (IsWindow(window) && IsWindowVisible(window)) : find(what, s)) {
    if (now_ms() - start > timeout) {
      return fail("%s", what + " still shown after " + std::to_string(timeout) + " ms");
    }
    Sleep(poll_ms);
  }
  return true;
}

bool control_of(const Screen& s, long id, HWND& control) {
  control = GetDlgItem(s.window, static_cast<int>(id));
  if (control != nullptr) return true;
  return fail("%s", describe(s) + " has no control " + std::to_string(id));
}

BOOL CALLBACK print_child(HWND child, LPARAM) {
  std::wstring text;
  if (read_text(child, text)) say(std::to_string(GetDlgCtrlID(child)) + "\t" + printable(text));
  return TRUE;
}

bool verb_text(const std::string& role, long id) {
  Screen s;
  if (!current(role, s)) return false;
  if (id == text_all) {
    EnumChildWindows(s.window, print_child, 0);
    return true;
  }
  HWND control = nullptr;
  if (!control_of(s, id, control)) return false;
  std::wstring text;
  if (!read_text(control, text)) return fail("%s", describe(s) + ": control " + std::to_string(id) + " gave no text");
  say(printable(text));
  return true;
}

// Combo boxes and list boxes answer with the same kind of messages under different numbers.
struct ListMessages {
  UINT count, length, text, set_selection, get_selection;
};

bool list_messages(HWND control, ListMessages& m) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  if (lstrcmpiW(name, L"ComboBox") == 0) {
    m = {CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_SETCURSEL, CB_GETCURSEL};
    return true;
  }
  if (lstrcmpiW(name, L"ListBox") == 0) {
    m = {LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_SETCURSEL, LB_GETCURSEL};
    return true;
  }
  return fail("control of class %s holds no lines", utf8(name));
}

bool ask(HWND control, UINT message, WPARAM w, LPARAM l, DWORD_PTR& answer) {
  return SendMessageTimeoutW(control, message, w, l, SMTO_ABORTIFHUNG, reply_timeout_ms, &answer) != 0;
}

bool verb_lines(const std::string& role, long id) {
  Screen s;
  HWND control = nullptr;
  ListMessages m{};
  if (!current(role, s) || !control_of(s, id, control) || !list_messages(control, m)) return false;
  DWORD_PTR count = 0;
  if (!ask(control, m.count, 0, 0, count) || static_cast<LRESULT>(count) < 0) return fail("%s", "no line count");
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0;
    if (!ask(control, m.length, i, 0, length) || static_cast<LRESULT>(length) < 0) return fail("%s", "no line length");
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!ask(control, m.text, i, reinterpret_cast<LPARAM>(buffer.data()), copied) || static_cast<LRESULT>(copied) < 0) {
      return fail("%s", "no line text");
    }
    say(printable(std::wstring(buffer.data(), copied <= length ? copied : length)));
  }
  return true;
}

bool verb_chosen(const std::string& role, long id) {
  Screen s;
  HWND control = nullptr;
  ListMessages m{};
  if (!current(role, s) || !control_of(s, id, control) || !list_messages(control, m)) return false;
  DWORD_PTR chosen = 0;
  if (!ask(control, m.get_selection, 0, 0, chosen)) return fail("%s", "no chosen line");
  say(std::to_string(static_cast<LRESULT>(chosen)));
  return true;
}

bool verb_click(const std::string& role, long id) {
  Screen s;
  HWND button = nullptr;
  if (!current(role, s) || !control_of(s, id, button)) return false;
  if (!IsWindowVisible(button) || !IsWindowEnabled(button)) {
    return fail("%s", describe(s) + ": button " + std::to_string(id) + " cannot be pressed");
  }
  // What a click on the button sends its dialog; posted, so that the screen's answer (often the next
  // screen) never holds this program up.
  PostMessageW(s.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return true;
}

bool verb_close(const std::string& role) {
  Screen s;
  if (!current(role, s)) return false;
  if ((GetWindowLongW(s.window, GWL_STYLE) & WS_SYSMENU) == 0) return fail("%s", describe(s) + " has no close box");
  PostMessageW(s.window, WM_SYSCOMMAND, SC_CLOSE, 0);
  return true;
}

bool verb_pick(const std::string& role, long id, long line) {
  Screen s;
  HWND control = nullptr;
  ListMessages m{};
  if (!current(role, s) || !control_of(s, id, control) || !list_messages(control, m)) return false;
  DWORD_PTR answer = 0;
  if (!ask(control, m.set_selection, static_cast<WPARAM>(line), 0, answer) ||
      !ask(control, m.get_selection, 0, 0, answer) || static_cast<long>(answer) != line) {
    return fail("%s", "line " + std::to_string(line) + " cannot be chosen");
  }
  const WORD notification = m.count == CB_GETCOUNT ? CBN_SELCHANGE : LBN_SELCHANGE;
  PostMessageW(s.window, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(control));
  return true;
}

// ---- the keyboard ----

struct KeyName {
  const char* name;
  WORD key;
};
constexpr KeyName key_names[] = {{"enter", VK_RETURN}, {"esc", VK_ESCAPE},  {"tab", VK_TAB}, {"space", VK_SPACE},
                                 {"up", VK_UP},        {"down", VK_DOWN},   {"f4", VK_F4},   {"shift", VK_SHIFT},
                                 {"alt", VK_MENU},     {"ctrl", VK_CONTROL}};

// "alt+f4": the keys held together, in the order they go down.
bool parse_chord(const std::string& chord, std::vector<WORD>& keys) {
  keys.clear();
  std::size_t from = 0;
  while (from <= chord.size()) {
    const std::size_t plus = chord.find('+', from);
    const std::string name = chord.substr(from, plus == std::string::npos ? std::string::npos : plus - from);
    const KeyName* found = nullptr;
    for (const KeyName& k : key_names) {
      if (name == k.name) found = &k;
    }
    if (found == nullptr) return fail("%s", "no key " + name);
    keys.push_back(found->key);
    if (plus == std::string::npos) break;
    from = plus + 1;
  }
  return !keys.empty();
}

INPUT key_input(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, 0));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (key == VK_UP || key == VK_DOWN) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  return input;
}

bool verb_key(const std::string& role, const std::vector<std::string>& chords) {
  Screen s;
  if (!current(role, s)) return false;
  // The keyboard goes to the window in front, where a user's click would have put the screen.
  const DWORD start = now_ms();
  while (GetForegroundWindow() != s.window) {
    SetForegroundWindow(s.window);
    if (now_ms() - start > reply_timeout_ms) return fail("%s", describe(s) + " does not come to the front");
    Sleep(poll_ms);
  }
  std::vector<WORD> keys;
  for (const std::string& chord : chords) {
    if (!parse_chord(chord, keys)) return false;
    std::vector<INPUT> inputs;
    for (const WORD key : keys) inputs.push_back(key_input(key, false));
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) inputs.push_back(key_input(*key, true));
    if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
      return fail("%s", "the system took not every key of " + chord);
    }
    // One key at a time, as a hand types: the screen answers each before the next arrives.
    Sleep(300);
  }
  return true;
}

bool verb_focus(const std::string& role) {
  Screen s;
  if (!current(role, s)) return false;
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(s.window, nullptr), &info) || info.hwndFocus == nullptr) {
    return fail("%s", describe(s) + ": nothing has the keyboard");
  }
  HWND control = info.hwndFocus;
  // A drop-down list's own parts answer for the list.
  while (control != nullptr && GetParent(control) != s.window) control = GetParent(control);
  if (control == nullptr) return fail("%s", describe(s) + ": the keyboard is elsewhere");
  DWORD_PTR state = 0;
  SendMessageTimeoutW(s.window, WM_QUERYUISTATE, 0, 0, SMTO_ABORTIFHUNG, reply_timeout_ms, &state);
  std::string line =
      "focus " + std::to_string(GetDlgCtrlID(control)) + ((state & UISF_HIDEFOCUS) != 0 ? " hidden" : " shown");
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  DWORD_PTR open = 0;
  if (lstrcmpiW(name, L"ComboBox") == 0 &&
      SendMessageTimeoutW(control, CB_GETDROPPEDSTATE, 0, 0, SMTO_ABORTIFHUNG, reply_timeout_ms, &open) != 0 &&
      open != 0) {
    line += " open";
  }
  say(line);
  return true;
}

// ---- pictures ----

std::string language_name(Language l) {
  return l == Language::japanese ? "Japanese" : l == Language::english ? "English" : "either language";
}

// What the screen shows against what its template holds: every button of the template, with its
// label and nothing else pressable, and every fixed text word for word. The progress screen's
// texts are the update's own and are read by its watch; the execution error screen adds the
// failing place after its text.
std::string differences(const Screen& s) {
  std::string out;
  auto note = [&out](const std::string& what) { out += (out.empty() ? "" : "; ") + what; };
  const ExpectedTemplate& e = *s.entry;
  Texts texts(s.window);
  std::wstring shown;
  int visible_buttons = 0;
  for (HWND child = GetWindow(s.window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    const LONG type = GetWindowLongW(child, GWL_STYLE) & 0x0F;
    if (lstrcmpiW(name, L"Button") == 0 && IsWindowVisible(child) &&
        (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
      ++visible_buttons;
    }
  }
  for (const auto& [id, label] : e.buttons) {
    HWND button = GetDlgItem(s.window, id);
    if (button == nullptr || !IsWindowVisible(button)) {
      note("button " + std::to_string(id) + " \"" + utf8(wide(label)) + "\" missing");
    } else if (!texts.get(id, shown) || shown != wide(label)) {
      note("button " + std::to_string(id) + " says \"" + printable(shown) + "\", not \"" + utf8(wide(label)) + "\"");
    } else if (!IsWindowEnabled(button)) {
      note("button " + std::to_string(id) + " cannot be pressed");
    }
  }
  if (visible_buttons != static_cast<int>(e.buttons.size())) {
    note(std::to_string(visible_buttons) + " buttons, not " + std::to_string(e.buttons.size()));
  }
  if (std::strcmp(e.role, "progress") == 0) return out;
  const bool prefix_only = std::strcmp(e.role, "execution_error") == 0;
  for (const auto& [id, text] : e.texts) {
    const std::wstring wanted = wide(text);
    if (!texts.get(id, shown)) {
      note("text " + std::to_string(id) + " missing");
    } else if (prefix_only ? !starts_with(shown, wanted) : shown != wanted) {
      note("text " + std::to_string(id) + " says \"" + printable(shown) + "\", not \"" + printable(wanted) + "\"");
    }
  }
  return out;
}

bool verb_shot(const std::string& role, const std::string& file, DWORD timeout) {
  const DWORD start = now_ms();
  Screen s;
  std::string unpainted = "the whole screen";
  tz::gallery::Picture picture;
  // The screen is taken once every text and button on it has ink on the desktop: its window may
  // stand before its controls have painted, more so where the program is emulated.
  bool seen = false;
  for (;;) {
    if (!find(role, s, true) && seen) {
      return fail("%s", file + ": the " + role + " screen went before control(s) " + unpainted + " had painted");
    }
    if (s.window != nullptr) {
      seen = true;
      if (!s.language_fits()) {
        return fail("%s", file + ": the " + role + " screen shows in " + language_name(s.entry->language) + ", not " +
                              language_name(task->language));
      }
      if (picture.grab()) {
        unpainted = tz::gallery::unpainted_controls(s.window, picture);
        if (unpainted.empty()) break;
      }
    }
    if (now_ms() - start > timeout) {
      if (s.window == nullptr) {
        return fail("%s", file + ": no " + role + " screen within " + std::to_string(timeout) +
                              " ms; screens now: " + all_described(screens_now()));
      }
      picture.grab();
      picture.save_bmp(file.c_str(), picture.whole());
      return fail("%s", file + ": " + describe(s) + " shows nothing in control(s) " + unpainted + " after " +
                            std::to_string(timeout) + " ms");
    }
    Sleep(poll_ms * 5);
  }
  if (!picture.save_bmp(file.c_str(), picture.whole())) return fail("%s cannot be written", file);
  if (s.entry == nullptr) return fail("%s", file + ": a message box, not a screen of the catalogue");
  const std::string wrong = differences(s);
  if (!wrong.empty()) return fail("%s", file + ": " + describe(s) + ": " + wrong);
  say("shot " + describe(s) + " " + file);
  return true;
}

bool verb_snap(const std::string& file) {
  tz::gallery::Picture picture;
  if (!picture.grab() || !picture.save_bmp(file.c_str(), picture.whole())) return fail("%s cannot be taken", file);
  say("snap " + file);
  return true;
}

// ---- watches ----

bool verb_watch(const std::string& role, DWORD timeout) {
  const DWORD start = now_ms();
  Screen s;
  while (!find(role, s)) {
    if (now_ms() - start > timeout || task->stopped()) return fail("no %s screen to watch", role);
    Sleep(poll_ms);
  }
  say(describe(s));
  std::vector<int> ids = s.entry != nullptr ? s.entry->controls : std::vector<int>{};
  std::vector<std::wstring> last(ids.size());
  std::vector<bool> seen(ids.size(), false);
  while (IsWindow(s.window)) {
    for (std::size_t i = 0; i < ids.size(); ++i) {
      HWND control = GetDlgItem(s.window, ids[i]);
      std::wstring text;
      if (control == nullptr || !read_text(control, text)) continue;
      if (seen[i] && text == last[i]) continue;
      seen[i] = true;
      last[i] = text;
      say(std::to_string(ids[i]) + "\t" + printable(text));
    }
    if (now_ms() - start > timeout || task->stopped()) return fail("%s", describe(s) + " still shown");
    Sleep(poll_ms);
  }
  say("gone");
  return true;
}

bool verb_quiet(DWORD timeout) {
  const DWORD start = now_ms();
  std::vector<HWND> reported;
  bool any = false;
  say("watching");
  while (!task->stopped()) {
    for (const Screen& s : screens_now()) {
      bool known = false;
      for (HWND w : reported) known = known || w == s.window;
      if (known) continue;
      reported.push_back(s.window);
      any = true;
      say("shown: " + describe(s));
    }
    if (now_ms() - start > timeout) break;
    Sleep(poll_ms);
  }
  return any ? fail("%s", "a screen showed") : true;
}

bool verb_screens() {
  for (const Screen& s : screens_now(true)) say(describe(s));
  return true;
}

// ---- the program ----

struct Program {
  HANDLE job = nullptr;
  HANDLE process = nullptr;
  void end() {
    if (process != nullptr) CloseHandle(process);
    // Closing the job ends whatever still runs in it.
    if (job != nullptr) CloseHandle(job);
    process = job = nullptr;
  }
} program;

// The environment of the driver with the given NAME=VALUE entries put in place of their names'.
std::vector<wchar_t> environment_with(const std::vector<std::string>& assignments) {
  std::vector<std::wstring> entries;
  for (const std::string& a : assignments) entries.push_back(wide(a));
  auto overridden = [&entries](const std::wstring& entry) {
    const std::size_t eq = entry.find(L'=', 1);
    for (const std::wstring& e : entries) {
      if (eq != std::wstring::npos && e.size() > eq && e.compare(0, eq + 1, entry, 0, eq + 1) == 0) return true;
    }
    return false;
  };
  std::vector<wchar_t> block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* p = strings; p != nullptr && *p != L'\0'; p += std::wcslen(p) + 1) {
    const std::wstring entry(p);
    if (!overridden(entry)) block.insert(block.end(), entry.c_str(), entry.c_str() + entry.size() + 1);
  }
  if (strings != nullptr) FreeEnvironmentStringsW(strings);
  for (const std::wstring& e : entries) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
  block.push_back(L'\0');
  return block;
}

bool verb_start(const std::vector<std::string>& words, std::size_t& at) {
  if (program.process != nullptr) return fail("%s", "a program is still running: exit or kill it first");
  std::vector<std::string> assignments;
  while (at < words.size() && words[at] != ":" && words[at].find('=') != std::string::npos &&
         words[at].find_first_of("\\/") > words[at].find('=')) {
    assignments.push_back(words[at++]);
  }
  std::string line;
  for (; at < words.size() && words[at] != ":"; ++at) line += (line.empty() ? "" : " ") + words[at];
  if (line.empty()) return fail("%s", "start what?");
  std::wstring command = wide(line);
  command.push_back(L'\0');
  std::vector<wchar_t> environment = environment_with(assignments);
  program.job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (program.job == nullptr ||
      !SetInformationJobObject(program.job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    program.end();
    return fail("%s", "no job to hold the program");
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), nullptr, &startup, &process)) {
    program.end();
    return fail("%s cannot be started", line);
  }
  if (!AssignProcessToJobObject(program.job, process.hProcess)) {
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    program.end();
    return fail("%s", "the program could not be put in its job");
  }
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  program.process = process.hProcess;
  say("started");
  return true;
}

bool verb_exit(DWORD timeout) {
  if (program.process == nullptr) return fail("%s", "no program started");
  if (WaitForSingleObject(program.process, timeout) != WAIT_OBJECT_0) {
    return fail("%s", "the program still runs after " + std::to_string(timeout) + " ms");
  }
  DWORD code = 0;
  const bool known = GetExitCodeProcess(program.process, &code) != 0;
  program.end();
  if (!known) return fail("%s", "no exit code of the program");
  say("exit code " + std::to_string(code));
  return true;
}

bool verb_kill() {
  if (program.process == nullptr) return fail("%s", "no program started");
  TerminateJobObject(program.job, 137);
  WaitForSingleObject(program.process, reply_timeout_ms);
  program.end();
  return true;
}

// ---- requests ----

// Words are separated by blanks; quotes are part of their words, as the program reads its switches.
std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  for (const char c : line) {
    if (c == ' ' || c == '\t' || c == '\r') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

bool number_argument(const std::vector<std::string>& w, std::size_t& at, long& value, const char* what) {
  if (at >= w.size() || w[at] == ":" || !parse_number(w[at], value)) return fail("%s wanted", std::string(what));
  ++at;
  return true;
}

bool optional_timeout(const std::vector<std::string>& w, std::size_t& at, DWORD& timeout) {
  timeout = 30000;
  if (at >= w.size() || w[at] == ":") return true;
  long value = 0;
  if (!number_argument(w, at, value, "a time in milliseconds") || value < 0) return false;
  timeout = static_cast<DWORD>(value);
  return true;
}

struct Job {
  int id = 0;
  std::vector<std::string> words;
  Language language = Language::both;
  std::FILE* file = nullptr;
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};
  bool ok = false;
  std::thread thread;
};
std::mutex jobs_lock;
std::vector<std::unique_ptr<Job>> jobs;

int run_verb(const std::vector<std::string>& w, std::size_t& at);

Job* job_by_number(const std::vector<std::string>& w, std::size_t& at) {
  long id = 0;
  if (!number_argument(w, at, id, "a job number")) return nullptr;
  std::lock_guard<std::mutex> hold(jobs_lock);
  for (const auto& j : jobs) {
    if (j->id == id) return j.get();
  }
  fail("%s", "no job " + std::to_string(id));
  return nullptr;
}

void run_job(Job* job) {
  Task own;
  own.out = job->file;
  own.language = job->language;
  own.stop = &job->stop;
  task = &own;
  std::size_t at = 0;
  const int r = run_verb(job->words, at);
  job->ok = r == 1;
  say(std::string("@@ ") + (r == 1 ? "0" : r < 0 ? "2 " : "1 ") + own.failure);
  std::fclose(job->file);
  job->ended = true;
}

bool verb_bg(const std::vector<std::string>& w, std::size_t& at) {
  if (at + 1 >= w.size()) return fail("%s", "bg FILE VERB ARGS");
  const std::string file = w[at++];
  if (w[at] != "watch" && w[at] != "quiet") return fail("%s cannot run as a job", w[at]);
  auto job = std::make_unique<Job>();
  job->file = std::fopen(file.c_str(), "wb");
  if (job->file == nullptr) return fail("%s cannot be written", file);
  for (; at < w.size() && w[at] != ":"; ++at) job->words.push_back(w[at]);
  job->language = task->language;
  Job* started = job.get();
  {
    std::lock_guard<std::mutex> hold(jobs_lock);
    job->id = static_cast<int>(jobs.size()) + 1;
    jobs.push_back(std::move(job));
  }
  started->thread = std::thread(run_job, started);
  say("job " + std::to_string(started->id));
  return true;
}

bool verb_join(Job* job, DWORD timeout) {
  const DWORD start = now_ms();
  while (!job->ended.load()) {
    if (now_ms() - start > timeout) return fail("%s", "job " + std::to_string(job->id) + " still runs");
    Sleep(poll_ms);
  }
  if (job->thread.joinable()) job->thread.join();
  return job->ok ? true : fail("%s", "job " + std::to_string(job->id) + " failed");
}

// -1 for a request that does not read, else whether the verb did its work.
int run_verb(const std::vector<std::string>& w, std::size_t& at) {
  const std::string verb = w[at++];
  DWORD timeout = 0;
  if (verb == "screens") return verb_screens();
  if (verb == "kill") return verb_kill();
  if (verb == "exit") return optional_timeout(w, at, timeout) ? verb_exit(timeout) : -1;
  if (verb == "quiet") return optional_timeout(w, at, timeout) ? verb_quiet(timeout) : -1;
  if (verb == "start") return verb_start(w, at);
  if (verb == "bg") return verb_bg(w, at);
  if (at >= w.size() || w[at] == ":") return fail("%s needs arguments", verb), -1;
  const std::string first = w[at++];
  long id = 0;
  if (verb == "cd") return SetCurrentDirectoryW(wide(first).c_str()) ? 1 : fail("%s: no such folder", first);
  if (verb == "snap") return verb_snap(first);
  if (verb == "stop" || verb == "join") {
    --at;
    Job* job = job_by_number(w, at);
    if (job == nullptr) return -1;
    if (verb == "stop") return job->stop = true, 1;
    return optional_timeout(w, at, timeout) ? verb_join(job, timeout) : -1;
  }
  if (verb == "wait") return optional_timeout(w, at, timeout) ? verb_wait(first, timeout) : -1;
  if (verb == "gone") return optional_timeout(w, at, timeout) ? verb_gone(first, timeout) : -1;
  if (verb == "watch") return optional_timeout(w, at, timeout) ? verb_watch(first, timeout) : -1;
  if (verb == "close") return verb_close(first);
  if (verb == "focus") return verb_focus(first);
  if (verb == "key") {
    std::vector<std::string> chords;
    while (at < w.size() && w[at] != ":") chords.push_back(w[at++]);
    if (chords.empty()) return fail("%s", "key ROLE KEY..."), -1;
    return verb_key(first, chords);
  }
  if (verb == "shot") {
    if (at >= w.size() || w[at] == ":") return fail("%s", "shot ROLE FILE [MS]"), -1;
    const std::string file = w[at++];
    timeout = paint_timeout_ms;
    if (at < w.size() && w[at] != ":" && !optional_timeout(w, at, timeout)) return -1;
    return verb_shot(first, file, timeout);
  }
  if (verb == "text") {
    if (at < w.size() && w[at] == "all") return ++at, verb_text(first, text_all);
    return number_argument(w, at, id, "a control id") ? verb_text(first, id) : -1;
  }
  if (!number_argument(w, at, id, "a control id")) return -1;
  if (verb == "lines") return verb_lines(first, id);
  if (verb == "chosen") return verb_chosen(first, id);
  if (verb == "click") return verb_click(first, id);
  long line = 0;
  if (verb == "pick") return number_argument(w, at, line, "a line number") ? verb_pick(first, id, line) : -1;
  return fail("unknown verb %s", verb), -1;
}

// One request: its verbs in turn until one fails. 0 done, 1 a verb failed, 2 does not read.
int serve(const std::string& line) {
  const std::vector<std::string> w = split(line);
  std::size_t at = 0;
  task->language = Language::both;
  if (w.size() >= 2 && w[0] == "--lang") {
    if (w[1] != "ja" && w[1] != "en") return fail("--lang %s: ja or en", w[1]), 2;
    task->language = w[1] == "ja" ? Language::japanese : Language::english;
    at = 2;
  }
  if (at >= w.size()) return fail("%s", "an empty request"), 2;
  while (at < w.size()) {
    const int r = run_verb(w, at);
    if (r < 0) return 2;
    if (r == 0) return 1;
    if (at < w.size()) {
      if (w[at] != ":") return fail("%s: one verb at a time, separated by ':'", w[at]), 2;
      ++at;
    }
  }
  return 0;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  screens_known();
  Task main_task;
  task = &main_task;
  char buffer[4096];
  while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    main_task.failure.clear();
    const int r = serve(line);
    if (!main_task.failure.empty()) std::fprintf(stderr, "ui_driver: %s\n", main_task.failure.c_str());
    say("@@ " + std::to_string(r) + (main_task.failure.empty() ? "" : " " + main_task.failure));
  }
  for (const auto& j : jobs) {
    j->stop = true;
    if (j->thread.joinable()) j->thread.join();
  }
  program.end();
  return 0;
}
