#pragma once
// Stops the fuzzer with a report when something the program promises does not hold.
#include <cstdio>
#include <cstdlib>

namespace tz::fuzz {

inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

}  // namespace tz::fuzz
