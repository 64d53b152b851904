// The simulated drive as the loader meets it: identity, tray, download, ROM rewrite and verify,
// the checks it makes on everything it is sent, and the faults it plays.
#include "sim/sim_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "image/codec.h"
#include "image/firmware_levels.h"
#include "image/info_block.h"
#include "sim/pass_through.h"
#include "sim/tool/carried_image.h"
#include "tests/sim/sim_support.h"

namespace tz {
namespace {

using sim::Direction;
using sim::SimDrive;
using test::program_image;
using test::run;
using test::sense_of;

std::string text_at(const std::uint8_t* bytes, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

struct InquiryReply {
  std::uint8_t bytes[96] = {};
  sim::Outcome outcome;
};

InquiryReply inquiry(SimDrive& drive) {
  InquiryReply reply;
  reply.outcome = run(drive, {0x12, 0, 0, 0, 96, 0}, Direction::in, reply.bytes, sizeof(reply.bytes));
  return reply;
}

// An identity read with parameters derived as the loader derives them from p1 and p2.
sim::Outcome read_identity(SimDrive& drive, std::uint8_t* reply, std::uint8_t p1 = 0xC4, std::uint8_t p2 = 0xF0,
                           std::uint8_t skew = 0) {
  const auto b = [](unsigned v) { return static_cast<std::uint8_t>(v); };
  return run(drive,
             {0xED, 0, p1, p2, b(p1 + 0x5A + skew), b(p2 + 0xA5), 0x10, b(p1 + 0x77), b(p2 + 0x66), 0x10, 0x00, 0x3C},
             Direction::in, reply, 4096);
}

TEST(SimDrive, InquiryReportsTheFirmwareItCarries) {
  const struct { const char* firmware; } cases[] = {{"1.00"}, {"0.90"}, {"1.01"}};
  for (const auto& c : cases) {
    sim::DriveSettings settings;
    copy_bounded(settings.firmware, sizeof(settings.firmware), c.firmware);
    SimDrive drive(settings);
    ASSERT_TRUE(drive.ready()) << c.firmware;
    InquiryReply reply = inquiry(drive);
    ASSERT_EQ(reply.outcome.status, sim::status_good);
    EXPECT_EQ(reply.outcome.transferred, 96u);
    EXPECT_EQ(reply.bytes[0], 5);
    EXPECT_EQ(text_at(reply.bytes + 8, 8), "KORVANTA");
    EXPECT_EQ(text_at(reply.bytes + 16, 16), "BD-CMB TZ594KS  ");
    EXPECT_EQ(text_at(reply.bytes + 32, 4), c.firmware);
  }
  sim::DriveSettings unknown;
  copy_bounded(unknown.firmware, sizeof(unknown.firmware), "2.00");
  EXPECT_FALSE(SimDrive(unknown).ready());
}

TEST(SimDrive, RepliesAreCutToAllocationLengthAndHostBuffer) {
  SimDrive drive;
  std::uint8_t small[10];
  std::memset(small, 0xAA, sizeof(small));
  EXPECT_EQ(run(drive, {0x12, 0, 0, 0, 96, 0}, Direction::in, small, 6).transferred, 6u);
  EXPECT_EQ(small[6], 0xAA) << "nothing written past the host buffer";
  std::uint8_t big[128];
  EXPECT_EQ(run(drive, {0x12, 0, 0, 0, 44, 0}, Direction::in, big, sizeof(big)).transferred, 44u);
  EXPECT_EQ(run(drive, {0x12, 0, 0, 0, 96, 0}, Direction::none, nullptr, 0).transferred, 0u);
  EXPECT_EQ(sense_of(run(drive, {0x12, 0x01, 0x80, 0, 96, 0}, Direction::in, big, 96)), "05/24/00");
  EXPECT_EQ(sense_of(run(drive, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0})), "05/20/00");
}

struct TrayView {
  int event_status;   // byte 5 of the media event, or -1 when refused
  int vendor_status;  // byte 2 of the 0xFC reply, or -1 when refused
};

TrayView look_at_tray(SimDrive& drive) {
  std::uint8_t event[8] = {};
  std::uint8_t status[4] = {};
  const sim::Outcome e = run(drive, {0x4A, 0x01, 0, 0, 0x10, 0, 0, 0, 8, 0}, Direction::in, event, 8);
  const sim::Outcome v = run(drive, {0xFC, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0x30, 0}, Direction::in, status, 4);
  return {e.status == sim::status_good ? event[5] : -1, v.status == sim::status_good ? status[2] : -1};
}

TEST(SimDrive, TrayMovesWithStartStopUnitAndShowsInBothQueries) {
  const struct Case {
    const char* what;
    bool open;
    bool disc;
    bool stuck;
    std::uint8_t start_stop_byte4;
    const char* sense;
    bool open_after;
  } cases[] = {
      {"eject a closed tray", false, true, false, 0x02, "none", true},
      {"load an open tray", true, false, false, 0x03, "none", false},
      {"stop leaves the tray", false, true, false, 0x00, "none", false},
      {"stuck tray stays shut", false, false, true, 0x02, "04/53/00", false},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings;
    settings.tray_open = c.open;
    settings.disc = c.disc;
    settings.tray_stuck = c.stuck;
    SimDrive drive(settings);
    const sim::Outcome moved = run(drive, {0x1B, 0, 0, 0, c.start_stop_byte4, 0});
    EXPECT_EQ(sense_of(moved), c.sense) << c.what;
    EXPECT_EQ(drive.tray_open(), c.open_after) << c.what;
    const TrayView view = look_at_tray(drive);
    EXPECT_EQ(view.event_status, (c.open_after ? 1 : 0) | (c.disc ? 2 : 0)) << c.what;
    EXPECT_EQ(view.vendor_status & 0x40, c.open_after ? 0x40 : 0) << c.what;
  }
}

TEST(SimDrive, TrayQueriesCanBeRefused) {
  sim::DriveSettings settings;
  settings.tray_open = true;
  settings.no_event_status = true;
  SimDrive first_refused(settings);
  EXPECT_EQ(look_at_tray(first_refused).event_status, -1);
  EXPECT_EQ(look_at_tray(first_refused).vendor_status, 0x40);
  settings.no_vendor_status = true;
  SimDrive both_refused(settings);
  EXPECT_EQ(look_at_tray(both_refused).vendor_status, -1);
}

TEST(SimDrive, IdentityBlockIsTheCurrentFirmwareInItsKey) {
  SimDrive drive;
  std::uint8_t reply[4096];
  ASSERT_EQ(read_identity(drive, reply).status, sim::status_good);
  IdentityRecord level;
  ASSERT_EQ(firmware_level_identity("1.00", level), 0);
  std::uint8_t expected[4096] = {};
  const std::uint32_t size = build_info_block(level, level.scramble_key, expected, sizeof(expected));
  ASSERT_NE(size, 0u);
  EXPECT_EQ(std::memcmp(reply, expected, sizeof(expected)), 0) << "the block, zeros behind it";
  EXPECT_EQ(get_be16(reply + 16), level.scramble_key);
}

// info_sum as the block carries it against the sum of its region, for a drive of each level.
TEST(SimDrive, EngineeringFirmwareCarriesNoInfoSum) {
  const struct {
    const char* firmware;
    bool sum_checks_out;
  } cases[] = {{"1.00", true}, {"0.90", true}, {"0.80", true}, {"0.50", false}};
  for (const auto& c : cases) {
    sim::DriveSettings settings;
    copy_bounded(settings.firmware, sizeof(settings.firmware), c.firmware);
    SimDrive drive(settings);
    std::uint8_t reply[4096];
    ASSERT_EQ(read_identity(drive, reply).status, sim::status_good) << c.firmware;
    std::uint8_t* region = reply + 18;
    const std::uint32_t region_bytes = drive.rom().info_size - 18;
    scramble_with_key(get_be16(reply + 16), region, region_bytes);
    const std::uint16_t carried = get_be16(region + region_bytes - 2);
    EXPECT_EQ(carried == sum16_be(region, region_bytes - 2), c.sum_checks_out) << c.firmware;
    EXPECT_EQ(get_be32(region) + 4, region_bytes) << c.firmware;
  }
}

TEST(SimDrive, IdentityReadChecksItsParametersAndCanBeBusyFirst) {
  sim::DriveSettings settings;
  settings.identity_busy = 2;
  SimDrive drive(settings);
  std::uint8_t reply[4096];
  EXPECT_EQ(sense_of(read_identity(drive, reply)), "05/2C/00");
  EXPECT_EQ(sense_of(read_identity(drive, reply)), "05/2C/00");
  EXPECT_EQ(sense_of(read_identity(drive, reply, 0xC4, 0xF0, 1)), "05/24/00") << "p3 must be p1 + 0x5A";
  for (unsigned p = 0; p < 256; p += 51) {
    EXPECT_EQ(read_identity(drive, reply, static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(255 - p)).status,
              sim::status_good)
        << p;
  }
  EXPECT_EQ(
      sense_of(run(drive, {0xED, 0, 0, 0, 0x5A, 0xA5, 0x10, 0x77, 0x66, 0x10, 0, 0x3D}, Direction::in, reply, 4096)),
      "05/24/00")
      << "signature byte";
}

TEST(SimDrive, DownloadAreaReadsBackWhatWasWrittenBehindTheLastHeader) {
  SimDrive drive;
  const test::ProgramImage& image = program_image();
  ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
  ASSERT_EQ(test::write_piece(drive, image.header.data(), test::block_offset(5),
                              image.area.data() + test::block_offset(5), 1024)
                .status,
            sim::status_good);
  std::uint8_t back[1072];
  ASSERT_EQ(run(drive, {0xE8, 0, 0, 0x00, 0x15, 0x70, 0x00, 0x04, 0x30, 0, 0, 0}, Direction::in, back, sizeof(back))
                .transferred,
            1072u);
  EXPECT_EQ(std::memcmp(back, image.header.data(), 48), 0);
  EXPECT_EQ(std::memcmp(back + 48, image.area.data() + test::block_offset(5), 1024), 0);
}

// A download write or read-back moves exactly the piece its CDB declares, in the direction of its
// kind, and a piece is at most its header and one block.
TEST(SimDrive, DownloadCommandsOutsideTheAreaOrTheirBufferAreRefused) {
  const Direction in = Direction::in;
  const Direction out = Direction::out;
  const Direction none = Direction::none;
  const struct Case {
    const char* what;
    std::uint8_t opcode;
    std::uint32_t offset;
    std::uint32_t total;
    Direction direction;
    std::uint32_t host_length;
    const char* sense;
  } cases[] = {
      {"write ending at the area's end", 0xEA, 1122672 - 1024, 1072, out, 1072, "none"},
      {"write one byte past the end", 0xEA, 1122672 - 1023, 1072, out, 1072, "05/21/00"},
      {"write at the largest offset", 0xEA, 0xFFFFFF, 1072, out, 1072, "05/21/00"},
      {"write shorter than its header", 0xEA, 0, 47, out, 47, "05/24/00"},
      {"write whose data the host does not hold", 0xEA, 0, 1072, out, 1000, "0B/4B/00"},
      {"write with no data phase", 0xEA, 368, 1072, none, 0, "0B/4B/00"},
      {"write of a piece larger than a block", 0xEA, 368, 48 + 16384, out, 48 + 16384, "05/24/00"},
      {"write one byte larger than a block", 0xEA, 368, 1073, out, 1073, "05/24/00"},
      {"read past the end", 0xE8, 1122672, 49, in, 49, "05/21/00"},
      {"read longest length", 0xE8, 0, 0xFFFFFF, in, 64, "05/21/00"},
      {"read of a whole piece", 0xE8, 368, 1072, in, 1072, "none"},
      {"read into a short host buffer", 0xE8, 0, 1072, in, 100, "0B/4B/00"},
      {"read into a 16-byte host buffer", 0xE8, 368, 1072, in, 16, "0B/4B/00"},
      {"read with no data phase", 0xE8, 368, 1072, none, 0, "0B/4B/00"},
      {"read with data going out", 0xE8, 368, 1072, out, 1072, "0B/4B/00"},
      {"read of a piece larger than a block", 0xE8, 368, 48 + 16384, in, 48 + 16384, "05/24/00"},
  };
  const test::ProgramImage& image = program_image();
  for (const Case& c : cases) {
    SimDrive drive;
    test::enter_download_mode(drive);
    std::vector<std::uint8_t> buffer(c.host_length + 16, 0x5C);
    // A write carries the program's header, so that only its place and size are in question.
    if (c.opcode == 0xEA && c.host_length >= 48) std::memcpy(buffer.data(), image.header.data(), 48);
    std::uint8_t cdb[12] = {c.opcode};
    put_be24(cdb + 3, c.offset);
    put_be24(cdb + 6, c.total);
    const sim::Outcome outcome = drive.execute(cdb, 12, c.direction, buffer.data(), c.host_length);
    EXPECT_EQ(sense_of(outcome), c.sense) << c.what;
    EXPECT_EQ(outcome.transferred, c.sense == std::string("none") ? c.total : 0u) << c.what;
    EXPECT_EQ(buffer[c.host_length], 0x5C) << c.what << ": written past the host buffer";
  }
}

// Rebuilds image_sum and the header checksum for the area as it now stands.
void reseal(const std::vector<std::uint8_t>& area, std::uint8_t* header) {
  put_be16(header + 42, sum16_be(area.data(), static_cast<std::uint32_t>(area.size())));
  header[47] = 0;
  header[47] = static_cast<std::uint8_t>(0 - sum8(header, 47));
}

TEST(SimDrive, RewriteFromTheProgramsImageChangesItsFirmware) {
  SimDrive drive;
  const test::ProgramImage& image = program_image();
  ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
  ASSERT_TRUE(test::download(drive, image.header.data(), image.area, image.info_size));
  const sim::Outcome rewritten = test::rewrite(drive);
  EXPECT_EQ(rewritten.status, sim::status_good) << sim::image_check_name(drive.last_image_check());
  EXPECT_EQ(rewritten.busy_ms, 3000u);
  EXPECT_STREQ(drive.identity().revision, "1.01");
  EXPECT_STREQ(drive.identity().level, "0101");
  EXPECT_FALSE(drive.rom().factory);

  // The drive restarted: the next command learns of it, INQUIRY never does.
  EXPECT_EQ(text_at(inquiry(drive).bytes + 32, 4), "1.01");
  EXPECT_EQ(sense_of(run(drive, {0, 0, 0, 0, 0, 0})), "06/29/00");

  std::uint8_t reply[4096];
  ASSERT_EQ(read_identity(drive, reply).status, sim::status_good);
  EXPECT_EQ(std::memcmp(reply, image.area.data(), image.info_size), 0) << "the info block it was sent";

  SimDrive sent_another = drive;
  ASSERT_TRUE(test::download(drive, image.header.data(), image.area, image.info_size));
  const sim::Outcome verified = test::rewrite(drive, 0x40);
  EXPECT_EQ(verified.status, sim::status_good);
  EXPECT_EQ(verified.busy_ms, 2000u);
  // A sound image that differs from the ROM does not verify.
  std::vector<std::uint8_t> other = image.area;
  other[5000] ^= 0x01;
  std::array<std::uint8_t, 48> header = image.header;
  reseal(other, header.data());
  ASSERT_TRUE(test::download(sent_another, header.data(), other, image.info_size));
  EXPECT_EQ(sense_of(test::rewrite(sent_another, 0x40)), "0E/1D/00");
  EXPECT_EQ(sent_another.last_image_check(), sim::ImageCheck::ok);
}

// Re-keys an info block after `change` edited its plain region, and fixes info_sum and the
// header so that only the change itself is wrong.
void change_info(std::vector<std::uint8_t>& area, std::uint8_t* header,
                 const std::function<void(std::uint8_t*)>& change, bool fix_info_sum) {
  const std::uint16_t key = get_be16(area.data() + 16);
  std::uint8_t* region = area.data() + 18;
  const std::uint32_t region_bytes = 368 - 18;
  scramble_with_key(key, region, region_bytes);
  change(region);
  if (fix_info_sum) put_be16(region + region_bytes - 2, sum16_be(region, region_bytes - 2));
  scramble_with_key(key, region, region_bytes);
  reseal(area, header);
}

TEST(SimDrive, CorruptOrForeignImagesLeaveTheRomAlone) {
  const test::ProgramImage& image = program_image();
  const struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&, std::uint8_t*)> spoil;
    sim::ImageCheck expected;
    std::uint32_t skip = 0xFFFFFFFF;
    bool header_only = false;  // the header alone shows it: every piece is refused as it arrives
  } cases[] = {
      {"header checksum", [](auto&, std::uint8_t* h) { h[30] ^= 0x01; }, sim::ImageCheck::header_checksum, 0xFFFFFFFF,
       true},
      {"image_sum", [](auto& a, auto*) { a[70000] ^= 0x10; }, sim::ImageCheck::image_sum},
      {"one payload block never sent", [](auto&, auto*) {}, sim::ImageCheck::incomplete, test::block_offset(700)},
      {"magic text",
       [](auto& a, std::uint8_t* h) {
         a[2] ^= 0x04;
         put_be16(h + 42, sum16_be(a.data(), static_cast<std::uint32_t>(a.size())));
         h[47] = 0;
         h[47] = static_cast<std::uint8_t>(0 - sum8(h, 47));
       },
       sim::ImageCheck::magic},
      {"info_sum",
       [](auto& a, std::uint8_t* h) {
         change_info(
             a, h, [](std::uint8_t* r) { r[100] ^= 1; }, false);
       },
       sim::ImageCheck::info_sum},
      {"transfer mark taken out of the trailer",
       [&image](auto& a, std::uint8_t* h) {
         change_info(
             a, h, [&image](std::uint8_t* r) { r[368 - 18 - 2 - image.trailer_length] = 0x01; }, true);
       },
       sim::ImageCheck::stored_copy},
      {"another model code",
       [](auto& a, std::uint8_t* h) {
         change_info(
             a, h, [](std::uint8_t* r) { r[8 + 15] = '2'; }, true);
       },
       sim::ImageCheck::foreign_model},
      {"another vendor in the header",
       [](auto&, std::uint8_t* h) {
         h[0] = 'Q';
         h[47] = 0;
         h[47] = static_cast<std::uint8_t>(0 - sum8(h, 47));
       },
       sim::ImageCheck::foreign_model, 0xFFFFFFFF, true},
      {"transfer length beyond the area",
       [](auto&, std::uint8_t* h) {
         put_be32(h + 36, 1122672 + 2);
         h[47] = 0;
         h[47] = static_cast<std::uint8_t>(0 - sum8(h, 47));
       },
       sim::ImageCheck::transfer_length, 0xFFFFFFFF, true},
  };
  for (const Case& c : cases) {
    SimDrive drive;
    const sim::Rom before = drive.rom();
    std::vector<std::uint8_t> area = image.area;
    std::array<std::uint8_t, 48> header = image.header;
    c.spoil(area, header.data());
    test::enter_download_mode(drive);
    const sim::Outcome first = test::write_piece(drive, header.data(), 0, area.data(), image.info_size);
    EXPECT_EQ(sense_of(first), c.header_only ? "05/26/00" : "none") << c.what;
    if (c.header_only) {
      EXPECT_EQ(drive.last_image_check(), c.expected)
          << c.what << ": " << sim::image_check_name(drive.last_image_check());
    }
    test::download(drive, header.data(), area, image.info_size, c.skip);
    // Nothing of a download whose header is refused was kept, so there is nothing to rewrite from.
    EXPECT_EQ(sense_of(test::rewrite(drive)), c.header_only ? "05/2C/00" : "05/26/00") << c.what;
    EXPECT_EQ(drive.last_image_check(), c.header_only ? sim::ImageCheck::no_header : c.expected)
        << c.what << ": " << sim::image_check_name(drive.last_image_check());
    EXPECT_EQ(drive.rom().digest, before.digest) << c.what;
    EXPECT_STREQ(drive.identity().revision, "1.00") << c.what;
  }
  SimDrive untouched;
  EXPECT_EQ(sense_of(test::rewrite(untouched)), "05/2C/00");
  EXPECT_EQ(untouched.last_image_check(), sim::ImageCheck::no_header);
}

