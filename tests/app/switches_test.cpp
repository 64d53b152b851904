#include "app/switches.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/fixture.h"

namespace tz {
namespace {

struct ScanCase {
  const char* arguments;
  std::uint32_t english, silent, log_output, launcher_loading, launcher_run_check, detection_check;
};

// The scans find a switch anywhere, also inside a longer word, and never fail.
TEST(SwitchScans, SetFieldsWhereverTheSwitchStands) {
  const ScanCase cases[] = {
      {"", 0, 0, 0, 0, 0, 0},
      {"/AU", 0, 1, 0, 0, 0, 0},
      {"/au", 0, 1, 0, 0, 0, 0},
      {"/Au /lE", 1, 1, 0, 0, 0, 0},
      {"/AUX", 0, 0, 0, 0, 0, 0},  // no blank or end after the switch
      {"X/AU", 0, 1, 0, 0, 0, 0},  // not anchored
      {"LanguageEnglish LogFileOutput", 1, 0, 1, 0, 0, 0},
      {"languageenglish", 0, 0, 0, 0, 0, 0},  // long words are exact
      {"/lfo\t/AU", 0, 1, 0, 0, 0, 0},        // a tab is an ordinary character
      {"/lfo", 0, 0, 1, 0, 0, 0},
      {"/lFo /aU", 0, 1, 1, 0, 0, 0},
      {"/LauncherLoadingXYZ", 0, 0, 0, 1, 0, 0},
      {"/LauncherRunCheck /AU", 0, 1, 0, 0, 1, 0},
      {"/launcherloading", 0, 0, 0, 0, 0, 0},
      {"/dC LanguageEnglish", 1, 0, 0, 0, 0, 1},
      {"DetectionCheck", 0, 0, 0, 0, 0, 1},
      {"detectioncheck /DCX", 0, 0, 0, 0, 0, 0},
  };
  for (const ScanCase& c : cases) {
    test::Fixture f;
    first_switch_scan(*f.ctx, c.arguments);
    launcher_switch_scan(*f.ctx, c.arguments);
    const RunSwitches& s = f.ctx->app.switches;
    EXPECT_EQ(s.english, c.english) << c.arguments;
    EXPECT_EQ(s.silent, c.silent) << c.arguments;
    EXPECT_EQ(s.log_output, c.log_output) << c.arguments;
    EXPECT_EQ(s.launcher_loading, c.launcher_loading) << c.arguments;
    EXPECT_EQ(s.launcher_run_check, c.launcher_run_check) << c.arguments;
    EXPECT_EQ(s.detection_check, c.detection_check) << c.arguments;
  }
}

TEST(SwitchScans, TheTraceSwitchInEitherCaseTheLongWordExact) {
  const struct Case {
    const char* arguments;
    std::uint32_t trace_output;
  } cases[] = {
      {"/TRO", 1}, {"/tro /AU", 1}, {"TraceOutput", 1}, {"traceoutput", 0}, {"/TROX", 0}, {"/LFO", 0},
  };
  for (const Case& c : cases) {
    test::Fixture f;
    first_switch_scan(*f.ctx, c.arguments);
    EXPECT_EQ(f.ctx->app.switches.trace_output, c.trace_output) << c.arguments;
  }
}

struct ValidateCase {
  std::string arguments;
  int result;
  std::int32_t code;    // recorded code, -1 for none
  std::string message;  // recorded message
};

std::string token_a() { return access_token_a(); }
std::string token_b() { return access_token_b(); }

TEST(ValidateSwitches, StrictScanAndCombinations) {
  const ValidateCase cases[] = {
      {"", 0, -1, ""},
      {"/AU /LE LanguageEnglish", 0, -1, ""},
      {"/AU /AU /le /LE", 0, -1, ""},  // these may repeat
      {"/lfo /LFO /lFo", 0, -1, ""},
      {"  /CO  ", 0, -1, ""},
      {"/FVP FwVersionDetailPrint " + token_a(), 0, -1, ""},
      {token_b() + " FwVersionDetailPrint", 0, -1, ""},
      {"/LauncherLoading /LauncherRunCheck /LFO", 0, -1, ""},
      {"/LFO /CO", 0, -1, ""},  // the log may go with the copyright screen
      {"/AU /ip /LFO", 0, -1, ""},
      {"IgnorePower", 0, -1, ""},
      {"/IP /Ip", -1, 701, "/Ip"},
      {"/IP IgnorePower", -1, 701, "IgnorePower"},
      {"ignorepower", -1, 700, "Option mismatched."},
      {"/IPX", -1, 700, "Option mismatched."},
      {"/FVP FwVersionPrint", -1, 701, "FwVersionPrint"},
      // The first scan has set the trace switch already: given once, it is no duplicate.
      {"/AU /tro /LFO", 0, -1, ""},
      {"TraceOutput", 0, -1, ""},
      {"/TRO /Tro", -1, 701, "/Tro"},
      {"/TRO TraceOutput", -1, 701, "TraceOutput"},
      {"traceoutput", -1, 700, "Option mismatched."},
      {"/AUX", -1, 700, "Option mismatched."},
      {"X/AU", -1, 700, "Option mismatched."},
      {"/AU\t/LE", -1, 700, "Option mismatched."},
      {"\"/AU\"", -1, 700, "Option mismatched."},
      {"/LauncherLoadingXYZ", -1, 700, "Option mismatched."},
      {"/CO /CO", -1, 701, "/CO"},
      {"/co CopyrightPrint", -1, 701, "CopyrightPrint"},
      {"/FVP /fvp", -1, 701, "/fvp"},
      {"FwVersionDetailPrint FwVersionDetailPrint " + token_a(), -1, 701, "FwVersionDetailPrint"},
      {token_a() + " " + token_b() + " FwVersionDetailPrint", -1, 701, token_b()},
      {token_a() + " " + token_a(), -1, 701, token_a()},
      {token_a(), -1, 700, "Option mismatched."},  // a token needs the detailed listing
      {token_a() + "x FwVersionDetailPrint", -1, 700, "Option mismatched."},
      // Step 2 refuses these without recording anything.
      {"FwVersionDetailPrint", -1, -1, ""},
      {"/LFO /FVP", -1, -1, ""},
      {"LogFileOutput FwVersionDetailPrint " + token_b(), -1, -1, ""},
      // Detection: once, either form, beside the language and "/AU" only.
      {"/DC /AU /LE", 0, -1, ""},
      {"LanguageEnglish DetectionCheck", 0, -1, ""},
      {"/DC /dc", -1, 701, "/dc"},
      {"/dc DetectionCheck", -1, 701, "DetectionCheck"},
      {"detectionCheck", -1, 700, "Option mismatched."},
      {"/DC /LFO", -1, 700, "Option mismatched."},
      {"/FVP /DC", -1, 700, "Option mismatched."},
      {"DetectionCheck FwVersionDetailPrint " + token_a(), -1, 700, "Option mismatched."},
      {"/LauncherLoading /DC", -1, 700, "Option mismatched."},
      {"/DC /TRO", -1, 700, "Option mismatched."},
      {"IgnorePower /DC", -1, 700, "Option mismatched."},
  };
  for (const ValidateCase& c : cases) {
    test::Fixture f;
    // Both scans run before the check, as at start-up.
    first_switch_scan(*f.ctx, c.arguments.c_str());
    launcher_switch_scan(*f.ctx, c.arguments.c_str());
    EXPECT_EQ(validate_switches(*f.ctx, c.arguments.c_str()), c.result) << c.arguments;
    EXPECT_EQ(result_code(f.ctx->app.result), c.code) << c.arguments;
    EXPECT_EQ(std::string(result_message(f.ctx->app.result)), c.message) << c.arguments;
  }
}

TEST(SwitchScans, ATooLongTextIsNeverCutIntoASwitch) {
  // The work area ends right after "/AU" of "/AUX": the cut word must not count as "/AU".
  for (const char* tail : {" /AUX", " /LEX", " /LFOO"}) {
    test::Fixture f;
    std::string args(switch_work_area_size - 4, 'x');
    args += tail;
    first_switch_scan(*f.ctx, args.c_str());
    EXPECT_EQ(f.ctx->app.switches.silent, 0u) << tail;
    EXPECT_EQ(f.ctx->app.switches.english, 0u) << tail;
    EXPECT_EQ(f.ctx->app.switches.log_output, 0u) << tail;
    EXPECT_EQ(validate_switches(*f.ctx, args.c_str()), -1);
    EXPECT_EQ(result_code(f.ctx->app.result), 700);
  }
}

TEST(ValidateSwitches, SetsThePrintSwitchesAndTheToken) {
  const struct Case {
    std::string token;
    std::uint32_t bits;
  } cases[] = {{token_a(), 0x100}, {token_b(), 0x200}};
  for (const Case& c : cases) {
    test::Fixture f;
    const std::string args = "/CO FwVersionPrint FwVersionDetailPrint " + c.token;
    ASSERT_EQ(validate_switches(*f.ctx, args.c_str()), 0) << c.token;
    const RunSwitches& s = f.ctx->app.switches;
    EXPECT_EQ(s.ignore_power, 0u);
    EXPECT_EQ(s.copyright_print, 1u);
    EXPECT_EQ(s.version_print, 1u);
    EXPECT_EQ(s.detail_print, 1u);
    EXPECT_EQ(s.access_bits, c.bits) << c.token;
  }
}

TEST(ValidateSwitches, SetsTheOverrideOfThePowerCheck) {
  for (const char* args : {"/IP", "/ip /AU", "IgnorePower /LFO"}) {
    test::Fixture f;
    first_switch_scan(*f.ctx, args);
    ASSERT_EQ(validate_switches(*f.ctx, args), 0) << args;
    EXPECT_EQ(f.ctx->app.switches.ignore_power, 1u) << args;
  }
}

TEST(ValidateSwitches, ArgumentTextLongerThanTheWorkAreaIsRefused) {
  for (const std::size_t length : {switch_work_area_size - 1, switch_work_area_size, 100000ul}) {
    test::Fixture f;
    std::string args;
    while (args.size() < length) args += "/AU ";
    args.resize(length, ' ');
    first_switch_scan(*f.ctx, args.c_str());
    launcher_switch_scan(*f.ctx, args.c_str());
    EXPECT_EQ(f.ctx->app.switches.silent, 1u);
    const int expected = length < switch_work_area_size ? 0 : -1;
    EXPECT_EQ(validate_switches(*f.ctx, args.c_str()), expected) << length;
    if (expected != 0) {
      EXPECT_EQ(result_code(f.ctx->app.result), 700);
    }
  }
}

}  // namespace
}  // namespace tz
