// The drive table: its positions after a reset and the lookups over it.
#include "drive/drive_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/bytes.h"
#include "drive/discovery.h"
#include "sim/sim_drive.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

TEST(DriveTable, ResetGivesEveryPositionItsAddresses) {
  test::Fixture f;
  Context& ctx = *f.ctx;
  DriveRecord& dirty = ctx.drive.drive_table[5];
  dirty.status = 7;
  dirty.device_handle = 0x1234;
  dirty.drive_type = 5;
  dirty.volume_locked = dirty.media_present = dirty.tray_check_method = 1;
  dirty.drive_kind = 0x200;
  dirty.method_flags[3] = 9;
  dirty.identity_source = 2;
  copy_bounded(dirty.vendor_id, sizeof(dirty.vendor_id), "KORVANTA");
  copy_bounded(dirty.identity.info_revision, sizeof(dirty.identity.info_revision), "1.00");
  ctx.drive.current_drive = 17;

  init_drive_table(ctx.drive);
  const struct {
    std::uint32_t k;
    std::uint8_t ha, target;
    const char* path;
  } cases[] = {{0, 0, 0, "\\\\.\\C:"},  {1, 0, 1, "\\\\.\\D:"}, {7, 0, 7, "\\\\.\\J:"}, {8, 1, 0, "\\\\.\\K:"},
               {23, 2, 7, "\\\\.\\Z:"}, {24, 3, 0, ""},         {63, 7, 7, ""}};
  for (const auto& c : cases) {
    const DriveRecord& r = ctx.drive.drive_table[c.k];
    EXPECT_EQ(r.ha_id, c.ha) << c.k;
    EXPECT_EQ(r.target_id, c.target) << c.k;
    EXPECT_STREQ(r.device_path, c.path) << c.k;
  }
  for (const DriveRecord& r : ctx.drive.drive_table) {
    EXPECT_EQ(r.device_handle, platform::invalid_handle_value);
    EXPECT_EQ(r.drive_type, 0u);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.volume_locked | r.media_present | r.tray_check_method, 0);
    EXPECT_EQ(r.drive_kind, 0u);
    EXPECT_EQ(r.identity_source, 0u);
    for (const std::uint8_t flag : r.method_flags) EXPECT_EQ(flag, 0);
    EXPECT_STREQ(r.vendor_id, "????????");
    EXPECT_STREQ(r.product_id, "????????????????");
    EXPECT_STREQ(r.product_revision, "????");
    EXPECT_STREQ(r.identity.info_revision, "????");
    EXPECT_STREQ(r.identity.model_code, "????????????????");
  }
  EXPECT_EQ(ctx.drive.current_drive, 17u);
}

TEST(DriveTable, FindAndCountByStatus) {
  test::Fixture f;
  Context& ctx = *f.ctx;
  init_drive_table(ctx.drive);
  for (const std::uint32_t k : {3u, 10u, 63u}) ctx.drive.drive_table[k].status = 6;
  ctx.drive.drive_table[5].status = 2;
  ctx.drive.current_drive = 40;
  const struct {
    std::uint8_t status;
    std::uint32_t n;
    std::uint32_t index;
  } finds[] = {{6, 0, 3}, {6, 1, 10}, {6, 2, 63}, {6, 3, 64}, {6, 1000, 64},
               {2, 0, 5}, {7, 0, 64}, {0, 0, 0},  {0, 3, 4}};
  for (const auto& c : finds) {
    EXPECT_EQ(find_drive_by_status(ctx.drive, c.status, c.n), c.index) << int(c.status) << " #" << c.n;
  }
  EXPECT_EQ(count_drives_by_status(ctx.drive, 6), 3u);
  EXPECT_EQ(count_drives_by_status(ctx.drive, 2), 1u);
  EXPECT_EQ(count_drives_by_status(ctx.drive, 0), 60u);
  EXPECT_EQ(count_drives_by_status(ctx.drive, 9), 0u);
  EXPECT_EQ(ctx.drive.current_drive, 40u);
  EXPECT_EQ(current_drive_record(ctx.drive), &ctx.drive.drive_table[40]);
  ctx.drive.current_drive = drive_table_size;
  EXPECT_EQ(current_drive_record(ctx.drive), nullptr);
}

// The table starts at C:, so the scan never opens the drives at A: and B: that the system has.
TEST(DriveTable, DrivesAtAAndBAreNeverScanned) {
  test::Fixture f;
  sim::SimDrive a;
  sim::SimDrive b;
  f.host.devices.attach('A', a);
  f.host.devices.attach('B', b);
  const platform::Handle opened =
      f.host.devices.create_file("\\\\.\\A:", platform::generic_read,
                                 platform::file_share_read | platform::file_share_write, platform::open_existing, 0);
  ASSERT_NE(opened, platform::invalid_handle_value) << "the drive at A: is there to be opened";
  f.host.devices.close_handle(opened);

  f.ctx->drive.transport = transport_pass_through;
  EXPECT_EQ(scan_drives(f.ctx->link), -1);
  EXPECT_EQ(a.history_size() + b.history_size(), 0u);
}

}  // namespace
}  // namespace tz
