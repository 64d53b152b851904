#pragma once
// The screens' shared state: formatting buffer, progress window and bars, processing window,
// worker result.
#include <cstddef>

namespace tz {

inline constexpr std::size_t formatting_buffer_size = 4608;

struct UiState {
  char formatting_buffer[formatting_buffer_size] = {};
};

}  // namespace tz
