#!/usr/bin/env bash
# The main job: builds the Windows program with our simulated ASPI layer beside it and runs it under
# Wine (reporting Windows 98, where the program takes ASPI) against a bay of simulated drives kept
# in build/main-job/. Prints the program's exit code and the bay afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
job="$PWD/build/main-job"
mkdir -p "$job"
cp build/windows/TZ594K_for_ZEMO_V101.exe build/windows/wnaspi32.dll "$job/"
[ -f "$job/bay.txt" ] || printf 'drive at=0:0 firmware=1.00 tray=open\n' >"$job/bay.txt"
export TZ594K_SIM="Z:${job//\//\\}\\bay.txt"
export TZ594K_SIM_TRANSCRIPT="Z:${job//\//\\}\\transcript.txt"
set +e
scripts/wine-run.sh --winver win98 "$job/TZ594K_for_ZEMO_V101.exe" /AU /LE /LFO
rc=$?
set -e
echo "TZ594K_for_ZEMO_V101.exe exit code: $rc"
echo "bay after the run ($job/bay.txt):"
cat "$job/bay.txt"
