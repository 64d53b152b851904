// Bay files: the simulated drives of a machine, their faults, and the state they keep across runs;
// and the transcript line of one command.
#include "sim/bay.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "image/firmware_levels.h"
#include "image/info_block.h"
#include "sim/atomic_file.h"
#include "sim/kept_bay.h"
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
fault kind=read nth=2 action=short=1071
random seed=77
random kind=read p=0.25 action=flip
random kind=identity p=0.5 action=short=100
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
  ASSERT_EQ(second.settings().faults.rule_count, 3u);
  EXPECT_EQ(second.settings().faults.rules[0].times, 2u);
  EXPECT_EQ(second.settings().faults.rules[1].action, sim::FaultAction::fail);
  EXPECT_EQ(second.settings().faults.rules[2].action, sim::FaultAction::short_transfer);
  EXPECT_EQ(second.settings().faults.rules[2].moved, 1071u);
  EXPECT_EQ(second.settings().faults.random[static_cast<int>(sim::CommandKind::identity)].moved, 100u);
  EXPECT_NE(bay.serialise().find("fault kind=read nth=2 action=short=1071\n"), std::string::npos) << bay.serialise();
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
      {"drive at=0:0 firmware=9.99\n", "line 1: no firmware level 9.99"},
      {"# two\ndrive at=0:0\ndrive letter=D\ndrive at=0:0\n", "line 4: the address is taken by the drive of line 2"},
      {"drive letter=D\ndrive at=1:1 letter=d:\n", "line 2: the address is taken by the drive of line 1"},
      {"drive at=0:0 firmware=1.00 firmware=0.90\n", "line 1: 'firmware' is given twice"},
      {"drive at=0:0 vendor=\"KORVANTA\"firmware=0.90\n", "line 1: a blank must follow the closing quote"},
      {"drive at=0:0 vendor=\"A\\x00B\"\n", "line 1: bad value"},
      {"fault kind=write nth=1\n", "line 1: 'fault' belongs to a drive line above it"},
      {"drive at=0:0\nfault nth=1\n", "line 2: a fault needs kind="},
      {"drive at=0:0\nfault kind=write nth=0\n", "line 2: bad value '0' for nth"},
      {"drive at=0:0\nfault kind=write action=explode\n", "line 2: bad value 'explode' for action"},
      {"drive at=0:0\nfault kind=read action=short=-1\n", "line 2: bad value 'short=-1' for action"},
      {"drive at=0:0\nfault kind=read action=short=\n", "line 2: bad value 'short=' for action"},
      {"drive at=0:0\nfault kind=read action=flip=3\n", "line 2: bad value 'flip=3' for action"},
      {"drive at=0:0\nfault kind=write sense=5/24/00\n", "line 2: bad value '5/24/00' for sense"},
      {"drive at=0:0\nrandom kind=read p=1.5\n", "line 2: bad value '1.5' for p"},
      {"drive at=0:0\nrandom kind=read\n", "line 2: a random fault needs both kind= and p="},
      {"drive at=0:0 vendor=\"KORVANTA\n", "line 1: unterminated quote"},
      {"drive at=0:0 vendor=\"TOO LONG NAME\"\n", "line 1: bad value 'TOO LONG NAME' for vendor"},
      {"drive at=0:0 flags=removable,sticky\n", "line 1: unknown flag 'sticky'"},
      {"drive at=0:0 boot-mode=maybe\n", "line 1: bad value 'maybe' for boot-mode"},
      {"drive at=0:0\nrom length=10 digest=0011223344556677 info=00\n", "line 2: a rom needs"},
      {"drive at=0:0\nrom length=10 digest=0011223344556677 info=0\n", "line 2: bad value for info"},
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

