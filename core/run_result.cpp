#include "core/run_result.h"

#include "core/bytes.h"

namespace tz {

namespace {

// When finish_run writes the result log (with log output requested).
enum class Log : std::uint8_t { never, silent_only, always };

struct CodeRow {
  std::int32_t code;
  std::int32_t exit_code;
  const char* log_label;
  ScreenPair screen;  // shown by finish_run outside silent mode; {0, 0}: none
  Log log;
};

constexpr CodeRow code_table[] = {
    {0, 0, "[SUCCESS]", {143, 201}, Log::never},
    {100, 1, "[DRIVE NOT FOUND]", {0, 0}, Log::silent_only},
    {101, 1, "[LAUNCH OTHER PROGRAM]", {0, 0}, Log::silent_only},
    {200, 2, "[F/W FILE NOT FOUND]", {0, 0}, Log::silent_only},
    // A ROM rewrite the drive refused ten times is a failed update, and the user is told so on
    // the update failure screen like the write and verify failures.
    {300, 3, "[ILLEGAL F/W FILE]", {151, 193}, Log::silent_only},
    {400, 4, "[F/W FILE UNMATCHED]", {0, 0}, Log::silent_only},
    {401, 99, "[F/W ALREADY UPDATED]", {0, 0}, Log::silent_only},
    {500, 5, "[UPDATE FAILED]", {151, 193}, Log::always},
    {600, 6, "[VERIFY FAILED]", {151, 193}, Log::always},
    {700, 7, "[INVALID OPTION]", {0, 0}, Log::silent_only},
    {701, 7, "[DUPLICATE OPTION]", {0, 0}, Log::silent_only},
    {800, 8, "[OTHER ERROR]", {0, 0}, Log::silent_only},
    // On battery right before the first ROM rewrite: the drive holds the downloaded image in its
    // download mode with the old ROM until the computer is powered off and on, the advice of a
    // failed update; so its exit code, screen and log are an update failure's.
    {803, 5, "[OTHER ERROR]", {151, 193}, Log::always},
    {801, 8, "[MULTIPLE EXECUTION]", {0, 0}, Log::silent_only},
    {802, 8, "[EJECT FAILED]", {230, 231}, Log::silent_only},
    {1001, 8, "[INTERRUPT]", {160, 196}, Log::always},
    {1002, 8, "[ABORT]", {174, 189}, Log::always},
};

const CodeRow* find_code(std::int32_t code) {
  for (const CodeRow& row : code_table) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

// The build's description, carried in the program's data for whoever inspects the file; the
// program itself never reads it.
[[gnu::used]] const char build_descriptions[build_description_count][64] = {
    "[EXE_FILE_NAME=TZ594K_for_ZEMO_V101]",
    "[RUNNING_OS_SELECT_SW_NUMBER=0]",
    "[DIALOG_TITLE_BAR_STRING=F/W Loader  TZ594K for ZEMO V1.01]",
    "[DRIVE_BUILT_IN_METHOD_NUMBER=1]",
    "[LANGUAGE_SELECT_NUMBER=0]",
    "[DIALOG_ERROR_NON_DRIVE_NUMBER=1]",
    "[TRAY_CLOSE_PROCESS_STOP_NUMBER=1]",
    "[ENV_INFO_DISP_NUMBER=0]",
    "[START_UPDATE_DISP_NUMBER=0]",
    "[EXIT_FILE_INQ_PRINT_NUMBER=0]",
    "[EXEC_BOOT_SYSTEM_NUMBER=1]",
    "[SYNC_BOOT_SYSTEM_NUMBER=1]",
    "[COMPARE_SEND_DATA_NUMBER=1]",
    "[VERIFY_PROCESS_NUMBER=1]",
    "[PROGRAM_LAUNCHER_NUMBER=0]",
    "[VENDOR_CODE_SPEC_CHECK_NUMBER=1]",
};

}  // namespace

void record_result(RunResult& result, std::int32_t code, const char* message) {
  result.code = code;
  copy_bounded(result.message, sizeof(result.message), message);
}

std::int32_t result_code(const RunResult& result) { return result.code; }

const char* result_message(const RunResult& result) { return result.message; }

std::int32_t exit_code_for(std::int32_t code) {
  const CodeRow* row = find_code(code);
  return row != nullptr ? row->exit_code : 8;
}

const char* log_label_for(std::int32_t code) {
  const CodeRow* row = find_code(code);
  return row != nullptr ? row->log_label : "(OTHER ERROR)";
}

ScreenPair result_screen_for(std::int32_t code) {
  const CodeRow* row = find_code(code);
  return row != nullptr ? row->screen : ScreenPair{0, 0};
}

bool result_log_due(std::int32_t code, bool silent) {
  const CodeRow* row = find_code(code);
  if (row == nullptr) return false;
  return row->log == Log::always || (row->log == Log::silent_only && silent);
}

const char* build_description(int index) {
  return index >= 0 && index < build_description_count ? build_descriptions[index] : nullptr;
}

}  // namespace tz