// A wrong header on any one piece is refused as that piece arrives, however good the others and
// the last one are: the piece is not kept and the image stays incomplete.
TEST(SimDrive, EveryPiecesHeaderIsCheckedAsItArrives) {
  const test::ProgramImage& image = program_image();
  const test::ProgramImage& stored = test::stored_program_image();
  ASSERT_NE(std::memcmp(stored.header.data(), image.header.data(), 48), 0) << "the stored header is another";
  std::array<std::uint8_t, 48> broken = image.header;
  broken[30] ^= 0x01;
  std::array<std::uint8_t, 48> foreign = image.header;
  foreign[8] = 'Q';
  foreign[47] = 0;
  foreign[47] = static_cast<std::uint8_t>(0 - sum8(foreign.data(), 47));
  const struct Case {
    const char* what;
    const std::uint8_t* header;
    sim::ImageCheck check;
  } headers[] = {
      {"header checksum", broken.data(), sim::ImageCheck::header_checksum},
      {"another product", foreign.data(), sim::ImageCheck::foreign_model},
      {"the stored header, sound on its own", stored.header.data(), sim::ImageCheck::other_header},
  };
  for (const Case& c : headers) {
    for (const std::uint32_t piece : {0u, 1u, 500u}) {
      SCOPED_TRACE(std::string(c.what) + ", piece " + std::to_string(piece));
      SimDrive drive;
      ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
      std::uint32_t index = 0;
      for (std::uint32_t offset = 0; offset < image.area.size(); ++index) {
        const std::uint32_t length = offset == 0 ? image.info_size : 1024;
        const std::uint8_t* header = index == piece ? c.header : image.header.data();
        const sim::Outcome out = test::write_piece(drive, header, offset, image.area.data() + offset, length);
        // A header sound on its own is refused where it differs from the first piece's: on piece 0
        // it is the first, and the program's header is the other one behind it.
        const bool other = c.check == sim::ImageCheck::other_header && piece == 0;
        const bool refused = other ? index != 0 : index == piece;
        EXPECT_EQ(sense_of(out), refused ? "05/26/00" : "none") << "piece " << index;
        if (refused && (index == piece || index == 1)) {
          EXPECT_EQ(drive.last_image_check(), c.check) << sim::image_check_name(drive.last_image_check());
        }
        offset += length;
      }
      EXPECT_EQ(sense_of(test::rewrite(drive)), "05/26/00");
      EXPECT_FALSE(sim::rom_is_carried_image(drive.rom()));
    }
  }
}

