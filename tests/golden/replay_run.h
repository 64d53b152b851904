#pragma once
// A trace replayed through the program on the emulated system: the Windows version and the
// arguments the trace's header gives, a bay of drives that play the trace at every address its
// answered commands went to, and the run's outcome beside what the trace's footer says. Used by
// the golden traces of the native suite and by tz594k-replay, which the Wine tests run on traces
// the real exe wrote. Carries no test framework.
#include <cstdint>
#include <string>

#include "sim/trace_file.h"
#include "sim/transcript.h"

namespace tz::golden {

struct ReplayOutcome {
  std::int32_t exit_code = -1;
  std::int32_t result_code = -1;
  std::string message;
  std::uint32_t played = 0;      // trace commands the drives answered
  std::uint32_t left = 0;        // trace commands to the drives that never came
  std::string mismatch;          // the first command a drive did not expect, or empty
  std::uint32_t mismatch_n = 0;  // its number in the trace (0: after the trace's last)
  std::string written_trace;     // the trace this run wrote, when its arguments ask for one
};

// Runs the program once. `folder` is a writable folder of the test's: the bay goes there, and it is
// the current folder of the emulated system (where a silent run writes its log and trace). False,
// with the reason, when the trace does not say enough to be replayed.
// With `transcript`, every command the drives received goes there too.
bool replay_through_program(const std::string& trace_path, const sim::TraceFile& trace, const std::string& folder,
                            ReplayOutcome& outcome, std::string& error, sim::TranscriptFile* transcript = nullptr);

// Empty when the outcome is what the trace recorded: the same exit code, result code and message,
// every command played and none that the trace did not have. Else what differs.
std::string differences(const sim::TraceFile& trace, const ReplayOutcome& outcome);

}  // namespace tz::golden
