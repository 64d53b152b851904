#pragma once
// The program's single instances, owned by the entry point; a test makes a fresh one.
#include <cstdint>

#include "core/run_result.h"
#include "core/string_table.h"
#include "app/switches.h"
#include "drive/drive_state.h"
#include "image/image_state.h"
#include "image/model_tables.h"
#include "image/supported_firmware.h"
#include "platform/os.h"
#include "ui/ui_state.h"

namespace tz {

inline constexpr std::uint8_t transport_aspi = 1;
inline constexpr std::uint8_t transport_pass_through = 2;
inline constexpr std::size_t program_folder_size = 1024;
// The result log's path: the folder, a backslash and "TZ594K_for_ZEMO_V101-YYYYMMDDhhmmss.log".
inline constexpr std::size_t log_path_size = program_folder_size + 1 + 39 + 1;

struct AppState {
  RunSwitches switches;
  std::uint8_t language = 0;  // 1 Japanese, 2 English
  std::uint8_t transport = 0;
  std::uint8_t os_class = 0;
  RunResult result;
  std::int32_t exit_code = initial_exit_code;
  std::int32_t pending_exit_code = initial_exit_code;
  BuildSwitches build;
  char program_folder[program_folder_size + 1] = {};
  char log_path[log_path_size] = {};  // built once, on the first request
  bool log_path_built = false;
  platform::Handle main_window = platform::null_handle;
  platform::Handle instance = platform::null_handle;
  char work_area[switch_work_area_size] = {};
  StringTable texts;
  ModelTables models{};
  SupportedFirmware supported;
};

struct Context {
  explicit Context(const platform::Os& system_seam) : os(system_seam) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  platform::Os os;
  AppState app;
  UiState ui;
  ImageState image;
  DriveState drive;

  const char* text(Text id) const { return app.texts.get(id); }
  bool silent() const { return app.switches.silent != 0; }
};

}  // namespace tz
