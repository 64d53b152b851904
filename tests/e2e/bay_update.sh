#!/usr/bin/env bash
# The real exe updates a simulated drive under Wine, silently ("/AU /LFO"), with our wnaspi32.dll
# beside it and the drive at ASPI address 0:0 and at letter D: both. The Windows version Wine
# reports decides the way: Windows 98 takes ASPI (transcript lines "0:0 ..."), XP, 7 and 10 take
# pass-through through the preloaded SG_IO library ("D: ..."), and every command goes that one way.
# The run ends with exit code 0 and the drive's ROM holds the carried image. With "again", a
# second run reports the drive as already updated (99) and leaves it alone.
#   bay_update.sh EXE WNASPI32_DLL WINE_BAY NATIVE_BUILD WINVER [again]
set -euo pipefail
exe="$1"
dll="$2"
wine_bay="$3"
export TZ594K_NATIVE_BUILD="$4"
winver="$5"
again="${6:-}"
. "$(dirname "$0")/wine_work.sh"
cp "$exe" "$dll" "$work/"
program="$work/$(basename "$exe")"
# Quick drive times: the program's own waits are what this run is about.
printf 'drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\n' >"$work/bay.txt"
if [ "$winver" = win98 ]; then way="0:0"; inquiry_cdb="120000002C00"; else way="D:"; inquiry_cdb="120000002C00000000000000"; fi

# A transcript line as given, its data's digest aside; grep reads to the end, or sed would meet a
# closed pipe, which pipefail counts as a failure.
expect_line() {
  if sed -E 's/ digest=[0-9A-F]{16}$//' "$1" | grep -xF "$2" >/dev/null; then ok "$2"; else bad "no line '$2' in $(basename "$1")"; fi
}
run_program() {
  set +e
  (cd "$work" && "$wine_bay" --winver "$winver" --transcript "$1" "$work/bay.txt" "$program" /AU /LFO)
  rc=$?
  set -e
}

echo "== update on $winver"
run_program "$work/transcript.txt"
if [ "$rc" = 0 ]; then ok "exit code 0"; else bad "exit code $rc, wanted 0"; fi
"$TZ594K_NATIVE_BUILD/sim/tz594k-sim" show "$work/bay.txt" >"$work/show.txt"
expect_line "$work/show.txt" '0:0 D: vendor="KORVANTA" product="BD-CMB TZ594KS  " revision="1.01" rom=image'
expect_line "$work/transcript.txt" "$way cdb=$inquiry_cdb dir=in len=44 status=00 moved=44"
expect_line "$work/transcript.txt" "$way cdb=F50000000000000000000080 dir=none len=0 status=00 moved=0"
expect_line "$work/transcript.txt" "$way cdb=F50000000000000000000040 dir=none len=0 status=00 moved=0"
# The whole image twice, in 1024-byte pieces: before the rewrite and before the verify.
writes=$(grep -cE "^$way cdb=EA.* dir=out .* status=00 moved=[0-9]+ " "$work/transcript.txt" || true)
if [ "$writes" = 2194 ]; then ok "2194 download writes"; else bad "$writes download writes, wanted 2194"; fi
others=$(grep -vc "^$way " "$work/transcript.txt" || true)
if [ "$others" = 0 ]; then ok "every command went through $way"; else bad "$others commands went another way"; fi

if [ "$again" = again ]; then
  echo "== again on $winver"
  cp "$work/bay.txt" "$work/bay-after-update.txt"
  run_program "$work/transcript-again.txt"
  if [ "$rc" = 99 ]; then ok "exit code 99"; else bad "exit code $rc, wanted 99"; fi
  if grep -q " cdb=\(EA\|F5\)" "$work/transcript-again.txt"; then bad "the drive was written again"; else ok "nothing written"; fi
  if cmp -s "$work/bay.txt" "$work/bay-after-update.txt"; then ok "bay untouched"; else bad "the bay changed"; fi
fi
exit $fail
