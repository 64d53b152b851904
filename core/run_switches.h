#pragma once
// The switches of the command line, as the scans of start-up leave them for every floor to read.
#include <cstdint>

namespace tz {

struct RunSwitches {
  std::uint32_t english = 0;
  std::uint32_t silent = 0;
  std::uint32_t log_output = 0;
  std::uint32_t trace_output = 0;
  std::uint32_t launcher_loading = 0;
  std::uint32_t launcher_run_check = 0;
  std::uint32_t copyright_print = 0;
  std::uint32_t version_print = 0;
  std::uint32_t detail_print = 0;
  // Detection for endpoint-management tools: INQUIRY of each drive and nothing else, no screen.
  std::uint32_t detection_check = 0;
  std::uint32_t access_bits = 0;  // 0x100 token A, 0x200 token B
  // "/IP", "IgnorePower": the ROM is rewritten on battery power too. Set by the strict check.
  std::uint32_t ignore_power = 0;
};

inline constexpr std::uint32_t access_bit_a = 0x100;
inline constexpr std::uint32_t access_bit_b = 0x200;

}  // namespace tz
