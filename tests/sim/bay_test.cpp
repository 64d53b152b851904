// Bay files: the simulated drives of a machine, their faults, and the state they keep across runs;
// and the transcript line of one command.
#include "sim/bay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sim/tool/carried_image.h"
#include "sim/transcript.h"
#include "tests/sim/sim_support.h"

namespace tz {
namespace {

constexpr const char* full_bay = R"(# two drives
drive at=0:0 letter=D firmware=1.00 tray=open
drive at=1:3 firmware=0.90 type=5 vendor="KORVANTA" product="BD-CMB TZ594KS  " tray=closed disc=yes flags=removable,lock-refused,no-event-status boot-mode=no identity-busy=3 rewrite-ms=10 verify-ms=20 tray-ms=0
fault kind=write nth=5 times=2 action=check sense=04/44/00
fault kind=rewrite nth=1 action=fail   # the first rewrite never reaches the drive
random seed=77
random kind=read p=0.25 action=flip
)";

TEST(Bay, ParsesDrivesFaultsAndSettings) {
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.parse(full_bay, error)) << error;
  ASSERT_EQ(bay.drives().size(), 2u);
  EXPECT_EQ(bay.drives()[0].address(), "0:0");
  EXPECT_EQ(bay.at_letter('D'), bay.at_aspi(0, 0));
  EXPECT_EQ(bay.at_letter('E'), nullptr);
  const sim::SimDrive& second = *bay.at_aspi(1, 3);
  EXPECT_STREQ(second.identity().revision, "0.90");
  EXPECT_TRUE(second.settings().removable);
  EXPECT_TRUE(second.settings().lock_refused);
  EXPECT_TRUE(second.settings().no_event_status);
  EXPECT_FALSE(second.settings().no_vendor_status);
  EXPECT_FALSE(second.settings().boot_mode);
  EXPECT_TRUE(bay.at_aspi(0, 0)->settings().boot_mode) << "the family's drives have it";
  EXPECT_EQ(second.settings().identity_busy, 3u);
  EXPECT_EQ(second.settings().rewrite_ms, 10u);
  EXPECT_TRUE(second.disc_present());
  EXPECT_FALSE(second.tray_open());
  ASSERT_EQ(second.settings().faults.rule_count, 2u);
  EXPECT_EQ(second.settings().faults.rules[0].times, 2u);
  EXPECT_EQ(second.settings().faults.rules[1].action, sim::FaultAction::fail);
  EXPECT_EQ(second.settings().faults.seed, 77u);
  EXPECT_EQ(second.settings().faults.random[static_cast<int>(sim::CommandKind::read)].threshold, 0x40000000u);

  // Written out and read again, the bay is the same bay.
  sim::Bay again;
  ASSERT_TRUE(again.parse(bay.serialise(), error)) << error << "\n" << bay.serialise();
  EXPECT_EQ(again.serialise(), bay.serialise());
}

