// A trace file's text through the simulator's reader, as a replay drive and the replay check take
// it: a trace that reads is replayed (its first commands sent back to it, then one it does not
// expect) and checked against a transcript made of its own commands, which must agree with it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/require.h"
#include "sim/replay.h"
#include "sim/replay_check.h"
#include "sim/trace_file.h"

namespace {

constexpr std::size_t commands_replayed = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto trace = std::make_shared<tz::sim::TraceFile>();
  std::string error;
  if (!tz::sim::parse_trace(text, *trace, error)) {
    tz::fuzz::require(error.rfind("line ", 0) == 0, "a refused trace names its line");
    return 0;
  }

  // The transcript a run would leave that sent every command to the drives exactly as traced.
  std::string transcript;
  std::vector<std::string> addresses;
  for (const tz::sim::TraceCommand& c : trace->commands) {
    if (c.answer == tz::sim::TraceAnswer::none) continue;
    // Addresses a transcript line cannot carry, and identity reads no drive would take, are not
    // what a run leaves.
    if (c.address.find_first_of(" \t\r\n#\"=") != std::string::npos) return 0;
    if (!tz::sim::same_cdb(c.cdb, c.cdb, tz::sim::trace_cdb_bytes)) return 0;
    addresses.push_back(c.address);
    char status[32] = "fail";
    if (c.answer == tz::sim::TraceAnswer::timeout) std::snprintf(status, sizeof(status), "hang");
    if (c.answer == tz::sim::TraceAnswer::status) {
      std::snprintf(status, sizeof(status), "%02X", static_cast<unsigned>(c.status));
      if (c.status == tz::sim::status_check_condition) {
        std::snprintf(status, sizeof(status), "02 sense=%02X/%02X/%02X", static_cast<unsigned>(c.sense.key),
                      static_cast<unsigned>(c.sense.asc), static_cast<unsigned>(c.sense.ascq));
      }
    }
    transcript += c.address + " cdb=" + tz::sim::hex_bytes(c.cdb, tz::sim::trace_cdb_bytes) +
                  " dir=" + tz::sim::direction_word(c.direction) + " len=" + std::to_string(c.length) +
                  " status=" + status + "\n";
  }
  const tz::sim::CheckResult check = tz::sim::check_transcript(*trace, transcript);
  tz::fuzz::require(check.same, "a trace agrees with the transcript of its own commands");

  tz::sim::Replay replay(trace, addresses);
  std::vector<std::uint8_t> buffer(tz::sim::trace_length_limit);
  std::size_t sent = 0;
  for (const tz::sim::TraceCommand& c : trace->commands) {
    if (c.answer == tz::sim::TraceAnswer::none || sent++ == commands_replayed) break;
    // A write sends what the trace's digest was taken of only by chance: it may be refused.
    replay.answer(c.cdb, tz::sim::trace_cdb_bytes, c.direction, buffer.data(), c.length);
  }
  const std::uint8_t unknown[12] = {0x5A};
  const tz::sim::Outcome out = replay.answer(unknown, sizeof(unknown), tz::sim::Direction::none, nullptr, 0);
  tz::fuzz::require(out.status == tz::sim::status_check_condition && replay.mismatched(),
                    "a command the trace does not hold is refused");
  return 0;
}
