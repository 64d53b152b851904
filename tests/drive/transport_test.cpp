// The SCSI transport: the request buffers and block it builds in their 32-bit layouts, how it
// maps what comes back, and every way ASPI can fail with its message.
#include "drive/transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "core/bytes.h"
#include "drive/commands.h"
#include "platform/aspi.h"
#include "platform/devices.h"
#include "tests/drive/drive_support.h"
#include "tests/sim/sim_support.h"

namespace tz {
namespace {

using test::DriveFixture;
using test::fault;
using test::Transport;
namespace srb = platform::srb;
namespace spt = platform::spt;

TEST(CdbLengthTable, GroupsOfOperationCodes) {
  const struct {
    std::uint8_t op;
    std::uint8_t length;
  } cases[] = {{0x00, 6},  {0x12, 6},  {0x1B, 6},  {0x1F, 6},  {0x20, 10}, {0x2C, 10}, {0x2D, 12},
               {0x2E, 10}, {0x4A, 10}, {0x5F, 10}, {0x60, 12}, {0xE8, 12}, {0xF5, 12}, {0xFF, 12}};
  for (const auto& c : cases) EXPECT_EQ(cdb_length_table[c.op], c.length) << std::hex << int(c.op);
  EXPECT_EQ(aspi_direction_flags(dir_in), 0x08);
  EXPECT_EQ(aspi_direction_flags(dir_out), 0x10);
  EXPECT_EQ(aspi_direction_flags(dir_none), 0x18);
}

TEST(PassThrough, BufferedRequestInThe32BitLayout) {
  DriveFixture d(Transport::pass_through);
  ASSERT_TRUE(d.opened);
  ASSERT_EQ(cmd_inquiry(d.ctx().link), 0);
  const auto& h = d.f.host.devices.last_request;
  EXPECT_EQ(d.f.host.devices.last_ioctl_code, 0x4D004u);
  EXPECT_EQ(d.f.host.devices.last_ioctl_in_size, 44u) << "the header alone goes in";
  EXPECT_EQ(d.f.host.devices.last_ioctl_out_size, 44u + 80u);
  EXPECT_EQ(get_le16(h.data() + 0), 44);
  EXPECT_EQ(h[2], 0);  // ScsiStatus on entry
  EXPECT_EQ(h[3], 0);  // PathId
  EXPECT_EQ(h[4], 1);  // TargetId
  EXPECT_EQ(h[5], 0);  // Lun
  EXPECT_EQ(h[6], 12);
  EXPECT_EQ(h[7], 24);
  EXPECT_EQ(h[8], 1);  // DataIn
  EXPECT_EQ(get_le32(h.data() + 12), 44u);
  EXPECT_EQ(get_le32(h.data() + 16), 1800u);
  EXPECT_EQ(get_le32(h.data() + 20), 80u);
  EXPECT_EQ(get_le32(h.data() + 24), 48u);
  const std::uint8_t cdb[16] = {0x12, 0, 0, 0, 0x2C};
  EXPECT_EQ(std::memcmp(h.data() + 28, cdb, 16), 0);
  // The reply arrived through the data area at byte 80.
  EXPECT_EQ(std::memcmp(d.ctx().drive.scsi_data_buffer + 8, "KORVANTA", 8), 0);
  EXPECT_EQ(std::memcmp(d.ctx().drive.spt_buffered + 80 + 8, "KORVANTA", 8), 0);
}

TEST(PassThrough, DirectRequestCarriesTheCallersBuffer) {
  DriveFixture d(Transport::pass_through);
  const test::ProgramImage& image = test::program_image();
  ASSERT_EQ(test::enter_download_mode(d.drive).status, sim::status_good);
  ASSERT_EQ(cmd_write_download(d.ctx().link, 48, 1024, 368, image.header.data(), image.area.data() + 368), 0);
  const auto& h = d.f.host.devices.last_request;
  EXPECT_EQ(d.f.host.devices.last_ioctl_code, 0x4D014u);
  EXPECT_EQ(d.f.host.devices.last_ioctl_in_size, 80u);
  EXPECT_EQ(d.f.host.devices.last_ioctl_out_size, 80u);
  EXPECT_EQ(h[8], 0);  // DataIn: out
  EXPECT_EQ(get_le32(h.data() + 12), 1072u);
  EXPECT_NE(get_le32(h.data() + 20), 0u) << "DataBuffer";
  EXPECT_EQ(get_le32(h.data() + 24), 48u);
  // What the drive stored is what the caller's buffer held.
  EXPECT_EQ(std::memcmp(d.drive.download_area() + 368, image.area.data() + 368, 1024), 0);
}

TEST(BufferSlot, AValueStandsForTheLatestBufferOnly) {
  platform::host::BufferSlot slot;
  std::uint8_t a[4];
  std::uint8_t b[4];
  EXPECT_EQ(slot.value_for(nullptr), 0u);
  const std::uint32_t va = slot.value_for(a);
  EXPECT_EQ(slot.resolve(va), a);
  const std::uint32_t vb = slot.value_for(b);
  EXPECT_NE(va, vb);
  EXPECT_EQ(slot.resolve(vb), b);
  EXPECT_EQ(slot.resolve(va), nullptr) << "a stale request cannot reach the next buffer";
  EXPECT_EQ(slot.resolve(0), nullptr);
}

// What a TEST UNIT READY returns and leaves in the sense bytes, for each answer of the drive.
TEST(Transport, OutcomesAndTheSenseRule) {
  constexpr std::uint8_t stale = 0xEE;
  const struct Case {
    const char* what;
    Transport transport;
    bool faulted;
    sim::FaultAction action;
    int result;
    std::uint8_t key, asc, ascq;
  } cases[] = {
      // Pass-through copies the sense area after every request, so GOOD leaves zeros.
      {"GOOD", Transport::pass_through, false, {}, 0, 0, 0, 0},
      {"CHECK CONDITION", Transport::pass_through, true, sim::FaultAction::check, 1, 0x04, 0x44, 0x00},
      {"BUSY", Transport::pass_through, true, sim::FaultAction::busy, -1, 0, 0, 0},
      {"call failed", Transport::pass_through, true, sim::FaultAction::fail, -1, 0, 0, 0},
      // ASPI saves sense only for SS_ERR after the event.
      {"GOOD", Transport::aspi, false, {}, 0, stale, stale, stale},
      {"CHECK CONDITION", Transport::aspi, true, sim::FaultAction::check, 1, 0x04, 0x44, 0x00},
      {"BUSY (SS_ERR without sense)", Transport::aspi, true, sim::FaultAction::busy, 1, 0, 0, 0},
      {"aborted", Transport::aspi, true, sim::FaultAction::fail, -1, stale, stale, stale},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    if (c.faulted) settings.faults.add_rule(fault(sim::CommandKind::test_unit_ready, c.action));
    DriveFixture d(c.transport, settings);
    ASSERT_TRUE(d.opened);
    DriveState& s = d.ctx().drive;
    s.last_sense_key = s.last_asc = s.last_ascq = stale;
    EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), c.result) << transport_name(c.transport) << " " << c.what;
    EXPECT_EQ(s.last_sense_key, c.key) << transport_name(c.transport) << " " << c.what;
    EXPECT_EQ(s.last_asc, c.asc) << transport_name(c.transport) << " " << c.what;
    EXPECT_EQ(s.last_ascq, c.ascq) << transport_name(c.transport) << " " << c.what;
    EXPECT_EQ(d.message_count(), 0u) << c.what;
  }
}

