// The command set: the CDB each function sends as the drive receives it, over both transports,
// the data phases, and the lengths it refuses.
#include "drive/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "drive/transport.h"
#include "tests/drive/drive_support.h"
#include "tests/sim/sim_support.h"

namespace tz {
namespace {

using test::DriveFixture;
using test::fault;
using test::Transport;

TEST(Commands, EachSendsTheCdbOfTheCommandTable) {
  static std::uint8_t identity[4096];
  static const test::ProgramImage& image = test::program_image();
  const struct Row {
    const char* name;
    std::function<int(Context&)> call;
    std::vector<std::uint8_t> cdb;
    std::uint8_t aspi_cdb_length;
    sim::Direction direction;
    std::uint32_t length;
  } rows[] = {
      {"cmd_test_unit_ready",
       [](Context& c) { return cmd_test_unit_ready(c.link, 0x5A); },
       {0x00, 0, 0, 0, 0, 0x5A},
       6,
       sim::Direction::none,
       0},
      {"cmd_inquiry",
       [](Context& c) { return cmd_inquiry(c.link); },
       {0x12, 0, 0, 0, 0x2C, 0},
       6,
       sim::Direction::in,
       44},
      {"cmd_eject",
       [](Context& c) { return cmd_eject(c.link, 1); },
       {0x1B, 0x01, 0, 0, 0x02, 0},
       6,
       sim::Direction::none,
       0},
      {"cmd_stop", [](Context& c) { return cmd_stop(c.link, 0); }, {0x1B, 0, 0, 0, 0, 0}, 6, sim::Direction::none, 0},
      {"cmd_get_event_status",
       [](Context& c) { return cmd_get_event_status(c.link, 0x10, 8); },
       {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0x00, 0x08, 0},
       10,
       sim::Direction::in,
       8},
      {"cmd_vendor_read_status",
       [](Context& c) { return cmd_vendor_read_status(c.link, 0x30, 4); },
       {0xFC, 0, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x04, 0x30, 0},
       12,
       sim::Direction::in,
       4},
      {"cmd_prepare_download",
       [](Context& c) { return cmd_prepare_download(c.link, 1); },
       {0xED, 0x01, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x3C},
       12,
       sim::Direction::none,
       0},
      {"cmd_read_identity_block",
       [](Context& c) { return cmd_read_identity_block(c.link, 0xC4, 0x0F, 0x1E, 0xB4, 0x3B, 0x75, 4096, identity); },
       {0xED, 0x00, 0xC4, 0x0F, 0x1E, 0xB4, 0x10, 0x3B, 0x75, 0x10, 0x00, 0x3C},
       12,
       sim::Direction::in,
       4096},
      // Offsets keep bits 23..0.
      {"cmd_write_download",
       [](Context& c) {
         return cmd_write_download(c.link, 48, 1024, 0x12345678, image.header.data(), image.area.data());
       },
       {0xEA, 0, 0, 0x34, 0x56, 0x78, 0x00, 0x04, 0x30, 0, 0, 0},
       12,
       sim::Direction::out,
       1072},
      {"cmd_read_download",
       [](Context& c) {
         std::uint8_t header[48];
         return cmd_read_download(c.link, 48, 368, 0, header, c.drive.scsi_data_buffer);
       },
       {0xE8, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x01, 0xA0, 0, 0, 0},
       12,
       sim::Direction::in,
       416},
      {"cmd_execute",
       [](Context& c) { return cmd_execute(c.link, 0x80); },
       {0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80},
       12,
       sim::Direction::none,
       0},
  };
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    DriveFixture d(transport);
    ASSERT_TRUE(d.opened);
    for (const Row& row : rows) {
      const std::uint32_t before = d.drive.history_size();
      row.call(d.ctx());
      ASSERT_EQ(d.drive.history_size(), before + 1) << row.name;
      const sim::CommandRecord& got = d.last();
      const std::uint8_t declared = transport == Transport::aspi ? row.aspi_cdb_length : 12;
      EXPECT_EQ(got.cdb_length, declared) << transport_name(transport) << " " << row.name;
      std::vector<std::uint8_t> expected = row.cdb;
      expected.resize(declared, 0);
      EXPECT_EQ(std::vector<std::uint8_t>(got.cdb, got.cdb + got.cdb_length), expected)
          << transport_name(transport) << " " << row.name;
      EXPECT_EQ(got.direction, row.direction) << row.name;
      EXPECT_EQ(got.length, row.length) << row.name;
    }
  }
}

TEST(Commands, DataInIntoTheDataBufferStartsCleared) {
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    DriveFixture d(transport);
    std::memset(d.ctx().drive.scsi_data_buffer, 0xFF, 16);
    // Without the media class the drive answers with a 4-byte header only.
    ASSERT_EQ(cmd_get_event_status(d.ctx().link, 0x00, 8), 0);
    const std::uint8_t expected[8] = {0x00, 0x02, 0x80, 0x10, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(d.ctx().drive.scsi_data_buffer, expected, 8), 0) << transport_name(transport);
    EXPECT_EQ(d.ctx().drive.scsi_data_buffer[8], 0xFF) << "only the requested length is cleared";
  }
}

TEST(Commands, ReadDownloadSplitsIntoHeaderAndDataEvenInPlace) {
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    DriveFixture d(transport);
    const test::ProgramImage& image = test::program_image();
    const std::uint8_t* block = image.area.data() + test::block_offset(7);
    ASSERT_EQ(test::enter_download_mode(d.drive).status, sim::status_good);
    ASSERT_EQ(cmd_write_download(d.ctx().link, 48, 1024, test::block_offset(7), image.header.data(), block), 0);
    std::uint8_t header[48] = {};
    std::uint8_t* data = d.ctx().drive.scsi_data_buffer;
    ASSERT_EQ(cmd_read_download(d.ctx().link, 48, 1024, test::block_offset(7), header, data), 0);
    EXPECT_EQ(std::memcmp(header, image.header.data(), 48), 0) << transport_name(transport);
    EXPECT_EQ(std::memcmp(data, block, 1024), 0) << transport_name(transport);
  }
}

// Only a good read reaches the outputs; the receive area holds the complement of what lay there.
TEST(Commands, FailedReadDownloadLeavesTheOutputsAlone) {
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    for (const sim::FaultAction action :
         {sim::FaultAction::check, sim::FaultAction::fail, sim::FaultAction::short_transfer}) {
      sim::DriveSettings settings;
      settings.faults.add_rule(fault(sim::CommandKind::read, action));
      DriveFixture d(transport, settings);
      std::uint8_t header[48];
      std::uint8_t data[1024];
      std::memset(header, 0x11, sizeof(header));
      std::memset(data, 0x22, sizeof(data));
      std::uint8_t* buffer = d.ctx().drive.scsi_data_buffer;
      std::memset(buffer, 0x33, 48 + 1024);
      const char* what = transport_name(transport);
      EXPECT_NE(cmd_read_download(d.ctx().link, 48, 1024, 368, header, data), 0) << what;
      EXPECT_EQ(std::count(header, header + 48, 0x11), 48) << what;
      EXPECT_EQ(std::count(data, data + 1024, 0x22), 1024) << what;
      EXPECT_EQ(std::count(buffer, buffer + 48 + 1024, 0xCC), 48 + 1024) << what;
    }
  }
}

// A manager that reports a read-back cut short as a whole one: the command cannot tell, yet not one
// byte it hands over equals the piece that was written there.
TEST(Commands, ABlindReadBackNeverHandsBackThePieceSent) {
  const test::ProgramImage& image = test::program_image();
  const std::uint8_t* block = image.area.data() + test::block_offset(7);
  sim::DriveSettings settings;
  settings.faults.add_rule(fault(sim::CommandKind::read, sim::FaultAction::short_transfer));
  DriveFixture d(Transport::aspi, settings);
  d.f.host.aspi.underrun_unreported = true;
  ASSERT_EQ(test::enter_download_mode(d.drive).status, sim::status_good);
  ASSERT_EQ(cmd_write_download(d.ctx().link, 48, 1024, test::block_offset(7), image.header.data(), block), 0);
  std::uint8_t* data = d.ctx().drive.scsi_data_buffer;
  ASSERT_EQ(cmd_read_download(d.ctx().link, 48, 1024, test::block_offset(7), nullptr, data), 0);
  ASSERT_EQ(d.last().transferred, 0u) << "the drive moved nothing";
  for (std::uint32_t i = 0; i < 1024; ++i) ASSERT_NE(data[i], block[i]) << "byte " << i;
}

TEST(Commands, IdentityReadClearsItsDestinationEvenWhenItFails) {
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    sim::DriveSettings settings;
    settings.faults.add_rule(fault(sim::CommandKind::identity, sim::FaultAction::fail));
    DriveFixture d(transport, settings);
    std::uint8_t destination[4097];
    std::memset(destination, 0xAA, sizeof(destination));
    EXPECT_EQ(cmd_read_identity_block(d.ctx().link, 0xC4, 0x0F, 0x1E, 0xB4, 0x3B, 0x75, 4096, destination), -1);
    EXPECT_EQ(std::count(destination, destination + 4096, 0), 4096) << transport_name(transport);
    EXPECT_EQ(destination[4096], 0xAA) << "only the requested length is cleared";
  }
}

TEST(Commands, LengthsBeyondTheirBuffersAreRefusedUnsent) {
  static std::uint8_t source[20480];
  static std::uint8_t small[4000];
  const struct Case {
    const char* what;
    Transport transport;
    std::function<int(Context&)> call;
    int result;
  } cases[] = {
      {"event status into 20480 bytes", Transport::aspi,
       [](Context& c) { return cmd_get_event_status(c.link, 0x10, 20481); }, -1},
      {"vendor status into 20480 bytes", Transport::aspi,
       [](Context& c) { return cmd_vendor_read_status(c.link, 0x30, 20481); }, -1},
      {"event status through the buffered request", Transport::pass_through,
       [](Context& c) { return cmd_get_event_status(c.link, 0x10, 513); }, -1},
      {"event status at the buffered limit", Transport::pass_through,
       [](Context& c) { return cmd_get_event_status(c.link, 0x10, 512); }, 0},
      {"write of header and data beyond 20480", Transport::aspi,
       [](Context& c) { return cmd_write_download(c.link, 48, 20433, 0, source, source); }, -1},
      // Sent whole; the drive then refuses a piece larger than it takes.
      {"write filling 20480", Transport::aspi,
       [](Context& c) { return cmd_write_download(c.link, 48, 20432, 0, source, source); }, 1},
      {"write without data", Transport::aspi,
       [](Context& c) { return cmd_write_download(c.link, 48, 16, 0, source, nullptr); }, -1},
      {"read of header and data beyond 20480", Transport::pass_through,
       [](Context& c) { return cmd_read_download(c.link, 20000, 481, 0, nullptr, source); }, -1},
      {"identity block into a smaller destination", Transport::pass_through,
       [](Context& c) { return cmd_read_identity_block(c.link, 0, 0, 0x5A, 0xA5, 0x77, 0x66, 4096, small); }, -1},
  };
  for (const Case& c : cases) {
    DriveFixture d(c.transport);
    test::enter_download_mode(d.drive);  // the drive takes the writes that are sent
    d.drive.clear_history();
    EXPECT_EQ(c.call(d.ctx()), c.result) << c.what;
    EXPECT_EQ(d.drive.history_size(), c.result >= 0 ? 1u : 0u) << c.what;
  }
}

// The drive takes a download write only when the host holds all it announces, the header and the
// data; a buffer one byte short is refused whole, over either transport.
TEST(Commands, ADownloadWriteNeedsHeaderAndDataInTheHostsBuffer) {
  const test::ProgramImage& image = test::program_image();
  for (const Transport transport : {Transport::pass_through, Transport::aspi}) {
    for (const std::uint32_t held : {1072u, 1071u, 1024u}) {
      DriveFixture d(transport);
      ASSERT_EQ(test::enter_download_mode(d.drive).status, sim::status_good);
      std::uint8_t* buffer = d.ctx().drive.scsi_data_buffer;
      std::memcpy(buffer, image.header.data(), 48);
      std::memcpy(buffer + 48, image.area.data() + 368, 1024);
      const std::uint8_t cdb[12] = {0xEA, 0, 0, 0x00, 0x01, 0x70, 0x00, 0x04, 0x30};  // 1072 bytes at 368
      ScsiRequest request;
      request.cdb = cdb;
      request.direction = dir_out;
      request.length = held;
      request.buffer = buffer;
      request.kind = PassThroughKind::direct;
      const bool whole = held == 1072;
      const char* what = transport_name(transport);
      EXPECT_EQ(execute_request(d.ctx().link, request), whole ? 0 : 1) << what << " " << held;
      if (!whole) {
        EXPECT_EQ(d.ctx().drive.last_sense_key, 0x0B) << what << " " << held;
        EXPECT_EQ(d.ctx().drive.last_asc, 0x4B) << what << " " << held;
      }
      // Nothing of a refused write is stored.
      const std::uint8_t* area = d.drive.download_area();
      EXPECT_EQ(area != nullptr && std::memcmp(area + 368, image.area.data() + 368, 1024) == 0, whole) << what;
    }
  }
}

TEST(Commands, PrepareDownloadSettlesAfterGoodOnly) {
  for (const bool refused : {false, true}) {
    sim::DriveSettings settings;
    if (refused) settings.faults.add_rule(fault(sim::CommandKind::prepare, sim::FaultAction::check));
    DriveFixture d(Transport::pass_through, settings);
    const std::int32_t before = d.f.host.clock.now_ms();
    EXPECT_EQ(cmd_prepare_download(d.ctx().link, 1), refused ? 1 : 0);
    EXPECT_EQ(d.f.host.clock.now_ms() - before, refused ? 0 : 2000);
    EXPECT_EQ(d.drive.download_mode(), !refused);
  }
}

}  // namespace
}  // namespace tz
