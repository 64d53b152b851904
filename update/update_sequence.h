#pragma once
// The update of the drive at current_drive: preparation, the write phase (info block, payload
// blocks, ROM rewrite) and the verify phase, each phase tried up to ten times. Runs on the progress
// screen's thread; every failure records its code and message in the run result.
#include <cstdint>

#include "core/run_result.h"

namespace tz {

struct DriveLink;

inline constexpr int write_phase_bar_line = 5;
inline constexpr int verify_phase_bar_line = 10;

// The lines the sequence writes, in the order of the progress screen.
enum class Step : std::uint8_t {
  drive_check,
  drive_check_done,
  transfer,
  transfer_done,
  rom_rewrite,
  rom_rewrite_done,
  verify_transfer,
  verify,
  verify_done,
};
// The step's text in the screens' language (Japanese when language is 1, as code page 932 bytes)
// and the line it goes to.
const char* step_text(std::uint8_t language, Step step);
int step_line(Step step);

// The whole update, called once by the progress screen: 0 on success, 0xFF otherwise. Success
// records code 0 with an empty message.
std::uint8_t run_update(DriveLink& link, RunResult& result);
// 0 when the last phase that ran succeeded, -1 otherwise.
int update_sequence(DriveLink& link, RunResult& result);
// Eject (or stop) and tray check, the boot-mode command, readiness polls: 0 or -1.
int prepare_for_download(DriveLink& link, RunResult& result);
// The info block, then the payload blocks, each read back when compare is on; `line` is the
// phase's bar (5: a failure is 500, 10: 600). 0 or -1.
int send_info_block(DriveLink& link, RunResult& result, int line);
int send_payload_blocks(DriveLink& link, RunResult& result, int line);
// The two long drive commands on the worker, announcing `seconds`: 0 or -1.
int rewrite_rom(DriveLink& link, RunResult& result, std::uint8_t seconds);
int verify_rom(DriveLink& link, RunResult& result, std::uint8_t seconds);
// Worker routines over the DriveLink they are handed: 1 when the command returned GOOD, -1 otherwise.
std::int32_t rom_rewrite_worker(void* work);
std::int32_t verify_worker(void* work);

}  // namespace tz