// Byte 2 of the sense data is kept whole, flag bits and all.
TEST(Transport, TheSenseKeyByteIsSavedWhole) {
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    sim::FaultRule rule = fault(sim::CommandKind::test_unit_ready, sim::FaultAction::check);
    rule.sense = {0x85, 0x2C, 0x01};
    rule.sense_given = true;
    settings.faults.add_rule(rule);
    DriveFixture d(transport, settings);
    EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), 1) << transport_name(transport);
    const DriveState& s = d.ctx().drive;
    EXPECT_EQ(s.last_sense_key, 0x85) << transport_name(transport);
    EXPECT_EQ(s.last_asc, 0x2C) << transport_name(transport);
    EXPECT_EQ(s.last_ascq, 0x01) << transport_name(transport);
  }
}

// How many data bytes each request moved, as the system or the ASPI manager reports it: what a
// GOOD status alone does not say. ASPI has no residual count, so an underrun reads as nothing.
TEST(Transport, BytesMovedByEachRequest) {
  const test::ProgramImage& image = test::program_image();
  const struct Case {
    const char* what;
    Transport transport;
    std::function<int(Context&)> call;
    int result;
    std::uint32_t transferred;
  } cases[] = {
      {"INQUIRY", Transport::pass_through, [](Context& c) { return cmd_inquiry(c.link); }, 0, 44},
      {"INQUIRY", Transport::aspi, [](Context& c) { return cmd_inquiry(c.link); }, 0, 44},
      // Without the media class the drive has 4 bytes for the 8 asked for.
      {"event status, 4 of 8 bytes", Transport::pass_through,
       [](Context& c) { return cmd_get_event_status(c.link, 0x00, 8); }, 0, 4},
      {"event status, 4 of 8 bytes", Transport::aspi, [](Context& c) { return cmd_get_event_status(c.link, 0x00, 8); },
       0, 0},
      {"download write", Transport::pass_through,
       [&image](Context& c) {
         return cmd_write_download(c.link, 48, 1024, 368, image.header.data(), image.area.data());
       },
       0, 1072},
      {"download write", Transport::aspi,
       [&image](Context& c) {
         return cmd_write_download(c.link, 48, 1024, 368, image.header.data(), image.area.data());
       },
       0, 1072},
      {"read-back", Transport::pass_through,
       [](Context& c) { return cmd_read_download(c.link, 48, 368, 0, nullptr, c.drive.scsi_data_buffer); }, 0, 416},
      {"read-back", Transport::aspi,
       [](Context& c) { return cmd_read_download(c.link, 48, 368, 0, nullptr, c.drive.scsi_data_buffer); }, 0, 416},
      {"no data phase", Transport::pass_through, [](Context& c) { return cmd_test_unit_ready(c.link, 0); }, 0, 0},
      {"no data phase", Transport::aspi, [](Context& c) { return cmd_test_unit_ready(c.link, 0); }, 0, 0},
  };
  for (const Case& c : cases) {
    DriveFixture d(c.transport);
    ASSERT_EQ(test::enter_download_mode(d.drive).status, sim::status_good);
    d.ctx().drive.transferred = 0xDEAD;
    EXPECT_EQ(c.call(d.ctx()), c.result) << transport_name(c.transport) << " " << c.what;
    EXPECT_EQ(d.ctx().drive.transferred, c.transferred) << transport_name(c.transport) << " " << c.what;
  }
  // A request that failed, or never left the program, moved nothing.
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    for (const sim::FaultAction action : {sim::FaultAction::check, sim::FaultAction::fail, sim::FaultAction::busy}) {
      sim::DriveSettings settings;
      settings.faults.add_rule(fault(sim::CommandKind::inquiry, action));
      DriveFixture d(transport, settings);
      d.ctx().drive.transferred = 0xDEAD;
      EXPECT_NE(cmd_inquiry(d.ctx().link), 0) << transport_name(transport);
      EXPECT_EQ(d.ctx().drive.transferred, 0u) << transport_name(transport) << " " << sim::fault_action_name(action);
    }
    DriveFixture d(transport);
    d.ctx().drive.transferred = 0xDEAD;
    d.ctx().drive.current_drive = drive_table_size;
    EXPECT_EQ(cmd_inquiry(d.ctx().link), -1);
    EXPECT_EQ(d.ctx().drive.transferred, 0u) << transport_name(transport) << ": refused unsent";
  }
}

