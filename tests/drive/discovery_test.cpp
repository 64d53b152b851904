// Finding and recognising drives over both transports, with simulated drives behind drive letters
// and ASPI addresses.
#include "drive/discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "drive/drive_identity.h"
#include "drive/drive_table.h"
#include "drive/preparation.h"
#include "drive/targets.h"
#include "drive/transport.h"
#include "image/firmware_levels.h"
#include "image/image_load.h"
#include "image/matching.h"
#include "sim/bay.h"
#include "sim/sim_drive.h"
#include "tests/support/fixture.h"
#include "ui/screens.h"

namespace tz {
namespace {

using sim::CommandKind;
using sim::DriveSettings;
using sim::SimDrive;

enum class Via { pass_through, aspi };

DriveSettings level(const char* revision, bool tray_open = true) {
  DriveSettings s;
  std::memcpy(s.firmware, revision, 5);
  s.tray_open = tray_open;
  return s;
}

DriveSettings foreign() {
  DriveSettings s = level("1.00");
  std::memcpy(s.inquiry_vendor, "OTHERVND", 9);
  std::memcpy(s.inquiry_product, "DVD-ROM XX100   ", 17);
  return s;
}

// Firmware 1.00 of a sister model that shares the TZ594KS's INQUIRY identification.
DriveSettings sister(const char* model_code, const char* family) {
  DriveSettings s = level("1.00");
  std::memcpy(s.model_code, model_code, 17);
  std::memcpy(s.family_code, family, 5);
  return s;
}

// A started program (texts, tables, image) with simulated drives at positions 0, 1, ... of the
// table: letters D:, E:, ... (records 1, 2, ...) or ASPI addresses given by record index.
struct Bench : test::Fixture {
  Via via;
  std::deque<SimDrive> drives;
  std::vector<std::uint32_t> records;

  explicit Bench(Via v, bool silent = false) : via(v) {
    Context& c = *ctx;
    c.app.texts.decode();
    build_model_tables(c.app.models);
    c.app.switches.silent = silent ? 1 : 0;
    c.app.language = language_english;
    c.drive.transport = v == Via::pass_through ? transport_pass_through : transport_aspi;
    EXPECT_EQ(load_firmware_image(c.image, c.app.texts), 0);
  }
  SimDrive& add(std::uint32_t record, const DriveSettings& settings) {
    drives.emplace_back(settings);
    SimDrive& d = drives.back();
    records.push_back(record);
    if (via == Via::pass_through) {
      host.devices.attach(static_cast<char>('C' + record), d);
    } else {
      host.aspi.attach(static_cast<std::uint8_t>(record / 8), static_cast<std::uint8_t>(record % 8), d);
    }
    return d;
  }
  DriveRecord& record(std::uint32_t index) { return ctx->drive.drive_table[index]; }
  // A fresh table with `index` the current drive, its device open or ASPI loaded, as the scan
  // leaves a probe.
  bool select(std::uint32_t index) {
    init_drive_table(ctx->drive);
    ctx->drive.current_drive = index;
    return via == Via::pass_through ? spt_open(ctx->link) == 0 : aspi_load(ctx->link) == 0;
  }
  int scan() { return scan_drives(ctx->link); }
  std::size_t prompts() const {
    return host.dialogs.count(platform::host::DialogEvent::Kind::opened, screen_tray_closed.english);
  }
};

const Via both[] = {Via::pass_through, Via::aspi};
const char* name(Via v) { return v == Via::pass_through ? "pass-through" : "ASPI"; }

TEST(ScanDrives, RecognisesEachKindOfDriveOverBothTransports) {
  for (const Via via : both) {
    Bench b(via);
    b.add(1, level("1.00"));                       // D: an older supported level
    b.add(2, level("1.01"));                       // E: already carries the image's firmware
    b.add(3, foreign());                           // F: somebody else's drive
    b.add(5, level("0.80"));                       // H: a level that cannot take this image
    b.add(6, sister("TZ594KR-BDC-0001", "T5KA"));  // known, not updated here
    EXPECT_EQ(b.scan(), 0) << name(via);
    const std::uint8_t expected[] = {0, 2, 2, 1, 0, 8, 9};
    for (std::uint32_t i = 0; i < 7; ++i) EXPECT_EQ(b.record(i).status, expected[i]) << name(via) << " record " << i;
    EXPECT_STREQ(b.record(1).vendor_id, "KORVANTA");
    EXPECT_STREQ(b.record(1).product_revision, "1.00");
    EXPECT_STREQ(b.record(1).identity.info_revision, "1.00");
    EXPECT_EQ(b.record(1).identity_source, identity_source_drive);
    EXPECT_STREQ(b.record(3).identity.info_revision, "????");  // the foreign drive was only asked INQUIRY
    EXPECT_EQ(b.drives[2].count(CommandKind::identity), 0u);
    EXPECT_EQ(b.drives[2].count(CommandKind::inquiry), 1u);

    EXPECT_EQ(select_update_targets(b.ctx->link), 7) << name(via);
    EXPECT_EQ(b.record(1).status, drive_status_target);
    EXPECT_EQ(b.record(2).status, drive_status_already_updated);
    EXPECT_EQ(b.host.devices.open_handle_count(), 0u) << name(via);  // every handle closed after the scan
  }
}

// The bay that the Wine scan test uses too: every kind of drive the scan tells apart.
std::string every_case_bay() {
  std::ifstream file(TZ594K_SOURCE_DIR "/tests/drive/every_case_bay.txt");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(ScanDrives, EveryCaseOfTheBayFile) {
  for (const Via via : both) {
    Bench b(via, true);
    sim::Bay bay;
    std::string error;
    ASSERT_TRUE(bay.parse(every_case_bay(), error)) << error;
    if (via == Via::pass_through) {
      b.host.devices.attach_bay(bay);
    } else {
      b.host.aspi.attach_bay(bay);
    }
    EXPECT_EQ(b.scan(), 0) << name(via);
    const std::uint32_t first = via == Via::pass_through ? 1 : 0;  // D: is record 1, 0:0 record 0
    const std::uint32_t at[] = {first,
                                first + 1,
                                first + 2,
                                first + 3,
                                via == Via::pass_through ? 5u : 8u,
                                via == Via::pass_through ? 6u : 9u,
                                via == Via::pass_through ? 7u : 10u};
    const std::uint8_t status[] = {2, 2, 9, 1, 2, 2, 2};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b.record(at[i]).status, status[i]) << name(via) << " drive " << i;
    if (via == Via::pass_through) {
      EXPECT_EQ(b.record(at[6]).drive_type, 2u);  // removable: dropped later by the run flow
    }
    EXPECT_EQ(select_update_targets(b.ctx->link), 6) << name(via);
    const std::uint8_t selected[] = {6, 5, 9, 1, 6, 6, 6};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(b.record(at[i]).status, selected[i]) << name(via) << " drive " << i;
  }
}

TEST(ScanDrives, TransportSpecificFields) {
  {
    Bench b(Via::pass_through);
    DriveSettings removable = level("1.00");
    removable.removable = true;
    b.add(1, level("1.00"));
    b.add(23, removable);  // Z:, the last letter
    EXPECT_EQ(b.scan(), 0);
    EXPECT_EQ(b.record(1).drive_type, 5u);
    EXPECT_EQ(b.record(23).drive_type, 2u);
    EXPECT_EQ(b.record(23).status, drive_status_candidate_a);
    EXPECT_EQ(b.drives[0].count(CommandKind::test_unit_ready), 0u);  // pass-through probes without them
  }
  {
    Bench b(Via::aspi);
    b.add(63, level("1.00"));  // adapter 7, target 7
    EXPECT_EQ(b.scan(), 0);
    EXPECT_EQ(b.record(63).drive_type, 5u);  // from the INQUIRY peripheral type
    EXPECT_EQ(b.record(63).status, drive_status_candidate_a);
    EXPECT_EQ(b.drives[0].count(CommandKind::test_unit_ready), 5u);
  }
}

TEST(ScanDrives, ResultsWhenNoCandidate) {
  for (const Via via : both) {
    {
      Bench b(via);
      EXPECT_EQ(b.scan(), -1) << name(via);  // nothing at all
    }
    {
      Bench b(via);
      b.add(2, foreign());
      EXPECT_EQ(b.scan(), -1) << name(via);  // answered, but in no model table
      EXPECT_EQ(b.record(2).status, drive_status_answered);
    }
    {
      Bench b(via);
      b.add(2, level("0.80"));
      EXPECT_EQ(b.scan(), 1) << name(via);  // recognised, not a candidate
    }
    {
      Bench b(via);
      b.add(2, level("0.80"));
      b.add(4, level("1.00"));
      EXPECT_EQ(b.scan(), 0) << name(via);
    }
  }
  Bench b(Via::aspi);
  b.add(0, level("1.00"));
  b.host.aspi.library_missing = true;
  EXPECT_EQ(b.scan(), -1);
  ASSERT_EQ(b.host.windows.message_boxes.size(), 1u);
  EXPECT_EQ(b.host.windows.message_boxes[0].text, "WNASPI32.DLL Error !!");
}

TEST(ScanDrives, UserExitOnTheTrayPromptEndsOnlyThePassThroughScan) {
  for (const Via via : both) {
    Bench b(via);
    b.add(1, level("1.00", false));  // closed: the user is asked and chooses EXIT
    b.add(4, level("1.00"));         // a later drive with its tray open
    open_processing_window(b.ctx->ui);
    const int r = b.scan();
    EXPECT_EQ(b.prompts(), 1u) << name(via);
    if (via == Via::pass_through) {
      EXPECT_EQ(r, 6);
      EXPECT_EQ(b.drives[1].count(CommandKind::inquiry), 0u);  // never reached
    } else {
      EXPECT_EQ(r, 0);  // the later candidate replaces the exit
      EXPECT_EQ(b.record(4).status, drive_status_candidate_a);
    }
    EXPECT_EQ(b.record(1).status, drive_status_answered);
    // The processing window makes way for the prompt and, after EXIT, stays closed.
    EXPECT_EQ(b.ctx->ui_state.processing_window, platform::null_handle) << name(via);
  }
}

TEST(WaitForOpenTray, PromptsAgainAfterEveryOkUntilExit) {
  for (const bool readable : {true, false}) {
    Bench b(Via::pass_through);
    DriveSettings s = level("1.00", false);
    s.no_event_status = !readable;
    s.no_vendor_status = !readable;  // unreadable counts as closed
    b.add(1, s);
    for (int i = 0; i < 3; ++i) b.host.dialogs.press(screen_tray_closed.english, control_positive);
    open_processing_window(b.ctx->ui);
    init_drive_table(b.ctx->drive);
    b.ctx->drive.current_drive = 1;
    ASSERT_EQ(spt_open(b.ctx->link), 0);
    EXPECT_EQ(wait_for_open_tray(b.ctx->link, 1), 6);
    EXPECT_EQ(b.prompts(), 4u);  // three OKs, then the close box
    // Closed before every prompt, opened again after every OK.
    EXPECT_EQ(b.host.dialogs.count(platform::host::DialogEvent::Kind::opened, screen_processing.english), 4u);
  }
}

TEST(QueryTrayState, FallsBackToTheVendorStatusRead) {
  struct Case {
    const char* name;
    bool no_event, no_vendor, open, disc;
    std::uint8_t tray_check;
    int state;
    int media;  // -1: left as it was
    std::uint32_t event_queries, vendor_queries;
  } cases[] = {
      {"event status, open with disc", false, false, true, true, 0, 0, 1, 1, 0},
      {"event status, closed", false, false, false, false, 0, -1, 0, 1, 0},
      {"vendor status, open", true, false, true, true, 0, 0, 0, 1, 1},
      {"vendor status, closed", true, false, false, true, 0, -1, 0, 1, 1},
      {"neither answers", true, true, false, false, 0, 2, -1, 1, 1},
      {"not to be asked", false, false, false, false, 2, 0, -1, 0, 0},
      {"not to be asked either", true, true, false, false, 3, 0, -1, 0, 0},
  };
  for (const Via via : both) {
    for (const Case& c : cases) {
      SCOPED_TRACE(name(via));
      Bench b(via);
      DriveSettings s = level("1.00", c.open);
      s.disc = c.disc;
      s.no_event_status = c.no_event;
      s.no_vendor_status = c.no_vendor;
      b.add(1, s);
      ASSERT_TRUE(b.select(1));
      b.record(1).tray_check_method = c.tray_check;
      b.record(1).media_present = 7;
      EXPECT_EQ(query_tray_state(b.ctx->link), c.state) << c.name;
      if (c.media == -1) {
        EXPECT_EQ(b.record(1).media_present, 7) << c.name;
      } else {
        EXPECT_EQ(b.record(1).media_present, c.media) << c.name;
      }
      EXPECT_EQ(b.drives[0].count(CommandKind::event_status), c.event_queries) << c.name;
      EXPECT_EQ(b.drives[0].count(CommandKind::vendor_status), c.vendor_queries) << c.name;
    }
  }
}

TEST(SilentScan, EjectsClosedTraysAndStopsWhenOneStaysShut) {
  for (const Via via : both) {
    {
      Bench b(via, true);
      b.add(1, level("1.00", false));
      EXPECT_EQ(b.scan(), 0) << name(via);
      EXPECT_TRUE(b.drives[0].tray_open());
      EXPECT_EQ(b.drives[0].count(CommandKind::start_stop), 1u);
      EXPECT_EQ(b.prompts(), 0u);
      EXPECT_NE(b.ctx->ui_state.processing_window, platform::null_handle);  // shown for the eject
    }
    {
      Bench b(via, true);
      DriveSettings stuck = level("1.00", false);
      stuck.tray_stuck = true;
      b.add(1, stuck);
      b.add(4, level("1.00"));
      EXPECT_EQ(b.scan(), 2) << name(via);
      EXPECT_EQ(b.drives[1].count(CommandKind::inquiry), 0u) << name(via);  // the scan stopped
      // ... on the drive the log will name.
      ASSERT_NE(current_drive_record(b.ctx->drive), nullptr) << name(via);
      EXPECT_STREQ(current_drive_record(b.ctx->drive)->vendor_id, "KORVANTA") << name(via);
      EXPECT_EQ(b.ctx->ui_state.processing_window, platform::null_handle);
    }
    {
      Bench b(via, true);  // a tray that cannot be read is taken as open: no eject
      DriveSettings unreadable = level("1.00", false);
      unreadable.no_event_status = unreadable.no_vendor_status = true;
      b.add(1, unreadable);
      EXPECT_EQ(b.scan(), 0) << name(via);
      EXPECT_EQ(b.drives[0].count(CommandKind::start_stop), 0u);
    }
  }
}

TEST(EjectAndCheck, TheSwitchDecidesBetweenEjectAndStop) {
  for (const std::uint32_t eject : {1u, 0u}) {
    for (const bool stuck : {false, true}) {
      for (const Via via : both) {
        SCOPED_TRACE(name(via));
        Bench b(via);
        DriveSettings s = level("1.00", false);
        s.tray_stuck = stuck;
        b.add(0, s);
        ASSERT_TRUE(b.select(0));
        b.ctx->app.build.eject_switch = eject;
        const int expected = eject == 1 && stuck ? -1 : 0;
        const std::int32_t before = b.host.clock.now_ms();
        EXPECT_EQ(eject_and_check(b.ctx->link, platform::null_handle), expected) << eject << stuck;
        // 100 ms for the tray to move, and 100 ms more after the check.
        EXPECT_GE(b.host.clock.now_ms() - before, eject == 1 ? 200 : 100);
        EXPECT_EQ(b.drives[0].tray_open(), eject == 1 && !stuck);
        EXPECT_EQ(b.drives[0].count(CommandKind::event_status), eject == 1 ? 1u : 0u);
      }
    }
  }
}

TEST(ReadDriveIdentity, RetriesWhileTheDriveIsBusyAndGivesUpAfterItsLimits) {
  struct Case {
    const char* name;
    std::uint32_t busy;            // 2C/00 answers first
    std::uint32_t other_failures;  // CHECK CONDITION of another kind
    int result;
    std::uint32_t reads;
  } cases[] = {
      {"ready at once", 0, 0, 0, 1},         {"busy three times", 3, 0, 0, 4},
      {"busy nineteen times", 19, 0, 0, 20}, {"busy twenty times: out of attempts", 20, 0, -1, 20},
      {"four other failures", 0, 4, 0, 5},   {"five other failures", 0, 5, -1, 5},
  };
  for (const Case& c : cases) {
    for (const Via via : both) {
      SCOPED_TRACE(name(via));
      Bench b(via);
      DriveSettings s = level("1.00");
      s.identity_busy = c.busy;
      if (c.other_failures != 0) {
        sim::FaultRule rule;
        rule.kind = CommandKind::identity;
        rule.times = c.other_failures;
        rule.action = sim::FaultAction::check;
        s.faults.add_rule(rule);
      }
      b.add(0, s);
      ASSERT_TRUE(b.select(0));
      const std::int32_t before = b.host.clock.now_ms();
      EXPECT_EQ(read_drive_identity(b.ctx->link), c.result) << c.name;
      EXPECT_EQ(b.drives[0].count(CommandKind::identity), c.reads) << c.name;
      // 100 ms after every busy answer, on the clock.
      EXPECT_GE(b.host.clock.now_ms() - before, 100 * static_cast<std::int32_t>(std::min(c.busy, 20u))) << c.name;
      if (c.result != 0) {
        EXPECT_STREQ(b.record(0).identity.info_revision, "????");
      }
    }
  }
}

TEST(ReadDriveIdentity, LimitRulesOfEachKindOfFailure) {
  struct Case {
    const char* name;
    const char* firmware;
    const char* model;  // nullptr: the TZ594KS
    std::uint32_t busy;
    bool check_after_busy;
    sim::Sense sense;
    std::uint32_t reads;
    std::uint32_t pauses;  // 100 ms waits
  } cases[] = {
      // Another failure after six busy answers brings the limit back to five: the seventh read,
      // which failed, is the last.
      {"busy six times, then another failure", "1.00", nullptr, 6, true, {0x03, 0x11, 0x00}, 7, 6},
      // Replies that do not check out (an engineering level's missing info_sum on a model that has
      // no exception for it) keep the limit the busy answers raised.
      {"busy three times, then unreadable replies", "0.50", "TZ594KR-BDC-0001", 3, false, {}, 20, 3},
      // A sense key with flag bits, or another qualifier, is not the drive's busy answer.
      {"2C/00 with a flagged sense key", "1.00", nullptr, 0, true, {0x25, 0x2C, 0x00}, 5, 0},
      {"2C/01", "1.00", nullptr, 0, true, {0x05, 0x2C, 0x01}, 5, 0},
  };
  for (const Case& c : cases) {
    for (const Via via : both) {
      SCOPED_TRACE(name(via));
      Bench b(via);
      DriveSettings s = level(c.firmware);
      if (c.model != nullptr) std::memcpy(s.model_code, c.model, 17);
      s.identity_busy = c.busy;
      if (c.check_after_busy) {
        sim::FaultRule rule;
        rule.kind = CommandKind::identity;
        rule.nth = c.busy + 1;
        rule.times = 100;
        rule.action = sim::FaultAction::check;
        rule.sense = c.sense;
        rule.sense_given = true;
        s.faults.add_rule(rule);
      }
      b.add(0, s);
      ASSERT_TRUE(b.select(0));
      const std::int32_t before = b.host.clock.now_ms();
      EXPECT_EQ(read_drive_identity(b.ctx->link), -1) << c.name;
      EXPECT_EQ(b.drives[0].count(CommandKind::identity), c.reads) << c.name;
      const std::int32_t waited = b.host.clock.now_ms() - before;
      EXPECT_GE(waited, 100 * static_cast<std::int32_t>(c.pauses)) << c.name;
      EXPECT_LT(waited, 100 * static_cast<std::int32_t>(c.pauses + 1)) << c.name;
    }
  }
}

TEST(ReadDriveIdentity, SixParametersFromOneReadingOfTheTime) {
  for (const Via via : both) {
    SCOPED_TRACE(name(via));
    Bench b(via);
    DriveSettings s = level("1.00");
    s.identity_busy = 2;
    b.add(0, s);
    b.host.system.time.minute = 0;
    b.host.system.time.second = 59;
    b.host.system.seconds_per_reading = 7;  // a second reading would give other parameters
    ASSERT_TRUE(b.select(0));
    ASSERT_EQ(read_drive_identity(b.ctx->link), 0);
    const SimDrive& d = b.drives[0];
    ASSERT_EQ(d.history_size(), 3u);
    for (std::uint32_t i = 0; i < 3; ++i) {
      const std::uint8_t* cdb = d.history(i).cdb;
      const std::uint8_t expected[12] = {0xED, 0x00, 0xC4, 0xFF, 0x1E, 0xA4, 0x10, 0x3B, 0x65, 0x10, 0x00, 0x3C};
      EXPECT_EQ(std::memcmp(cdb, expected, 12), 0) << "read " << i;
    }
  }
}

TEST(ReadInquiryIdentity, OnlyEntriesOfModelsThisProgramUpdates) {
  struct Case {
    const char* name;
    const char* product;
    int result;
    std::uint8_t tray_check;
    std::uint8_t method1;
  } cases[] = {
      // A discontinued model: its only entries are of another kind.
      {"kind 2 in both tables", "CD-RW TZ107H    ", -1, 0, 0},
      // Kind 2 in the primary table, kind 1 in the secondary: the secondary entry is taken.
      {"decided by the secondary table", "BD-CMB TZ594KT  ", 0, 0, 3},
      {"slot loader", "BD-CMB TZ594KL  ", 0, 2, 3},
  };
  for (const Case& c : cases) {
    for (const Via via : both) {
      SCOPED_TRACE(name(via));
      Bench b(via);
      DriveSettings s = level("1.00");
      std::memcpy(s.inquiry_product, c.product, 17);
      b.add(0, s);
      ASSERT_TRUE(b.select(0));
      EXPECT_EQ(read_inquiry_identity(b.ctx->link), c.result) << c.name;
      EXPECT_EQ(b.record(0).status, drive_status_answered) << c.name;
      EXPECT_EQ(b.record(0).tray_check_method, c.tray_check) << c.name;
      EXPECT_EQ(b.record(0).method_flags[1], c.method1) << c.name;
    }
  }
}

TEST(ScanDrives, ASlotLoaderIsNeverAskedForItsTray) {
  for (const bool silent : {false, true}) {
    Bench b(Via::pass_through, silent);
    DriveSettings s = level("1.00", false);  // closed, but the model has no tray to ask about
    std::memcpy(s.inquiry_product, "BD-CMB TZ594KL  ", 17);
    b.add(1, s);
    EXPECT_EQ(b.scan(), 0);
    EXPECT_EQ(b.record(1).status, drive_status_candidate_a);
    EXPECT_EQ(b.prompts(), 0u);
    EXPECT_EQ(b.drives[0].count(CommandKind::start_stop), 0u);
    EXPECT_EQ(b.drives[0].count(CommandKind::event_status), 0u);
    EXPECT_EQ(b.drives[0].count(CommandKind::vendor_status), 0u);
  }
}

TEST(ScanDrives, ACandidateHasItsTrayAskedAgainAfterTheDecision) {
  for (const Via via : both) {
    Bench b(via);
    DriveSettings s = level("1.00");
    s.disc = true;
    b.add(1, s);
    EXPECT_EQ(b.scan(), 0);
    EXPECT_EQ(b.drives[0].count(CommandKind::event_status), 2u) << name(via);  // the probe's and the refresh
    EXPECT_EQ(b.record(1).media_present, 1) << name(via);
  }
}

// Detection for endpoint-management tools: every tray closed, and INQUIRY is all that reaches a
// drive, whatever the levels; removable drives are not even asked.
TEST(DetectDrives, AnswersFromInquiryAloneAndLeavesEveryTrayAsItWas) {
  const DriveSettings older = level("1.00", false);
  const DriveSettings current = level("1.01", false);
  DriveSettings other = foreign();
  other.tray_open = false;
  DriveSettings removable = older;
  removable.removable = true;
  const struct Case {
    const char* what;
    std::vector<DriveSettings> drives;  // at records 1, 2, ...
    Detection verdict;
    bool pass_through_only = false;  // the system reports drive types behind letters only
  } cases[] = {
      {"no drive", {}, Detection::no_supported_drive},
      {"somebody else's drive", {other}, Detection::no_supported_drive},
      {"an older level", {older}, Detection::update_needed},
      {"the image's level", {current}, Detection::all_carry_image},
      {"one of two at the image's level", {current, older}, Detection::update_needed},
      {"both at the image's level, beside somebody else's", {current, other, current}, Detection::all_carry_image},
      {"the other level the image takes", {level("0.90", false)}, Detection::update_needed},
      {"a level that cannot take the image", {level("0.80", false)}, Detection::no_match},
      {"an engineering level", {level("0.50", false)}, Detection::no_match},
      {"one the image takes beside one it cannot", {level("0.80", false), older}, Detection::update_needed},
      {"the image's level beside one it cannot take", {level("0.80", false), current}, Detection::all_carry_image},
      {"a removable drive is passed over", {removable, current}, Detection::all_carry_image, true},
      {"only a removable drive", {removable}, Detection::no_supported_drive, true},
  };
  for (const Via via : both) {
    for (const Case& c : cases) {
      if (c.pass_through_only && via != Via::pass_through) continue;
      SCOPED_TRACE(std::string(name(via)) + ": " + c.what);
      Bench b(via);
      for (std::size_t i = 0; i < c.drives.size(); ++i) b.add(static_cast<std::uint32_t>(i + 1), c.drives[i]);
      std::vector<std::uint32_t> versions;
      for (const SimDrive& d : b.drives) versions.push_back(d.state_version());
      EXPECT_EQ(detect_drives(b.ctx->link), c.verdict);
      for (std::size_t i = 0; i < b.drives.size(); ++i) {
        const SimDrive& d = b.drives[i];
        const std::uint32_t asked = d.settings().removable ? 0 : 1;
        EXPECT_EQ(d.count(CommandKind::inquiry), asked) << "drive " << i;
        EXPECT_EQ(d.count(CommandKind::any), asked) << "drive " << i;
        EXPECT_FALSE(d.tray_open()) << "drive " << i;
        EXPECT_EQ(d.state_version(), versions[i]) << "drive " << i;
      }
      EXPECT_TRUE(b.host.dialogs.opened_templates().empty());
      EXPECT_EQ(b.host.devices.open_handle_count(), 0u);
    }
  }
}

TEST(VolumeLocks, FailPartWayAndAreReleased) {
  Bench b(Via::pass_through);
  DriveSettings refusing = level("1.00");
  refusing.lock_refused = true;
  b.add(1, level("1.00"));
  b.add(2, refusing);
  b.add(3, level("1.00"));
  init_drive_table(b.ctx->drive);
  for (const std::uint32_t i : {1u, 2u, 3u}) b.record(i).status = drive_status_target;
  EXPECT_EQ(open_target_handles(b.ctx->link), 0);
  EXPECT_EQ(b.host.devices.open_handle_count(), 3u);
  EXPECT_EQ(lock_target_volumes(b.ctx->link, platform::null_handle), -1);
  EXPECT_EQ(b.record(1).volume_locked, 1);
  EXPECT_EQ(b.record(2).volume_locked, 0);
  EXPECT_EQ(b.record(3).volume_locked, 0);  // never reached
  EXPECT_TRUE(b.host.devices.volume_locked('D'));
  unlock_locked_volumes(b.ctx->link);
  close_target_handles(b.ctx->link);
  EXPECT_FALSE(b.host.devices.volume_locked('D'));
  EXPECT_EQ(b.record(1).volume_locked, 0);
  EXPECT_EQ(b.host.devices.open_handle_count(), 0u);
}

TEST(VolumeLocks, NothingToLockUnderAspiAndAnUnopenedTargetFails) {
  {
    Bench b(Via::aspi);
    init_drive_table(b.ctx->drive);
    b.record(0).status = drive_status_target;
    EXPECT_EQ(lock_target_volumes(b.ctx->link, platform::null_handle), 0);
    EXPECT_EQ(b.record(0).volume_locked, 0);
  }
  {
    Bench b(Via::pass_through);
    b.add(1, level("1.00"));
    b.host.devices.refuse_open('D');
    init_drive_table(b.ctx->drive);
    b.record(1).status = drive_status_target;
    EXPECT_EQ(open_target_handles(b.ctx->link), -1);
    EXPECT_EQ(lock_target_volumes(b.ctx->link, platform::null_handle), -1);  // its invalid handle fails
  }
}

}  // namespace
}  // namespace tz