// The vendor commands' bytes that the command set gives as 00 must be 00, and a CDB shorter than
// its command is refused rather than read with zeros behind it; either leaves the drive as it was.
TEST(SimDrive, ReservedBytesAndShortCdbsAreRefused) {
  const struct Command {
    const char* what;
    std::vector<std::uint8_t> cdb;
    Direction direction;
    std::uint32_t length;
    std::vector<std::uint8_t> reserved;
  } commands[] = {
      {"boot-mode command",
       {0xED, 0x01, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x3C},
       Direction::none,
       0,
       {2, 3, 4, 5, 7, 8, 9, 10}},
      {"identity read",
       {0xED, 0, 0xC4, 0xF0, 0x1E, 0x95, 0x10, 0x3B, 0x56, 0x10, 0x00, 0x3C},
       Direction::in,
       4096,
       {1}},
      {"download read-back",
       {0xE8, 0, 0, 0x00, 0x01, 0x70, 0x00, 0x04, 0x30, 0, 0, 0},
       Direction::in,
       1072,
       {1, 2, 9, 10, 11}},
      {"verify", {0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40}, Direction::none, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"vendor status", {0xFC, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0x30, 0}, Direction::in, 4, {1, 2, 3, 4, 5, 11}},
  };
  std::vector<std::uint8_t> buffer(4096);
  for (const Command& c : commands) {
    for (const std::uint8_t at : c.reserved) {
      SimDrive drive;
      std::vector<std::uint8_t> cdb = c.cdb;
      cdb[at] = 0x11;
      const sim::Outcome out = drive.execute(cdb.data(), 12, c.direction, buffer.data(), c.length);
      EXPECT_EQ(sense_of(out), "05/24/00") << c.what << ", byte " << int{at};
      EXPECT_FALSE(drive.download_mode()) << c.what << ", byte " << int{at};
    }
  }
  // The example of a boot-mode command with 11 22 33 44 where its zeros belong.
  SimDrive drive;
  EXPECT_EQ(sense_of(run(drive, {0xED, 0x01, 0x11, 0x22, 0x33, 0x44, 0x01, 0, 0, 0, 0, 0x3C})), "05/24/00");
  EXPECT_FALSE(drive.download_mode());

  // A download write with a reserved byte set is not kept; a rewrite request given as a six-byte
  // CDB (its mode byte would read as 0x00) neither rewrites nor empties the download area.
  const test::ProgramImage& image = program_image();
  sim::DriveSettings plain;
  plain.boot_mode = false;  // 0x00 is its rewrite mode
  for (const bool boot_mode : {true, false}) {
    SCOPED_TRACE(boot_mode ? "with boot mode" : "without boot mode");
    SimDrive d(boot_mode ? sim::DriveSettings{} : plain);
    if (boot_mode) {
      ASSERT_EQ(test::enter_download_mode(d).status, sim::status_good);
    }
    ASSERT_TRUE(test::download(d, image.header.data(), image.area, image.info_size));
    std::vector<std::uint8_t> piece(48 + 1024);
    std::memcpy(piece.data(), image.header.data(), 48);
    std::uint8_t write[12] = {0xEA, 0, 0, 0x00, 0x01, 0x70, 0x00, 0x04, 0x30, 0, 0, 0x01};
    EXPECT_EQ(sense_of(d.execute(write, 12, Direction::out, piece.data(), 1072)), "05/24/00") << "zeros not kept";
    const std::uint8_t rewrite_cdb[6] = {0xF5, 0, 0, 0, 0, 0};
    EXPECT_EQ(sense_of(d.execute(rewrite_cdb, 6, Direction::none, nullptr, 0)), "05/24/00");
    EXPECT_FALSE(sim::rom_is_carried_image(d.rom()));
    EXPECT_EQ(sense_of(test::rewrite(d, boot_mode ? 0x80 : 0x00)), "none") << "the download is still whole";
    EXPECT_TRUE(sim::rom_is_carried_image(d.rom()));
  }

  const struct Short {
    const char* what;
    std::vector<std::uint8_t> cdb;
  } shorts[] = {
      {"TEST UNIT READY in 5 bytes", {0x00, 0, 0, 0, 0}},
      {"GET EVENT STATUS NOTIFICATION in 6 bytes", {0x4A, 0x01, 0, 0, 0x10, 0}},
      {"boot-mode command in 11 bytes", {0xED, 0x01, 0, 0, 0, 0, 0x01, 0, 0, 0, 0}},
      {"vendor status in 10 bytes", {0xFC, 0, 0, 0, 0, 0, 0, 0, 0, 4}},
      {"no CDB at all", {}},
  };
  for (const Short& c : shorts) {
    SimDrive d;
    d.set_tray(false, true);  // a TEST UNIT READY that is heard answers GOOD
    const sim::Outcome out =
        d.execute(c.cdb.data(), static_cast<std::uint32_t>(c.cdb.size()), Direction::in, buffer.data(), 8);
    EXPECT_EQ(sense_of(out), "05/24/00") << c.what;
    EXPECT_FALSE(d.download_mode()) << c.what;
  }
}

