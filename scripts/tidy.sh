#!/usr/bin/env bash
# clang-tidy over the given sources (default: every program source but the Windows entry point), with the native build's
# compile commands. clang knows no CP932 execution charset, so its copy of the commands reads UTF-8.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/native/compile_commands.json ] || cmake --preset native >/dev/null
mkdir -p build/tidy
sed 's/-fexec-charset=CP932/-fexec-charset=UTF-8/g' build/native/compile_commands.json >build/tidy/compile_commands.json
if [ $# -eq 0 ]; then
  set -- $(git ls-files 'core/*.cpp' 'ui/*.cpp' 'image/*.cpp' 'drive/*.cpp' 'update/*.cpp' 'app/*.cpp' 'platform/host/*.cpp' 'sim/*.cpp' | grep -v '^app/winmain.cpp$')
fi
clang-tidy -p build/tidy --quiet "$@"
