#include "app/startup.h"

#include <cstring>

#include "app/context.h"
#include "app/run_flow.h"
#include "core/bytes.h"
#include "core/os_class.h"
#include "drive/trace.h"
#include "image/image_load.h"
#include "image/layout.h"
#include "ui/message_box.h"

namespace tz {

namespace {

// The folder the log goes to when the command line names none.
void use_current_folder(Context& ctx) { copy_bounded(ctx.app.program_folder, sizeof(ctx.app.program_folder), ".\\"); }

void set_folder(Context& ctx, const char* begin, std::size_t length) {
  if (length > program_folder_size) {
    use_current_folder(ctx);
    return;
  }
  std::memcpy(ctx.app.program_folder, begin, length);
  ctx.app.program_folder[length] = '\0';
}

// The folder of the program's own module: used when the command line names the program without
// any folder.
void set_module_folder(Context& ctx) {
  char path[program_folder_size + 64];
  const std::uint32_t n = ctx.os.system.module_file_name(path, sizeof(path));
  const char* cut = n != 0 && n < sizeof(path) ? std::strrchr(path, '\\') : nullptr;
  if (cut == nullptr) {
    use_current_folder(ctx);
    return;
  }
  set_folder(ctx, path, static_cast<std::size_t>(cut - path));
}

// Step 4: another instance of this program, or another loader, by window class.
platform::Handle first_instance_check(Context& ctx) {
  platform::Windows& windows = ctx.os.windows;
  platform::Handle found = windows.find_window(ctx.ui.text(Text::own_class_name));
  if (found != platform::null_handle) {
    record_result(ctx.app.result, 801, "This program is running.");
    return found;
  }
  found = windows.find_window(ctx.ui.text(Text::other_loader_class_name));
  if (found != platform::null_handle) record_result(ctx.app.result, 801, "Another download program is running.");
  return found;
}

// Step 7: a running launcher, unless the launcher itself started us.
platform::Handle launcher_instance_check(Context& ctx) {
  const RunSwitches& sw = ctx.app.switches;
  if (sw.launcher_loading != 0 || sw.launcher_run_check != 0) return platform::null_handle;
  const platform::Handle found = ctx.os.windows.find_window(ctx.ui.text(Text::launcher_class_name));
  if (found != platform::null_handle) record_result(ctx.app.result, 801, "This program is running.");
  return found;
}

bool create_main_window(Context& ctx) {
  platform::Windows& windows = ctx.os.windows;
  const platform::Handle instance = windows.module_instance();
  const platform::Handle window =
      windows.create_main_window({ctx.ui.text(Text::own_class_name), instance, program_icon_id, main_window_procedure});
  if (window == platform::null_handle) return false;
  ctx.app.instance = instance;
  ctx.app.main_window = window;
  windows.show_window(window, platform::sw_hide);
  windows.update_window(window);
  return true;
}

void destroy_main_window(Context& ctx) {
  if (ctx.app.main_window == platform::null_handle) return;
  ctx.os.windows.destroy_window(ctx.app.main_window);
  ctx.app.main_window = platform::null_handle;
}

// Everything after the language: the main window, the launcher check, and the run.
std::int32_t run_from_main_window(Context& ctx, const char* arguments, platform::Handle first_found) {
  if (!create_main_window(ctx)) {
    record_result(ctx.app.result, 800, "Initialize error.");
    if (!ctx.ui.silent()) show_message_box(ctx.ui, platform::mb_iconhand, "%s", result_message(ctx.app.result));
    finish_run(ctx);
    return ctx.app.exit_code;
  }

  launcher_switch_scan(ctx, arguments);
  const platform::Handle launcher_found = launcher_instance_check(ctx);

  const platform::Handle other = first_found != platform::null_handle ? first_found : launcher_found;
  if (other != platform::null_handle) {
    if (!ctx.ui.silent()) {
      platform::Windows& windows = ctx.os.windows;
      show_message_box(ctx.ui, platform::mb_iconhand, "%s", result_message(ctx.app.result));
      if (windows.is_iconic(other)) windows.show_window(other, platform::sw_restore);
      windows.set_foreground_window(other);
    }
    finish_run(ctx);
    destroy_main_window(ctx);
    return ctx.app.exit_code;
  }

  run_flow(ctx, arguments);
  destroy_main_window(ctx);
  return ctx.app.exit_code;
}

}  // namespace

platform::MessageAnswer main_window_procedure(std::uint32_t message, std::uintptr_t, std::intptr_t) {
  switch (message) {
    case platform::wm_queryendsession:
      return {true, 0};  // Windows may not end the session while a drive's ROM is being rewritten
    case platform::wm_powerbroadcast:
      return {true, platform::broadcast_query_deny};  // nor suspend
    default:
      return {false, 0};
  }
}

void determine_program_folder(Context& ctx) {
  if (ctx.ui.silent()) {
    use_current_folder(ctx);
    return;
  }
  const char* line = ctx.os.system.command_line();
  // Only a quoted program path names its folder; an unquoted one (and one whose quote is missing)
  // keeps the current folder, so a quote further on among the arguments is never mistaken for it.
  const char* close = line[0] == '"' ? std::strchr(line + 1, '"') : nullptr;
  if (close == nullptr) {
    use_current_folder(ctx);
    return;
  }
  const char* path = line + 1;
  const char* cut = nullptr;
  for (const char* p = path; p < close; ++p) {
    if (*p == '\\') cut = p;
  }
  if (cut == nullptr) {
    set_module_folder(ctx);
    return;
  }
  set_folder(ctx, path, static_cast<std::size_t>(cut - path));
}

void choose_language(Context& ctx) {
  if (ctx.app.switches.english != 0) {
    ctx.app.language = language_english;
    return;
  }
  platform::System& system = ctx.os.system;
  platform::Handle key = platform::null_handle;
  if (system.reg_open_current_user("Control Panel\\International", platform::key_query_value | platform::key_set_value,
                                   key) != platform::error_success) {
    ctx.app.language = language_english;
    return;
  }
  std::uint8_t data[512] = {};
  std::uint32_t size = sizeof(data);
  if (system.reg_query_value(key, "Locale", data, size) != platform::error_success) {
    ctx.app.language = language_english;
  } else {
    char value[sizeof(data) + 1];
    const std::size_t n = size < sizeof(data) ? size : sizeof(data);
    std::memcpy(value, data, n);
    value[n] = '\0';
    ctx.app.language = std::strcmp(value, "00000411") == 0 ? language_japanese : language_english;
  }
  system.reg_close(key);
}

std::int32_t program_entry(Context& ctx, const char* arguments) {
  ctx.app.texts.decode();
  build_model_tables(ctx.app.models);
  first_switch_scan(ctx, arguments);

  const platform::Handle first_found = first_instance_check(ctx);

  platform::OsVersionInfo version;
  ctx.app.os_class = get_os_class(ctx.os.system, version);
  ctx.drive.transport = is_nt_class(ctx.app.os_class) ? transport_pass_through : transport_aspi;
  determine_program_folder(ctx);
  choose_language(ctx);
  const std::int32_t exit_code = run_from_main_window(ctx, arguments, first_found);
  // The footer of a trace the run flow began, on every way out after the result log.
  end_trace(ctx.link, exit_code);
  return exit_code;
}

}  // namespace tz