// After the boot-mode command the drive restarts into its boot code: for 1500 ms of the front's
// clock it answers everything but INQUIRY with NOT READY, becoming ready; the update's own wait is
// 2000 ms. The clock may wrap meanwhile.
TEST(SimDrive, TheBootModeCommandLeavesTheDriveSettlingForAWhile) {
  const test::ProgramImage& image = program_image();
  for (const std::uint32_t start : {1000u, 0xFFFFFC00u}) {
    const struct Case {
      std::uint32_t after_ms;
      const char* inquiry;
      const char* tur;
      const char* write;
    } cases[] = {
        {0, "none", "02/04/01", "02/04/01"},
        {1499, "none", "02/04/01", "02/04/01"},
        {1500, "none", "02/3A/02", "none"},
        {2000, "none", "02/3A/02", "none"},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE("from " + std::to_string(start) + ", " + std::to_string(c.after_ms) + " ms later");
      sim::DriveSettings settings;
      settings.tray_open = true;
      SimDrive drive(settings);
      drive.set_time(start);
      ASSERT_EQ(sense_of(run(drive, {0xED, 0x01, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x3C})), "none");
      drive.set_time(start + c.after_ms);
      EXPECT_EQ(sense_of(inquiry(drive).outcome), c.inquiry);
      EXPECT_EQ(sense_of(run(drive, {0, 0, 0, 0, 0, 0})), c.tur);
      EXPECT_EQ(sense_of(test::write_piece(drive, image.header.data(), 368, image.area.data() + 368, 1024)), c.write);
    }
  }
}