// The bytes a drive's texts may hold, whether they came from a bay file or from an identity block
// that a download wrote: blanks, quotes, backslashes, '#', control and high bytes.
TEST(Bay, WhatItWritesReadsBackToTheSameDrives) {
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.parse("drive at=0:0 letter=D\ndrive at=1:1\n", error)) << error;
  sim::DriveSettings& s = bay.drives()[0].drive->settings();
  const char vendor[] = "A \"\\#\t\x01\xFF";
  const char product[] = "x\\x41 \r\x7F=\"\\\"#a b";
  const char model[] = "TZ594K  #\"\\\x80  xy";
  const char family[] =
      "F \x1B"
      "1";
  static_assert(sizeof(model) == 17 && sizeof(family) == 5, "the model and family codes have their full widths");
  std::memcpy(s.inquiry_vendor, vendor, sizeof(vendor));
  std::memcpy(s.inquiry_product, product, sizeof(product));
  std::memcpy(s.model_code, model, sizeof(model));
  std::memcpy(s.family_code, family, sizeof(family));
  // A ROM whose identity names a revision that a bay line cannot hold as it is.
  IdentityRecord identity;
  ASSERT_EQ(firmware_level_identity("1.00", identity), 0);
  const char revision[] = "1\n\"#";
  std::memcpy(identity.info_revision, revision, sizeof(revision));
  sim::Rom rom;
  rom.factory = false;
  rom.info_size = build_info_block(identity, identity.scramble_key, rom.info, sizeof(rom.info));
  ASSERT_NE(rom.info_size, 0u);
  rom.length = 1234;
  rom.digest = 0x0123456789ABCDEFull;
  bay.drives()[1].drive->set_rom(rom);
  ASSERT_STREQ(bay.drives()[1].drive->identity().revision, revision);

  const std::string text = bay.serialise();
  sim::Bay again;
  ASSERT_TRUE(again.parse(text, error)) << error << "\n" << text;
  ASSERT_EQ(again.drives().size(), 2u);
  const sim::DriveSettings& back = again.drives()[0].drive->settings();
  EXPECT_STREQ(back.inquiry_vendor, vendor);
  EXPECT_STREQ(back.inquiry_product, product);
  EXPECT_STREQ(back.model_code, model);
  EXPECT_STREQ(back.family_code, family);
  const sim::SimDrive& rewritten = *again.drives()[1].drive;
  EXPECT_STREQ(rewritten.identity().revision, revision);
  EXPECT_EQ(rewritten.rom().digest, rom.digest);
  EXPECT_EQ(rewritten.rom().length, rom.length);
  EXPECT_EQ(again.serialise(), text);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE(c == '\n' || (byte >= 0x20 && byte < 0x7F)) << "the file holds only printable lines: " << int(byte);
  }
}

// Files written before values had escapes read as they always did, and what the simulator
// writes for plain values has not changed.
TEST(Bay, ReadsItsEarlierFilesAsBefore) {
  const std::string earlier = full_bay + std::string(
                                             "drive letter=E vendor=\"C:\\DIR\" product=\"a\\b\"\n"
                                             "drive letter=F product=\"ENDS IN \\\"  # a comment\n");
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.parse(earlier, error)) << error;
  EXPECT_STREQ(bay.at_letter('E')->settings().inquiry_vendor, "C:\\DIR") << "a lone backslash stands for itself";
  EXPECT_STREQ(bay.at_letter('E')->settings().inquiry_product, "a\\b");
  EXPECT_STREQ(bay.at_letter('F')->settings().inquiry_product, "ENDS IN \\") << "and one at the end of a value";
  const std::string text = bay.serialise();
  EXPECT_NE(text.find("\ndrive at=1:3 firmware=0.90 vendor=\"KORVANTA\" product=\"BD-CMB TZ594KS  \" tray=closed"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("vendor=\"C:\\\\DIR\""), std::string::npos) << text;
}

// A save killed at any moment leaves the file whole: the old bay or the new one, never a part of
// either and never none.
TEST(Bay, AKilledSaveLeavesTheFileWhole) {
  const std::string path = ::testing::TempDir() + "bay_killed_save.txt";
  sim::Bay old_bay;
  sim::Bay new_bay;
  std::string error;
  ASSERT_TRUE(old_bay.parse("drive at=0:0 firmware=1.00\n", error)) << error;
  std::string many;
  for (int i = 0; i < 8; ++i) {
    many += "drive at=" + std::to_string(i) + ":0 firmware=0.90 vendor=\"V\" product=\"P\"\n";
    for (int k = 0; k < 12; ++k) many += "fault kind=write nth=" + std::to_string(k + 1) + " action=check\n";
  }
  ASSERT_TRUE(new_bay.parse(many, error)) << error;
  const std::string old_text = old_bay.serialise();
  const std::string new_text = new_bay.serialise();
  ASSERT_TRUE(old_bay.save(path.c_str()));
  for (int round = 0; round < 60; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        (round % 2 == 0 ? new_bay : old_bay).save(path.c_str());
      }
    }
    usleep(static_cast<useconds_t>(200 + (round * 137) % 1500));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr) << "round " << round << ": the bay file is gone";
    std::string text;
    char chunk[4096];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) != 0) text.append(chunk, n);
    std::fclose(file);
    ASSERT_TRUE(text == old_text || text == new_text) << "round " << round << ": " << text.size() << " bytes";
    const std::string temporary = path + "." + std::to_string(child) + ".new";
    std::remove(temporary.c_str());
  }
  std::remove(path.c_str());
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

