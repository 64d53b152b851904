#include "update/update_sequence.h"

#include <cstring>

#include "image/image_load.h"
#include "image/layout.h"
#include "ui/power.h"

namespace tz {

namespace {

struct StepRow {
  int line;
  const char* japanese;
  const char* english;
};

constexpr StepRow step_rows[] = {
    {2, "ドライブチェック中...", "Checking the Drive..."},
    {3, "ドライブチェック完了。", "Good !!"},
    {4, "データ転送中...", "The data transfer..."},
    {6, "データ転送完了。", "Complete !!"},
    {7, "ＲＯＭデータ書換え中... (%d秒程度お待ちください)",
     "ROM Data rewriting... (Please wait for about %d seconds.)"},
    {8, "ＲＯＭデータ書換え完了。", "Complete !!"},
    {9, "ベリファイ中...", "Verify..."},
    {11, "ベリファイ中... (%d秒程度お待ちください)", "Verify... (Please wait for about %d seconds.)"},
    {11, "ベリファイ完了。", "Good !!"},
};
static_assert(sizeof(step_rows) / sizeof(step_rows[0]) == static_cast<std::size_t>(Step::verify_done) + 1);

constexpr std::uint8_t boot_mode = 1;
constexpr std::uint8_t rewrite_mode_sync = 0x80;
constexpr std::uint8_t rewrite_mode_plain = 0x00;
constexpr std::uint8_t verify_mode = 0x40;

bool on(std::uint32_t build_switch) { return build_switch == 1; }

// What a step of the sequence ends with: code 0 when it succeeded, else the failure to record,
// and whether the update ends with it rather than trying the phase again.
struct Failure {
  std::int32_t code;
  const char* message;
  bool final = false;
};
constexpr Failure succeeded{0, ""};
// The ROM is never rewritten on battery power: the old one stays, and the drive is let go.
constexpr Failure power_refused{power_refused_before_rewrite_code, power_refused_message, true};
bool failed(const Failure& f) { return f.code != 0; }

void show_step(UpdateView& view, Step step) {
  view.set_step_text(step_line(step), "%s", step_text(view.language(), step));
}

// A failed transfer belongs to the phase whose bar it moves.
Failure transfer_failure(int line, const char* message) { return {line == write_phase_bar_line ? 500 : 600, message}; }

// The header goes in front of every piece; the drive keeps the piece at `offset`. With compare on
// the piece is read back at once and its data (the header in front excluded) must be what was
// sent. The failure messages name the place: write, read-back, difference.
struct PieceMessages {
  const char* write;
  const char* read;
  const char* differs;
};
constexpr PieceMessages info_block_messages{"Download error.(13)", "Download error.(12)", "Download error.(11)"};
constexpr PieceMessages payload_messages{"Download error.(33)", "Download error.(32)", "Download error.(31)"};

const char* send_piece(const UpdateParts& u, std::uint32_t offset, const std::uint8_t* data, std::uint32_t length,
                       const PieceMessages& messages) {
  if (u.drive.write_piece(offset, u.image.transfer_header, data, length) != 0) return messages.write;
  if (!on(u.build.COMPARE_SEND_DATA_NUMBER)) return nullptr;
  const std::uint8_t* returned = u.drive.read_piece(offset, length);
  if (returned == nullptr) return messages.read;
  return std::memcmp(returned, data, length) == 0 ? nullptr : messages.differs;
}

// One long drive command on the worker, the ROM rewrite or the verify: 1 when it returned GOOD,
// -1 otherwise.
struct LongCommand {
  UpdateDrive& drive;
  std::uint8_t mode;
};

std::int32_t long_command_worker(void* work) {
  const LongCommand& command = *static_cast<const LongCommand*>(work);
  return command.drive.execute(command.mode) == 0 ? 1 : -1;
}

// Eject (or stop) and tray check, the boot-mode command, readiness polls.
Failure prepare_for_download(const UpdateParts& u) {
  u.view.service_messages();
  show_step(u.view, Step::drive_check);
  if (u.drive.eject_and_check() != 0) return {802, "Eject failed.(21)"};
  if (on(u.build.EXEC_BOOT_SYSTEM_NUMBER) && u.drive.prepare_download(boot_mode) != 0) {
    return {500, "Drive preparation failed.(1)"};
  }
  for (int i = 0; i < readiness_polls; ++i) {
    u.view.service_messages();
    u.drive.test_unit_ready();
  }
  show_step(u.view, Step::drive_check_done);
  return succeeded;
}

// The info block, then the payload blocks, each read back when compare is on; `line` is the
// phase's bar (5: a failure is 500, 10: 600).
Failure send_info_block(const UpdateParts& u, int line) {
  u.view.service_messages();
  const ImageState& image = u.image;
  const char* failure = send_piece(u, 0, image.transfer_info_block, image.transfer_info_size, info_block_messages);
  return failure == nullptr ? succeeded : transfer_failure(line, failure);
}

Failure send_payload_blocks(const UpdateParts& u, int line) {
  const StoredImage& stored = *u.image.stored;
  const std::uint32_t count = stored.payload_block_count;
  const std::uint32_t total = count * payload_block_bytes;
  const std::uint32_t first_offset = u.image.transfer_info_size;
  u.view.service_messages();
  for (std::uint32_t i = 0; i < count; ++i) {
    u.view.service_messages();
    const char* failure = send_piece(u, first_offset + i * payload_block_bytes, stored.payload_blocks[i],
                                     payload_block_bytes, payload_messages);
    if (failure != nullptr) return transfer_failure(line, failure);
    // The index of the block just written, not the count done: block 0 empties the bar, the last
    // one shows 99 and only the end of the loop shows 100.
    u.view.set_progress(line, static_cast<std::int32_t>((i * payload_block_bytes * 100u) / total));
  }
  u.view.set_progress(line, 100);
  return succeeded;
}

// The two long drive commands on the worker, announcing `seconds`. `requested` turns true once a
// rewrite request may have reached the drive.
Failure rewrite_rom(const UpdateParts& u, std::uint8_t seconds, bool& requested) {
  u.view.service_messages();
  // The one step that cannot be undone: the power is looked at again right before it. Once a
  // rewrite was asked for, the ROM may be half written and going on is the drive's only way back,
  // so nothing stops the later attempts.
  if (!requested && !u.view.mains_power()) return power_refused;
  u.view.set_step_text(step_line(Step::rom_rewrite), step_text(u.view.language(), Step::rom_rewrite),
                       static_cast<int>(seconds));
  LongCommand rewrite{u.drive, on(u.build.SYNC_BOOT_SYSTEM_NUMBER) ? rewrite_mode_sync : rewrite_mode_plain};
  const int worker = u.view.run_in_worker(long_command_worker, &rewrite);
  // A worker that could not even be started (1) is a rewrite that did not happen.
  if (worker != 1) requested = true;
  if (worker != 0) return {300, "Illegal F/W file.(1)"};
  show_step(u.view, Step::rom_rewrite_done);
  if (on(u.build.VERIFY_PROCESS_NUMBER)) {
    // The drive restarts from its new ROM; these wake it without giving the screens a turn.
    for (int i = 0; i < readiness_polls; ++i) u.drive.test_unit_ready();
  } else {
    u.view.wait_servicing(settle_without_verify_ms);
  }
  return succeeded;
}

Failure verify_rom(const UpdateParts& u, std::uint8_t seconds) {
  u.view.set_step_text(step_line(Step::verify), step_text(u.view.language(), Step::verify), static_cast<int>(seconds));
  LongCommand verify{u.drive, verify_mode};
  if (u.view.run_in_worker(long_command_worker, &verify) != 0) return {600, "Verify error.(1)"};
  show_step(u.view, Step::verify_done);
  u.view.wait_servicing(after_verify_ms);
  return succeeded;
}

// Each phase is tried until one attempt succeeds; the last attempt's failure is the phase's.
Failure update_sequence(const UpdateParts& u, const DriveRecord& d) {
  // Nothing was sent when the device cannot be opened; the launcher must still learn that the
  // update could not start.
  if (u.drive.open() != 0) return {500, "Drive preparation failed.(2)"};
  const std::uint8_t* method = d.method_flags;
  Failure outcome = prepare_for_download(u);
  bool rewrite_requested = false;
  if (!failed(outcome)) {
    for (int attempt = 0; attempt < phase_attempts; ++attempt) {
      for (int line = 4; line <= 8; ++line) u.view.set_step_text(line, "%s", "");
      show_step(u.view, Step::transfer);
      outcome = send_info_block(u, write_phase_bar_line);
      if (!failed(outcome)) outcome = send_payload_blocks(u, write_phase_bar_line);
      // Attempts that can send nothing would only bury the failure that cut the drive off.
      if (failed(outcome) && u.drive.lost()) break;
      if (failed(outcome)) continue;
      show_step(u.view, Step::transfer_done);
      outcome = rewrite_rom(u, method[4], rewrite_requested);
      if (!failed(outcome) || outcome.final || u.drive.lost()) break;
    }
  }
  if (!failed(outcome) && on(u.build.VERIFY_PROCESS_NUMBER)) {
    for (int attempt = 0; attempt < phase_attempts; ++attempt) {
      for (int line = 9; line <= 11; ++line) u.view.set_step_text(line, "%s", "");
      show_step(u.view, Step::verify_transfer);
      outcome = send_info_block(u, verify_phase_bar_line);
      if (!failed(outcome)) outcome = send_payload_blocks(u, verify_phase_bar_line);
      if (!failed(outcome)) outcome = verify_rom(u, method[5]);
      if (!failed(outcome) || u.drive.lost()) break;
    }
  }
  u.drive.close();
  return outcome;
}

}  // namespace

const char* step_text(std::uint8_t language, Step step) {
  const StepRow& row = step_rows[static_cast<std::size_t>(step)];
  return language == language_japanese ? row.japanese : row.english;
}

int step_line(Step step) { return step_rows[static_cast<std::size_t>(step)].line; }

std::uint8_t run_update(const UpdateParts& u) {
  // The run flow only opens the progress screen for a chosen drive; anything else cannot be updated.
  const DriveRecord* chosen = u.drive.chosen();
  if (chosen == nullptr) {
    record_result(u.result, 1001, "Load execution error.");
    return 0xFF;
  }
  const DriveRecord& d = *chosen;
  if (u.image.load_sequence == image_load_sequence) {
    u.view.set_step_text(1, "%s : %s    V%s  -->  V%s\n", u.view.text(Text::drive_label), d.identity.info_product,
                         d.identity.info_revision, u.image.image_identity.info_revision);
  }
  // A drive whose table entry says it cannot run the sequence, or of a kind this image is not
  // for, is a failure, never a silent cancel.
  const bool runnable = d.method_flags[0] != 0 && (d.drive_kind & u.image.drive_kind_mask) == image_drive_kind_mask;
  const Failure outcome = runnable ? update_sequence(u, d) : Failure{1001, "Load execution error."};
  record_result(u.result, outcome.code, outcome.message);
  return failed(outcome) ? 0xFF : 0;
}

}  // namespace tz
