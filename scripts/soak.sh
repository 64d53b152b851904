#!/usr/bin/env bash
# A long soak: whole program runs over simulated drives with random faults, one per seed, each
# checked against the rules every run keeps (tests/reliability). Usage:
#   scripts/soak.sh COUNT [FIRST]   seeds FIRST .. FIRST + COUNT - 1; FIRST defaults to a new one
#   scripts/soak.sh --seed N        replays one seed and prints what it built and how it ended
# The runs are split between two processes. A seed that breaks a rule is printed with the
# command that replays it; the script then exits with 1.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ]; then
  echo "usage: scripts/soak.sh COUNT [FIRST] | scripts/soak.sh --seed N" >&2
  exit 2
fi
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target tz594k-soak
soak=build/native/tests/reliability/tz594k-soak
if [ "$1" = "--seed" ]; then
  exec "$soak" --seed "${2:?a seed}"
fi
count=$1
first=${2:-$(( $(date +%s) % 1000000 * 1000 ))}
echo "soak: $count runs from seed $first"
half=$(( count / 2 ))
set +e
"$soak" "$half" "$first" &
one=$!
"$soak" "$(( count - half ))" "$(( first + half ))"
two=$?
wait "$one"
one=$?
set -e
[ "$one" -eq 0 ] && [ "$two" -eq 0 ]