TEST(PassThrough, DataInIsCopiedWhateverTheOutcome) {
  sim::DriveSettings settings;
  settings.faults.add_rule(fault(sim::CommandKind::inquiry, sim::FaultAction::fail));
  DriveFixture d(Transport::pass_through, settings);
  std::uint8_t reply[44];
  std::memset(reply, 0xAA, sizeof(reply));
  const std::uint8_t cdb[12] = {0x12, 0, 0, 0, 44};
  EXPECT_EQ(spt_execute_buffered(d.ctx().link, cdb, dir_in, sizeof(reply), reply), -1);
  for (const std::uint8_t b : reply) ASSERT_EQ(b, 0) << "the caller receives the cleared data area";
}

TEST(PassThrough, RequestsItCannotCarryAreRefusedBeforeTheCall) {
  DriveFixture d(Transport::pass_through);
  std::uint8_t buffer[600] = {};
  const std::uint8_t cdb[12] = {0x12, 0, 0, 0x02, 0x01};
  EXPECT_EQ(spt_execute_buffered(d.ctx().link, cdb, dir_in, 513, buffer), -1);
  EXPECT_EQ(spt_execute_buffered(d.ctx().link, cdb, dir_out, 16, buffer), -1) << "data-out goes direct";
  EXPECT_EQ(spt_execute_buffered(d.ctx().link, cdb, 3, 0, nullptr), -1);
  EXPECT_EQ(spt_execute_direct(d.ctx().link, cdb, dir_in, 16, nullptr), -1);
  d.ctx().drive.current_drive = drive_table_size;
  EXPECT_EQ(spt_execute_direct(d.ctx().link, cdb, dir_in, 16, buffer), -1);
  EXPECT_EQ(spt_lock_volume(d.ctx().link, 1), -1);
  EXPECT_EQ(d.drive.history_size(), 0u);
  EXPECT_EQ(d.f.host.devices.last_ioctl_code, 0u);
}

