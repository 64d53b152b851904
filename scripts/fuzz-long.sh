#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzzer (or those named) for SECONDS each (default 1800),
# keeping what they learn in build/fuzz/corpus/<target> so that each long run starts where the
# last one ended. Crashes land in build/fuzz/findings/.
#   scripts/fuzz-long.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
CORPUS_DIR=build/fuzz/corpus fuzz/run.sh "$seconds" "$@"
