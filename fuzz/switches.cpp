// The command line through both start-up scans and the strict check of the run flow, as the
// program receives it: one text, ending at its first NUL.
#include "app/switches.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "app/context.h"
#include "fuzz/require.h"
#include "platform/host/host_os.h"

namespace {

bool scans_keep_to_their_switches(const tz::RunSwitches& first, const tz::RunSwitches& launcher) {
  return first.launcher_loading == 0 && first.launcher_run_check == 0 && first.copyright_print == 0 &&
         first.version_print == 0 && first.detail_print == 0 && first.access_bits == 0 && first.ignore_power == 0 &&
         launcher.english == first.english && launcher.silent == first.silent &&
         launcher.log_output == first.log_output && launcher.detection_check == first.detection_check &&
         launcher.copyright_print == 0 && launcher.version_print == 0 && launcher.detail_print == 0 &&
         launcher.access_bits == 0 && launcher.ignore_power == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static tz::platform::host::HostOs host;
  const std::string arguments(reinterpret_cast<const char*>(data), size);
  // One place for the context, made afresh for every input without going through the heap.
  static std::optional<tz::Context> context;
  tz::Context* const ctx = &context.emplace(host.os());

  tz::first_switch_scan(*ctx, arguments.c_str());
  const tz::RunSwitches first = ctx->app.switches;
  tz::launcher_switch_scan(*ctx, arguments.c_str());
  tz::fuzz::require(scans_keep_to_their_switches(first, ctx->app.switches), "each scan sets only its own switches");

  const int valid = tz::validate_switches(*ctx, arguments.c_str());
  const tz::RunResult& result = ctx->app.result;
  tz::fuzz::require(valid == 0 || valid == -1, "the check answers 0 or -1");
  tz::fuzz::require(std::memchr(result.message, '\0', sizeof(result.message)) != nullptr, "the message ends");
  tz::fuzz::require(result.code == -1 || ((result.code == 700 || result.code == 701) && valid == -1),
                    "only a refused command line records 700 or 701");
  const tz::RunSwitches& sw = ctx->app.switches;
  tz::fuzz::require(sw.access_bits == 0 || sw.access_bits == tz::access_bit_a || sw.access_bits == tz::access_bit_b,
                    "one access token at most");
  tz::fuzz::require(valid != 0 || sw.detection_check == 0 ||
                        (sw.log_output == 0 && sw.copyright_print == 0 && sw.version_print == 0 &&
                         sw.detail_print == 0 && sw.launcher_loading == 0 && sw.launcher_run_check == 0),
                    "an accepted detection run has nothing beside it that it could not keep");
  return 0;
}
