// A whole run per family of the drive search: a drive of each family alone in the machine, one the
// image takes and one it does not, over pass-through and ASPI. The image is firmware for the
// TZ594KS of family A: a family-A drive on a supported level is updated, one on the image's level
// is already updated. A drive of a model that the tables know but do not let this image update,
// and every family-B or family-C drive (the image names family A), is recognised and not matched.
// A drive of no family is nothing the search can use. Each family's candidates must be counted:
// a search that loses one family ends "not found" where the run must end "no match".
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "app/context.h"
#include "core/run_result.h"
#include "sim/tool/carried_image.h"
#include "tests/reliability/whole_run.h"

namespace tz::reliability {
namespace {

struct Row {
  const char* what;
  const char* family;      // T6 of the drive's identity block
  const char* model;       // T1
  const char* firmware;    // its ROM's level
  std::int32_t code;       // result code
  const char* message;     // recorded with it
  std::int32_t exit_code;  // what a launcher sees
  bool updated;            // the run rewrote the drive's ROM with the carried image
};

constexpr const char* this_model = "TZ594KS-BDC-0001";
constexpr const char* regional_model = "TZ594KR-BDC-0001";  // known to the tables, never updated here

const Row rows[] = {
    {"A, a supported level", "T5KA", this_model, "1.00", 0, "", 0, true},
    {"A, the image's level", "T5KA", this_model, "1.01", 401, "Drive F/W already updated.(1)", 99, false},
    {"A, a model the image does not update", "T5KA", regional_model, "1.00", 400, "Non drive match to F/W data.(1)", 4,
     false},
    {"B, first code, a known model", "T5KB", this_model, "1.00", 400, "Non drive match to F/W data.(1)", 4, false},
    {"B, second code, a known model", "T5KC", this_model, "1.00", 400, "Non drive match to F/W data.(1)", 4, false},
    {"B, a model the image does not update", "T5KB", regional_model, "1.00", 400, "Non drive match to F/W data.(1)", 4,
     false},
    {"C, a known model", "T5KD", this_model, "1.00", 400, "Non drive match to F/W data.(1)", 4, false},
    {"C, a known model on the image's level", "T5KD", this_model, "1.01", 400, "Non drive match to F/W data.(1)", 4,
     false},
    {"C, a model the image does not update", "T5KD", regional_model, "1.00", 400, "Non drive match to F/W data.(1)", 4,
     false},
    {"no family of the search", "T5KZ", this_model, "1.00", 100, "Supported drive is not found.(2)", 1, false},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.what; }

class FamilyRun : public ::testing::TestWithParam<Row> {};

TEST_P(FamilyRun, EndsWithTheCodeOfItsFamily) {
  const Row& row = GetParam();
  for (const Via via : {Via::pass_through, Via::aspi}) {
    SCOPED_TRACE(via_name(via));
    Machine m(via);
    sim::DriveSettings s;
    s.tray_open = true;
    std::strncpy(s.firmware, row.firmware, sizeof(s.firmware) - 1);
    std::strncpy(s.model_code, row.model, sizeof(s.model_code) - 1);
    std::strncpy(s.family_code, row.family, sizeof(s.family_code) - 1);
    const sim::SimDrive& drive = m.add(s);
    ASSERT_TRUE(drive.ready());
    ASSERT_STREQ(drive.identity().model_code, row.model);
    const bool carried_before = sim::rom_is_carried_image(drive.rom());
    const std::int32_t exit_code = m.run("/AU");
    EXPECT_EQ(result_code(m.ctx->app.result), row.code);
    EXPECT_STREQ(result_message(m.ctx->app.result), row.message);
    EXPECT_EQ(exit_code, row.exit_code);
    EXPECT_EQ(sim::rom_is_carried_image(drive.rom()) && !carried_before, row.updated);
    for (const std::string& broken : broken_rules(m, exit_code)) ADD_FAILURE() << broken;
  }
}

std::string row_name(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char* c = info.param.what; *c != '\0'; ++c) {
    const bool word = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
    if (word) {
      name += *c;
    } else if (!name.empty() && name.back() != '_') {
      name += '_';
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name;
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyRun, ::testing::ValuesIn(rows), row_name);

}  // namespace
}  // namespace tz::reliability