TEST(Bay, RefusesWhatItCannotMeanWithTheLine) {
  const struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"drive firmware=1.00\n", "line 1: a drive needs an address"},
      {"drive at=8:0\n", "line 1: bad value '8:0' for at"},
      {"drive letter=B\n", "line 1: bad value 'B' for letter"},
      {"drive at=0:0 firmware=9.99\n", "drive 1: no firmware level 9.99"},
      {"drive at=0:0\ndrive at=0:0\n", "drive 2: its address is taken by drive 1"},
      {"fault kind=write nth=1\n", "line 1: 'fault' belongs to a drive line above it"},
      {"drive at=0:0\nfault nth=1\n", "line 2: a fault needs kind="},
      {"drive at=0:0\nfault kind=write nth=0\n", "line 2: bad value '0' for nth"},
      {"drive at=0:0\nfault kind=write action=explode\n", "line 2: bad value 'explode' for action"},
      {"drive at=0:0\nfault kind=write sense=5/24/00\n", "line 2: bad value '5/24/00' for sense"},
      {"drive at=0:0\nrandom kind=read p=1.5\n", "line 2: bad value '1.5' for p"},
      {"drive at=0:0\nrandom kind=read\n", "line 2: a random fault needs both kind= and p="},
      {"drive at=0:0 vendor=\"KORVANTA\n", "line 1: unterminated quote"},
      {"drive at=0:0 vendor=\"TOO LONG NAME\"\n", "line 1: bad value 'TOO LONG NAME' for vendor"},
      {"drive at=0:0 flags=removable,sticky\n", "line 1: unknown flag 'sticky'"},
      {"drive at=0:0 boot-mode=maybe\n", "line 1: bad value 'maybe' for boot-mode"},
      {"drive at=0:0\nrom length=10 digest=0011223344556677 info=00\n", "line 2: a rom needs"},
      {"shelf at=0:0\n", "line 1: unknown keyword 'shelf'"},
  };
  for (const Case& c : cases) {
    sim::Bay bay;
    std::string error;
    EXPECT_FALSE(bay.parse(c.text, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
    EXPECT_TRUE(bay.drives().empty());
  }
}

TEST(Bay, KeepsTheRomADriveWasRewrittenWithAcrossRuns) {
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.parse(sim::default_bay_text, error)) << error;
  sim::SimDrive& drive = *bay.at_aspi(0, 0);
  EXPECT_FALSE(sim::rom_is_carried_image(drive.rom()));
  const test::ProgramImage& image = test::program_image();
  const std::uint64_t version = bay.state_version();
  ASSERT_EQ(test::enter_download_mode(drive).status, sim::status_good);
  ASSERT_TRUE(test::download(drive, image.header.data(), image.area, image.info_size));
  ASSERT_EQ(test::rewrite(drive).status, sim::status_good);
  EXPECT_NE(bay.state_version(), version);

  const std::string path = ::testing::TempDir() + "bay_keeps_rom.txt";
  ASSERT_TRUE(bay.save(path.c_str()));
  sim::Bay next_run;
  ASSERT_TRUE(next_run.load(path.c_str(), error)) << error;
  std::remove(path.c_str());
  const sim::SimDrive& kept = *next_run.at_aspi(0, 0);
  EXPECT_STREQ(kept.identity().revision, "1.01");
  EXPECT_EQ(kept.rom().digest, drive.rom().digest);
  EXPECT_EQ(kept.rom().length, drive.rom().length);
  EXPECT_EQ(kept.rom().info_size, drive.rom().info_size);
  EXPECT_TRUE(kept.tray_open());
  EXPECT_TRUE(sim::rom_is_carried_image(kept.rom()));
}

TEST(Transcript, OneLinePerCommand) {
  const auto record = [](std::initializer_list<std::uint8_t> cdb, sim::Direction direction, std::uint32_t length,
                         sim::Outcome::Delivery delivery, std::uint8_t status, sim::Sense sense) {
    sim::CommandRecord r;
    std::uint8_t i = 0;
    for (const std::uint8_t b : cdb) r.cdb[i++] = b;
    r.cdb_length = i;
    r.direction = direction;
    r.length = length;
    r.delivery = delivery;
    r.status = status;
    r.sense = sense;
    return r;
  };
  using D = sim::Outcome::Delivery;
  const struct Case {
    const char* address;
    sim::CommandRecord record;
    const char* line;
  } cases[] = {
      {"0:0", record({0x12, 0, 0, 0, 0x2C, 0}, sim::Direction::in, 44, D::completed, 0, {}),
       "0:0 cdb=120000002C00 dir=in len=44 status=00\n"},
      {"D:",
       record({0xEA, 0, 0, 0, 0x01, 0x70, 0x00, 0x04, 0x30, 0, 0, 0}, sim::Direction::out, 1072, D::completed, 2,
              {0x05, 0x21, 0x00}),
       "D: cdb=EA0000000170000430000000 dir=out len=1072 status=02 sense=05/21/00\n"},
      {"7:7", record({0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40}, sim::Direction::none, 0, D::hung, 0, {}),
       "7:7 cdb=F50000000000000000000040 dir=none len=0 status=hang\n"},
      {"0:1", record({0x00, 0, 0, 0, 0, 0}, sim::Direction::none, 0, D::failed, 0, {}),
       "0:1 cdb=000000000000 dir=none len=0 status=fail\n"},
  };
  for (const Case& c : cases) {
    char line[sim::transcript_line_capacity];
    sim::format_transcript_line(c.address, c.record, line, sizeof(line));
    EXPECT_EQ(std::string(line), c.line);
  }
  char tiny[12];
  EXPECT_LT(sim::format_transcript_line("0:0", cases[1].record, tiny, sizeof(tiny)), sizeof(tiny));
  EXPECT_EQ(std::string(tiny).size(), sizeof(tiny) - 1);
}

}  // namespace
}  // namespace tz
