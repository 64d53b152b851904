// Traces replayed through the program: a trace the program writes replays to the same end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/context.h"
#include "tests/golden/replay_run.h"
#include "tests/reliability/whole_run.h"

namespace tz::golden {
namespace {

using reliability::Machine;
using reliability::Via;

struct Folder {
  std::string path;
  Folder() {
    path = (std::filesystem::temp_directory_path() /
            ("tz594k-golden-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
               .string();
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    std::filesystem::create_directories(path);
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

TEST(Trace, WrittenByAnUpdateReplaysToTheSameEnd) {
  for (const Via via : {Via::pass_through, Via::aspi}) {
    Folder folder;
    Machine m(via);
    sim::DriveSettings s;
    s.tray_open = true;
    m.add(s);
    m.host.files.set_current_folder(folder.path);
    EXPECT_EQ(m.run("/AU /TRO"), 0);
    const std::string written = m.host.files.disk_path(m.ctx->trace.path);
    sim::TraceFile trace;
    std::string error;
    ASSERT_TRUE(sim::load_trace(written.c_str(), trace, error)) << error;
    ReplayOutcome outcome;
    ASSERT_TRUE(replay_through_program(written, trace, folder.path, outcome, error)) << error;
    EXPECT_EQ(differences(trace, outcome), "") << reliability::via_name(via);
    EXPECT_GT(outcome.played, 4000u);
  }
}

}  // namespace
}  // namespace tz::golden
