#include "update/update_sequence.h"

#include <cstring>

#include "drive/commands.h"
#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "drive/preparation.h"
#include "drive/transport.h"
#include "image/image_load.h"
#include "ui/progress.h"
#include "ui/waits.h"
#include "ui/worker.h"

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

DriveRecord& current(DriveLink& link) { return link.state.drive_table[link.state.current_drive]; }

void show_step(DriveLink& link, Step step) {
  set_step_text(link.ui, step_line(step), "%s", step_text(link.ui.language, step));
}

// A failed transfer belongs to the phase whose bar it moves.
void record_transfer_failure(RunResult& result, int line, const char* message) {
  record_result(result, line == write_phase_bar_line ? 500 : 600, message);
}

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

const char* send_piece(DriveLink& link, std::uint32_t offset, const std::uint8_t* data, std::uint32_t length,
                       const PieceMessages& messages) {
  const std::uint8_t* header = link.image.transfer_header;
  if (cmd_write_download(link, header_bytes, length, offset, header, data) != 0) return messages.write;
  if (!on(link.build.COMPARE_SEND_DATA_NUMBER)) return nullptr;
  std::uint8_t* returned = link.state.scsi_data_buffer;
  if (cmd_read_download(link, header_bytes, length, offset, nullptr, returned) != 0) return messages.read;
  return std::memcmp(returned, data, length) == 0 ? nullptr : messages.differs;
}

}  // namespace

const char* step_text(std::uint8_t language, Step step) {
  const StepRow& row = step_rows[static_cast<std::size_t>(step)];
  return language == language_japanese ? row.japanese : row.english;
}

int step_line(Step step) { return step_rows[static_cast<std::size_t>(step)].line; }

std::int32_t rom_rewrite_worker(void* work) {
  DriveLink& link = *static_cast<DriveLink*>(work);
  const std::uint8_t mode = on(link.build.SYNC_BOOT_SYSTEM_NUMBER) ? rewrite_mode_sync : rewrite_mode_plain;
  return cmd_execute(link, mode) == 0 ? 1 : -1;
}

std::int32_t verify_worker(void* work) {
  return cmd_execute(*static_cast<DriveLink*>(work), verify_mode) == 0 ? 1 : -1;
}

int prepare_for_download(DriveLink& link, RunResult& result) {
  const platform::Handle window = link.ui.state.progress_window;
  service_messages(link.ui, window);
  show_step(link, Step::drive_check);
  if (eject_and_check(link, window) != 0) {
    record_result(result, 802, "Eject failed.(21)");
    return -1;
  }
  if (on(link.build.EXEC_BOOT_SYSTEM_NUMBER) && cmd_prepare_download(link, boot_mode) != 0) {
    record_result(result, 500, "Drive preparation failed.(1)");
    return -1;
  }
  for (int i = 0; i < readiness_polls; ++i) {
    service_messages(link.ui, window);
    cmd_test_unit_ready(link, 0);
  }
  show_step(link, Step::drive_check_done);
  return 0;
}

int send_info_block(DriveLink& link, RunResult& result, int line) {
  service_messages(link.ui, link.ui.state.progress_window);
  const ImageState& image = link.image;
  const char* failure = send_piece(link, 0, image.transfer_info_block, image.transfer_info_size, info_block_messages);
  if (failure == nullptr) return 0;
  record_transfer_failure(result, line, failure);
  return -1;
}

int send_payload_blocks(DriveLink& link, RunResult& result, int line) {
  const StoredImage& stored = *link.image.stored;
  const std::uint32_t count = stored.payload_block_count;
  const std::uint32_t total = count * payload_block_bytes;
  const std::uint32_t first_offset = link.image.transfer_info_size;
  service_messages(link.ui, link.ui.state.progress_window);
  for (std::uint32_t i = 0; i < count; ++i) {
    service_messages(link.ui, link.ui.state.progress_window);
    const char* failure = send_piece(link, first_offset + i * payload_block_bytes, stored.payload_blocks[i],
                                     payload_block_bytes, payload_messages);
    if (failure != nullptr) {
      record_transfer_failure(result, line, failure);
      return -1;
    }
    // The index of the block just written, not the count done: block 0 empties the bar, the last
    // one shows 99 and only the end of the loop shows 100.
    set_progress(link.ui, line, static_cast<std::int32_t>((i * payload_block_bytes * 100u) / total));
  }
  set_progress(link.ui, line, 100);
  return 0;
}