// The update's steps in and out of order, on a drive with the synchronous boot and on one without.
// Whatever comes out of sequence, in the mode the drive does not take, or from the stored copies of
// header and info block is refused and leaves the ROM as it was; any rewrite request empties the
// download area, so the verify and every retry need a complete new download.
TEST(SimDrive, RefusesStepsOutOfSequenceInTheWrongModeOrFromStoredCopies) {
  enum class Step {
    boot,
    download,
    download_stored,
    download_but_block_7,
    write_block_7,
    read_block_7,
    rewrite_00,
    rewrite_80,
    settle,
    verify
  };
  struct Sent {
    Step step;
    const char* sense;
  };
  using S = Step;
  const char* const good = "none";
  const char* const reset = "06/29/00";  // the first command after a good rewrite
  const struct Case {
    const char* what;
    bool boot_mode;
    std::vector<Sent> steps;
    bool rewritten;  // the ROM holds the carried image at the end
    std::optional<sim::ImageCheck> check;
  } cases[] = {
      {"read-backs before the boot-mode command, as writes are",
       true,
       {{S::read_block_7, "05/2C/00"}, {S::boot, good}, {S::read_block_7, good}},
       false,
       {}},
      {"without boot mode: read-backs at once", false, {{S::read_block_7, good}}, false, {}},
      {"writes before the boot-mode command, none of them kept",
       true,
       {{S::download, "05/2C/00"}, {S::boot, good}, {S::rewrite_80, "05/2C/00"}},
       false,
       sim::ImageCheck::no_header},
      {"rewrite on mode 0x00", true, {{S::boot, good}, {S::download, good}, {S::rewrite_00, "05/24/00"}}, false, {}},
      {"a refused mode empties the area too",
       true,
       {{S::boot, good}, {S::download, good}, {S::rewrite_00, "05/24/00"}, {S::rewrite_80, "05/2C/00"}},
       false,
       sim::ImageCheck::no_header},
      {"a refused image empties the area: the missing block alone does not complete it",
       true,
       {{S::boot, good},
        {S::download_but_block_7, good},
        {S::rewrite_80, "05/26/00"},
        {S::write_block_7, good},
        {S::rewrite_80, "05/26/00"}},
       false,
       sim::ImageCheck::incomplete},
      {"rewrite from the stored header and info block",
       true,
       {{S::boot, good}, {S::download_stored, good}, {S::rewrite_80, "05/26/00"}},
       false,
       sim::ImageCheck::stored_copy},
      {"a second rewrite with no new download",
       true,
       {{S::boot, good}, {S::download, good}, {S::rewrite_80, good}, {S::settle, reset}, {S::rewrite_80, "05/2C/00"}},
       true,
       sim::ImageCheck::no_header},
      {"verify with no new download",
       true,
       {{S::boot, good}, {S::download, good}, {S::rewrite_80, good}, {S::settle, reset}, {S::verify, "05/2C/00"}},
       true,
       sim::ImageCheck::no_header},
      {"verify with a block missing from the new download",
       true,
       {{S::boot, good},
        {S::download, good},
        {S::rewrite_80, good},
        {S::settle, reset},
        {S::download_but_block_7, good},
        {S::verify, "05/26/00"}},
       true,
       sim::ImageCheck::incomplete},
      {"verify against the stored header and info block",
       true,
       {{S::boot, good},
        {S::download, good},
        {S::rewrite_80, good},
        {S::settle, reset},
        {S::download_stored, good},
        {S::verify, "05/26/00"}},
       true,
       sim::ImageCheck::stored_copy},
      {"download mode lasts through the rewrite: one boot-mode command for both phases",
       true,
       {{S::boot, good},
        {S::download, good},
        {S::rewrite_80, good},
        {S::settle, reset},
        {S::download, good},
        {S::verify, good}},
       true,
       sim::ImageCheck::ok},
      {"without boot mode: writes at once, rewrite on mode 0x00",
       false,
       {{S::download, good}, {S::rewrite_00, good}, {S::settle, reset}, {S::download, good}, {S::verify, good}},
       true,
       sim::ImageCheck::ok},
      {"without boot mode: rewrite on mode 0x80",
       false,
       {{S::download, good}, {S::rewrite_80, "05/24/00"}, {S::download, good}, {S::rewrite_00, good}},
       true,
       sim::ImageCheck::ok},
      {"without boot mode: no boot-mode command", false, {{S::boot, "05/24/00"}}, false, {}},
  };
  const test::ProgramImage& image = program_image();
  const test::ProgramImage& stored = test::stored_program_image();
  // Every piece is sent; the answer is that of the first one refused, else GOOD.
  const auto send = [](SimDrive& drive, const test::ProgramImage& from, std::uint32_t skip) {
    sim::Outcome first_refused;
    for (std::uint32_t offset = 0; offset < from.area.size();) {
      const std::uint32_t length = offset == 0 ? from.info_size : 1024;
      if (offset != skip) {
        const sim::Outcome out =
            test::write_piece(drive, from.header.data(), offset, from.area.data() + offset, length);
        if (out.status != sim::status_good && first_refused.status == sim::status_good) first_refused = out;
      }
      offset += length;
    }
    return first_refused;
  };
  const std::uint32_t block_7 = test::block_offset(7);
  for (const Case& c : cases) {
    sim::DriveSettings settings;
    settings.boot_mode = c.boot_mode;
    SimDrive drive(settings);
    const std::uint64_t factory_digest = drive.rom().digest;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      sim::Outcome out;
      switch (c.steps[i].step) {
        case S::boot:
          out = test::enter_download_mode(drive);
          break;
        case S::download:
          out = send(drive, image, 0xFFFFFFFF);
          break;
        case S::download_stored:
          out = send(drive, stored, 0xFFFFFFFF);
          break;
        case S::download_but_block_7:
          out = send(drive, image, block_7);
          break;
        case S::write_block_7:
          out = test::write_piece(drive, image.header.data(), block_7, image.area.data() + block_7, 1024);
          break;
        case S::read_block_7: {
          std::uint8_t cdb[12] = {0xE8};
          put_be24(cdb + 3, block_7);
          put_be24(cdb + 6, 1072);
          std::uint8_t back[1072];
          out = drive.execute(cdb, 12, Direction::in, back, sizeof(back));
          break;
        }
        case S::rewrite_00:
          out = test::rewrite(drive, 0x00);
          break;
        case S::rewrite_80:
          out = test::rewrite(drive, 0x80);
          break;
        case S::settle:
          out = run(drive, {0, 0, 0, 0, 0, 0});
          break;
        case S::verify:
          out = test::rewrite(drive, 0x40);
          break;
      }
      EXPECT_EQ(sense_of(out), c.steps[i].sense) << c.what << ", step " << i + 1;
    }
    if (c.check) {
      EXPECT_EQ(drive.last_image_check(), *c.check)
          << c.what << ": " << sim::image_check_name(drive.last_image_check());
    }
    EXPECT_EQ(sim::rom_is_carried_image(drive.rom()), c.rewritten) << c.what;
    if (!c.rewritten) {
      EXPECT_EQ(drive.rom().digest, factory_digest) << c.what;
    }
  }
}

