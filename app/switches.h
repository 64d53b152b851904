#pragma once
// The command line: the two forgiving scans at start-up and the strict check of the run flow.
#include <cstddef>
#include <cstdint>

namespace tz {

struct Context;

struct RunSwitches {
  std::uint32_t english = 0;
  std::uint32_t silent = 0;
  std::uint32_t log_output = 0;
  std::uint32_t launcher_loading = 0;
  std::uint32_t launcher_run_check = 0;
  std::uint32_t copyright_print = 0;
  std::uint32_t version_print = 0;
  std::uint32_t detail_print = 0;
  std::uint32_t access_bits = 0;  // 0x100 token A, 0x200 token B
};

inline constexpr std::uint32_t access_bit_a = 0x100;
inline constexpr std::uint32_t access_bit_b = 0x200;

// The work area the scans walk. A longer argument text is cut for the scans and refused by
// validate_switches as an invalid option.
inline constexpr std::size_t switch_work_area_size = 2048;

// The hidden-mode access tokens (15 and 22 characters) that unlock the detailed version listing.
const char* access_token_a();
const char* access_token_b();

void first_switch_scan(Context& ctx, const char* arguments);
void launcher_switch_scan(Context& ctx, const char* arguments);
// 0 when the switches are acceptable, -1 otherwise; may record 700 or 701.
int validate_switches(Context& ctx, const char* arguments);

}  // namespace tz
