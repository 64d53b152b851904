#include "core/run_result.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/run_flow.h"
#include "tests/support/fixture.h"

namespace tz {
namespace {

struct CodeCase {
  std::int32_t code;
  std::int32_t exit_code;
  const char* label;
  ScreenPair screen;
  bool log_interactive;
  bool log_silent;
};

TEST(RunResult, EveryCodeMapsToItsExitCodeLabelScreenAndLog) {
  const CodeCase cases[] = {
      {-1, 8, "(OTHER ERROR)", {0, 0}, false, false},        {0, 0, "[SUCCESS]", {143, 201}, false, false},
      {100, 1, "[DRIVE NOT FOUND]", {0, 0}, false, true},    {101, 1, "[LAUNCH OTHER PROGRAM]", {0, 0}, false, true},
      {200, 2, "[F/W FILE NOT FOUND]", {0, 0}, false, true}, {300, 3, "[ILLEGAL F/W FILE]", {151, 193}, false, true},
      {400, 4, "[F/W FILE UNMATCHED]", {0, 0}, false, true}, {401, 99, "[F/W ALREADY UPDATED]", {0, 0}, false, true},
      {500, 5, "[UPDATE FAILED]", {151, 193}, true, true},   {600, 6, "[VERIFY FAILED]", {151, 193}, true, true},
      {700, 7, "[INVALID OPTION]", {0, 0}, false, true},     {701, 7, "[DUPLICATE OPTION]", {0, 0}, false, true},
      {800, 8, "[OTHER ERROR]", {0, 0}, false, true},        {801, 8, "[MULTIPLE EXECUTION]", {0, 0}, false, true},
      {802, 8, "[EJECT FAILED]", {230, 231}, false, true},   {1001, 8, "[INTERRUPT]", {160, 196}, true, true},
      {1002, 8, "[ABORT]", {174, 189}, true, true},          {402, 8, "(OTHER ERROR)", {0, 0}, false, false},
      {999999, 8, "(OTHER ERROR)", {0, 0}, false, false},
  };
  for (const CodeCase& c : cases) {
    EXPECT_EQ(exit_code_for(c.code), c.exit_code) << c.code;
    EXPECT_STREQ(log_label_for(c.code), c.label) << c.code;
    EXPECT_EQ(result_screen_for(c.code).japanese, c.screen.japanese) << c.code;
    EXPECT_EQ(result_screen_for(c.code).english, c.screen.english) << c.code;
    EXPECT_EQ(result_log_due(c.code, false), c.log_interactive) << c.code;
    EXPECT_EQ(result_log_due(c.code, true), c.log_silent) << c.code;
  }
}

TEST(RunResult, LastRecordWinsAndFinishRunSetsTheExitCode) {
  test::Fixture f;
  Context& ctx = *f.ctx;
  EXPECT_EQ(result_code(ctx.app.result), -1);
  EXPECT_STREQ(result_message(ctx.app.result), "");
  finish_run(ctx);
  EXPECT_EQ(ctx.app.exit_code, 8);  // nothing recorded

  record_result(ctx.app.result, 500, "Download error.(31)");
  record_result(ctx.app.result, 0, "");  // a good retry leaves no trace of the failure
  EXPECT_EQ(result_code(ctx.app.result), 0);
  EXPECT_STREQ(result_message(ctx.app.result), "");
  record_result(ctx.app.result, 401, "Drive F/W already updated.(1)");
  finish_run(ctx);
  EXPECT_EQ(ctx.app.exit_code, 99);
}

TEST(RunResult, MessageCopyIsBoundedToTheBuffer) {
  test::Fixture f;
  const std::string long_message(5000, 'm');
  record_result(f.ctx->app.result, 800, long_message.c_str());
  const char* stored = result_message(f.ctx->app.result);
  EXPECT_EQ(std::strlen(stored), sizeof(RunResult::message) - 1);
  EXPECT_EQ(std::string(stored), long_message.substr(0, sizeof(RunResult::message) - 1));
}

TEST(BuildConfiguration, SwitchesStartOnAndLabelsCarryTheirValues) {
  const BuildSwitches build;
  EXPECT_EQ(build.EXEC_BOOT_SYSTEM_NUMBER, 1u);
  EXPECT_EQ(build.SYNC_BOOT_SYSTEM_NUMBER, 1u);
  EXPECT_EQ(build.COMPARE_SEND_DATA_NUMBER, 1u);
  EXPECT_EQ(build.VERIFY_PROCESS_NUMBER, 1u);
  EXPECT_EQ(build.eject_switch, 1u);
  EXPECT_STREQ(build_description(0), "[EXE_FILE_NAME=TZ594K_for_ZEMO_V101]");
  EXPECT_STREQ(build_description(2), "[DIALOG_TITLE_BAR_STRING=F/W Loader  TZ594K for ZEMO V1.01]");
  EXPECT_STREQ(build_description(10), "[EXEC_BOOT_SYSTEM_NUMBER=1]");
  EXPECT_STREQ(build_description(13), "[VERIFY_PROCESS_NUMBER=1]");
  EXPECT_STREQ(build_description(15), "[VENDOR_CODE_SPEC_CHECK_NUMBER=1]");
  EXPECT_EQ(build_description(16), nullptr);
}

}  // namespace
}  // namespace tz
