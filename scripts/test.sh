#!/usr/bin/env bash
# Every test: installs what is missing, builds both presets, runs the native suite (plain and under
# the sanitizers) and the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native
# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset native-sanitize >/dev/null
cmake --build --preset native-sanitize
ctest --preset native-sanitize
cmake --preset windows >/dev/null
cmake --build --preset windows
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows
