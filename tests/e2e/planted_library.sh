#!/usr/bin/env bash
# A winmm.dll planted beside the exe (a download folder) must never run inside it. Under Wine the
# planted library is preferred to the system's for winmm (WINEDLLOVERRIDES winmm=n,b), as Windows
# prefers a library in the program's folder for any name that is not one of its known libraries.
# A control program that imports winmm.dll shows that the plant works; then the real exe, under
# the NT versions and under Windows 98, must leave no mark and still end as it should, and the
# program's start-up order must get the 1 ms timer period from the system's winmm.dll and, on the
# NT family, find no library beside it by name.
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
cp "$planted" "$work/tz594k_beside.dll"
mark="$work/planted-library-ran.txt"
export WINEDLLOVERRIDES="winmm=n,b;wnaspi32=n;mscoree,mshtml="

fail=0
# check WHAT COMMAND...: runs the command as a condition, so that a failing check is reported
# rather than ending the script.
check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}
no_mark() { [ ! -e "$mark" ]; }
has_line() { grep -qix "$1" "$2"; }

echo "== control: a program that imports winmm.dll"
"$run" --winver win10 "$work/$(basename "$control")" | tr -d '\r'
check "the planted library ran in the control program" test -s "$mark"
rm -f "$mark"

for winver in winxp win10 win98; do
  echo "== the exe under $winver"
  set +e
  WINEDEBUG=+loaddll "$run" --winver "$winver" "$work/$(basename "$exe")" /AU /NOSUCH 2>"$work/load.log"
  rc=$?
  set -e
  check "exit code $rc for an unknown switch in silent mode (7)" test "$rc" = 7
  check "no mark of the planted library" no_mark
  if [ -e "$mark" ]; then cat "$mark"; rm -f "$mark"; fi
  grep -i 'Loaded.*winmm' "$work/load.log" >"$work/winmm.log" || true
  cat "$work/winmm.log"
  check "winmm.dll came from the system folder only" has_line '.*Loaded L"C:\\\\windows\\\\system32\\\\winmm.dll".*' "$work/winmm.log"
  check "no other winmm.dll was loaded" test "$(grep -vic 'system32' "$work/winmm.log")" = 0
done

echo "== the start-up order gets the timer period; by name, only 9x still looks beside the program"
for winver in winxp win10 win98; do
  "$run" --winver "$winver" "$work/$(basename "$probe")" | tr -d '\r' | tee "$work/probe.out" || true
  check "$winver: timeBeginPeriod(1) granted" has_line 'fine timer: granted' "$work/probe.out"
  check "$winver: from the system folder" has_line 'winmm: C:\\windows\\system32\\winmm.dll' "$work/probe.out"
  if [ "$winver" = win98 ]; then
    check "$winver: a library beside the program is found by name" has_line 'beside: loaded' "$work/probe.out"
  else
    check "$winver: a library beside the program is not found by name" has_line 'beside: not loaded' "$work/probe.out"
    check "$winver: no mark of the planted library" no_mark
  fi
  rm -f "$mark"
done
exit $fail
