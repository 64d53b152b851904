#include "update/result_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/bytes.h"
#include "core/run_result.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

namespace fs = std::filesystem;
using platform::host::HostFiles;

// A fresh context whose program folder is a temporary folder of its own, removed afterwards.
struct LogFixture : test::Fixture {
  LogFixture() {
    char name[] = "/tmp/tz594k-log-XXXXXX";
    folder = ::mkdtemp(name) != nullptr ? name : "";
    copy_bounded(ctx->app.program_folder, sizeof(ctx->app.program_folder), folder.c_str());
    ctx->app.texts.decode();
    host.system.set_version(2, 5, 1, 2600);
  }
  ~LogFixture() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  LogFixture(const LogFixture&) = delete;
  LogFixture& operator=(const LogFixture&) = delete;

  const char* path() { return log_file_path(ctx->log); }
  std::string disk_path() { return HostFiles::native_path(path()); }
  std::string contents() {
    std::ifstream in(disk_path(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void put_old_log(const char* text) { std::ofstream(disk_path(), std::ios::binary) << text; }
  bool folder_is_empty() const { return fs::is_empty(folder); }

  std::string folder;
};

void set_drive(Context& ctx, std::uint32_t index, const char* device_path, std::uint8_t ha, std::uint8_t target,
               const char* vendor, const char* product, const char* revision) {
  DriveRecord& d = ctx.drive.drive_table[index];
  copy_bounded(d.device_path, sizeof(d.device_path), device_path);
  d.ha_id = ha;
  d.target_id = target;
  copy_bounded(d.vendor_id, sizeof(d.vendor_id), vendor);
  copy_bounded(d.product_id, sizeof(d.product_id), product);
  copy_bounded(d.product_revision, sizeof(d.product_revision), revision);
  ctx.drive.current_drive = index;
}

TEST(ResultLogPath, FolderBuildNameAndTheFirstRequestsTimeStamp) {
  struct Case {
    const char* folder;
    platform::LocalTime time;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\Loader", {2026, 12, 4, 10, 9, 30, 15, 0}, "C:\\Loader\\TZ594K_for_ZEMO_V101-20261210093015.log"},
      {".\\", {2027, 1, 6, 2, 3, 4, 5, 999}, ".\\\\TZ594K_for_ZEMO_V101-20270102030405.log"},
      {"D:\\a b\\c", {1999, 11, 0, 30, 23, 59, 59, 0}, "D:\\a b\\c\\TZ594K_for_ZEMO_V101-19991130235959.log"},
  };
  for (const Case& c : cases) {
    test::Fixture f;
    copy_bounded(f.ctx->app.program_folder, sizeof(f.ctx->app.program_folder), c.folder);
    f.host.system.time = c.time;
    f.host.system.seconds_per_reading = 7;
    EXPECT_STREQ(log_file_path(f.ctx->log), c.expected) << c.folder;
    // Later requests give the same name although the clock has moved on, and read no time.
    f.host.system.time.minute = 0;
    EXPECT_STREQ(log_file_path(f.ctx->log), c.expected) << c.folder;
    EXPECT_EQ(f.host.system.time.second, (c.time.second + 7) % 60) << c.folder;
  }
}

TEST(ResultLogPath, AFullFolderFitsAndAPathThatWouldNotFitIsNoneAtAll) {
  const std::string full_folder(program_folder_size, 'a');
  test::Fixture fits;
  copy_bounded(fits.ctx->app.program_folder, sizeof(fits.ctx->app.program_folder), full_folder.c_str());
  const std::string path = log_file_path(fits.ctx->log);
  EXPECT_EQ(path, full_folder + "\\TZ594K_for_ZEMO_V101-20261210093015.log");

  // A clock beyond four year digits would cut the name short: a shorter name is another file.
  test::Fixture too_long;
  copy_bounded(too_long.ctx->app.program_folder, sizeof(too_long.ctx->app.program_folder), full_folder.c_str());
  too_long.host.system.time.year = 10000;
  EXPECT_STREQ(log_file_path(too_long.ctx->log), "");
  EXPECT_EQ(write_result_log(too_long.ctx->log, log_file_path(too_long.ctx->log)), log_not_written);
}

TEST(ResultLog, SevenLinesForEachKindOfDriveLine) {
  struct Case {
    const char* name;
    void (*setup)(Context&);
    std::int32_t code;
    const char* message;
    const char* drive_and_result_lines;
  };
  const Case cases[] = {
      {"pass-through",
       [](Context& ctx) {
         ctx.drive.transport = transport_pass_through;
         set_drive(ctx, 3, "\\\\.\\F:", 0, 0, "KORVANTA", "BD-CMB TZ594KS  ", "1.00");
       },
       500, "Download error.(31)",
       "Drive = LogicalDriveName[F:] Vendor[KORVANTA] Product[BD-CMB TZ594KS  ] Revision[1.00]\r\n"
       "Result = [UPDATE FAILED]\r\n"
       "Message = Download error.(31)\r\n"},
      {"aspi",
       [](Context& ctx) {
         ctx.drive.transport = transport_aspi;
         set_drive(ctx, 0, "", 2, 200, "????????", "????????????????", "????");
       },
       600, "Verify error.(1)",
       "Drive = Adapter/Target[2 200] Vendor[????????] Product[????????????????] Revision[????]\r\n"
       "Result = [VERIFY FAILED]\r\n"
       "Message = Verify error.(1)\r\n"},
      {"no drive",
       [](Context& ctx) {
         ctx.drive.transport = transport_pass_through;
         set_drive(ctx, 5, "\\\\.\\G:", 0, 0, "KORVANTA", "BD-CMB TZ594KS  ", "1.00");
         ctx.drive.current_drive = drive_table_size;  // a scan ran over the whole table
       },
       100, "Supported drive is not found.(1)",
       "Drive = (no drive)\r\n"
       "Result = [DRIVE NOT FOUND]\r\n"
       "Message = Supported drive is not found.(1)\r\n"},
      {"code no table names", [](Context& ctx) { ctx.drive.current_drive = drive_table_size; }, -1, "",
       "Drive = (no drive)\r\n"
       "Result = (OTHER ERROR)\r\n"
       "Message = \r\n"},
  };
  for (const Case& c : cases) {
    LogFixture f;
    c.setup(*f.ctx);
    record_result(f.ctx->app.result, c.code, c.message);
    f.host.system.seconds_per_reading = 1;
    const std::string name = f.path();
    ASSERT_EQ(write_result_log(f.ctx->log, name.c_str()), log_written) << c.name;
    // The name holds the first reading (…15), the Time line the second.
    EXPECT_EQ(name.substr(name.size() - 10), "093015.log") << c.name;
    EXPECT_EQ(f.contents(), std::string("Date = 2026.12.10\r\n"
                                        "Time = 09:30:16\r\n"
                                        "OSVer = WindowsXP 5.1 (Build 2600)\r\n"
                                        "HostLoaderVer = TZ594K_for_ZEMO_V1.01\r\n") +
                                c.drive_and_result_lines)
        << c.name;
  }
}

TEST(ResultLog, AttributeClasses) {
  struct Case {
    std::uint32_t attributes;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {platform::invalid_file_attributes, 0xFF},
      {0x02, 3},    // hidden
      {0x04, 3},    // system
      {0x10, 3},    // directory
      {0x100, 3},   // temporary
      {0x800, 3},   // compressed
      {0x1000, 3},  // offline
      {0x03, 3},    // hidden and read-only: not removed
      {0x01, 2},
      {0x21, 2},  // read-only and archive
      {0x20, 1},
      {0x80, 1},
      {0x00, 0},
      {0x2000, 0},  // not content-indexed, nothing else
      {0x40, 0},
  };
  LogFixture f;
  for (const Case& c : cases) {
    f.host.files.give_attributes(f.path(), c.attributes);
    EXPECT_EQ(attribute_class(f.ctx->log, f.path()), c.expected) << std::hex << c.attributes;
  }
  // Without overrides the disk answers: nothing there, a plain file, a folder.
  LogFixture disk;
  EXPECT_EQ(attribute_class(disk.ctx->log, disk.path()), attributes_unreadable);
  disk.put_old_log("old");
  EXPECT_EQ(attribute_class(disk.ctx->log, disk.path()), attributes_plain);
  EXPECT_EQ(attribute_class(disk.ctx->log, disk.folder.c_str()), attributes_protected);
}

TEST(ResultLog, AnOldFileIsReplacedOnlyWhenItMayBe) {
  const char* old_text = "old log\r\n";
  struct Case {
    const char* name;
    bool old_file;
    void (*setup)(HostFiles&, const char* path, const char* folder);
    std::uint8_t expected;
    std::uint32_t attributes_after;  // of a kept old file
  };
  const Case cases[] = {
      {"plain", true, [](HostFiles&, const char*, const char*) {}, log_written, 0},
      {"read-only", true, [](HostFiles& files, const char* p, const char*) { files.give_attributes(p, 0x21); },
       log_written, 0},
      {"hidden", true, [](HostFiles& files, const char* p, const char*) { files.give_attributes(p, 0x22); },
       log_not_written, 0x22},
      {"hidden and read-only", true,
       [](HostFiles& files, const char* p, const char*) { files.give_attributes(p, 0x03); }, log_not_written, 0x03},
      {"no known attribute", true,
       [](HostFiles& files, const char* p, const char*) { files.give_attributes(p, 0x2000); }, log_not_written, 0x2000},
      {"locked", true, [](HostFiles& files, const char* p, const char*) { files.lock(p, HostFiles::Lock::exclusive); },
       log_not_written, 0x20},
      {"locked, readable", true,
       [](HostFiles& files, const char* p, const char*) { files.lock(p, HostFiles::Lock::shares_reading); },
       log_not_written, 0x20},
      {"read-only, locked", true,
       [](HostFiles& files, const char* p, const char*) {
         files.give_attributes(p, 0x21);
         files.lock(p, HostFiles::Lock::shares_reading);
       },
       log_not_written, 0x21},
      {"read-only, attributes fixed", true,
       [](HostFiles& files, const char* p, const char*) {
         files.give_attributes(p, 0x01);
         files.fail_set_attributes = true;
       },
       log_not_written, 0x01},
      {"folder not writable", false, [](HostFiles& files, const char*, const char* d) { files.deny_folder(d); },
       log_not_written, 0},
      {"folder not writable, old file", true,
       [](HostFiles& files, const char*, const char* d) { files.deny_folder(d); }, log_not_written, 0x20},
      {"folder not writable, read-only old file", true,
       [](HostFiles& files, const char* p, const char* d) {
         files.give_attributes(p, 0x21);
         files.deny_folder(d);
       },
       log_not_written, 0x21},
  };
  for (const Case& c : cases) {
    LogFixture f;
    record_result(f.ctx->app.result, 500, "Drive preparation failed.(1)");
    if (c.old_file) f.put_old_log(old_text);
    c.setup(f.host.files, f.path(), f.folder.c_str());
    EXPECT_EQ(write_result_log(f.ctx->log, f.path()), c.expected) << c.name;
    if (c.expected == log_written) {
      EXPECT_EQ(f.contents().rfind("Date = ", 0), 0u) << c.name;
      EXPECT_NE(f.contents().find("Message = Drive preparation failed.(1)\r\n"), std::string::npos) << c.name;
    } else if (c.old_file) {
      EXPECT_EQ(f.contents(), old_text) << c.name;
      EXPECT_EQ(f.host.files.get_attributes(f.path()), c.attributes_after) << c.name;
    } else {
      EXPECT_TRUE(f.folder_is_empty()) << c.name;
    }
  }
}

TEST(ResultLog, AFolderWithTheLogsNameStays) {
  LogFixture f;
  record_result(f.ctx->app.result, 1002, "");
  fs::create_directory(f.disk_path());
  std::ofstream(f.disk_path() + "/inside") << "kept";
  EXPECT_EQ(write_result_log(f.ctx->log, f.path()), log_not_written);
  EXPECT_TRUE(fs::is_regular_file(f.disk_path() + "/inside"));
}

TEST(ResultLog, OsLineByClassAndNoFileWithoutAName) {
  struct Case {
    std::uint32_t platform_id, major, minor, build;
    bool query_works;
    std::uint8_t os_class;
    const char* text;  // nullptr: no log
  };
  const Case cases[] = {
      {0, 0, 0, 0, false, 0, nullptr},
      {1, 4, 50, 3000, true, 0, nullptr},
      {3, 1, 0, 0, true, 0, nullptr},
      {0, 3, 10, 0x12345678, true, 1, "Windows3.1 3.10 (Build 22136)"},
      {1, 4, 0, 0x040003B6, true, 2, "Windows95 4.0 (Build 950)"},
      {1, 4, 10, 0x040A08AE, true, 4, "Windows98SE 4.10 (Build 2222)"},
      {1, 4, 90, 0x045A0BB8, true, 5, "WindowsME 4.90 (Build 3000)"},
      {2, 4, 0, 1381, true, 6, "WindowsNT4.0 4.0 (Build 1381)"},
      {2, 5, 2, 3790, true, 10, "WindowsServer2003 5.2 (Build 3790)"},
      {2, 6, 1, 7601, true, 11, "WindowsNT 6.1 (Build 7601)"},
      {2, 10, 0, 0x00015F90, true, 11, "WindowsNT 10.0 (Build 90000)"},
  };
  for (const Case& c : cases) {
    LogFixture f;
    record_result(f.ctx->app.result, 500, "Download error.(11)");
    if (c.query_works) {
      f.host.system.set_version(c.platform_id, c.major, c.minor, c.build);
    } else {
      f.host.system.version.reset();
    }
    char text[os_text_size] = "untouched";
    EXPECT_EQ(os_version_text(f.ctx->log, text, sizeof(text)), c.os_class) << c.major << "." << c.minor;
    EXPECT_STREQ(text, c.text != nullptr ? c.text : "untouched");
    if (c.text == nullptr) {
      EXPECT_EQ(write_result_log(f.ctx->log, f.path()), log_not_written);
      EXPECT_TRUE(f.folder_is_empty());
    } else {
      ASSERT_EQ(write_result_log(f.ctx->log, f.path()), log_written);
      EXPECT_NE(f.contents().find(std::string("\r\nOSVer = ") + c.text + "\r\n"), std::string::npos) << c.text;
    }
  }
}

}  // namespace
}  // namespace tz
