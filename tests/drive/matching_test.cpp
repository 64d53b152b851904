// Which drives take the image: classification of identities, the supported-pair check and the
// choice of targets.
#include "image/matching.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drive/drive_identity.h"
#include "drive/drive_table.h"
#include "drive/targets.h"
#include "image/firmware_levels.h"
#include "image/image_load.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

template <std::size_t N>
void set(char (&field)[N], const char* text) {
  ASSERT_EQ(std::strlen(text), N - 1) << text;
  std::memcpy(field, text, N);
}

// A started program with its image loaded, ready to judge drives.
struct Loaded : test::Fixture {
  Loaded() {
    ctx->app.texts.decode();
    build_model_tables(ctx->app.models);
    init_drive_table(ctx->drive);
    EXPECT_EQ(load_firmware_image(ctx->image, ctx->app.texts), 0);
  }
  DriveRecord& drive(std::uint32_t index) { return ctx->drive.drive_table[index]; }
  // Puts a drive of the given firmware level at `index` as classification left it.
  DriveRecord& candidate(std::uint32_t index, const char* revision, std::uint8_t status = drive_status_candidate_a) {
    DriveRecord& d = drive(index);
    EXPECT_EQ(firmware_level_identity(revision, d.identity), 0);
    d.status = status;
    d.drive_kind = 0x200;
    d.identity_source = identity_source_drive;
    return d;
  }
};

struct IdentityCase {
  const char* name;
  const char* model_code;
  const char* product;
  const char* family;
  const char* level;
  std::uint8_t status;
  int result;
};

TEST(ClassifyDriveIdentity, EveryFamilyRule) {
  const IdentityCase cases[] = {
      {"our model, supported level", "TZ594KS-BDC-0001", "BD-CMB TZ594KS  ", "T5KA", "0100", 2, 0},
      {"our model at the classify level", "TZ594KS-BDC-0001", "BD-CMB TZ594KS  ", "T5KA", "0080", 8, 1},
      {"our model below it", "TZ594KS-BDC-0001", "BD-CMB TZ594KS  ", "T5KA", "0050", 8, 1},
      {"regional sister, not updated", "TZ594KR-BDC-0001", "BD-CMB TZ594KS  ", "T5KA", "0100", 9, 1},
      {"family A, model in no table", "TZ594KZ-BDC-0001", "BD-CMB TZ594KS  ", "T5KA", "0100", 1, -1},
      {"family B in the primary table", "TZ594KU-BDC-0001", "BD-CMB TZ594KU  ", "T5KC", "0100", 3, 0},
      {"family B decided by the secondary", "TZ594KT-BDC-0001", "BD-CMB TZ594KT  ", "T5KB", "0100", 3, 0},
      {"family B special model, low level", "TZ594KT-BDC-0001", "BD-CMB TZ594KT  ", "T5KB", "0080", 8, 1},
      {"family B, not updated in either table", "TZ594KV-BDC-0001", "BD-CMB TZ594KT  ", "T5KC", "0100", 9, 1},
      {"family C", "TZ590KC-DVD-0001", "DVD-RW TZ590KC  ", "T5KD", "0100", 4, 0},
      {"family C, not updated", "TZ590KD-DVD-0001", "DVD-RW TZ590KC  ", "T5KD", "0100", 9, 1},
      {"unknown family", "TZ594KS-BDC-0001", "BD-CMB TZ594KS  ", "T5KX", "0100", 1, -1},
  };
  for (const IdentityCase& c : cases) {
    Loaded f;
    DriveRecord& d = f.candidate(0, "1.00", drive_status_answered);
    d.drive_kind = 0;
    set(d.identity.model_code, c.model_code);
    set(d.identity.info_product, c.product);
    set(d.identity.t6, c.family);
    set(d.identity.t21, c.level);
    f.ctx->drive.current_drive = 0;
    EXPECT_EQ(classify_drive_identity(f.ctx->link), c.result) << c.name;
    EXPECT_EQ(d.status, c.status) << c.name;
    if (c.status != 1) {
      EXPECT_NE(d.drive_kind, 0u) << c.name;  // the entry's drive kind and method flags were taken
      EXPECT_NE(d.method_flags[0], 0) << c.name;
    }
  }
}