TEST(PassThrough, OpenCloseAndTheClosedHandle) {
  DriveFixture d(Transport::pass_through);
  Context& c = d.ctx();
  ASSERT_TRUE(d.opened);
  EXPECT_NE(c.drive.drive_table[1].device_handle, platform::invalid_handle_value);
  EXPECT_EQ(d.f.host.devices.open_handle_count(), 1u);
  spt_close(c.link);
  EXPECT_EQ(c.drive.drive_table[1].device_handle, platform::invalid_handle_value);
  EXPECT_EQ(d.f.host.devices.open_handle_count(), 0u);
  spt_close(c.link);  // closing a closed drive does nothing
  d.f.host.devices.last_ioctl_code = 0;
  EXPECT_EQ(cmd_test_unit_ready(c.link, 0), -1);
  EXPECT_EQ(d.f.host.devices.last_ioctl_code, 0x4D004u) << "the system refuses the closed handle";
  EXPECT_EQ(d.drive.history_size(), 0u) << "nothing reached the drive";
  for (const std::uint32_t record : {0u, 2u, 23u, 24u, 63u}) {
    c.drive.current_drive = record;
    EXPECT_EQ(spt_open(c.link), -1) << record;
    EXPECT_EQ(c.drive.drive_table[record].device_handle, platform::invalid_handle_value);
  }
}

TEST(PassThrough, VolumeLockCodesAndRefusal) {
  DriveFixture d(Transport::pass_through);
  ASSERT_EQ(spt_lock_volume(d.ctx().link, 1), 0);
  EXPECT_EQ(d.f.host.devices.last_ioctl_code, 0x90018u);
  EXPECT_EQ(d.f.host.devices.last_ioctl_in_size, 0u);
  EXPECT_TRUE(d.f.host.devices.volume_locked('D'));
  ASSERT_EQ(spt_lock_volume(d.ctx().link, 0), 0);
  EXPECT_EQ(d.f.host.devices.last_ioctl_code, 0x9001Cu);
  EXPECT_FALSE(d.f.host.devices.volume_locked('D'));
  EXPECT_EQ(spt_lock_volume(d.ctx().link, 0), -1) << "not locked";

  sim::DriveSettings refused;
  refused.lock_refused = true;
  DriveFixture r(Transport::pass_through, refused);
  EXPECT_EQ(spt_lock_volume(r.ctx().link, 1), -1);
  EXPECT_FALSE(r.f.host.devices.volume_locked('D'));
}

TEST(Aspi, LoadOutcomesAndTheirMessages) {
  const struct Case {
    const char* what;
    bool missing;
    bool no_entries;
    std::uint32_t support;
    int result;
    const char* message;
  } cases[] = {
      {"usable", false, false, 0x0108, 0, nullptr},
      {"adapter count is not looked at", false, false, 0x0100, 0, nullptr},
      {"library missing", true, false, 0x0108, -1, "WNASPI32.DLL Error !!"},
      {"entry points missing", false, true, 0x0108, -1, "WNASPI32.DLL Error !!"},
      {"no adapters", false, false, 0xE800, -1, "ASPI Error ASPI Status = e800"},
      {"status in bits 8..15 only", false, false, 0x12340201, -1, "ASPI Error ASPI Status = 12340201"},
      {"bits above the status are not looked at", false, false, 0x12340108, 0, nullptr},
  };
  for (const Case& c : cases) {
    for (const bool silent : {false, true}) {
      test::Fixture f;
      f.ctx->app.switches.silent = silent ? 1 : 0;
      f.host.aspi.library_missing = c.missing;
      f.host.aspi.entry_points_missing = c.no_entries;
      f.host.aspi.support_info = c.support;
      EXPECT_EQ(aspi_load(f.ctx->link), c.result) << c.what;
      const auto& boxes = f.host.windows.message_boxes;
      if (c.message == nullptr || silent) {
        EXPECT_TRUE(boxes.empty()) << c.what << (silent ? " (silent)" : "");
      } else {
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].text, c.message);
        EXPECT_EQ(boxes[0].caption, "F/W Loader  TZ594K for ZEMO V1.01");
        EXPECT_EQ(boxes[0].flags & platform::mb_iconhand, platform::mb_iconhand);
      }
    }
  }
}

TEST(Aspi, WaitOutcomesAndTheirMessages) {
  const struct Case {
    const char* message;
    bool fail_create;
    bool fail_reset;
    std::optional<std::uint32_t> wait;
  } cases[] = {
      {"CreateEvent Failed", true, false, std::nullopt},
      {"ResetEvent Failed", false, true, std::nullopt},
      {"WaitForSingleObject Abandoned", false, false, platform::wait_abandoned},
      {"WaitForSingleObject Timeout", false, false, platform::wait_timeout},
      {"WaitForSingleObject Failed", false, false, platform::wait_failed},
      {"WaitForSingleObject Unknown Error", false, false, 0x1234u},
  };
  for (const Case& c : cases) {
    for (const bool silent : {false, true}) {
      DriveFixture d(Transport::aspi);
      ASSERT_TRUE(d.opened);
      d.ctx().app.switches.silent = silent ? 1 : 0;
      d.f.host.aspi.fail_create_event = c.fail_create;
      d.f.host.aspi.fail_reset_event = c.fail_reset;
      d.f.host.aspi.wait_result = c.wait;
      EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), -1) << c.message;
      if (silent) {
        EXPECT_EQ(d.message_count(), 0u) << c.message;
      } else {
        ASSERT_EQ(d.message_count(), 1u) << c.message;
        EXPECT_EQ(d.last_message(), c.message);
      }
      // The next request, with nothing failing, goes through on the same request block, which the
      // manager had given back.
      d.f.host.aspi.fail_create_event = d.f.host.aspi.fail_reset_event = false;
      d.f.host.aspi.wait_result.reset();
      EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), 0) << c.message;
      EXPECT_EQ(d.f.host.aspi.blocks_reused_while_pending, 0u) << c.message;
    }
  }
}

TEST(Aspi, RequestBlockInTheWin32Layout) {
  DriveFixture d(Transport::aspi, DriveFixture::ready_settings(), 13);  // adapter 1, target 5
  ASSERT_TRUE(d.opened);
  const test::ProgramImage& image = test::program_image();
  ASSERT_EQ(test::enter_download_mode(d.drive).status, sim::status_good);
  ASSERT_EQ(cmd_write_download(d.ctx().link, 48, 1024, 368 + 1024, image.header.data(), image.area.data() + 1392), 0);
  const auto& b = d.f.host.aspi.last_block;
  EXPECT_EQ(b[srb::cmd], 2);
  EXPECT_EQ(b[srb::status], 0);
  EXPECT_EQ(b[srb::ha_id], 1);
  EXPECT_EQ(b[srb::flags], 0x10 | 0x40);
  EXPECT_EQ(get_le32(b.data() + 4), 0u);
  EXPECT_EQ(b[srb::target], 5);
  EXPECT_EQ(b[srb::lun], 0);
  EXPECT_EQ(get_le32(b.data() + 12), 1072u);
  EXPECT_NE(get_le32(b.data() + 16), 0u) << "SRB_BufPointer";
  EXPECT_EQ(b[srb::sense_len], 14);
  EXPECT_EQ(b[srb::cdb_len], 12);
  EXPECT_NE(get_le32(b.data() + 24), 0u) << "SRB_PostProc: the event";
  const std::uint8_t cdb[16] = {0xEA, 0, 0, 0x00, 0x05, 0x70, 0x00, 0x04, 0x30};
  EXPECT_EQ(std::memcmp(b.data() + 48, cdb, 16), 0);
  EXPECT_EQ(std::memcmp(d.drive.download_area() + 1392, image.area.data() + 1392, 1024), 0);

  ASSERT_EQ(cmd_test_unit_ready(d.ctx().link, 0x80), 0);
  EXPECT_EQ(b[srb::flags], 0x18 | 0x40);
  EXPECT_EQ(b[srb::cdb_len], 6);
  EXPECT_EQ(get_le32(b.data() + 12), 0u);
  EXPECT_EQ(get_le32(b.data() + 16), 0u);
  ASSERT_EQ(cmd_get_event_status(d.ctx().link, 0x10, 8), 0);
  EXPECT_EQ(b[srb::flags], 0x08 | 0x40);
  EXPECT_EQ(b[srb::cdb_len], 10);
  EXPECT_EQ(d.f.host.aspi.open_event_count(), 0u) << "each request's event is closed after it";
}

TEST(Aspi, EveryFieldNotSetArrivesZero) {
  DriveFixture d(Transport::aspi);
  std::memset(d.ctx().drive.aspi_request_block, 0xFF, srb::size);
  ASSERT_EQ(cmd_test_unit_ready(d.ctx().link, 0), 0);
  const struct {
    const char* field;
    std::uint32_t offset, length;
  } zeros[] = {{"SRB_Status", srb::status, 1},
               {"SRB_Hdr_Rsvd", srb::hdr_rsvd, 4},
               {"SRB_Rsvd1", srb::rsvd1, 2},
               {"SRB_HaStat, SRB_TargStat", srb::ha_stat, 2},
               {"SRB_Rsvd2", srb::rsvd2, 20},
               {"CDB bytes 12..15", srb::cdb_byte + 12, 4},
               {"SenseArea", srb::sense_area, srb::sense_area_size}};
  const auto& b = d.f.host.aspi.last_block;
  for (const auto& z : zeros) {
    for (std::uint32_t i = 0; i < z.length; ++i) EXPECT_EQ(b[z.offset + i], 0) << z.field << " byte " << i;
  }
}

TEST(Aspi, CompletionAtOnceOrThroughTheEvent) {
  const struct Case {
    const char* what;
    bool synchronous;
    bool check;
    int result;
    std::uint8_t key;
  } cases[] = {
      {"SS_COMP at once", true, false, 0, 0xEE},
      // Sense is taken only after an event wait.
      {"SS_ERR at once", true, true, -1, 0xEE},
      {"SS_COMP after the event", false, false, 0, 0xEE},
      {"SS_ERR after the event", false, true, 1, 0x04},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    if (c.check) settings.faults.add_rule(fault(sim::CommandKind::test_unit_ready, sim::FaultAction::check));
    DriveFixture d(Transport::aspi, settings);
    d.f.host.aspi.complete_synchronously = c.synchronous;
    d.ctx().drive.last_sense_key = 0xEE;
    EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), c.result) << c.what;
    EXPECT_EQ(d.ctx().drive.last_sense_key, c.key) << c.what;
    EXPECT_EQ(d.message_count(), 0u) << c.what;
  }
}

TEST(Aspi, AddressesWithoutADriveEndAtOnce) {
  DriveFixture d(Transport::aspi);
  d.ctx().drive.current_drive = 9;  // 1:1, nothing there
  EXPECT_EQ(cmd_inquiry(d.ctx().link), -1);
  EXPECT_EQ(d.ctx().drive.aspi_request_block[srb::status], 0x82) << "SS_NO_DEVICE";
  EXPECT_EQ(d.message_count(), 0u);
  EXPECT_EQ(d.f.host.aspi.open_event_count(), 0u);
}

TEST(Aspi, ADriveThatNeverAnswersTimesOutOnTheClock) {
  sim::DriveSettings settings = DriveFixture::ready_settings();
  settings.faults.add_rule(fault(sim::CommandKind::inquiry, sim::FaultAction::hang));
  DriveFixture d(Transport::aspi, settings);
  const std::int32_t before = d.f.host.clock.now_ms();
  EXPECT_EQ(cmd_inquiry(d.ctx().link), -1);
  EXPECT_EQ(d.f.host.clock.now_ms() - before, 60000);
  EXPECT_EQ(d.last_message(), "WaitForSingleObject Timeout");
  EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), 0) << "the block serves the next request";
  EXPECT_EQ(d.f.host.clock.now_ms() - before, 60000) << "the next request did not wait behind the hung one";
}

// The ROM rewrite and the verify are never aborted: the drive's own answer ends them, however late
// within the longest wait; one the drive never gives leaves the request with the manager, and
// ASPI sends nothing more this run.
TEST(Aspi, TheLongCommandsAreNeverAborted) {
  const struct Case {
    const char* what;
    std::uint8_t mode;
    bool hang;
    int result;
    std::int32_t waited_ms;
  } cases[] = {
      // Nothing downloaded: the drive refuses, in its own time.
      {"verify answers after 90 s", 0x40, false, 1, 90000},
      {"verify never answers", 0x40, true, -1, 1800000},
      {"rewrite never answers", 0x80, true, -1, 1800000},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    settings.verify_ms = 90000;
    if (c.hang) {
      settings.faults.add_rule(
          fault(c.mode == 0x40 ? sim::CommandKind::verify : sim::CommandKind::rewrite, sim::FaultAction::hang));
    }
    DriveFixture d(Transport::aspi, settings);
    const std::int32_t before = d.f.host.clock.now_ms();
    EXPECT_EQ(cmd_execute(d.ctx().link, c.mode), c.result) << c.what;
    EXPECT_EQ(d.f.host.clock.now_ms() - before, c.waited_ms) << c.what;
    EXPECT_EQ(d.f.host.aspi.aborts_sent, 0u) << c.what;
    EXPECT_EQ(aspi_usable(d.ctx().link), !c.hang) << c.what;
    EXPECT_EQ(d.message_count(), c.hang ? 1u : 0u) << c.what;
    const std::uint32_t sent = d.f.host.aspi.commands_sent;
    EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), c.hang ? -1 : 0) << c.what;
    EXPECT_EQ(d.f.host.aspi.commands_sent, sent + (c.hang ? 0u : 1u)) << c.what;
    EXPECT_EQ(d.f.host.aspi.blocks_reused_while_pending, 0u) << c.what;
  }
}

// A request that outlives its wait is aborted before its block serves another, so that its end,
// late or never, cannot land in the next request: the drive that never answers, and the one that
// answers after the program stopped waiting.
TEST(Aspi, ARequestThatTimesOutIsAbortedBeforeItsBlockServesAnother) {
  const struct Case {
    const char* what;
    bool hang;
    std::uint32_t tray_ms;
  } cases[] = {
      {"never answers", true, 0},
      {"answers late", false, 5000},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    settings.tray_ms = c.tray_ms;
    if (c.hang) settings.faults.add_rule(fault(sim::CommandKind::start_stop, sim::FaultAction::hang));
    DriveFixture d(Transport::aspi, settings, 13);  // adapter 1, target 5
    platform::host::HostAspi& aspi = d.f.host.aspi;
    std::uint8_t* block = d.ctx().drive.aspi_request_block;
    const std::uint8_t eject[12] = {0x1B, 0, 0, 0, 0x02};
    const std::int32_t before = d.f.host.clock.now_ms();
    EXPECT_EQ(aspi_execute(d.ctx().link, eject, aspi_direction_flags(dir_none), 0, nullptr, 1000), -1) << c.what;
    EXPECT_EQ(d.last_message(), "WaitForSingleObject Timeout") << c.what;
    EXPECT_EQ(d.f.host.clock.now_ms() - before, 1000) << c.what << ": the abort ends the request at once";
    ASSERT_EQ(aspi.aborts_sent, 1u) << c.what;
    const auto& a = aspi.last_abort_block;
    EXPECT_EQ(a[srb::cmd], 3) << "SC_ABORT_SRB";
    EXPECT_EQ(a[srb::ha_id], 1);
    EXPECT_EQ(get_le32(a.data() + srb::hdr_rsvd), 0u);
    EXPECT_NE(get_le32(a.data() + srb::to_abort), 0u) << "SRB_ToAbort";
    EXPECT_EQ(a[srb::status], 0) << "the abort block went in cleared";
    EXPECT_EQ(block[srb::status], srb::ss_aborted) << c.what;
    EXPECT_EQ(aspi.pending_requests(), 0u) << c.what;
    EXPECT_EQ(aspi.open_event_count(), 0u) << c.what << ": the aborted request's event was signalled and closed";

    // The block as the program fills it next; then time passes beyond the request's own end.
    std::memset(block, 0xA5, srb::size);
    d.f.host.clock.advance(10000);
    EXPECT_EQ(aspi.create_event(false, false) != platform::null_handle, true);
    for (std::uint32_t i = 0; i < srb::size; ++i)
      ASSERT_EQ(block[i], 0xA5) << c.what << ": byte " << i << " written late";

    EXPECT_EQ(cmd_inquiry(d.ctx().link), 0) << c.what;
    EXPECT_EQ(std::memcmp(d.ctx().drive.scsi_data_buffer + 8, "KORVANTA", 8), 0) << c.what;
    EXPECT_EQ(aspi.blocks_reused_while_pending, 0u) << c.what;
    EXPECT_EQ(aspi.aborts_sent, 1u) << c.what << ": a request that ended is not aborted";
  }
}

