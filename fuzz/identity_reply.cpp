// The identity block a drive returns for vendor command 0xED function 0x10, through the program's
// own read: request, retries, unscrambling, parsing, then what discovery does with the record
// (classification, the choice of targets, the start confirmation's comparison text).
// Input: one byte whose lowest bit picks the transport (0 pass-through, 1 ASPI), then the reply.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "drive/drive_identity.h"
#include "drive/drive_table.h"
#include "drive/info_screens.h"
#include "drive/targets.h"
#include "fuzz/reply_drive.h"
#include "fuzz/require.h"
#include "image/matching.h"
#include "ui/ui_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tz::fuzz::ReplySystem system;
  tz::Context* const ctx = system.context_for_input(data, size);
  if (ctx == nullptr) return -1;

  const int read = tz::read_drive_identity(ctx->link);
  const tz::DriveRecord& drive = ctx->drive.drive_table[0];
  tz::fuzz::require_sound_record(drive.identity);
  if (read != 0) return 0;

  ctx->drive.drive_table[0].identity_source = tz::identity_source_drive;
  tz::classify_drive_identity(ctx->link);
  const int selected = tz::select_update_targets(ctx->link);
  tz::fuzz::require(selected == 0 || selected == 5 || selected == 7, "one drive gives none, updated or one target");
  const char* comparison = tz::format_version_comparison(ctx->link);
  tz::fuzz::require(comparison != nullptr && std::strlen(comparison) < tz::formatting_buffer_size,
                    "the comparison text is bounded");
  return 0;
}
