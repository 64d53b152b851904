#!/usr/bin/env bash
# The detection switch of the real exe under Wine, as an endpoint-management tool runs it: "/DC"
# beside two simulated drives with closed trays, once through pass-through (Windows 10) and once
# through ASPI (Windows 98, our wnaspi32.dll). Each run ends by itself (no screen waits for
# anyone), answers by its exit code (1001: a drive at 1.00; 99: both at 1.01), sends INQUIRY to
# each drive and nothing else, and leaves the bay as it was: no tray moved, nothing written.
#   detection.sh EXE WNASPI32_DLL WINE_BAY NATIVE_BUILD
set -euo pipefail
exe="$1"
dll="$2"
wine_bay="$3"
export TZ594K_NATIVE_BUILD="$4"
. "$(dirname "$0")/wine_work.sh"
cp "$exe" "$dll" "$work/"
program="$work/$(basename "$exe")"

# detect WINVER WAY1 WAY2 INQUIRY_CDB FIRST_LEVEL WANTED_EXIT_CODE
detect() {
  local winver="$1" way1="$2" way2="$3" cdb="$4" level="$5" want="$6"
  echo "== /DC on $winver, first drive at $level"
  printf 'drive at=0:0 letter=D firmware=%s tray=closed\ndrive at=0:1 letter=E firmware=1.01 tray=closed\n' \
    "$level" >"$work/bay.txt"
  cp "$work/bay.txt" "$work/bay-before.txt"
  : >"$work/transcript.txt"
  set +e
  # A screen would wait for an answer that never comes; the time limit turns that into a failure.
  (cd "$work" && timeout 300 "$wine_bay" --winver "$winver" --transcript "$work/transcript.txt" "$work/bay.txt" \
    "$program" /DC)
  local rc=$?
  set -e
  # A Unix exit status keeps the low eight bits of the exit code: 1001 arrives as 233, which no
  # other answer of the program shares.
  if [ "$rc" = "$((want & 255))" ]; then ok "exit code $want"; else bad "exit code $rc, wanted $want ($((want & 255)))"; fi
  local expected
  expected="$(printf '%s cdb=%s dir=in len=44 status=00 moved=44\n' "$way1" "$cdb" "$way2" "$cdb")"
  if [ "$(sed -E 's/ digest=[0-9A-F]{16}$//' "$work/transcript.txt")" = "$expected" ]; then
    ok "one INQUIRY to each drive and no other command"
  else
    bad "the drives received:"
    sed 's/^/    /' "$work/transcript.txt"
  fi
  if cmp -s "$work/bay.txt" "$work/bay-before.txt"; then ok "bay untouched: trays closed"; else bad "the bay changed"; fi
  if ls "$work"/*.log >/dev/null 2>&1; then bad "a log was written"; else ok "no log"; fi
}

detect win10 D: E: 120000002C00000000000000 1.00 1001
detect win98 0:0 0:1 120000002C00 1.01 99
exit $fail
