// The standard INQUIRY reply, through the program's own read: the request, the identity texts
// taken from it, the model-table lookup and the supported-pair check of discovery.
// Input: one byte whose lowest bit picks the transport (0 pass-through, 1 ASPI), then the reply.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "drive/drive_identity.h"
#include "drive/drive_table.h"
#include "fuzz/reply_drive.h"
#include "fuzz/require.h"
#include "image/matching.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tz::fuzz::ReplySystem system;
  tz::Context* const ctx = system.context_for_input(data, size);
  if (ctx == nullptr) return -1;

  const int read = tz::read_inquiry_identity(ctx->link);
  const tz::DriveRecord& drive = ctx->drive.drive_table[0];
  tz::fuzz::require(std::memchr(drive.vendor_id, '\0', sizeof(drive.vendor_id)) != nullptr, "vendor_id ends");
  tz::fuzz::require(std::memchr(drive.product_id, '\0', sizeof(drive.product_id)) != nullptr, "product_id ends");
  tz::fuzz::require(std::memchr(drive.product_revision, '\0', sizeof(drive.product_revision)) != nullptr,
                    "product_revision ends");
  if (read == 0) {
    tz::fuzz::require(drive.status == tz::drive_status_answered, "a drive in a model table has answered");
    tz::is_supported_pair(ctx->image.image_identity, ctx->app.supported, drive.vendor_id, drive.product_id);
  }
  return 0;
}
