#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/os_class.h"
#include "core/string_table.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

using platform::host::HostOs;

struct OsCase {
  bool query_ok;
  std::uint32_t platform_id, major, minor, build;
  std::uint8_t os_class;
  std::uint32_t build_after;  // what the structure holds afterwards
  const char* name;
};

TEST(OsClass, TableOfVersions) {
  const OsCase cases[] = {
      {false, 2, 10, 0, 19045, 0, 0, nullptr},
      {true, 0, 3, 10, 0x12345678, 1, 0x5678, "Windows3.1"},
      {true, 1, 4, 0, 0x040003B6, 2, 0x03B6, "Windows95"},
      {true, 1, 4, 10, 0x040A07CE, 3, 1998, "Windows98"},
      {true, 1, 4, 10, 0x040A08AE, 4, 2222, "Windows98SE"},  // what Wine's win98 reports
      {true, 1, 4, 10, 0x040A0001, 3, 1, "Windows98"},
      {true, 1, 4, 90, 0x045A0BB8, 5, 3000, "WindowsME"},
      {true, 1, 4, 20, 0x0414, 0, 0x0414, nullptr},
      {true, 2, 4, 0, 1381, 6, 1381, "WindowsNT4.0"},
      {true, 2, 5, 1, 0x000A0A28, 8, 0x000A0A28, "WindowsXP"},  // NT keeps its whole build number
      {true, 2, 5, 0, 2195, 7, 2195, "Windows2000"},
      {true, 2, 5, 1, 2600, 8, 2600, "WindowsXP"},
      {true, 2, 5, 2, 3790, 10, 3790, "WindowsServer2003"},
      {true, 2, 6, 0, 6002, 9, 6002, "WindowsVista"},
      // NT versions the table does not name keep SCSI pass-through.
      {true, 2, 6, 1, 7601, 11, 7601, "WindowsNT"},
      {true, 2, 6, 3, 9600, 11, 9600, "WindowsNT"},
      {true, 2, 10, 0, 19045, 11, 19045, "WindowsNT"},
      {true, 2, 5, 3, 1, 11, 1, "WindowsNT"},
      {true, 2, 3, 51, 1057, 11, 1057, "WindowsNT"},
      {true, 3, 10, 0, 1, 0, 1, nullptr},
  };
  for (const OsCase& c : cases) {
    HostOs host;
    if (c.query_ok) host.system.set_version(c.platform_id, c.major, c.minor, c.build);
    platform::OsVersionInfo info;
    const std::uint8_t os_class = get_os_class(host.system, info);
    EXPECT_EQ(os_class, c.os_class) << c.platform_id << " " << c.major << "." << c.minor;
    EXPECT_EQ(info.size, 148u);
    if (c.query_ok) {
      EXPECT_EQ(info.build, c.build_after) << c.major << "." << c.minor;
    }
    EXPECT_EQ(is_nt_class(os_class), os_class >= 6) << int(os_class);
    if (c.name == nullptr) {
      EXPECT_EQ(os_class_name(os_class), nullptr);
    } else {
      EXPECT_STREQ(os_class_name(os_class), c.name);
    }
  }
}

struct LanguageCase {
  const char* arguments;
  bool key_exists;
  bool open_denied;
  const char* locale;  // nullptr: no value
  std::uint8_t language;
};

TEST(ChooseLanguage, LocaleAndSwitch) {
  const LanguageCase cases[] = {
      {"", true, false, "00000411", language_japanese},
      {"/LE", true, false, "00000411", language_english},
      {"LanguageEnglish", true, false, "00000411", language_english},
      {"", true, false, "00000409", language_english},
      {"", true, false, "0000041", language_english},
      {"", true, false, "000004110", language_english},
      {"", true, false, nullptr, language_english},
      {"", false, false, nullptr, language_english},
      {"", true, true, "00000411", language_english},
  };
  for (const LanguageCase& c : cases) {
    test::Fixture f;
    if (c.key_exists) f.host.system.registry["Control Panel\\International"];
    if (c.locale != nullptr) f.host.system.set_locale(c.locale);
    f.host.system.registry_open_denied = c.open_denied;
    first_switch_scan(*f.ctx, c.arguments);
    choose_language(*f.ctx);
    EXPECT_EQ(f.ctx->app.language, c.language) << c.arguments << " " << (c.locale ? c.locale : "-");
    EXPECT_EQ(f.host.system.open_keys, 0);
    if (c.key_exists && c.arguments[0] == '\0') {
      EXPECT_EQ(f.host.system.last_access, platform::key_query_value | platform::key_set_value);
    }
  }
}

