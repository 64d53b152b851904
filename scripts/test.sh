#!/usr/bin/env bash
# Every test: installs what is missing, builds both presets, runs the native suite (plain, under
# the address and undefined-behaviour sanitizers and under the thread sanitizer), the fuzzers
# briefly, and the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j2
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize
ctest --preset native-sanitize -j2
# The same suite under ThreadSanitizer: the update worker, the ASPI completion thread, the clock.
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan
# The fault matrix and the soak repeat whole runs that the suite's other whole runs already take
# through every thread; under this sanitizer they would only add minutes.
ctest --preset native-tsan -E 'FaultMatrix|Soak'
# Every fuzzer briefly (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer);
# scripts/fuzz-long.sh runs them at length.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run.sh 10
cmake --preset windows >/dev/null
cmake --build --preset windows
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows
