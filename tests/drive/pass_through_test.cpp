// Pass-through as NT has it: how the device must be opened for requests to reach the drive, and
// the sense bytes the program keeps after requests of either kind.
#include <gtest/gtest.h>

#include <cstring>

#include "drive/commands.h"
#include "drive/transport.h"
#include "platform/devices.h"
#include "tests/drive/drive_support.h"

namespace tz {
namespace {

using test::DriveFixture;
using test::fault;
using test::Transport;

// Both pass-through codes need a handle with read and write access; the system holds every volume
// open itself, so an open that does not share reading and writing fails; the device exists, so
// only OPEN_EXISTING opens it. The program's own open (spt_open) is what every other test uses.
TEST(PassThrough, ADeviceTakesRequestsOnlyWhenOpenedForReadingAndWritingSharedBothWays) {
  constexpr std::uint32_t read = platform::generic_read;
  constexpr std::uint32_t write = platform::generic_write;
  constexpr std::uint32_t share = platform::file_share_read | platform::file_share_write;
  constexpr std::uint32_t open_always = 4;
  const struct Case {
    const char* what;
    std::uint32_t access, share, creation;
    bool opens, carries_requests;
  } cases[] = {
      {"read and write, shared both ways", read | write, share, platform::open_existing, true, true},
      {"read only", read, share, platform::open_existing, true, false},
      {"write only", write, share, platform::open_existing, true, false},
      {"shared for reading only", read | write, platform::file_share_read, platform::open_existing, false, false},
      {"shared for writing only", read | write, platform::file_share_write, platform::open_existing, false, false},
      {"not shared", read | write, 0, platform::open_existing, false, false},
      {"created if missing", read | write, share, open_always, false, false},
  };
  for (const Case& c : cases) {
    DriveFixture d(Transport::pass_through);
    ASSERT_TRUE(d.opened);
    spt_close(d.ctx().link);
    DriveRecord& record = d.ctx().drive.drive_table[1];
    record.device_handle = d.f.host.devices.create_file(record.device_path, c.access, c.share, c.creation, 0);
    EXPECT_EQ(record.device_handle != platform::invalid_handle_value, c.opens) << c.what;
    if (!c.opens) continue;
    EXPECT_EQ(cmd_inquiry(d.ctx().link), c.carries_requests ? 0 : -1) << c.what;
    EXPECT_EQ(d.drive.history_size(), c.carries_requests ? 1u : 0u) << c.what;
  }
}

// The sense area travels inside either request and is taken from it after every request: the
// drive's sense after CHECK CONDITION, zeros after GOOD or a failed call.
TEST(PassThrough, SenseBytesAfterBufferedAndDirectRequests) {
  constexpr std::uint8_t stale = 0xEE;
  static std::uint8_t identity[4096];
  const struct Case {
    const char* what;
    bool direct;
    bool faulted;
    sim::FaultAction action;
    int result;
    std::uint8_t key, asc, ascq;
  } cases[] = {
      {"buffered, GOOD", false, false, {}, 0, 0, 0, 0},
      {"buffered, CHECK CONDITION", false, true, sim::FaultAction::check, 1, 0x04, 0x44, 0x00},
      {"direct, GOOD", true, false, {}, 0, 0, 0, 0},
      {"direct, CHECK CONDITION", true, true, sim::FaultAction::check, 1, 0x03, 0x11, 0x00},
      {"direct, the call fails", true, true, sim::FaultAction::fail, -1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings = DriveFixture::ready_settings();
    const sim::CommandKind kind = c.direct ? sim::CommandKind::identity : sim::CommandKind::inquiry;
    if (c.faulted) settings.faults.add_rule(fault(kind, c.action));
    DriveFixture d(Transport::pass_through, settings);
    DriveState& s = d.ctx().drive;
    s.last_sense_key = s.last_asc = s.last_ascq = stale;
    const int result = c.direct ? cmd_read_identity_block(d.ctx().link, 0, 0, 0x5A, 0xA5, 0x77, 0x66, 4096, identity)
                                : cmd_inquiry(d.ctx().link);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(s.last_sense_key, c.key) << c.what;
    EXPECT_EQ(s.last_asc, c.asc) << c.what;
    EXPECT_EQ(s.last_ascq, c.ascq) << c.what;
  }
}

// The drive's own refusal of a direct write comes back whole: a download write outside download
// mode is a sequence error.
TEST(PassThrough, ADirectWriteTheDriveRefusesLeavesItsSense) {
  DriveFixture d(Transport::pass_through);
  std::uint8_t header[48] = {};
  std::uint8_t data[1024] = {};
  EXPECT_EQ(cmd_write_download(d.ctx().link, 48, 1024, 368, header, data), 1);
  EXPECT_EQ(d.ctx().drive.last_sense_key, 0x05);
  EXPECT_EQ(d.ctx().drive.last_asc, 0x2C);
  EXPECT_EQ(d.ctx().drive.last_ascq, 0x00);
}

}  // namespace
}  // namespace tz
