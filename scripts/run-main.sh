#!/usr/bin/env bash
# The main job: builds the Windows program and the drive simulator, puts one simulated drive that
# needs the update behind drive D: (and ASPI address 0:0) of a Wine prefix in build/main-job/, runs
# the program silently with its log switch (/AU /LFO) under Wine reporting Windows 10, where it
# takes SCSI pass-through, and reports what happened. The bay keeps the drive's firmware, so the
# next run finds it updated (exit code 99) and writes nothing.
#   run-main.sh [--fresh] [--aspi] [--screens] [--emulate]
#     --fresh    the drive back at firmware 1.00 (a new bay)
#     --aspi     Windows 98: the program takes ASPI, our wnaspi32.dll beside it
#     --screens  the same update with its screens on your display, for you to answer (no /AU)
#     --emulate  32-bit code under qemu-i386 emulation even where the machine runs it itself
#                (TZ594K_I386=emulated does the same)
# The script exits 0 when the program ran and the report is complete, whatever the program's exit
# code; when the program could not run (no way to run 32-bit code, no Wine prefix, Wine failing to
# start it) it says so in one line and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

fresh=0
winver=win10
screens=0
for option in "$@"; do
  case "$option" in
    --fresh) fresh=1 ;;
    --aspi) winver=win98 ;;
    --screens) screens=1 ;;
    --emulate) export TZ594K_I386=emulated ;;
    *) echo "usage: run-main.sh [--fresh] [--aspi] [--screens] [--emulate]" >&2; exit 2 ;;
  esac
done
if [ "$screens" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "run-main: --screens shows the screens on your display, and there is none (DISPLAY is unset)" >&2
  exit 2
fi

scripts/install-deps.sh
i386="$(scripts/i386.sh mode)"
if [ "$i386" = none ]; then
  echo "run-main: this machine cannot run 32-bit programs, not even under qemu-i386 emulation, so Wine cannot run the 32-bit exe; nothing was run" >&2
  exit 3
fi
cmake --preset native >/dev/null
cmake --build --preset native --target tz594k-sim tz594k_sgio
cmake --preset windows >/dev/null
cmake --build --preset windows --target TZ594K_for_ZEMO_V101 wnaspi32

job="$root/build/main-job"
mkdir -p "$job"
cp build/windows/TZ594K_for_ZEMO_V101.exe build/windows/wnaspi32.dll "$job/"
bay="$job/bay.txt"
if [ "$fresh" = 1 ] || [ ! -f "$bay" ]; then
  printf 'drive at=0:0 letter=D firmware=1.00 tray=open\n' >"$bay"
fi
sim="$root/build/native/sim/tz594k-sim"
export TZ594K_WINEPREFIX="$job/wineprefix"
if [ ! -f "$TZ594K_WINEPREFIX/system.reg" ]; then
  echo "run-main: making the Wine prefix $TZ594K_WINEPREFIX (once, some seconds)"
  if ! scripts/wine-run.sh --init; then
    echo "run-main: Wine could not make its prefix $TZ594K_WINEPREFIX; nothing was run" >&2
    exit 4
  fi
fi

before="$("$sim" show "$bay")"
transcript="$job/transcript.txt"
: >"$transcript"
times="$job/times.txt"
rm -f "$times"
arguments=(/AU /LFO)
[ "$screens" = 1 ] && arguments=(/LFO)
logs_before="$(ls "$job"/*.log 2>/dev/null || true)"
set +e
# Silent mode writes its log into the current folder.
(cd "$job" && TZ594K_RUN_TIMES="$times" "$root/scripts/wine-bay.sh" --winver "$winver" --transcript "$transcript" \
  "$bay" "$job/TZ594K_for_ZEMO_V101.exe" "${arguments[@]}")
rc=$?
set -e
after="$("$sim" show "$bay")"
log="$(comm -13 <(printf '%s\n' "$logs_before") <(ls "$job"/*.log 2>/dev/null || true) | tail -n 1)"
commands=$(wc -l <"$transcript")

case "$rc" in
  0) meaning="updated" ;;
  1) meaning="no supported drive found, or the drive is in use" ;;
  3) meaning="the drive refused the image" ;;
  4) meaning="no drive matches the image" ;;
  5) meaning="update failed" ;;
  6) meaning="verify failed" ;;
  7) meaning="invalid or duplicate option" ;;
  8) meaning="other: another instance, start-up failed, eject failed, interrupted, or nothing to do" ;;
  99) meaning="already updated: the drive already carries this firmware" ;;
  1001) meaning="launcher check: a drive needs the update" ;;
  *) meaning="" ;;
