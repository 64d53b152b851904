// The start confirmation's comparison text and the detailed version list, as the screens show them.
#include "drive/info_screens.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/context.h"
#include "image/image_load.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

using platform::host::DialogEvent;

struct Loaded : test::Fixture {
  Loaded() {
    ctx->app.texts.decode();
    EXPECT_EQ(load_firmware_image(ctx->image, ctx->app.texts), 0);
    ctx->drive.current_drive = 3;
    drive() = ctx->image.image_identity;
  }
  IdentityRecord& drive() { return ctx->drive.drive_table[3].identity; }
};

TEST(StartConfirmation, ComparesTheDriveWithTheImage) {
  struct Case {
    const char* what;
    const char* vendor;
    const char* product;
    const char* expected;
  } cases[] = {
      {"only the revision differs", "KORVANTA", "BD-CMB TZ594KS  ",
       "\nVendor   : KORVANTA          \nProduct  : BD-CMB TZ594KS    \nRevision : 1.00 --> 1.01"},
      {"the product still holds placeholders", "KORVANTA", "????????????????",
       "\nVendor   : KORVANTA          \nProduct  : ???????????????? --> BD-CMB TZ594KS  \n"
       "Revision : 1.00             --> 1.01"},
      {"vendor and product differ", "OTHERCO ", "BD-CMB TZ594KS  ",
       "\nVendor   : OTHERCO          --> KORVANTA\nProduct  : BD-CMB TZ594KS    \n"
       "Revision : 1.00             --> 1.01"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded f;
    std::snprintf(f.drive().info_vendor, sizeof(f.drive().info_vendor), "%s", c.vendor);
    std::snprintf(f.drive().info_product, sizeof(f.drive().info_product), "%s", c.product);
    std::snprintf(f.drive().info_revision, sizeof(f.drive().info_revision), "%s", "1.00");
    f.host.dialogs.press(202, 1);
    EXPECT_EQ(show_start_confirmation(f.ctx->link), 0);
    EXPECT_EQ(f.host.dialogs.texts_of(1113), std::vector<std::string>{c.expected});
    // The focus stays on EXIT; the information icon is painted.
    EXPECT_EQ(platform::host::HostDialogs::control_of(f.host.dialogs.focus), 2);
  }
}

TEST(StartConfirmation, ExitLeaves) {
  Loaded f;
  f.host.dialogs.press(202, 2);
  EXPECT_EQ(show_start_confirmation(f.ctx->link), 1);
  Loaded closed;
  closed.host.dialogs.close_box(202);
  EXPECT_EQ(show_start_confirmation(closed.ctx->link), 1);
}

std::vector<std::string> detail_lines(Loaded& f) {
  f.host.dialogs.press(242, 2);
  EXPECT_EQ(show_detail_version(f.ctx->link), 1);
  return f.host.dialogs.screens.front().lines.at(1126);
}

std::size_t find_line(const std::vector<std::string>& lines, const std::string& start) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(start, 0) == 0) return i;
  }
  return lines.size();
}

TEST(DetailVersion, ListsTheImageAndTheBuild) {
  Loaded f;
  const std::vector<std::string> lines = detail_lines(f);
  ASSERT_GT(lines.size(), 80u);
  EXPECT_EQ(lines[0], "<< Detailed Version Information >>");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], " < Image Header >");
  EXPECT_EQ(lines[3], " Vendor                    :[KORVANTA]");
  EXPECT_EQ(lines[5], " Revision                  :[1.01]");
  const IdentityRecord& id = f.ctx->image.image_identity;
  char expected[64];
  std::snprintf(expected, sizeof(expected), " Transfer Length           :0x%08lX",
                static_cast<unsigned long>(id.transfer_length));
  EXPECT_EQ(lines[9], expected);
  EXPECT_EQ(lines[find_line(lines, " Text T2 ")], " Text T2                   :[KORVANTA]");
  // Blob: 16 bytes a line, the next lines indented by 28 blanks.
  const std::size_t blob = find_line(lines, " Blob                      :");
  ASSERT_LT(blob, lines.size());
  if (id.blob_length > 16) {
    EXPECT_EQ(lines[blob].size(), 28u + 8u * 5u);
    EXPECT_EQ(lines[blob + 1].substr(0, 28), std::string(28, ' '));
  }
  const std::size_t build = find_line(lines, " < Program >");
  ASSERT_LT(build, lines.size());
  EXPECT_EQ(lines[build + 1], " Tool Version              :23.70");
  EXPECT_EQ(lines[build + 4], " Build Number              :LOADER-2374");
  const std::size_t settings = find_line(lines, " < Build Settings >");
  ASSERT_EQ(settings + 27, lines.size());
  EXPECT_EQ(lines[settings + 1], " Boot mode command         :ENABLE          (BOOT_CMD=1)");
  EXPECT_EQ(lines[settings + 6], " Download block            :BYTES           (BLOCK=1024)");
  EXPECT_EQ(lines[settings + 25], " Target model              :\"BD-CMB TZ594KS\"");
  EXPECT_EQ(lines.back(), "");
  // Scroll range and extent are set before the first line.
  EXPECT_EQ(f.host.dialogs.count(DialogEvent::Kind::scroll_range), 1u);
  EXPECT_EQ(f.host.dialogs.screens.front().horizontal_extent.at(1126), 600);
}

TEST(DetailVersion, AnImageWithoutAreasStillListsOneAreaLine) {
  Loaded f;
  IdentityRecord& id = f.ctx->image.image_identity;
  init_identity_record(id);
  const std::vector<std::string> lines = detail_lines(f);
  const std::size_t area = find_line(lines, " Areas                     :");
  ASSERT_LT(area, lines.size());
  EXPECT_EQ(lines[area], " Areas                     :Name=?? Start=0x000000 End=0x000000 Sum=0x0000");
  EXPECT_EQ(lines[area + 1].rfind(" Trailer Length", 0), 0u);
  EXPECT_EQ(lines[find_line(lines, " Blob                      :")], " Blob                      :");
}

TEST(Copyright, FormatsHolderAndYears) {
  test::Fixture f;
  f.ctx->app.texts.decode();
  EXPECT_STREQ(format_copyright(f.ctx->link), "\n          KORVANTA Corporation 2008-2009");
}

}  // namespace
}  // namespace tz
