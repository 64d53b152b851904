// tz594k-replay TRACE: replays a trace through the program on the emulated system, as the trace's
// header says it ran, and says whether the run ended as the trace's footer says with every
// command as the trace has it. Exit code 0 when it did, 1 when not, 2 when the trace does not read.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "tests/golden/replay_run.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tz594k-replay TRACE\n", stderr);
    return 2;
  }
  tz::sim::TraceFile trace;
  std::string error;
  if (!tz::sim::load_trace(argv[1], trace, error)) {
    std::fprintf(stderr, "tz594k-replay: %s: %s\n", argv[1], error.c_str());
    return 2;
  }
  const char* temporary = std::getenv("TMPDIR");
  std::string folder =
      std::string(temporary != nullptr && temporary[0] != '\0' ? temporary : "/tmp") + "/tz594k-replay-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    std::fputs("tz594k-replay: cannot make a folder\n", stderr);
    return 2;
  }
  tz::golden::ReplayOutcome outcome;
  const bool ran = tz::golden::replay_through_program(argv[1], trace, folder, outcome, error);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  if (!ran) {
    std::fprintf(stderr, "tz594k-replay: %s: %s\n", argv[1], error.c_str());
    return 2;
  }
  std::printf("exit code %d, result %d \"%s\", %u commands played, %u left\n", outcome.exit_code, outcome.result_code,
              outcome.message.c_str(), outcome.played, outcome.left);
  const std::string wrong = tz::golden::differences(trace, outcome);
  if (wrong.empty()) {
    std::puts("as the trace says");
    return 0;
  }
  std::printf("%s\n", wrong.c_str());
  return 1;
}
