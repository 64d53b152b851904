// ui_driver: operates the program's screens from outside, as a user would, for shell scripts that
// walk a run under Wine or Windows. A screen is one of the program's top-level windows whose caption
// is the program title; its role comes from the controls and the main text it holds, compared with
// the screen catalogue.
//
//   ui_driver [--lang ja|en] VERB ARGS [: VERB ARGS]...
//
//   wait ROLE [MS]      until a screen of ROLE shows; prints "ROLE TEMPLATE_ID #WINDOW"
//   gone ROLE|#WINDOW [MS]  until no screen of ROLE (or that very window) is left
//   text ROLE ID|all    the text of control ID (or of every control as "ID<TAB>text")
//   lines ROLE ID       the lines of drop-down or list control ID, one a line
//   click ROLE ID       presses button ID
//   close ROLE          the close box
//   pick ROLE ID N      chooses line N (from 0) of drop-down list ID
//   watch ROLE [MS]     waits for the screen, then prints "ID<TAB>text" for every text change of its
//                       controls until it goes, then "gone"
//   quiet FILE [MS]     says "watching", then until FILE exists reports every screen of the program
//                       that shows ("shown: ROLE ..."); fails if any did
//   screens             every screen of the program now, hidden ones marked
//   run PROGRAM ARGS... starts PROGRAM with ARGS as its command line (written as given: the program
//                       takes quotes as part of its switches), waits for it and prints
//                       "exit code N": the whole 32-bit code, which a Unix exit status would cut
//                       to its low byte. The last verb of a command.
//
// Texts are printed in UTF-8 with line breaks as \n and backslashes as \\. With --lang only screens of
// that language count. Exit code 0 when every verb did its work, 1 when one failed (reason on
// stderr), 2 for a wrong command line.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/gallery/catalogue.h"

namespace {

using tz::gallery::ExpectedTemplate;
using tz::gallery::Language;

constexpr wchar_t program_title[] = L"F/W Loader  TZ594K for ZEMO V1.01";
constexpr DWORD poll_ms = 20;
constexpr UINT reply_timeout_ms = 5000;
constexpr int text_all = -1;
// A screen that shows the program title but is none of the catalogue's: the system's message box.
constexpr char other_role[] = "message_box";

Language wanted_language = Language::both;  // both: any

const std::vector<ExpectedTemplate>& screens_known() {
  static const std::vector<ExpectedTemplate> known = tz::gallery::catalogue();
  return known;
}

std::wstring wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

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
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool fail(const char* format, const std::string& detail = {}) {
  std::fprintf(stderr, "ui_driver: ");
  std::fprintf(stderr, format, detail.c_str());
  std::fputc('\n', stderr);
  std::fflush(stderr);
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

// How well a window fits a template: -1 when it does not (a control missing, or another main text;
// the execution error screen's main text only begins with its template's), else one point for
// every control there and every text or button label as the template has it, so that a screen is
// told from one whose controls are a subset of its own, and a Japanese screen from an English one.
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

struct Screen {
  HWND window = nullptr;
  const ExpectedTemplate* entry = nullptr;  // null: a message box
  bool language_known = true;               // false when both twins fit alike (the progress screen)
  std::string role() const { return entry != nullptr ? entry->role : other_role; }
  bool language_fits() const {
    return wanted_language == Language::both || entry == nullptr || !language_known ||
           entry->language == Language::both || entry->language == wanted_language;
  }
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
  const std::vector<HWND>& windows = c.windows;
  std::vector<Screen> out;
  for (HWND w : windows) out.push_back(identify(w));
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

bool find(const std::string& role, Screen& found) {
  for (const Screen& s : screens_now()) {
    if (s.role() == role && s.language_fits()) {
      found = s;
      return true;
    }
  }
  return false;
}

bool parse_number(const char* text, long& value) {
  char* end = nullptr;
  value = std::strtol(text, &end, 10);
  return end != text && *end == '\0';
}

bool current(const std::string& role, Screen& s) {
  if (find(role, s)) return true;
  return fail("%s", "no " + role + " screen; screens now: " + all_described(screens_now()));
}

// ---- verbs ----

bool verb_wait(const std::string& role, DWORD timeout) {
  const DWORD start = GetTickCount();
  Screen s;
  while (!find(role, s)) {
    if (GetTickCount() - start > timeout) {
      return fail("no %s", role + " screen within " + std::to_string(timeout) +
                               " ms; screens now: " + all_described(screens_now()));
    }
    Sleep(poll_ms);
  }
  say(describe(s));
  return true;
}

bool verb_gone(const std::string& what, DWORD timeout) {
  const DWORD start = GetTickCount();
  const bool one_window = !what.empty() && what[0] == '#';
  const HWND window = one_window ? reinterpret_cast<HWND>(std::strtoul(what.c_str() + 1, nullptr, 10)) : nullptr;
  Screen s;
  while (one_window ? (IsWindow(window) && IsWindowVisible(window)) : find(what, s)) {
    if (GetTickCount() - start > timeout) {
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

bool verb_watch(const std::string& role, DWORD timeout) {
  const DWORD start = GetTickCount();
  Screen s;
  while (!find(role, s)) {
    if (GetTickCount() - start > timeout) return fail("no %s screen to watch", role);
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
    if (GetTickCount() - start > timeout) return fail("%s", describe(s) + " still shown");
    Sleep(poll_ms);
  }
  say("gone");
  return true;
}

bool verb_quiet(const std::string& flag, DWORD timeout) {
  const DWORD start = GetTickCount();
  std::vector<HWND> reported;
  bool any = false;
  const std::wstring path(flag.begin(), flag.end());
  say("watching");
  while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    for (const Screen& s : screens_now()) {
      bool known = false;
      for (HWND w : reported) known = known || w == s.window;
      if (known) continue;
      reported.push_back(s.window);
      any = true;
      say("shown: " + describe(s));
    }
    if (GetTickCount() - start > timeout) return fail("%s", flag + " did not appear");
    Sleep(poll_ms / 2);
  }
  return !any;
}

bool verb_screens() {
  for (const Screen& s : screens_now(true)) say(describe(s));
  return true;
}

// ---- command line ----

struct Arguments {
  char** at;
  char** end;
  std::size_t left() const { return static_cast<std::size_t>(end - at); }
};

bool verb_run(Arguments& a) {
  std::string line;
  for (; a.left() != 0; ++a.at) line += (line.empty() ? "" : " ") + std::string(*a.at);
  std::wstring command(line.begin(), line.end());
  command.push_back(L'\0');
  // The program ends with its starter: a walk that kills this process to give up a run must not
  // leave the program behind, where the next run would find it as another instance.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job == nullptr || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    return fail("%s", "no job to hold the program");
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                      &process)) {
    return fail("%s cannot be started", line);
  }
  if (!AssignProcessToJobObject(job, process.hProcess)) {
    TerminateProcess(process.hProcess, 1);
    return fail("%s", "the program could not be put in its job");
  }
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(process.hProcess, &code) != 0;
  CloseHandle(process.hProcess);
  CloseHandle(job);
  if (!known) return fail("%s", "no exit code of " + line);
  say("exit code " + std::to_string(code));
  return true;
}

bool number_argument(Arguments& a, long& value, const char* what) {
  if (a.left() == 0 || std::strcmp(*a.at, ":") == 0 || !parse_number(*a.at, value)) {
    return fail("%s wanted", std::string(what));
  }
  ++a.at;
  return true;
}

bool optional_timeout(Arguments& a, DWORD& timeout) {
  timeout = 30000;
  if (a.left() == 0 || std::strcmp(*a.at, ":") == 0) return true;
  long value = 0;
  if (!number_argument(a, value, "a time in milliseconds") || value < 0) return false;
  timeout = static_cast<DWORD>(value);
  return true;
}

// -1 for a usage error, else whether the verb did its work.
int run_verb(Arguments& a) {
  const std::string verb = *a.at++;
  if (verb == "screens") return verb_screens();
  if (verb == "run") return a.left() != 0 ? verb_run(a) : (fail("%s", "run what?"), -1);
  if (a.left() == 0) return fail("%s needs arguments", verb), -1;
  const std::string first = *a.at++;
  long id = 0;
  DWORD timeout = 0;
  if (verb == "wait") return optional_timeout(a, timeout) ? verb_wait(first, timeout) : -1;
  if (verb == "gone") return optional_timeout(a, timeout) ? verb_gone(first, timeout) : -1;
  if (verb == "watch") return optional_timeout(a, timeout) ? verb_watch(first, timeout) : -1;
  if (verb == "quiet") return optional_timeout(a, timeout) ? verb_quiet(first, timeout) : -1;
  if (verb == "close") return verb_close(first);
  if (verb == "text") {
    if (a.left() != 0 && std::strcmp(*a.at, "all") == 0) return ++a.at, verb_text(first, text_all);
    return number_argument(a, id, "a control id") ? verb_text(first, id) : -1;
  }
  if (!number_argument(a, id, "a control id")) return -1;
  if (verb == "lines") return verb_lines(first, id);
  if (verb == "click") return verb_click(first, id);
  long line = 0;
  if (verb == "pick") return number_argument(a, line, "a line number") ? verb_pick(first, id, line) : -1;
  return fail("unknown verb %s", verb), -1;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  Arguments a{argv + 1, argv + argc};
  if (a.left() >= 2 && std::strcmp(*a.at, "--lang") == 0) {
    const std::string lang = a.at[1];
    if (lang != "ja" && lang != "en") return fail("--lang %s: ja or en", lang), 2;
    wanted_language = lang == "ja" ? Language::japanese : Language::english;
    a.at += 2;
  }
  if (a.left() == 0) {
    std::fprintf(stderr, "usage: ui_driver [--lang ja|en] VERB ARGS [: VERB ARGS]...\n");
    return 2;
  }
  while (a.left() != 0) {
    const int r = run_verb(a);
    if (r < 0) return 2;
    if (r == 0) return 1;
    if (a.left() != 0) {
      if (std::strcmp(*a.at, ":") != 0) return fail("%s: one verb at a time, separated by ':'", *a.at), 2;
      ++a.at;
    }
  }
  return 0;
}
