#pragma once
// The one result of a run, its exit code, its log label and the build configuration.
#include <cstdint>

namespace tz {

struct RunResult {
  std::int32_t code = -1;  // -1: nothing recorded
  char message[512] = {};
};

// The compiled-in switches; each counts as on only when it equals 1.
struct BuildSwitches {
  std::uint32_t EXEC_BOOT_SYSTEM_NUMBER = 1;
  std::uint32_t SYNC_BOOT_SYSTEM_NUMBER = 1;
  std::uint32_t COMPARE_SEND_DATA_NUMBER = 1;
  std::uint32_t VERIFY_PROCESS_NUMBER = 1;
  std::uint32_t eject_switch = 1;
};

// The update's fixed settings, listed with the switches on the detailed version screen: attempts
// per phase, readiness polls after a rewrite or verify request, and the drive's settling time
// after the last phase (with or without the verify phase).
inline constexpr int phase_attempts = 10;
inline constexpr int readiness_polls = 5;
inline constexpr std::uint32_t settle_without_verify_ms = 2000;
inline constexpr std::uint32_t after_verify_ms = 2000;

inline constexpr std::int32_t initial_exit_code = 8;
// A launcher's check run ends with this when a drive needs the update.
inline constexpr std::int32_t launcher_check_exit_code = 1001;

void record_result(RunResult& result, std::int32_t code, const char* message);
std::int32_t result_code(const RunResult& result);
const char* result_message(const RunResult& result);

// The exit code and the result log label of a result code (8 and "(OTHER ERROR)" for any code
// the table does not name, -1 included).
std::int32_t exit_code_for(std::int32_t code);
const char* log_label_for(std::int32_t code);

// The result screen finish_run shows for a code: its Japanese and English template ids, or
// {0, 0} when the code has none.
struct ScreenPair {
  std::uint16_t japanese;
  std::uint16_t english;
};
ScreenPair result_screen_for(std::int32_t code);
// Whether finish_run writes the result log for this code.
bool result_log_due(std::int32_t code, bool silent);

// The build-description labels the program carries in its data.
inline constexpr int build_description_count = 16;
const char* build_description(int index);

}  // namespace tz
