#pragma once
// The program's single instances, owned by the entry point; a test makes a fresh one. It owns
// every floor's state and hands each floor its part: the screens the Ui, the drive work the
// DriveLink, the result log its ResultLog.
#include <cstdint>

#include "app/switches.h"
#include "core/run_result.h"
#include "core/string_table.h"
#include "drive/drive_link.h"
#include "drive/drive_state.h"
#include "image/image_state.h"
#include "image/model_tables.h"
#include "image/supported_firmware.h"
#include "platform/os.h"
#include "ui/ui_state.h"
#include "update/result_log.h"

namespace tz {

struct AppState {
  RunSwitches switches;
  std::uint8_t language = 0;  // 1 Japanese, 2 English
  std::uint8_t os_class = 0;
  RunResult result;
  std::int32_t exit_code = initial_exit_code;
  std::int32_t pending_exit_code = initial_exit_code;
  BuildSwitches build;
  char program_folder[program_folder_size + 1] = {};
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
  UiState ui_state;
  ImageState image;
  DriveState drive;
  Trace trace{os.files, os.clock};

  // The parts, built once over the state above (members are built in this order).
  Ui ui{os.dialogs,   os.windows,   os.clock,     os.threads,      ui_state,  app.texts,
        app.language, app.switches, app.instance, app.main_window, app.result};
  DriveLink link{os.devices, os.aspi, os.system, drive, ui, app.build, image, app.models, app.supported, trace};
  ResultLog log{os.files, os.system, app.texts, drive, app.result, app.program_folder};
};

}  // namespace tz
