#pragma once
// The update of the drive at current_drive: preparation, the write phase (info block, payload
// blocks, ROM rewrite) and the verify phase, each phase tried up to ten times. Runs on the progress
// screen's thread; every failure records its code and message in the run result.
#include <cstdint>

namespace tz {

struct Context;

inline constexpr int write_phase_bar_line = 5;
inline constexpr int verify_phase_bar_line = 10;
inline constexpr int phase_attempts = 10;
// Readiness polls after a rewrite or verify request, and the drive's settling time after the
// last phase (with or without the verify phase).
inline constexpr int readiness_polls = 5;
inline constexpr std::uint32_t settle_without_verify_ms = 2000;
inline constexpr std::uint32_t after_verify_ms = 2000;

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
std::uint8_t run_update(Context& ctx);
// 0 when the last phase that ran succeeded, -1 otherwise.
int update_sequence(Context& ctx);
// Eject (or stop) and tray check, the boot-mode command, readiness polls: 0 or -1.
int prepare_for_download(Context& ctx);
// The info block, then the payload blocks, each read back when compare is on; `line` is the
// phase's bar (5: a failure is 500, 10: 600). 0 or -1.
int send_info_block(Context& ctx, int line);
int send_payload_blocks(Context& ctx, int line);
// The two long drive commands on the worker, announcing `seconds`: 0 or -1.
int rewrite_rom(Context& ctx, std::uint8_t seconds);
int verify_rom(Context& ctx, std::uint8_t seconds);
// Worker routines: 1 when the command returned GOOD, -1 otherwise.
std::int32_t rom_rewrite_worker(Context& ctx);
std::int32_t verify_worker(Context& ctx);

}  // namespace tz