int rewrite_rom(DriveLink& link, RunResult& result, std::uint8_t seconds) {
  service_messages(link.ui, link.ui.state.progress_window);
  set_step_text(link.ui, step_line(Step::rom_rewrite), step_text(link.ui.language, Step::rom_rewrite),
                static_cast<int>(seconds));
  // A worker that could not even be started is a rewrite that did not happen.
  if (run_in_worker(link.ui, rom_rewrite_worker, &link) != 0) {
    record_result(result, 300, "Illegal F/W file.(1)");
    return -1;
  }
  show_step(link, Step::rom_rewrite_done);
  if (on(link.build.VERIFY_PROCESS_NUMBER)) {
    // The drive restarts from its new ROM; these wake it without giving the screens a turn.
    for (int i = 0; i < readiness_polls; ++i) cmd_test_unit_ready(link, 0);
  } else {
    wait_servicing(link.ui, settle_without_verify_ms, link.ui.state.progress_window);
  }
  return 0;
}

int verify_rom(DriveLink& link, RunResult& result, std::uint8_t seconds) {
  set_step_text(link.ui, step_line(Step::verify), step_text(link.ui.language, Step::verify), static_cast<int>(seconds));
  if (run_in_worker(link.ui, verify_worker, &link) != 0) {
    record_result(result, 600, "Verify error.(1)");
    return -1;
  }
  show_step(link, Step::verify_done);
  wait_servicing(link.ui, after_verify_ms, link.ui.state.progress_window);
  return 0;
}

int update_sequence(DriveLink& link, RunResult& result) {
  const bool pass_through = link.state.transport == transport_pass_through;
  if (pass_through && current(link).device_handle == platform::invalid_handle_value && spt_open(link) != 0) {
    // Nothing was sent; the launcher must still learn that the update could not start.
    record_result(result, 500, "Drive preparation failed.(2)");
    return -1;
  }
  const std::uint8_t* method = current(link).method_flags;
  bool good = prepare_for_download(link, result) == 0;
  if (good) {
    good = false;
    for (int attempt = 0; attempt < phase_attempts && !good; ++attempt) {
      record_result(result, 0, "");
      for (int line = 4; line <= 8; ++line) set_step_text(link.ui, line, "%s", "");
      show_step(link, Step::transfer);
      good = send_info_block(link, result, write_phase_bar_line) == 0 && send_payload_blocks(link, result, write_phase_bar_line) == 0;
      if (!good) continue;
      show_step(link, Step::transfer_done);
      good = rewrite_rom(link, result, method[4]) == 0;
    }
  }
  if (good && on(link.build.VERIFY_PROCESS_NUMBER)) {
    good = false;
    for (int attempt = 0; attempt < phase_attempts && !good; ++attempt) {
      record_result(result, 0, "");
      for (int line = 9; line <= 11; ++line) set_step_text(link.ui, line, "%s", "");
      show_step(link, Step::verify_transfer);
      good = send_info_block(link, result, verify_phase_bar_line) == 0 && send_payload_blocks(link, result, verify_phase_bar_line) == 0 &&
             verify_rom(link, result, method[5]) == 0;
    }
  }
  if (pass_through) spt_close(link);
  return good ? 0 : -1;
}

std::uint8_t run_update(DriveLink& link, RunResult& result) {
  // The run flow only opens the progress screen for a chosen drive; anything else cannot be updated.
  if (current_drive_record(link.state) == nullptr) {
    record_result(result, 1001, "Load execution error.");
    return 0xFF;
  }
  const DriveRecord& d = current(link);
  const IdentityRecord& image = link.image.image_identity;
  if (link.image.load_sequence == image_load_sequence) {
    set_step_text(link.ui, 1, "%s : %s    V%s  -->  V%s\n", link.ui.text(Text::drive_label), d.identity.info_product,
                  d.identity.info_revision, image.info_revision);
  } else {
    record_result(result, 1001, "Load sequence search error.");
  }
  std::uint8_t outcome = 0xFF;
  if (d.method_flags[0] == 0) {
    // The drive's table entry says it cannot run the sequence: a failure, never a silent cancel.
    record_result(result, 1001, "Load execution error.");
  } else if ((d.drive_kind & link.image.drive_kind_mask) == image_drive_kind_mask) {
    outcome = static_cast<std::uint8_t>(update_sequence(link, result));
  } else {
    record_result(result, 1001, "Load execution error.");
  }
  if (outcome == 0) record_result(result, 0, "");
  return outcome;
}

}  // namespace tz