struct FolderCase {
  const char* command_line;
  bool silent;
  const char* folder;
};

TEST(ProgramFolder, FromTheQuotedProgramPath) {
  const FolderCase cases[] = {
      {"\"C:\\Tools\\Loader\\TZ594K_for_ZEMO_V101.exe\" /LFO", false, "C:\\Tools\\Loader"},
      {"\"C:\\TZ594K_for_ZEMO_V101.exe\"", false, "C:"},
      {"\"\\\\server\\share\\x.exe\"", false, "\\\\server\\share"},
      {"\"C:\\Tools\\Loader\\TZ594K_for_ZEMO_V101.exe\"", true, ".\\"},
      {"TZ594K_for_ZEMO_V101.exe /LFO", false, ".\\"},
      {"C:\\Tools\\x.exe /LFO", false, ".\\"},
      {"C:\\Tools\\x.exe \"quoted argument\"", false, ".\\"},  // a quote among the arguments is no path
      {"\"C:\\Tools\\x.exe", false, ".\\"},                    // no closing quote
      {"\"x.exe\" /LFO", false, "D:\\Apps"},                   // no folder part: the module's folder
      {"", false, ".\\"},
  };
  for (const FolderCase& c : cases) {
    test::Fixture f;
    f.host.system.command_line_text = c.command_line;
    f.host.system.module_path = "D:\\Apps\\TZ594K_for_ZEMO_V101.exe";
    f.ctx->app.switches.silent = c.silent ? 1 : 0;
    determine_program_folder(*f.ctx);
    EXPECT_STREQ(f.ctx->app.program_folder, c.folder) << c.command_line;
  }
}

TEST(ProgramFolder, OverlongFolderFallsBackToTheCurrentFolder) {
  test::Fixture f;
  f.host.system.command_line_text = "\"C:\\" + std::string(3000, 'd') + "\\x.exe\"";
  determine_program_folder(*f.ctx);
  EXPECT_STREQ(f.ctx->app.program_folder, ".\\");
}