TEST(SimDrive, FaultRulesHitTheNthCommandOfTheirKind) {
  const test::ProgramImage& image = program_image();
  const struct Case {
    const char* what;
    sim::FaultAction action;
    sim::Outcome::Delivery delivery;
    std::uint8_t status;
    const char* sense;
  } cases[] = {
      {"check", sim::FaultAction::check, sim::Outcome::Delivery::completed, sim::status_check_condition, "03/0C/00"},
      {"fail", sim::FaultAction::fail, sim::Outcome::Delivery::failed, sim::status_good, "none"},
      {"busy", sim::FaultAction::busy, sim::Outcome::Delivery::completed, sim::status_busy, "none"},
      {"hang", sim::FaultAction::hang, sim::Outcome::Delivery::hung, sim::status_good, "none"},
      {"drop", sim::FaultAction::drop, sim::Outcome::Delivery::completed, sim::status_good, "none"},
      {"short", sim::FaultAction::short_transfer, sim::Outcome::Delivery::completed, sim::status_good, "none"},
  };
  for (const Case& c : cases) {
    sim::DriveSettings settings;
    sim::FaultRule rule;
    rule.kind = sim::CommandKind::write;
    rule.nth = 2;
    rule.action = c.action;
    settings.faults.add_rule(rule);
    SimDrive drive(settings);
    run(drive, {0, 0, 0, 0, 0, 0});  // other kinds do not count
    test::enter_download_mode(drive);
    const std::uint8_t* piece = image.area.data() + 368;
    EXPECT_EQ(test::write_piece(drive, image.header.data(), 368, piece, 1024).status, sim::status_good) << c.what;
    const sim::Outcome hit = test::write_piece(drive, image.header.data(), 368 + 1024, piece + 1024, 1024);
    EXPECT_EQ(hit.delivery, c.delivery) << c.what;
    EXPECT_EQ(hit.status, c.status) << c.what;
    EXPECT_EQ(sense_of(hit), c.sense) << c.what;
    EXPECT_EQ(test::write_piece(drive, image.header.data(), 368 + 2048, piece + 2048, 1024).status, sim::status_good)
        << c.what << ": only the nth";
    // Only a write that was stored reads back as sent.
    std::uint8_t back[1072];
    run(drive, {0xE8, 0, 0, 0x00, 0x05, 0x70, 0x00, 0x04, 0x30, 0, 0, 0}, Direction::in, back, sizeof(back));
    EXPECT_EQ(std::memcmp(back + 48, piece + 1024, 1024) == 0, false) << c.what;
  }
}

