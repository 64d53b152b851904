#pragma once
// The update of the chosen drive: preparation, the write phase (info block, payload blocks, ROM
// rewrite) and the verify phase, each phase tried up to ten times. Runs on the progress screen's
// thread. It talks to the drive and to its screen only through the two narrow interfaces below,
// and records its outcome, success or the last failure, in the run result once, at the end.
#include <cstdarg>
#include <cstdint>

#include "core/run_result.h"
#include "core/string_table.h"
#include "drive/drive_state.h"
#include "image/image_state.h"
#include "ui/ui_state.h"

namespace tz {

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

// What the update asks of the drive it rewrites. Commands answer as the drive floor's do: 0 GOOD,
// 1 CHECK CONDITION, -1 failure.
class UpdateDrive {
 public:
  // The chosen drive's record, or null when no drive is chosen.
  virtual const DriveRecord* chosen() = 0;
  // Pass-through: opens the drive's device unless it is open (0 or -1); ASPI: 0.
  virtual int open() = 0;
  // Pass-through: closes the drive's device.
  virtual void close() = 0;
  // Eject (or only stop) and the check that the tray opened, serviced on the progress window.
  virtual int eject_and_check() = 0;
  virtual int prepare_download(std::uint8_t mode) = 0;
  virtual int test_unit_ready() = 0;
  // One piece: the header in front of `length` data bytes, kept by the drive at `offset`.
  virtual int write_piece(std::uint32_t offset, const std::uint8_t* header, const std::uint8_t* data,
                          std::uint32_t length) = 0;
  // Reads the piece's data back (the header in front skipped): the bytes, or null when the read failed.
  virtual const std::uint8_t* read_piece(std::uint32_t offset, std::uint32_t length) = 0;
  // ROM rewrite (0x80 or 0x00) or verify (0x40); returns when the drive is done.
  virtual int execute(std::uint8_t mode) = 0;
  // True once no request can reach the drive any more this run: the transport still holds one
  // the drive never answered.
  virtual bool lost() = 0;

 protected:
  ~UpdateDrive() = default;
};

// What the update shows and waits through: the progress screen's lines and bars, the servicing of
// its window, and the worker for the long commands.
class UpdateView {
 public:
  virtual std::uint8_t language() const = 0;
  virtual const char* text(Text id) const = 0;
  // Formats the line's text and shows it.
  virtual void set_step_text_v(int line, const char* format, std::va_list arguments) = 0;
  // Moves the line's bar to the percentage, mark by mark; 0 or less empties it.
  virtual void set_progress(int line, std::int32_t percent) = 0;
  virtual void service_messages() = 0;
  virtual void wait_servicing(std::uint32_t ms) = 0;
  // 0 when the routine succeeded, -1 when it failed, 1 when no thread could be started.
  virtual int run_in_worker(WorkerRoutine routine, void* work) = 0;
  // Right before the first ROM rewrite request: true to go on; false when the computer runs on its
  // battery and the run is silent or the user left the battery screen.
  virtual bool mains_power() = 0;

  [[gnu::format(printf, 3, 4)]] void set_step_text(int line, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    set_step_text_v(line, format, arguments);
    va_end(arguments);
  }

 protected:
  ~UpdateView() = default;
};

// Everything one update touches.
struct UpdateParts {
  UpdateDrive& drive;
  UpdateView& view;
  const ImageState& image;
  const BuildSwitches& build;
  RunResult& result;
};

// The whole update, called once by the progress screen: 0 on success, 0xFF otherwise. Success
// records code 0 with an empty message, a failure its code and message.
std::uint8_t run_update(const UpdateParts& parts);

}  // namespace tz
