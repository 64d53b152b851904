// The screen gallery, a Windows test tool run under Wine.
//
//   gallery check EXE              every template in EXE's resources holds what the catalogue says,
//                                  and opens as a real dialog with the controls its procedure addresses
//   gallery shots LANGUAGE EXE DIR shows every screen of one language (1 Japanese, 2 English) from
//                                  EXE's resources through the program's own screen code, and saves
//                                  each as DIR\<id>_<role>.bmp as it stands on the desktop;
//                                  DIR\shots-<LANGUAGE>.log ends with "done" when every screen was taken
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/context.h"
#include "app/drive_selection.h"
#include "app/run_flow.h"
#include "app/startup.h"
#include "core/run_result.h"
#include "drive/discovery.h"
#include "drive/drive_table.h"
#include "drive/info_screens.h"
#include "drive/targets.h"
#include "image/image_load.h"
#include "image/matching.h"
#include "image/model_tables.h"
#include "platform/win32/win32_os.h"
#include "tests/e2e/gallery/catalogue.h"
#include "tests/e2e/gallery/screen_picture.h"
#include "ui/formatting.h"
#include "ui/message_box.h"
#include "ui/progress.h"
#include "ui/screens.h"
#include "update/update_screens.h"

namespace tz::gallery {
namespace {

int failures = 0;
std::FILE* log_file = nullptr;

void say(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::FILE* out = log_file != nullptr ? log_file : stdout;
  std::vfprintf(out, format, arguments);
  std::fputc('\n', out);
  std::fflush(out);
  va_end(arguments);
}

void fail(const char* format, ...) {
  char text[512];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  say("FAIL %s", text);
  ++failures;
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (const char16_t c : text) {
    if (c == u'\n') {
      out += "\\n";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "<%04X>", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

// ---- the raw template, read with every bound checked ----

struct NameOrOrdinal {
  bool ordinal = false;
  std::uint16_t number = 0;
  std::u16string text;
};

struct Item {
  std::uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  NameOrOrdinal window_class;
  NameOrOrdinal title;
};

struct Template {
  std::uint32_t style = 0;
  int cx = 0, cy = 0;
  std::u16string caption;
  int point_size = 0;
  std::u16string face;
  std::vector<Item> items;
};

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : begin_(data), at_(data), end_(data + size) {}
  bool ok() const { return ok_; }
  std::uint16_t word() {
    if (end_ - at_ < 2) return ok_ = false, 0;
    const std::uint16_t v = static_cast<std::uint16_t>(at_[0] | at_[1] << 8);
    at_ += 2;
    return v;
  }
  std::uint32_t dword() {
    const std::uint32_t low = word();
    return low | static_cast<std::uint32_t>(word()) << 16;
  }
  std::uint8_t byte() {
    if (at_ == end_) return ok_ = false, 0;
    return *at_++;
  }
  std::u16string text() {
    std::u16string s;
    for (std::uint16_t c = word(); ok_ && c != 0; c = word()) s += static_cast<char16_t>(c);
    return s;
  }
  NameOrOrdinal name_or_ordinal() {
    NameOrOrdinal n;
    const std::uint16_t first = word();
    if (first == 0xFFFF) {
      n.ordinal = true;
      n.number = word();
    } else if (first != 0) {
      n.text = static_cast<char16_t>(first) + text();
    }
    return n;
  }
  void skip(std::size_t n) {
    if (static_cast<std::size_t>(end_ - at_) < n)
      ok_ = false, at_ = end_;
    else
      at_ += n;
  }
  void align() {
    while (((at_ - begin_) & 3) != 0 && at_ != end_) ++at_;
  }

 private:
  const std::uint8_t* begin_;
  const std::uint8_t* at_;
  const std::uint8_t* end_;
  bool ok_ = true;
};

bool read_template(HMODULE module, std::uint16_t id, Template& t) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const auto* data = static_cast<const std::uint8_t*>(LockResource(loaded));
  if (data == nullptr) return false;
  Reader r(data, SizeofResource(module, found));
  if (r.word() != 1 || r.word() != 0xFFFF) return false;  // DLGTEMPLATEEX only
  r.dword();                                              // help id
  r.dword();                                              // extended style
  t.style = r.dword();
  const int count = r.word();
  r.word();
  r.word();
  t.cx = static_cast<std::int16_t>(r.word());
  t.cy = static_cast<std::int16_t>(r.word());
  r.name_or_ordinal();  // menu
  r.name_or_ordinal();  // class
  t.caption = r.text();
  if ((t.style & DS_SETFONT) != 0) {
    t.point_size = r.word();
    r.word();  // weight
    r.byte();  // italic
    r.byte();  // charset
    t.face = r.text();
  }
  for (int i = 0; i < count && r.ok(); ++i) {
    r.align();
    Item item;
    r.dword();  // help id
    r.dword();  // extended style
    item.style = r.dword();
    item.x = static_cast<std::int16_t>(r.word());
    item.y = static_cast<std::int16_t>(r.word());
    item.cx = static_cast<std::int16_t>(r.word());
    item.cy = static_cast<std::int16_t>(r.word());
    item.id = static_cast<int>(r.dword());
    item.window_class = r.name_or_ordinal();
    item.title = r.name_or_ordinal();
    r.skip(r.word());
    t.items.push_back(item);
  }
  return r.ok();
}

const Item* find_item(const Template& t, int id) {
  for (const Item& item : t.items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

constexpr std::uint16_t button_class = 0x0080;
constexpr std::uint16_t static_class = 0x0082;

// A predefined class is named by its ordinal or by its name (any case).
bool is_class(const NameOrOrdinal& c, std::uint16_t ordinal, const char16_t* name) {
  if (c.ordinal) return c.number == ordinal;
  if (c.text.size() != std::char_traits<char16_t>::length(name)) return false;
  for (std::size_t i = 0; i < c.text.size(); ++i) {
    if (std::towupper(c.text[i]) != std::towupper(name[i])) return false;
  }
  return true;
}

INT_PTR CALLBACK bare_procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

void check_template(HMODULE exe, const ExpectedTemplate& e) {
  Template t;
  if (!read_template(exe, e.id, t)) return fail("%u %s: no readable dialog template", e.id, e.role);
  if (t.cx != e.width || t.cy != e.height) fail("%u: %d x %d, wanted %d x %d", e.id, t.cx, t.cy, e.width, e.height);
  if (((t.style & WS_SYSMENU) != 0) != e.system_menu)
    fail("%u: close box %s", e.id, e.system_menu ? "missing" : "present");
  if ((t.style & WS_CAPTION) != WS_CAPTION) fail("%u: no caption", e.id);
  if (t.caption != template_caption) fail("%u: caption \"%s\"", e.id, narrow(t.caption).c_str());
  if (t.point_size != 9 || t.face != template_font) {
    fail("%u: font %d pt \"%s\"", e.id, t.point_size, narrow(t.face).c_str());
  }

  const Item* logo = find_item(t, logo_control);
  if (logo == nullptr || !is_class(logo->window_class, static_class, u"Static") || !logo->title.ordinal ||
      logo->title.number != logo_bitmap || (logo->style & SS_TYPEMASK) != SS_BITMAP) {
    fail("%u: no picture control %d showing bitmap %u", e.id, logo_control, logo_bitmap);
  } else if (logo->y != 0) {
    fail("%u: the logo is not at the top", e.id);
  }

  for (const int id : e.controls) {
    if (find_item(t, id) == nullptr) fail("%u %s: control %d missing", e.id, e.role, id);
  }
  std::set<int> buttons;
  for (const Item& item : t.items) {
    if (is_class(item.window_class, button_class, u"Button")) buttons.insert(item.id);
  }
  std::set<int> wanted_buttons;
  for (const auto& [id, label] : e.buttons) {
    wanted_buttons.insert(id);
    const Item* b = find_item(t, id);
    if (b == nullptr) continue;
    if (b->title.text != label) fail("%u: button %d says \"%s\"", e.id, id, narrow(b->title.text).c_str());
    const bool is_default = (b->style & 0x0F) == BS_DEFPUSHBUTTON;
    if (is_default != (id == 2)) fail("%u: button %d %s the default", e.id, id, is_default ? "is" : "is not");
  }
  if (buttons != wanted_buttons)
    fail("%u %s: %zu buttons, wanted %zu", e.id, e.role, buttons.size(), wanted_buttons.size());

  for (const auto& [id, text] : e.texts) {
    const Item* item = find_item(t, id);
    if (item == nullptr) {
      fail("%u: text control %d missing", e.id, id);
    } else if (item->title.text != text) {
      fail("%u: control %d says \"%s\"", e.id, id, narrow(item->title.text).c_str());
    }
  }
  for (const LineBox& box : e.layout) {
    const Item* item = find_item(t, box.id);
    if (item != nullptr && (item->x != box.x || item->y != box.y || item->cx != box.cx || item->cy != box.cy)) {
      fail("%u: control %d at %d, %d, %d, %d", e.id, box.id, item->x, item->y, item->cx, item->cy);
    }
  }

  // The template must also open: a dialog of its size with every addressed control.
  HWND window = CreateDialogParamW(exe, MAKEINTRESOURCEW(e.id), nullptr, bare_procedure, 0);
  if (window == nullptr) return fail("%u: CreateDialogParamW failed (%lu)", e.id, GetLastError());
  for (const int id : e.controls) {
    if (GetDlgItem(window, id) == nullptr) fail("%u: the open dialog has no control %d", e.id, id);
  }
  if (GetDlgItem(window, logo_control) == nullptr) fail("%u: the open dialog has no logo", e.id);
  DestroyWindow(window);
  say("ok %u %s", e.id, e.role);
}

int check(const char* exe_path) {
  HMODULE exe = LoadLibraryExA(exe_path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (exe == nullptr) {
    fail("cannot read the resources of %s", exe_path);
    return 1;
  }
  for (const ExpectedTemplate& e : catalogue()) check_template(exe, e);
  if (FindResourceA(exe, MAKEINTRESOURCEA(172), MAKEINTRESOURCEA(2)) == nullptr) fail("no bitmap 172");
  if (FindResourceA(exe, MAKEINTRESOURCEA(177), MAKEINTRESOURCEA(14)) == nullptr) fail("no icon 177");

  char file_name[MAX_PATH];
  std::snprintf(file_name, sizeof(file_name), "%s", exe_path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file_name, &ignored);
  std::vector<char> version(size);
  char* product = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoA(file_name, 0, size, version.data()) ||
      !VerQueryValueA(version.data(), "\\StringFileInfo\\040904B0\\ProductVersion", reinterpret_cast<void**>(&product),
                      &length) ||
      std::strcmp(product, "1.01") != 0) {
    fail("no product version 1.01");
  }
  FreeLibrary(exe);
  say(failures == 0 ? "all templates hold what their screens need" : "%d failures", failures);
  return failures == 0 ? 0 : 1;
}

// ---- screenshots through the program's own screen code ----

std::string out_folder;
const char* shot_name = nullptr;
HWND skip_window = nullptr;
int timer_rounds = 0;
bool brought_forward = false;
constexpr int paint_rounds = 200;  // of 50 ms: ten seconds for a screen to paint

void pump_messages(int ms) {
  MSG m;
  for (int waited = 0; waited < ms; waited += 10, Sleep(10)) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  }
}

// The screen as it stands on the desktop, once every text and button on it shows: a window may
// stand before its controls have painted (where the program is emulated, the first screen of a
// run for seconds), and a picture taken then shows the logo over an empty body. Messages are
// serviced while it waits, so that the window system carries the paint to the display.
void take(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Picture picture;
  std::string unpainted = "every control";
  for (int round = 0; round < paint_rounds; ++round) {
    pump_messages(50);
    if (!picture.grab()) continue;
    unpainted = unpainted_controls(window, picture);
    if (unpainted.empty()) break;
  }
  char caption[128] = {};
  GetWindowTextA(window, caption, sizeof(caption));
  if (std::strcmp(caption, program_title) != 0) fail("%s: caption \"%s\"", shot_name, caption);
  RECT area{};
  GetWindowRect(window, &area);
  const std::string path = out_folder + "\\" + shot_name + ".bmp";
  if (!picture.save_bmp(path.c_str(), area)) return fail("%s: cannot write %s", shot_name, path.c_str());
  if (!unpainted.empty()) {
    return fail("%s: nothing shows in control(s) %s after %d ms", shot_name, unpainted.c_str(), paint_rounds * 50);
  }
  const std::string faults = layout_faults(window, logo_control);
  if (!faults.empty()) return fail("%s: %s", shot_name, faults.c_str());
  say("ok %s %ldx%ld", shot_name, static_cast<long>(area.right - area.left), static_cast<long>(area.bottom - area.top));
}

BOOL CALLBACK find_screen(HWND window, LPARAM found) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof(name));
  if (window != skip_window && IsWindowVisible(window) && std::strcmp(name, "#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

// The progress screen is photographed part-way through its update, once the transfer bar has
// some marks and the transfer has not ended. The update takes every input away unseen, so no timer
// of this thread reaches it: a watcher thread looks on, and the screen answers its reads whenever
// the update services its messages.
DWORD gallery_thread = 0;
std::atomic<bool> progress_running{false};
std::atomic<bool> progress_taken{false};

bool transfer_under_way(HWND screen) {
  char bar[64] = {};
  char after[128] = {};
  GetDlgItemTextA(screen, progress_line_control(5), bar, sizeof(bar));
  GetDlgItemTextA(screen, progress_line_control(6), after, sizeof(after));
  const std::string marks(bar);
  // English marks "* ", Japanese the code page 932 filled square.
  const bool some = marks.find('*') != std::string::npos || marks.find("\x81\xA1") != std::string::npos;
  return some && after[0] == '\0';
}

DWORD WINAPI watch_progress(LPVOID) {
  while (progress_running.load() && !progress_taken.load()) {
    Sleep(50);
    HWND screen = nullptr;
    EnumThreadWindows(gallery_thread, find_screen, reinterpret_cast<LPARAM>(&screen));
    if (screen == nullptr || !transfer_under_way(screen)) continue;
    take(screen);
    progress_taken = true;
  }
  return 0;
}

// A screen moved to a display of another scale (here told so as Windows 10 tells it, to 133 % of
// the size it has) takes the size the system suggests and fits its logo to its new width.
void check_scale_change(HWND screen) {
  constexpr UINT wm_dpichanged = 0x02E0;
  RECT before{};
  GetWindowRect(screen, &before);
  RECT suggested{before.left, before.top, before.left + (before.right - before.left) * 4 / 3,
                 before.top + (before.bottom - before.top) * 4 / 3};
  SendMessageA(screen, wm_dpichanged, MAKEWPARAM(128, 128), reinterpret_cast<LPARAM>(&suggested));
  pump_messages(500);
  RECT after{};
  GetWindowRect(screen, &after);
  if (after.right - after.left != suggested.right - suggested.left) {
    return fail("%s: %ld pixels wide after a change of scale, the system suggested %ld", shot_name,
                static_cast<long>(after.right - after.left), static_cast<long>(suggested.right - suggested.left));
  }
  const std::string faults = layout_faults(screen, logo_control);
  if (!faults.empty()) return fail("%s after a change of scale: %s", shot_name, faults.c_str());
  say("ok %s follows a change of scale to %ldx%ld", shot_name, static_cast<long>(after.right - after.left),
      static_cast<long>(after.bottom - after.top));
}

// Runs inside the screen's own modal loop: photographs the screen, then closes it by its close box.
VOID CALLBACK on_timer(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND screen = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), find_screen, reinterpret_cast<LPARAM>(&screen));
  if (screen == nullptr) {
    if (++timer_rounds < 40) return;
    fail("%s: never appeared", shot_name);
    ExitProcess(3);
  }
  // As the user has it: in front and active. The screen's own loop repaints its frame before the
  // next round takes the picture.
  if (!brought_forward) {
    brought_forward = true;
    SetForegroundWindow(screen);
    // The virtual desktop may keep the activation for itself on the first screen of a run.
    SendMessageA(screen, WM_NCACTIVATE, TRUE, 0);
    return;
  }
  KillTimer(nullptr, timer);
  take(screen);
  if (std::strstr(shot_name, "_notice") != nullptr) check_scale_change(screen);
  PostMessageA(screen, WM_CLOSE, 0, 0);
}

struct Shot {
  std::uint16_t japanese;
  std::uint16_t english;
  const char* role;
  std::int32_t (*show)(Context&);  // the program's own screen code; the value it returned
};

// Shows the result screen of a code with a message as the update records it.
template <std::int32_t code>
std::int32_t result_screen(Context& ctx) {
  record_result(ctx.app.result, code, code == 0 ? "" : "Download error.(31)");
  show_result_screen(ctx.ui, code);
  return 1;
}

std::int32_t selection(Context& ctx) { return show_drive_selection(ctx.link); }

std::int32_t confirmation(Context& ctx) {
  ctx.drive.current_drive = find_drive_by_status(ctx.drive, drive_status_target, 0);
  return show_start_confirmation(ctx.link);
}

// The update of the first drive of the gallery's bay, hosted by its screen.
std::int32_t progress(Context& ctx) {
  const std::uint32_t index = find_drive_by_status(ctx.drive, drive_status_target, 0);
  if (index >= drive_table_size) {
    fail("progress: no drive to update");
    return 1;
  }
  ctx.drive.current_drive = index;
  ctx.drive.drive_table[index].status = drive_status_chosen_target;
  apply_method_flags(ctx);
  gallery_thread = GetCurrentThreadId();
  progress_taken = false;
  progress_running = true;
  HANDLE watcher = CreateThread(nullptr, 0, watch_progress, nullptr, 0, nullptr);
  const std::int32_t r = show_progress_screen(ctx.link, ctx.app.result);
  progress_running = false;
  if (watcher != nullptr) {
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
  }
  if (!progress_taken) fail("progress: never photographed during the transfer");
  if (result_code(ctx.app.result) != 0)
    fail("progress: the update ended with %d \"%s\"", result_code(ctx.app.result), result_message(ctx.app.result));
  // Back to a target for the screens that follow.
  ctx.drive.drive_table[index].status = drive_status_target;
  return r == 1 ? 1 : -3;
}

const Shot shots[] = {
    {218, 219, "invalid_option",
     [](Context& ctx) {
       show_invalid_option(ctx.ui);
       return 1;
     }},
    {238, 239, "not_applicable",
     [](Context& ctx) {
       show_not_applicable(ctx.ui);
       return 1;
     }},
    {220, 221, "already_updated",
     [](Context& ctx) {
       show_already_updated(ctx.ui);
       return 1;
     }},
    {279, 280, "tray_closed", [](Context& ctx) { return show_tray_prompt(ctx.ui); }},
    {294, 295, "on_battery", [](Context& ctx) { return show_battery_prompt(ctx.ui); }},
    {230, 231, "eject_failed",
     [](Context& ctx) {
       show_eject_failed(ctx.ui);
       return 1;
     }},
    {234, 235, "drive_in_use",
     [](Context& ctx) {
       show_drive_in_use(ctx.ui);
       return 1;
     }},
    {292, 293, "execution_error",
     [](Context& ctx) {
       show_execution_error(ctx.ui, 2);
       return 1;
     }},
    {188, 191, "drive_selection", selection},
    {150, 192, "notice", [](Context& ctx) { return show_notice(ctx.ui); }},
    {141, 202, "start_confirmation", confirmation},
    {204, 205, "progress", progress},
    {143, 201, "success", result_screen<0>},
    {151, 193, "update_failure", result_screen<500>},
    {160, 196, "interrupt", result_screen<1001>},
    {174, 189, "abort", result_screen<1002>},
    {161, 197, "log_failure",
     [](Context& ctx) {
       show_log_failure(ctx.ui);
       return 1;
     }},
    {223, 223, "version", [](Context& ctx) { return show_firmware_version(ctx.ui, ctx.image.image_identity); }},
    {242, 242, "detail", [](Context& ctx) { return show_detail_version(ctx.link); }},
    {243, 243, "copyright",
     [](Context& ctx) {
       format_copyright(ctx.link);
       return show_copyright(ctx.ui);
     }},
};

// Two simulated drives behind our ASPI layer that need the image, found the way a run finds them.
bool find_gallery_drives(Context& ctx) {
  const std::string bay = out_folder + "\\gallery-bay.txt";
  if (std::FILE* f = std::fopen(bay.c_str(), "w")) {
    // The drive's own rewrite and verify times cut short: the pictures need the transfer only.
    std::fputs(
        "drive at=0:0 firmware=1.00 tray=open rewrite-ms=300 verify-ms=200\n"
        "drive at=0:1 firmware=1.00 tray=open rewrite-ms=300 verify-ms=200\n",
        f);
    std::fclose(f);
  } else {
    fail("cannot write %s", bay.c_str());
    return false;
  }
  SetEnvironmentVariableA("TZ594K_SIM", bay.c_str());
  SetEnvironmentVariableA("TZ594K_SIM_TRANSCRIPT", nullptr);
  ctx.drive.transport = transport_aspi;
  if (load_firmware_image(ctx.image, ctx.app.texts) != 0) {
    fail("the carried image does not load");
    return false;
  }
  const int scan = scan_drives(ctx.link);
  const int match = select_update_targets(ctx.link);
  if (scan != 0 || count_drives_by_status(ctx.drive, drive_status_target) != 2) {
    fail("drive search gave %d, matching %d, %u targets", scan, match,
         static_cast<unsigned>(count_drives_by_status(ctx.drive, drive_status_target)));
    return false;
  }
  return true;
}

int take_shots(std::uint8_t language, const char* exe_path, const char* folder) {
  out_folder = folder;
  log_file = std::fopen((out_folder + "\\shots-" + std::to_string(language) + ".log").c_str(), "w");
  if (log_file == nullptr) return 1;
  HMODULE exe = LoadLibraryExA(exe_path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (exe == nullptr) {
    fail("cannot read the resources of %s", exe_path);
    return 1;
  }
  platform::win32::Win32Os system_seam(reinterpret_cast<platform::Handle>(GetModuleHandleA(nullptr)));
  const auto ctx = std::make_unique<Context>(system_seam.os());
  ctx->app.texts.decode();
  build_model_tables(ctx->app.models);
  ctx->app.language = language;
  ctx->app.instance = reinterpret_cast<platform::Handle>(exe);
  ctx->app.main_window =
      system_seam.windows.create_main_window({"TZ594K_gallery", system_seam.windows.module_instance(), 0, nullptr});
  system_seam.windows.show_window(ctx->app.main_window, platform::sw_hide);
  if (!find_gallery_drives(*ctx)) {
    say("%d failures", failures);
    std::fclose(log_file);
    return 1;
  }

  char name[64];
  for (const Shot& shot : shots) {
    // A screen with one template for both languages is taken once, with the English screens.
    if (shot.japanese == shot.english && language == language_japanese) continue;
    const std::uint16_t id = language == language_japanese ? shot.japanese : shot.english;
    std::snprintf(name, sizeof(name), "%u_%s", id, shot.role);
    shot_name = name;
    timer_rounds = 0;
    brought_forward = false;
    if (shot.show != progress) SetTimer(nullptr, 0, 400, on_timer);
    const std::int32_t shown = shot.show(*ctx);
    // Closed by its close box, a screen reports the exit button.
    if (shown != 1) fail("%s: the close box gave %d", name, shown);
  }

  // The processing window is modeless: it stands on its own after its serviced wait.
  std::snprintf(name, sizeof(name), "%u_processing", language == language_japanese ? 236 : 237);
  shot_name = name;
  open_processing_window(ctx->ui);
  if (ctx->ui_state.processing_window == platform::null_handle) {
    fail("%s: not opened", name);
  } else {
    const HWND window = reinterpret_cast<HWND>(ctx->ui_state.processing_window);
    SetForegroundWindow(window);
    SendMessageA(window, WM_NCACTIVATE, TRUE, 0);
    pump_messages(300);
    take(window);
  }
  close_processing_window(ctx->ui);

  system_seam.windows.destroy_window(ctx->app.main_window);
  FreeLibrary(exe);
  say(failures == 0 ? "done" : "%d failures", failures);
  std::fclose(log_file);
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tz::gallery

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "check") == 0) return tz::gallery::check(argv[2]);
  if (argc == 5 && std::strcmp(argv[1], "shots") == 0) {
    return tz::gallery::take_shots(static_cast<std::uint8_t>(std::atoi(argv[2])), argv[3], argv[4]);
  }
  std::fprintf(stderr, "usage: gallery check EXE | gallery shots LANGUAGE EXE FOLDER\n");
  return 2;
}