TEST(ClassifyDriveIdentity, TheSecondaryTableDecidesOnlyWhatThePrimaryLeftOpen) {
  Loaded f;
  // A secondary entry that would refuse the model: never consulted once the primary made it a candidate.
  SupportedModelEntry& e = f.ctx->app.models.secondary[secondary_model_count - 1];
  e.entry_kind = 2;
  std::memcpy(e.entry_model_code, "TZ594KU-BDC-0001", 17);
  std::memcpy(e.entry_vendor, "KORVANTA", 9);
  std::memcpy(e.entry_product, "BD-CMB TZ594KU  ", 17);
  DriveRecord& d = f.candidate(0, "1.00", drive_status_answered);
  set(d.identity.model_code, "TZ594KU-BDC-0001");
  set(d.identity.info_product, "BD-CMB TZ594KU  ");
  set(d.identity.t6, "T5KC");
  f.ctx->drive.current_drive = 0;
  EXPECT_EQ(classify_drive_identity(f.ctx->link), 0);
  EXPECT_EQ(d.status, drive_status_candidate_b);
}

TEST(SupportedPair, ImagePairSupportedPairsAndOthers) {
  Loaded f;
  struct Case {
    const char* vendor;
    const char* product;
    int result;
  } cases[] = {
      {"KORVANTA", "BD-CMB TZ594KS  ", 0},                                        // the image's own
      {"ZEMO    ", "BD-CMB TZ594KS  ", 0},                                        // OEM label
      {"KORVANTA", "DVD-RW TZ590KC  ", 0},  {"ZEMO    ", "BD-CMB TZ594K   ", 0},  // the last entry
      {"KORVANTA", "BD-CMB TZ594KS ", -1},  {"korvanta", "BD-CMB TZ594KS  ", -1},
      {"OTHERVND", "DVD-ROM XX100   ", -1}, {"????????", "????????????????", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(is_supported_pair(f.ctx->image.image_identity, f.ctx->app.supported, c.vendor, c.product), c.result)
        << c.product;
}

TEST(SupportedFirmware, EachEntryIsDecodedOnceOnFirstUse) {
  Loaded f;
  EXPECT_EQ(f.ctx->app.supported.decoded_count(), 0u);
  EXPECT_EQ(is_supported_pair(f.ctx->image.image_identity, f.ctx->app.supported, "KORVANTA", "BD-CMB TZ594KS  "),
            0);  // the image's pair: none needed
  EXPECT_EQ(f.ctx->app.supported.decoded_count(), 0u);
  EXPECT_EQ(is_supported_pair(f.ctx->image.image_identity, f.ctx->app.supported, "OTHERVND", "DVD-ROM XX100   "), -1);
  EXPECT_EQ(f.ctx->app.supported.decoded_count(), supported_firmware_count);
  EXPECT_EQ(is_supported_pair(f.ctx->image.image_identity, f.ctx->app.supported, "ZEMO    ", "BD-CMB TZ594K   "),
            0);  // still plain the second time
  f.candidate(3, "0.90");
  EXPECT_EQ(match_drive_identity(f.ctx->link, 3), 0);  // decodes the identities up to the 0.90 one it meets
  const std::size_t after_first = f.ctx->app.supported.decoded_count();
  EXPECT_GT(after_first, supported_firmware_count);
  EXPECT_EQ(match_drive_identity(f.ctx->link, 3), 0);
  EXPECT_EQ(f.ctx->app.supported.decoded_count(), after_first);
  EXPECT_STREQ(f.ctx->app.supported.identity(11).info_revision, "0.90");
}

TEST(MatchDriveIdentity, TheImageIsComparedBeforeTheSupportedLevels) {
  Loaded f;
  // An image that reports exactly what supported level 1.00 (board HW03, deck MD12) reports.
  IdentityRecord& image = f.ctx->image.image_identity;
  set(image.info_revision, "1.00");
  set(image.t5, "20081027");
  set(image.t7, "B210");
  f.candidate(0, "1.00");
  EXPECT_EQ(match_drive_identity(f.ctx->link, 0), 1);
  EXPECT_EQ(select_update_targets(f.ctx->link), 5);
  EXPECT_EQ(f.drive(0).status, drive_status_already_updated);
}

TEST(MatchDriveIdentity, ImageFirstThenSupportedLevels) {
  Loaded f;
  f.candidate(0, "1.01");
  f.candidate(1, "1.00");
  f.candidate(2, "0.90");
  f.candidate(3, "0.80");
  EXPECT_EQ(match_drive_identity(f.ctx->link, 0), 1);
  EXPECT_EQ(match_drive_identity(f.ctx->link, 1), 0);
  EXPECT_EQ(match_drive_identity(f.ctx->link, 2), 0);
  EXPECT_EQ(match_drive_identity(f.ctx->link, 3), -1);
  set(f.drive(1).identity.t9, "MD99");  // a mechanism deck no supported level shipped with
  EXPECT_EQ(match_drive_identity(f.ctx->link, 1), -1);
  EXPECT_EQ(match_drive_identity(f.ctx->link, drive_table_size), -1);
}

// Each of the ten texts the comparison takes, changed on its own, makes a drive that is no longer
// the image's nor a supported level's: a drive differing in any one of them is neither reported as
// updated nor rewritten.
TEST(MatchDriveIdentity, EveryComparedTextCounts) {
  const struct Text {
    const char* name;
    char* (*field)(IdentityRecord&);
  } texts[] = {
      {"T1", [](IdentityRecord& r) -> char* { return r.model_code; }},
      {"T8", [](IdentityRecord& r) -> char* { return r.t8; }},
      {"T9", [](IdentityRecord& r) -> char* { return r.t9; }},
      {"T6", [](IdentityRecord& r) -> char* { return r.t6; }},
      {"T2", [](IdentityRecord& r) -> char* { return r.info_vendor; }},
      {"T3", [](IdentityRecord& r) -> char* { return r.info_product; }},
      {"T4", [](IdentityRecord& r) -> char* { return r.info_revision; }},
      {"T5", [](IdentityRecord& r) -> char* { return r.t5; }},
      {"T7", [](IdentityRecord& r) -> char* { return r.t7; }},
      {"T17", [](IdentityRecord& r) -> char* { return r.t17; }},
  };
  // The image's own level, and a supported one.
  for (const auto& [level, unchanged] : {std::pair{"1.01", 1}, std::pair{"1.00", 0}}) {
    for (const Text& t : texts) {
      Loaded f;
      DriveRecord& d = f.candidate(0, level);
      ASSERT_EQ(match_drive_identity(f.ctx->link, 0), unchanged) << level;
      char* text = t.field(d.identity);
      ASSERT_GT(std::strlen(text), 0u) << t.name;
      text[std::strlen(text) - 1] = 0x7F;  // one character no table holds, the width kept
      EXPECT_EQ(identities_equal(d.identity, f.ctx->image.image_identity), -1) << level << " " << t.name;
      EXPECT_EQ(match_drive_identity(f.ctx->link, 0), -1) << level << " " << t.name;
      EXPECT_EQ(select_update_targets(f.ctx->link), 0) << level << " " << t.name;
    }
  }
}

struct SelectCase {
  const char* name;
  std::vector<const char*> drives;  // firmware levels at records 0, 1, ...
  int result;
  std::vector<std::uint8_t> statuses;
};

TEST(SelectUpdateTargets, CountsGiveTheRunItsNextStep) {
  const SelectCase cases[] = {
      {"no candidate", {}, 0, {}},
      {"one older drive", {"1.00"}, 7, {6}},
      {"two older drives", {"1.00", "0.90"}, 6, {6, 6}},
      {"only updated drives", {"1.01", "1.01"}, 5, {5, 5}},
      {"updated drives never hide a target", {"1.01", "1.00", "1.01"}, 7, {5, 6, 5}},
      {"a level matching nothing is counted nowhere", {"0.80"}, 0, {2}},
  };
  for (const SelectCase& c : cases) {
    Loaded f;
    for (std::size_t i = 0; i < c.drives.size(); ++i) f.candidate(static_cast<std::uint32_t>(10 + i), c.drives[i]);
    EXPECT_EQ(select_update_targets(f.ctx->link), c.result) << c.name;
    for (std::size_t i = 0; i < c.statuses.size(); ++i) {
      EXPECT_EQ(f.drive(static_cast<std::uint32_t>(10 + i)).status, c.statuses[i]) << c.name << " drive " << i;
    }
  }
}

TEST(SelectUpdateTargets, SkipsWhatMustNotBeUpdated) {
  {
    Loaded f;  // another drive kind
    f.candidate(0, "1.00").drive_kind = 0x100;
    EXPECT_EQ(select_update_targets(f.ctx->link), 0);
    EXPECT_EQ(f.drive(0).status, drive_status_candidate_a);
  }
  {
    Loaded f;  // status other than a candidate's
    f.candidate(0, "1.00", drive_status_excluded_level);
    EXPECT_EQ(select_update_targets(f.ctx->link), 0);
  }
  {
    Loaded f;  // another model: never marked, whatever the tables say
    set(f.candidate(0, "1.00").identity.model_code, "TZ594KT-BDC-0001");
    EXPECT_EQ(is_excluded_drive(f.ctx->link, 0), -1);
    EXPECT_EQ(select_update_targets(f.ctx->link), 0);
  }
  {
    Loaded f;  // before the image is loaded nothing passes the drive-kind test
    f.ctx->image.drive_kind_mask = 0;
    f.candidate(0, "1.00");
    EXPECT_EQ(select_update_targets(f.ctx->link), 0);
  }
}

TEST(IsExcludedDrive, LowLevelsNeedTheThreeNamedAreas) {
  Loaded f;
  f.candidate(0, "0.90");  // below the exclusion level
  f.candidate(1, "1.00");  // at it
  EXPECT_EQ(is_excluded_drive(f.ctx->link, 0), 0);
  EXPECT_EQ(is_excluded_drive(f.ctx->link, 1), 0);
  for (const char* area : {"BT", "MN", "CF"}) {
    Loaded g;
    g.candidate(0, "0.90");
    g.candidate(1, "1.00");
    IdentityRecord& image = g.ctx->image.image_identity;
    for (std::uint32_t i = 0; i < image.area_bytes / 12; ++i) {
      if (std::strcmp(image.areas[i].area_name, area) == 0) set(image.areas[i].area_name, "XX");
    }
    EXPECT_EQ(is_excluded_drive(g.ctx->link, 0), -1) << area;
    EXPECT_EQ(is_excluded_drive(g.ctx->link, 1), 0) << area;
    EXPECT_EQ(select_update_targets(g.ctx->link), 7) << area;
    EXPECT_EQ(g.drive(0).status, drive_status_candidate_a) << area;
  }
  {
    Loaded g;  // an image exactly at the level still needs the three areas
    g.candidate(0, "0.90");
    set(g.ctx->image.image_identity.t21, "0100");
    g.ctx->image.image_identity.area_bytes = 12;  // only the first area, "BT"
    EXPECT_EQ(is_excluded_drive(g.ctx->link, 0), -1);
  }
  {
    Loaded g;  // an image below the level takes any level
    g.candidate(0, "0.90");
    set(g.ctx->image.image_identity.t21, "0095");
    g.ctx->image.image_identity.area_bytes = 0;
    EXPECT_EQ(is_excluded_drive(g.ctx->link, 0), 0);
  }
}

TEST(HasAreaNamed, ReadsOnlyTheDeclaredEntries) {
  IdentityRecord id;
  init_identity_record(id);
  std::memcpy(id.areas[0].area_name, "BT", 3);
  std::memcpy(id.areas[1].area_name, "MN", 3);
  id.area_bytes = 12;
  EXPECT_EQ(has_area_named(id, "BT"), 0);
  EXPECT_EQ(has_area_named(id, "MN"), -1);
  id.area_bytes = 23;  // not a multiple of 12: one entry
  EXPECT_EQ(has_area_named(id, "MN"), -1);
  id.area_bytes = 0xFFFFFFFF;  // never beyond the record
  EXPECT_EQ(has_area_named(id, "MN"), 0);
  EXPECT_EQ(has_area_named(id, "??"), 0);  // placeholders are ordinary names
}

}  // namespace
}  // namespace tz