// A data phase cut short: GOOD, nothing moved, and the host's buffer as it was; what the drive
// would refuse it still refuses.
TEST(SimDrive, AShortTransferMovesNothingYetAnswersGood) {
  const test::ProgramImage& image = program_image();
  sim::DriveSettings settings;
  settings.faults.add_rule({sim::CommandKind::read, 1, 2, sim::FaultAction::short_transfer, {}, false});
  SimDrive drive(settings);
  std::uint8_t back[1072];
  std::memset(back, 0x5A, sizeof(back));
  const std::initializer_list<std::uint8_t> read_block0 = {0xE8, 0, 0, 0x00, 0x01, 0x70, 0x00, 0x04, 0x30, 0, 0, 0};
  EXPECT_EQ(sense_of(run(drive, read_block0, Direction::in, back, sizeof(back))), "05/2C/00")
      << "outside download mode";
  ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
  ASSERT_EQ(test::write_piece(drive, image.header.data(), 368, image.area.data() + 368, 1024).status, sim::status_good);
  const sim::Outcome cut = run(drive, read_block0, Direction::in, back, sizeof(back));
  EXPECT_EQ(cut.status, sim::status_good);
  EXPECT_EQ(cut.transferred, 0u);
  EXPECT_EQ(std::count(back, back + sizeof(back), 0x5A), 1072) << "the buffer was written";
  const sim::Outcome whole = run(drive, read_block0, Direction::in, back, sizeof(back));
  EXPECT_EQ(whole.transferred, 1072u) << "only the rule's commands";
  EXPECT_EQ(std::memcmp(back + 48, image.area.data() + 368, 1024), 0);
}

// A data phase cut after N bytes: a read brings the first N bytes of the drive's answer and leaves
// the rest of the host's buffer as it was; a write that did not arrive whole stores nothing. A
// rule that would let the whole phase through cuts nothing.
TEST(SimDrive, AShortTransferMovesItsBytesAndAWriteCutShortStoresNothing) {
  const test::ProgramImage& image = program_image();
  const std::uint8_t* block0 = image.area.data() + 368;
  const std::initializer_list<std::uint8_t> read_block0 = {0xE8, 0, 0, 0x00, 0x01, 0x70, 0x00, 0x04, 0x30, 0, 0, 0};
  const struct Case {
    std::uint32_t moved;     // short=N
    std::uint32_t expected;  // bytes the phase moves
  } cases[] = {{1, 1}, {48, 48}, {1024, 1024}, {1071, 1071}, {1072, 1072}, {5000, 1072}};
  for (const Case& c : cases) {
    SCOPED_TRACE("short=" + std::to_string(c.moved));
    for (const sim::CommandKind kind : {sim::CommandKind::read, sim::CommandKind::write}) {
      sim::DriveSettings settings;
      sim::FaultRule rule;
      rule.kind = kind;
      rule.action = sim::FaultAction::short_transfer;
      rule.moved = c.moved;
      settings.faults.add_rule(rule);
      SimDrive drive(settings);
      ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
      const sim::Outcome written = test::write_piece(drive, image.header.data(), 368, block0, 1024);
      EXPECT_EQ(written.status, sim::status_good);
      EXPECT_EQ(written.transferred, kind == sim::CommandKind::write ? c.expected : 1072u);
      std::uint8_t back[1072];
      std::memset(back, 0x5A, sizeof(back));
      const sim::Outcome read = run(drive, read_block0, Direction::in, back, sizeof(back));
      EXPECT_EQ(read.status, sim::status_good);
      if (kind == sim::CommandKind::write) {
        // Read back whole: the piece is there only if it arrived whole.
        EXPECT_EQ(std::memcmp(back + 48, block0, 1024) == 0, c.expected == 1072) << "write";
        continue;
      }
      EXPECT_EQ(read.transferred, c.expected);
      std::uint8_t sent[1072];
      std::memcpy(sent, image.header.data(), 48);
      std::memcpy(sent + 48, block0, 1024);
      EXPECT_EQ(std::memcmp(back, sent, c.expected), 0) << "the bytes that moved";
      EXPECT_EQ(std::count(back + c.expected, back + sizeof(back), 0x5A), 1072 - c.expected) << "the rest";
    }
  }
}

// A rule with an offset hits that place of the download area in every attempt, and nothing else.
TEST(SimDrive, AFaultRuleWithAnOffsetHitsOnlyThatPlace) {
  const test::ProgramImage& image = program_image();
  sim::DriveSettings settings;
  sim::FaultRule rule;
  rule.kind = sim::CommandKind::write;
  rule.times = 100;
  rule.offset = test::block_offset(1);
  settings.faults.add_rule(rule);
  SimDrive drive(settings);
  ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
  const std::uint8_t* header = image.header.data();
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (std::uint32_t block = 0; block < 3; ++block) {
      const std::uint32_t offset = test::block_offset(block);
      EXPECT_EQ(test::write_piece(drive, header, offset, image.area.data() + offset, 1024).status,
                block == 1 ? sim::status_check_condition : sim::status_good)
          << "attempt " << attempt << " block " << block;
    }
  }
  // Read-backs of that place are another kind.
  std::uint8_t back[1072];
  std::uint8_t cdb[12] = {0xE8};
  put_be24(cdb + 3, test::block_offset(1));
  put_be24(cdb + 6, sizeof(back));
  EXPECT_EQ(drive.execute(cdb, 12, Direction::in, back, sizeof(back)).status, sim::status_good);
}

TEST(SimDrive, FlippedReadBackDiffersInItsDataOnly) {
  const test::ProgramImage& image = program_image();
  sim::DriveSettings settings;
  settings.faults.add_rule({sim::CommandKind::read, 1, 3, sim::FaultAction::flip, {}, false});
  SimDrive drive(settings);
  ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
  ASSERT_TRUE(test::download(drive, image.header.data(), image.area, image.info_size));
  for (std::uint32_t block = 0; block < 4; ++block) {
    const std::uint32_t offset = test::block_offset(block);
    std::uint8_t cdb[12] = {0xE8};
    put_be24(cdb + 3, offset);
    put_be24(cdb + 6, 1072);
    std::uint8_t back[1072];
    ASSERT_EQ(drive.execute(cdb, 12, Direction::in, back, sizeof(back)).status, sim::status_good);
    EXPECT_EQ(std::memcmp(back, image.header.data(), 48), 0) << block;
    int differing_bits = 0;
    for (std::uint32_t i = 0; i < 1024; ++i) {
      differing_bits += __builtin_popcount(back[48 + i] ^ image.area[offset + i]);
    }
    EXPECT_EQ(differing_bits, block < 3 ? 1 : 0) << block;
  }
}

