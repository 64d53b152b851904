#pragma once
// Heap allocations made through operator new since the program started, counted by a replacement
// operator new linked into the benchmark.
#include <cstdint>

namespace tz::bench {

std::uint64_t allocations();

}  // namespace tz::bench
