#!/usr/bin/env bash
# The main job: builds the Windows program and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
set +e
scripts/wine-run.sh build/windows/TZ594K_for_ZEMO_V101.exe /AU /LE
rc=$?
set -e
echo "TZ594K_for_ZEMO_V101.exe exit code: $rc"