// The faults a seed gives, as the kinds of command that failed in a fixed sequence.
std::vector<int> random_faults(std::uint64_t seed) {
  sim::DriveSettings settings;
  settings.faults.seed = seed;
  settings.faults.random[static_cast<int>(sim::CommandKind::test_unit_ready)].threshold =
      sim::probability_threshold(0.2);
  settings.faults.random[static_cast<int>(sim::CommandKind::inquiry)].threshold = sim::probability_threshold(0.5);
  SimDrive drive(settings);
  drive.set_tray(false, true);
  std::vector<int> failed;
  std::uint8_t reply[96];
  for (int i = 0; i < 200; ++i) {
    const bool hit = i % 2 == 0 ? run(drive, {0, 0, 0, 0, 0, 0}).status != sim::status_good
                                : run(drive, {0x12, 0, 0, 0, 96, 0}, Direction::in, reply, 96).status != 0;
    if (hit) failed.push_back(i);
  }
  return failed;
}

TEST(SimDrive, RandomFaultsReplayFromTheirSeed) {
  const std::vector<int> first = random_faults(42);
  EXPECT_EQ(first, random_faults(42));
  EXPECT_NE(first, random_faults(43));
  int tur = 0;
  int inq = 0;
  for (const int i : first) (i % 2 == 0 ? tur : inq)++;
  // 100 commands of each kind at 20 % and 50 %.
  EXPECT_GT(tur, 5);
  EXPECT_LT(tur, 40);
  EXPECT_GT(inq, 30);
  EXPECT_LT(inq, 70);
}

TEST(SimDrive, HistoryKeepsTheLatestCommandsInOrder) {
  SimDrive drive;
  for (std::uint8_t i = 0; i < 10; ++i) run(drive, {0x00, 0, 0, 0, 0, i});
  ASSERT_EQ(drive.history_size(), 10u);
  EXPECT_EQ(drive.history(0).cdb[5], 0);
  EXPECT_EQ(drive.history(9).cdb[5], 9);
  EXPECT_EQ(drive.history(9).cdb_length, 6);
  EXPECT_EQ(drive.count(sim::CommandKind::test_unit_ready), 10u);
  for (std::uint32_t i = 0; i < SimDrive::history_capacity; ++i) run(drive, {0x00, 0, 0, 0, 0, 0x77});
  EXPECT_EQ(drive.history_size(), SimDrive::history_capacity);
  EXPECT_EQ(drive.history(0).cdb[5], 0x77);
}

}  // namespace
}  // namespace tz

namespace tz {
namespace {

// Whatever a host sends, the drive writes only inside the buffer it was given and reports sense
// exactly with CHECK CONDITION.
TEST(SimDrive, ArbitraryCommandsStayInsideTheHostBuffer) {
  std::uint64_t state = 0x594B594Bull;
  const auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  };
  constexpr std::uint8_t opcodes[] = {0x00, 0x12, 0x1B, 0x4A, 0xFC, 0xED, 0xEA, 0xE8, 0xF5, 0x28};
  sim::DriveSettings settings;
  settings.rewrite_ms = 0;
  SimDrive drive(settings);
  test::enter_download_mode(drive);  // so that writes reach the area
  std::vector<std::uint8_t> buffer(8192 + 64);
  for (int i = 0; i < 3000; ++i) {
    std::uint8_t cdb[16];
    for (std::uint8_t& b : cdb) b = static_cast<std::uint8_t>(next());
    cdb[0] = opcodes[next() % sizeof(opcodes)];
    if (next() % 2 == 0) cdb[3] = cdb[4] = cdb[6] = 0;  // small offsets and lengths too
    const std::uint32_t cdb_length = next() % 17;
    const std::uint32_t length = next() % 8192;
    const auto direction = static_cast<Direction>(next() % 3);
    std::fill(buffer.begin(), buffer.end(), 0xC3);
    const sim::Outcome out = drive.execute(cdb, cdb_length, direction, buffer.data(), length);
    for (std::size_t at = length; at < buffer.size(); ++at) ASSERT_EQ(buffer[at], 0xC3) << "command " << i;
    ASSERT_LE(out.transferred, length) << "command " << i;
    ASSERT_EQ(out.sense_length != 0,
              out.delivery == sim::Outcome::Delivery::completed && out.status == sim::status_check_condition)
        << "command " << i;
  }
}

// The same for pass-through requests of any shape: a malformed one fails the call and touches
// nothing outside the request buffer.
TEST(PassThroughRequests, MalformedRequestsFailInsideTheirBuffers) {
  std::uint64_t state = 42;
  const auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  };
  SimDrive drive;
  std::vector<std::uint8_t> request(600 + 64);
  std::vector<std::uint8_t> data(4096);
  const auto resolve = [](void* context, std::uint32_t value, std::uint32_t) {
    return value == 1 ? static_cast<std::uint8_t*>(context) : nullptr;
  };
  int accepted = 0;
  for (int i = 0; i < 3000; ++i) {
    std::fill(request.begin(), request.end(), 0xC3);
    const std::uint32_t size = next() % 600;
    for (std::uint32_t b = 0; b < size; ++b) request[b] = static_cast<std::uint8_t>(next());
    if (next() % 2 == 0 && size >= 44) {
      put_le16(request.data(), 44);
      request[6] = static_cast<std::uint8_t>(1 + next() % 16);
      request[8] = static_cast<std::uint8_t>(next() % 3);
      put_le32(request.data() + 12, next() % 700);
      put_le32(request.data() + 20, next() % 2 == 0 ? 1 : 80);
      put_le32(request.data() + 24, 48);
      request[7] = static_cast<std::uint8_t>(next() % 32);
      request[28] = static_cast<std::uint8_t>(next() % 2 == 0 ? 0x12 : 0xE8);
    }
    sim::PassThroughCall call;
    call.direct = next() % 2 == 0;
    call.in = request.data();
    call.in_size = size;
    call.out = request.data();
    call.out_size = size;
    sim::PassThroughResult result;
    accepted += sim::run_pass_through(drive, call, resolve, data.data(), result) ? 1 : 0;
    for (std::size_t at = size; at < request.size(); ++at) ASSERT_EQ(request[at], 0xC3) << "request " << i;
  }
  EXPECT_GT(accepted, 100) << "well-formed requests go through";
}

}  // namespace
}  // namespace tz