void touch(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fputs("drive at=0:0\n", file);
  std::fclose(file);
}

// The temporary file a killed save left beside the bay goes the next time the bay is read or
// written; one whose writer still runs stays, and so does anything else beside the bay.
TEST(Bay, StaleTemporariesGoWhenTheBayIsNextReadOrWritten) {
  const pid_t gone = fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string path = ::testing::TempDir() + "bay_stale.txt";
  const std::string stale = path + "." + std::to_string(gone) + ".new";
  const std::string kept[] = {
      path + "." + std::to_string(getppid()) + ".new",  // its writer runs
      path + "." + std::to_string(gone) + "x.new",
      path + ".new",
      ::testing::TempDir() + "other_bay.txt." + std::to_string(gone) + ".new",
  };
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.parse(sim::default_bay_text, error)) << error;
  const struct Case {
    const char* what;
    std::function<bool()> touch_bay;
  } cases[] = {
      {"read", [&] { return bay.load(path.c_str(), error); }},
      {"written", [&] { return bay.save(path.c_str()); }},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(sim::write_file_atomically(path.c_str(), sim::default_bay_text, true));
    touch(stale);
    for (const std::string& other : kept) touch(other);
    EXPECT_TRUE(c.touch_bay()) << c.what;
    EXPECT_FALSE(exists(stale)) << c.what;
    for (const std::string& other : kept) EXPECT_TRUE(exists(other)) << c.what << ": " << other;
  }
  for (const std::string& other : kept) std::remove(other.c_str());
  std::remove(path.c_str());
}

std::string file_text(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return text;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) != 0) text.append(chunk, n);
  std::fclose(file);
  return text;
}

// Someone else writes the bay file while its drives run (a user opening a tray at the prompt): the
// fronts' kept bay takes over the trays and discs of the drives at the same addresses, nothing
// else, once the file's time or size has changed; its own writes are no such change.
TEST(KeptBay, TakesOverTraysChangedInItsFile) {
  const std::string path = ::testing::TempDir() + "kept_bay.txt";
  const auto write = [&path](const std::string& text) {
    ASSERT_TRUE(sim::write_file_atomically(path.c_str(), text, true));
  };
  // Two drives, closed, no disc; a rewrite's ROM has no bearing on the trays.
  write("drive at=0:0 letter=D firmware=1.00 tray=closed\ndrive at=0:1 letter=E firmware=1.00 tray=closed\n");
  sim::KeptBay kept(100);
  std::string error;
  ASSERT_TRUE(kept.open(path.c_str(), error)) << error;
  sim::SimDrive& d = *kept.bay().at_aspi(0, 0);
  sim::SimDrive& e = *kept.bay().at_aspi(0, 1);
  EXPECT_FALSE(kept.follow(1000)) << "nobody wrote the file";

  // The user opens D's tray and puts a disc into E; the line of D also names another firmware.
  const std::string by_user =
      "drive at=0:0 letter=D firmware=0.90 tray=open\ndrive at=0:1 letter=E firmware=1.00 tray=closed disc=yes\n";
  write(by_user);
  EXPECT_FALSE(kept.follow(1050)) << "looked at again before its interval";
  EXPECT_FALSE(d.tray_open());
  EXPECT_TRUE(kept.follow(1100));
  EXPECT_TRUE(d.tray_open());
  EXPECT_FALSE(e.tray_open());
  EXPECT_TRUE(e.disc_present());
  EXPECT_STREQ(d.identity().revision, "1.00") << "only trays and discs are taken";
  kept.save_changes();
  EXPECT_EQ(file_text(path), by_user) << "what came from the file is not written back";
  EXPECT_FALSE(kept.follow(1200)) << "taken once";

  // The drive closes its own tray: that is written, and not taken for someone else's change.
  d.set_tray(false, false);
  kept.save_changes();
  EXPECT_NE(file_text(path).find("tray=closed"), std::string::npos);
  EXPECT_FALSE(kept.follow(1300));
  EXPECT_FALSE(d.tray_open());

  // A file that does not read changes nothing; written again, it is taken.
  write("drive at=0:0 tray=sideways\n");
  EXPECT_FALSE(kept.follow(1400));
  EXPECT_FALSE(d.tray_open());
  write("drive at=7:7 letter=D tray=open\n");  // the letter is enough to find the drive
  EXPECT_TRUE(kept.follow(1500));
  EXPECT_TRUE(d.tray_open());

  // A change that keeps the size shows in the time alone.
  const std::string same_size = "drive at=0:0 tray=closed\n";
  write(same_size);
  ASSERT_TRUE(kept.follow(1600));
  write("drive at=0:0 tray=open  \n");
  const timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_TRUE(kept.follow(1700));
  EXPECT_TRUE(d.tray_open());
  std::remove(path.c_str());
}

TEST(Bay, ASaveThatCannotWriteLeavesTheOldFile) {
  const std::string path = ::testing::TempDir() + "bay_unwritable.txt";
  sim::Bay bay;
  std::string error;
  ASSERT_TRUE(bay.parse(sim::default_bay_text, error)) << error;
  ASSERT_TRUE(bay.save(path.c_str()));
  const std::string missing_folder = ::testing::TempDir() + "no_such_folder/bay.txt";
  EXPECT_FALSE(bay.save(missing_folder.c_str()));
  // A file that may not be replaced stays as it is.
  EXPECT_FALSE(sim::write_file_atomically(path.c_str(), "drive at=7:7\n", false));
  sim::Bay kept;
  ASSERT_TRUE(kept.load(path.c_str(), error)) << error;
  EXPECT_NE(kept.at_aspi(0, 0), nullptr);
  std::remove(path.c_str());
  EXPECT_TRUE(sim::write_file_atomically(path.c_str(), "drive at=7:7\n", false)) << "a new file is made";
  ASSERT_TRUE(kept.load(path.c_str(), error)) << error;
  EXPECT_NE(kept.at_aspi(7, 7), nullptr);
  std::remove(path.c_str());
}

TEST(Transcript, OneLinePerCommand) {
  const auto record = [](std::initializer_list<std::uint8_t> cdb, sim::Direction direction, std::uint32_t length,
                         sim::Outcome::Delivery delivery, std::uint8_t status, sim::Sense sense,
                         std::uint32_t moved = 0, std::optional<std::uint64_t> digest = std::nullopt) {
    sim::CommandRecord r;
    r.transferred = moved;
    r.has_digest = digest.has_value();
    r.digest = digest.value_or(0);
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
      {"0:0", record({0x12, 0, 0, 0, 0x2C, 0}, sim::Direction::in, 44, D::completed, 0, {}, 36, 0x0123456789ABCDEF),
       "0:0 cdb=120000002C00 dir=in len=44 status=00 moved=36 digest=0123456789ABCDEF\n"},
      {"D:",
       record({0xEA, 0, 0, 0, 0x01, 0x70, 0x00, 0x04, 0x30, 0, 0, 0}, sim::Direction::out, 1072, D::completed, 2,
              {0x05, 0x21, 0x00}, 0, 0xFEDCBA9876543210),
       "D: cdb=EA0000000170000430000000 dir=out len=1072 status=02 sense=05/21/00 moved=0 digest=FEDCBA9876543210\n"},
      {"7:7", record({0xF5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40}, sim::Direction::none, 0, D::hung, 0, {}),
       "7:7 cdb=F50000000000000000000040 dir=none len=0 status=hang moved=0\n"},
      {"0:1", record({0x00, 0, 0, 0, 0, 0}, sim::Direction::none, 0, D::failed, 0, {}),
       "0:1 cdb=000000000000 dir=none len=0 status=fail moved=0\n"},
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