esac
writes=$(grep -c ' cdb=EA' "$transcript" || true)
# A program that ran has asked the drive at least for its identity, or has left its log. The line
# names what was seen: an exit code that is none of the program's (above 128: a signal ended the
# process), the commands that did reach the drive, the log.
if [ -z "$meaning" ] || { [ "$commands" = 0 ] && [ -z "$log" ]; }; then
  if [ "$rc" -gt 128 ] && [ "$rc" -lt 160 ]; then
    ended="exit code $rc, none of the program's: signal $((rc - 128)) (SIG$(kill -l $((rc - 128)) 2>/dev/null || echo '?')) ended its process"
  elif [ -z "$meaning" ]; then
    ended="exit code $rc, none of the program's"
  else
    ended="exit code $rc"
  fi
  if [ "$commands" = 0 ]; then
    reached="no command reached the drive"
  else
    reached="$commands commands reached the drive, $writes of them download writes ($transcript)"
  fi
  if [ -n "$log" ]; then logged="its log is $log"; else logged="no log was written"; fi
  if [ "$commands" = 0 ] && [ -z "$log" ]; then
    echo "run-main: Wine did not run the program: $ended, $reached, $logged" >&2
  else
    echo "run-main: the program did not end by itself: $ended; $reached; $logged" >&2
  fi
  exit 5
fi
if [ "$winver" = win98 ]; then
  way="Windows 98, ASPI through wnaspi32.dll"
  transport="ASPI at 0:0, which the program takes through our wnaspi32.dll where Windows reports a 9x version (--aspi)"
else
  way="Windows 10, SCSI pass-through at D:"
  transport="SCSI pass-through at D:, which the program takes where Windows reports an NT version (the SG_IO library answers for the drive)"
fi
emulated=""
if [ "$i386" = emulated ]; then
  if [ "${TZ594K_I386:-}" = emulated ]; then
    emulated=" (32-bit code emulated by qemu-i386, as asked)"
  else
    emulated=" (32-bit code emulated by qemu-i386: this machine cannot run it itself)"
  fi
fi
echo
echo "== TZ594K_for_ZEMO_V101.exe ${arguments[*]} under Wine reporting $way"
echo "exit code       $rc: $meaning"
echo "transport       $transport"
echo "drive before    $before"
echo "drive after     $after"
echo "commands        $commands to the drive, $writes of them download writes ($transcript)"
# The last line of the times file holds the figures; a line before it may say how the program ended.
figures="$(tail -n 1 "$times" 2>/dev/null || true)"
if [[ "$figures" =~ ^[0-9.]+\ [0-9.]+\ [0-9.]+$ ]]; then
  read -r wall user system <<<"$figures"
  note=""
  [ "$screens" = 1 ] && note=", with the time you took to answer"
  awk -v w="$wall" -v u="$user" -v s="$system" -v note="$note" -v emu="$emulated" 'BEGIN {
    printf "wall time       %.1f s, from the program'\''s start under Wine to its exit%s%s\n", w, note, emu
    printf "processor time  %.2f s (user %.2f s, system %.2f s): %.1f %% of the wall time, in the program'\''s own process%s\n",
           u + s, u, s, (w > 0 ? 100 * (u + s) / w : 0), emu }'
fi
if [ -n "$log" ]; then
  echo "result log      $log"
  sed 's/^/                /' "$log"
elif [ "$rc" = 0 ]; then
  echo "result log      none: the program writes none after a successful update"
else
  echo "result log      none written"
fi