// The manager's abort is honest: a request aborted while queued never reaches the drive and its
// buffer and block are never written again; the hung one ahead of it ends as aborted too.
TEST(Aspi, AnAbortedQueuedRequestNeverReachesTheDriveNorItsBuffer) {
  sim::DriveSettings settings = DriveFixture::ready_settings();
  settings.faults.add_rule(fault(sim::CommandKind::test_unit_ready, sim::FaultAction::hang));
  DriveFixture d(Transport::aspi, settings);
  platform::host::HostAspi& aspi = d.f.host.aspi;
  const auto request = [&](std::uint8_t* block, std::uint8_t op, std::uint8_t* buffer, std::uint32_t length,
                           platform::Handle event) {
    std::memset(block, 0, srb::size);
    block[srb::cmd] = srb::sc_exec_scsi_cmd;
    block[srb::ha_id] = 0;
    block[srb::target] = 1;
    block[srb::flags] = static_cast<std::uint8_t>((length != 0 ? srb::dir_in : 0x18) | srb::event_notify);
    put_le32(block + srb::buf_len, length);
    put_le32(block + srb::buf_pointer, aspi.buffer_address(buffer));
    block[srb::sense_len] = srb::sense_len_value;
    block[srb::cdb_len] = 6;
    put_le32(block + srb::post_proc, static_cast<std::uint32_t>(event));
    block[srb::cdb_byte] = op;
    block[srb::cdb_byte + 4] = static_cast<std::uint8_t>(length);
    return aspi.send_command(platform::host::HostAspi::send_command_entry, block);
  };
  const auto abort = [&](std::uint8_t* block) {
    std::uint8_t abort_block[srb::abort_size] = {srb::sc_abort_srb};
    put_le32(abort_block + srb::to_abort, aspi.buffer_address(block));
    return aspi.send_command(platform::host::HostAspi::send_command_entry, abort_block);
  };
  std::uint8_t hung[srb::size];
  std::uint8_t queued[srb::size];
  std::uint8_t reply[36];
  std::memset(reply, 0xC3, sizeof(reply));
  const platform::Handle hung_event = aspi.create_event(false, false);
  const platform::Handle queued_event = aspi.create_event(false, false);
  ASSERT_EQ(request(hung, 0x00, nullptr, 0, hung_event), srb::ss_pending);
  ASSERT_EQ(request(queued, 0x12, reply, sizeof(reply), queued_event), srb::ss_pending);
  EXPECT_EQ(aspi.wait_for_single_object(queued_event, 1000), platform::wait_timeout) << "behind the hung one";

  EXPECT_EQ(abort(queued), srb::ss_comp);
  EXPECT_EQ(queued[srb::status], srb::ss_aborted);
  EXPECT_EQ(aspi.wait_for_single_object(queued_event, 0), platform::wait_object_0) << "signalled at the abort";
  EXPECT_EQ(abort(queued), srb::ss_abort_fail) << "nothing left to abort";
  EXPECT_EQ(abort(hung), srb::ss_comp);
  EXPECT_EQ(hung[srb::status], srb::ss_aborted);
  EXPECT_EQ(aspi.wait_for_single_object(hung_event, 0), platform::wait_object_0);
  EXPECT_EQ(aspi.pending_requests(), 0u);

  std::memset(queued, 0x77, sizeof(queued));
  d.f.host.clock.advance(100000);
  aspi.close_handle(aspi.create_event(false, false));
  for (const std::uint8_t b : reply) ASSERT_EQ(b, 0xC3) << "the aborted request's buffer was written";
  for (const std::uint8_t b : queued) ASSERT_EQ(b, 0x77) << "the aborted request's block was written";
  ASSERT_EQ(d.drive.history_size(), 1u) << "only the hung TEST UNIT READY reached the drive";
  EXPECT_EQ(d.drive.history(0).cdb[0], 0x00);
}

// Managers that do not give the block back as they should.
TEST(Aspi, AManagerThatKeepsTheBlockEndsAspiForTheRun) {
  const struct Case {
    const char* what;
    bool refused;
    bool unsignalled;
    int next;                   // the next request's result
    std::uint32_t open_events;  // after both
  } cases[] = {
      // The abort is refused and the request never ends: the block stays the manager's.
      {"abort refused", true, false, -1, 1},
      // Aborted but never signalled: the block is free, the event stays open for a signal.
      {"aborted without its signal", false, true, 0, 1},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    settings.faults.add_rule(fault(sim::CommandKind::test_unit_ready, sim::FaultAction::hang));
    DriveFixture d(Transport::aspi, settings);
    d.f.host.aspi.abort_refused = c.refused;
    d.f.host.aspi.abort_unsignalled = c.unsignalled;
    const std::int32_t before = d.f.host.clock.now_ms();
    EXPECT_EQ(cmd_test_unit_ready(d.ctx().link, 0), -1) << c.what;
    EXPECT_EQ(d.f.host.clock.now_ms() - before, 60000 + 5000) << c.what << ": the wait after the abort";
    EXPECT_EQ(d.f.host.aspi.aborts_sent, 1u) << c.what;
    const std::uint32_t sent = d.f.host.aspi.commands_sent;
    EXPECT_EQ(cmd_inquiry(d.ctx().link), c.next) << c.what;
    EXPECT_EQ(d.f.host.aspi.commands_sent, sent + (c.next == 0 ? 1u : 0u)) << c.what;
    EXPECT_EQ(d.f.host.aspi.blocks_reused_while_pending, 0u) << c.what;
    EXPECT_EQ(d.f.host.aspi.open_event_count(), c.open_events) << c.what;
    EXPECT_EQ(d.message_count(), 1u) << c.what << ": the time-out's message only";
  }
}

TEST(Transport, LongCommandsTakeTheDrivesTime) {
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    DriveFixture d(transport);
    const std::int32_t before = d.f.host.clock.now_ms();
    EXPECT_EQ(cmd_execute(d.ctx().link, 0x40), 1) << "nothing downloaded: refused";
    EXPECT_EQ(d.f.host.clock.now_ms() - before, 2000) << transport_name(transport);
  }
}

}  // namespace
}  // namespace tz
