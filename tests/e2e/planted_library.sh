#!/usr/bin/env bash
# A winmm.dll planted beside the exe (a download folder) must never run inside it. Under Wine the
# planted library is preferred to the system's for winmm (WINEDLLOVERRIDES winmm=n,b), as Windows
# prefers a library in the program's folder for any name that is not one of its known libraries.
# A control program that imports winmm.dll shows that the plant works; then the real exe, under
# the NT versions and under Windows 98, must leave no mark and still end as it should, and the
# program's start-up order must get the 1 ms timer period from the system's winmm.dll.
#   planted_library.sh EXE PLANTED_DLL CONTROL_EXE TIMER_PROBE_EXE WINE_RUN
set -euo pipefail
exe="$1"
planted="$2"
control="$3"
probe="$4"
run="$5"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$exe" "$control" "$probe" "$work/"
cp "$planted" "$work/winmm.dll"
mark="$work/planted-library-ran.txt"
export WINEDLLOVERRIDES="winmm=n,b;wnaspi32=n;mscoree,mshtml="

fail=0
report() { if [ "$1" = 0 ]; then echo "ok: $2"; else echo "FAIL: $2"; fail=1; fi; }

echo "== control: a program that imports winmm.dll"
"$run" --winver win10 "$work/$(basename "$control")" | tr -d '\r'
[ -s "$mark" ]; report $? "the planted library ran in the control program"
rm -f "$mark"

for winver in winxp win10 win98; do
  echo "== the exe under $winver"
  set +e
  WINEDEBUG=+loaddll "$run" --winver "$winver" "$work/$(basename "$exe")" /AU /NOSUCH 2>"$work/load.log"
  rc=$?
  set -e
  [ "$rc" = 7 ]; report $? "exit code $rc for an unknown switch in silent mode (7)"
  [ ! -e "$mark" ]; report $? "no mark of the planted library"
  [ -e "$mark" ] && { cat "$mark"; rm -f "$mark"; }
  loaded=$(grep -i 'winmm' "$work/load.log" | grep -i 'Loaded' || true)
  echo "$loaded"
  echo "$loaded" | grep -qi 'system32\\\\winmm.dll'; report $? "winmm.dll came from the system folder"
done

echo "== the start-up order gets the timer period"
for winver in winxp win10; do
  "$run" --winver "$winver" "$work/$(basename "$probe")" | tr -d '\r' | tee "$work/probe.out" || true
  grep -qx 'fine timer: granted' "$work/probe.out"; report $? "$winver: timeBeginPeriod(1) granted"
  grep -qix 'winmm: C:\\windows\\system32\\winmm.dll' "$work/probe.out"; report $? "$winver: from the system folder"
  [ ! -e "$mark" ]; report $? "$winver: no mark of the planted library"
  rm -f "$mark"
done
exit $fail