TEST(StringTable, StoredScrambledAndDecodedOnce) {
  StringTable table;
  const std::string plain = "TZ594K_FwLoader_V101";
  const char* stored = table.get(Text::own_class_name);
  ASSERT_EQ(std::strlen(stored), plain.size());
  for (std::size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(static_cast<char>(~stored[i]), plain[i]);
  table.decode();
  EXPECT_EQ(std::string(table.get(Text::own_class_name)), plain);
  EXPECT_EQ(std::string(table.get(Text::image_magic)), "KVT FW IMAGE 594");
}

TEST(StringTable, ComplementStopsAtAStoredFF) {
  char text[] = {'\x9e', '\xff', '\x9d', '\0'};  // ~'a', 0xFF, ~'b'
  complement_text(text);
  EXPECT_STREQ(text, "a");
  EXPECT_EQ(text[2], '\x9d');  // untouched behind the new end
  complement_text(text);
  EXPECT_EQ(text[0], '\x9e');  // twice restores the stored form up to the end
}

TEST(ModelTables, BuiltFromStoredRecordsWithTextsDecoded) {
  test::Fixture f;
  ModelTables& models = f.ctx->app.models;
  build_model_tables(models);
  EXPECT_EQ(models.primary[0].entry_kind, 1);
  EXPECT_STREQ(models.primary[0].entry_vendor, "KORVANTA");
  EXPECT_STREQ(models.primary[0].entry_product, "BD-CMB TZ594KS  ");
  EXPECT_STREQ(models.primary[0].entry_model_code, "TZ594KS-BDC-0001");
  EXPECT_EQ(models.primary[0].entry_drive_kind, 0x200u);
  // The stored form keeps its texts complemented.
  EXPECT_EQ(static_cast<char>(~stored_primary_models()[0].vendor[0]), 'K');
}

TEST(MainWindow, RefusesSessionEndAndSuspend) {
  test::Fixture f;
  f.host.system.set_version(2, 10, 0, 19045);
  program_entry(*f.ctx, "/AU");
  EXPECT_EQ(f.host.windows.send_to_main_window(platform::wm_queryendsession), 0);
  EXPECT_EQ(f.host.windows.send_to_main_window(platform::wm_powerbroadcast, 0 /*PBT_APMQUERYSUSPEND*/),
            platform::broadcast_query_deny);
  EXPECT_EQ(f.host.windows.send_to_main_window(platform::wm_powerbroadcast, 4 /*PBT_APMSUSPEND*/),
            platform::broadcast_query_deny);
  EXPECT_EQ(f.host.windows.send_to_main_window(platform::wm_close), 0);  // left to the default
  EXPECT_STREQ(f.host.windows.registered.class_name, "TZ594K_FwLoader_V101");
  EXPECT_EQ(f.host.windows.registered.icon_id, 177);
  // Created hidden, destroyed at the end.
  ASSERT_FALSE(f.host.windows.show_calls.empty());
  EXPECT_EQ(f.host.windows.show_calls.front().second, platform::sw_hide);
  EXPECT_FALSE(f.host.windows.main_window_alive);
}

TEST(ProgramEntry, ChoosesTheTransportFromTheOsClass) {
  struct Case {
    std::uint32_t platform_id, major, minor;
    bool query_ok;
    std::uint8_t transport;
  } cases[] = {
      {1, 4, 10, true, transport_aspi},         {2, 5, 1, true, transport_pass_through},
      {2, 10, 0, true, transport_pass_through}, {2, 6, 1, true, transport_pass_through},
      {2, 10, 0, false, transport_aspi},
  };
  for (const Case& c : cases) {
    test::Fixture f;
    if (c.query_ok) f.host.system.set_version(c.platform_id, c.major, c.minor, 1);
    // No drive on either transport: the run ends as one that found none.
    EXPECT_EQ(program_entry(*f.ctx, "/AU"), exit_code_for(100));
    EXPECT_EQ(f.ctx->drive.transport, c.transport) << c.major << "." << c.minor;
  }
}

struct InstanceCase {
  const char* running_class;  // a window of this class exists
  const char* arguments;
  bool minimised;
  std::int32_t code;
  const char* message;
  bool activated;  // message box, restore, foreground
};

TEST(InstanceChecks, AnotherInstanceEndsTheRun) {
  constexpr platform::Handle other = 0x7777;
  const InstanceCase cases[] = {
      {"TZ594K_FwLoader_V101", "", true, 801, "This program is running.", true},
      {"TZ594K_FwLoader_V101", "", false, 801, "This program is running.", true},
      {"TZ594K_FwLoader_V101", "/AU", true, 801, "This program is running.", false},
      {"KVT_FwDownloadWnd", "/LE", false, 801, "Another download program is running.", true},
      {"KVT_FwLauncherWnd", "", true, 801, "This program is running.", true},
      {"KVT_FwLauncherWnd", "/AU", false, 801, "This program is running.", false},
      // A detection run asks no one, also when another loader or the launcher runs.
      {"KVT_FwDownloadWnd", "/DC", true, 801, "Another download program is running.", false},
      {"KVT_FwLauncherWnd", "DetectionCheck", false, 801, "This program is running.", false},
      // The launcher started us: its window is expected.
      {"KVT_FwLauncherWnd", "/LauncherLoading", false, -1, "", false},
      {"KVT_FwLauncherWnd", "/LauncherRunCheck /AU", false, -1, "", false},
  };
  for (const InstanceCase& c : cases) {
    test::Fixture f;
    f.host.system.set_version(2, 10, 0, 19045);
    f.host.windows.other_windows.push_back({c.running_class, other});
    if (c.minimised) f.host.windows.minimised.insert(other);
    const std::int32_t exit_code = program_entry(*f.ctx, c.arguments);
    const std::string label = std::string(c.running_class) + " " + c.arguments;
    if (c.code == -1) {
      EXPECT_NE(result_code(f.ctx->app.result), 801) << label;
      EXPECT_TRUE(f.host.windows.foreground_calls.empty()) << label;
      continue;
    }
    EXPECT_EQ(exit_code, 8) << label;
    EXPECT_EQ(result_code(f.ctx->app.result), c.code) << label;
    EXPECT_STREQ(result_message(f.ctx->app.result), c.message) << label;
    if (c.activated) {
      ASSERT_EQ(f.host.windows.message_boxes.size(), 1u) << label;
      EXPECT_EQ(f.host.windows.message_boxes[0].text, c.message);
      EXPECT_EQ(f.host.windows.message_boxes[0].caption, "F/W Loader  TZ594K for ZEMO V1.01");
      EXPECT_EQ(f.host.windows.message_boxes[0].flags, platform::mb_iconhand | platform::mb_setforeground);
      ASSERT_EQ(f.host.windows.foreground_calls.size(), 1u) << label;
      EXPECT_EQ(f.host.windows.foreground_calls[0], other);
      // The message first, then restored only when minimised, then brought to the front.
      const std::vector<std::string> order = c.minimised
                                                 ? std::vector<std::string>{"message box", "restore", "foreground"}
                                                 : std::vector<std::string>{"message box", "foreground"};
      EXPECT_EQ(f.host.windows.activation_log, order) << label;
    } else {
      EXPECT_TRUE(f.host.windows.message_boxes.empty()) << label;
      EXPECT_TRUE(f.host.windows.foreground_calls.empty()) << label;
      EXPECT_EQ(f.host.windows.is_iconic(other), c.minimised) << label;
    }
    EXPECT_FALSE(f.host.windows.main_window_alive) << label;
  }
}

TEST(InstanceChecks, WithSeveralWindowsTheFirstFoundIsActivated) {
  struct Case {
    const char* name;
    const char* second_class;  // runs beside the other loader (window 0x1111) as window 0x2222
    const char* arguments;
    platform::Handle activated;
  } cases[] = {
      // The own class is looked for before the other loader.
      {"own instance and the other loader", "TZ594K_FwLoader_V101", "/LauncherLoading", 0x2222},
      // The launcher check records over the first message, but the first window is brought forward.
      {"other loader and the launcher", "KVT_FwLauncherWnd", "", 0x1111},
  };
  for (const Case& c : cases) {
    test::Fixture f;
    f.host.system.set_version(2, 10, 0, 19045);
    f.host.windows.other_windows.push_back({"KVT_FwDownloadWnd", 0x1111});
    f.host.windows.other_windows.push_back({c.second_class, 0x2222});
    EXPECT_EQ(program_entry(*f.ctx, c.arguments), 8) << c.name;
    EXPECT_STREQ(result_message(f.ctx->app.result), "This program is running.") << c.name;
    ASSERT_EQ(f.host.windows.foreground_calls.size(), 1u) << c.name;
    EXPECT_EQ(f.host.windows.foreground_calls[0], c.activated) << c.name;
  }
}

TEST(ProgramEntry, MainWindowThatCannotBeCreatedIsAnInitializeError) {
  for (const char* arguments : {"", "/AU"}) {
    test::Fixture f;
    f.host.system.set_version(2, 10, 0, 19045);
    f.host.windows.fail_create = true;
    f.host.windows.other_windows.push_back({"KVT_FwLauncherWnd", 0x2222});
    EXPECT_EQ(program_entry(*f.ctx, arguments), 8);
    EXPECT_EQ(result_code(f.ctx->app.result), 800);
    EXPECT_STREQ(result_message(f.ctx->app.result), "Initialize error.");
    const bool silent = std::strcmp(arguments, "/AU") == 0;
    ASSERT_EQ(f.host.windows.message_boxes.size(), silent ? 0u : 1u);
    if (!silent) {
      EXPECT_EQ(f.host.windows.message_boxes[0].text, "Initialize error.");
      EXPECT_EQ(f.host.windows.message_boxes[0].owner, platform::null_handle);
    }
    EXPECT_TRUE(f.host.windows.foreground_calls.empty());  // the other instance is left alone here
    EXPECT_TRUE(f.host.windows.destroyed.empty());
  }
}

TEST(ProgramEntry, InvalidSwitchesShowTheirScreenUnlessSilent) {
  struct Case {
    const char* arguments;
    const char* locale;
    std::uint16_t screen;  // 0: none
  } cases[] = {{"/NOPE", "00000409", 219},
               {"/NOPE", "00000411", 218},
               {"/LE /CO /CO", "00000411", 219},
               {"/AU /NOPE", "00000409", 0},
               {"X/AU", "00000409", 0}};
  for (const Case& c : cases) {
    test::Fixture f;
    f.host.system.set_version(2, 10, 0, 19045);
    f.host.system.set_locale(c.locale);
    EXPECT_EQ(program_entry(*f.ctx, c.arguments), 7) << c.arguments;
    const std::vector<std::uint16_t> opened = f.host.dialogs.opened_templates();
    if (c.screen == 0) {
      EXPECT_TRUE(opened.empty()) << c.arguments;
    } else {
      EXPECT_EQ(opened, std::vector<std::uint16_t>{c.screen}) << c.arguments;
    }
  }
}

TEST(ProgramEntry, InvalidSwitchesEndWithTheirExitCode) {
  struct Case {
    const char* arguments;
    std::int32_t exit_code;
  } cases[] = {{"/AU /NOPE", 7}, {"/AU /CO /CO", 7}, {"/AU /LFO /FVP", 8}, {"/AU\t/LE", 7}};
  for (const Case& c : cases) {
    test::Fixture f;
    f.host.system.set_version(2, 10, 0, 19045);
    EXPECT_EQ(program_entry(*f.ctx, c.arguments), c.exit_code) << c.arguments;
  }
}

}  // namespace
}  // namespace tz
