#!/usr/bin/env bash
# Every test: installs what is missing, builds both presets, runs the native suite (plain, under
# the address and undefined-behaviour sanitizers and under the thread sanitizer), the fuzzers
# briefly, and the Windows tests under Wine.
#   test.sh [--emulate]   --emulate (or TZ594K_I386=emulated): 32-bit code under qemu-i386
#                         emulation even where the machine runs it itself
set -euo pipefail
cd "$(dirname "$0")/.."
for option in "$@"; do
  case "$option" in
    --emulate) export TZ594K_I386=emulated ;;
    *) echo "usage: test.sh [--emulate]" >&2; exit 2 ;;
  esac
done
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
# The fault matrix, the soak, the traced-against-plain table and the trace reader's run outcomes
# repeat whole runs that the suite's other whole runs already take through every thread; under
# this sanitizer they would only add minutes.
ctest --preset native-tsan -E 'FaultMatrix|Soak|ATracedRunSendsExactly|EveryRunOutcomeGetsTheVerdict' -j2
# Every fuzzer briefly (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer);
# scripts/fuzz-long.sh runs them at length.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
fuzz/run.sh 10

# The Windows part. Its first line says how this machine runs our 32-bit programs under Wine, and
# so which of the Windows tests run; the others are reported skipped, with the reason.
export TZ594K_I386_MODE="$(scripts/i386.sh mode)"
case "$TZ594K_I386_MODE" in
  native)
    echo "== Windows tests: every test under Wine (this machine runs 32-bit programs natively)" ;;
  emulated)
    if [ "${TZ594K_I386:-}" = emulated ]; then why="emulation forced by TZ594K_I386=emulated"; else why="this machine cannot run them itself"; fi
    echo "== Windows tests: every test under Wine, emulated (32-bit programs run under qemu-i386 emulation: $why)" ;;
  *)
    echo "== Windows tests: the build and its import checks only (this machine cannot run 32-bit programs, not even under qemu-i386 emulation); every test under Wine is reported skipped" ;;
esac
cmake --preset windows >/dev/null
cmake --build --preset windows
# Two lanes, one a core: each Wine test runs in a lane with a prefix, a wineserver and a display of
# its own (tests/e2e/tier.sh), two tests at a time.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows
