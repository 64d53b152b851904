#!/usr/bin/env bash
# The main job: builds the Windows program and the drive simulator, puts one simulated drive that
# needs the update behind drive D: (and ASPI address 0:0) of a Wine prefix in build/main-job/, runs
# the program silently with its log switch (/AU /LFO) under Wine reporting Windows 10, where it
# takes SCSI pass-through, and reports what happened. The bay keeps the drive's firmware, so the
# next run finds it updated (exit code 99) and writes nothing.
#   run-main.sh [--fresh] [--aspi] [--screens]
#     --fresh    the drive back at firmware 1.00 (a new bay)
#     --aspi     Windows 98: the program takes ASPI, our wnaspi32.dll beside it
#     --screens  the same update with its screens on your display, for you to answer (no /AU)
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
    *) echo "usage: run-main.sh [--fresh] [--aspi] [--screens]" >&2; exit 2 ;;
  esac
done
if [ "$screens" = 1 ] && [ -z "${DISPLAY:-}" ]; then
  echo "run-main: --screens shows the screens on your display, and there is none (DISPLAY is unset)" >&2
  exit 2
fi

scripts/install-deps.sh
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
  scripts/wine-run.sh --init
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
  *) meaning="not one of the program's exit codes (Wine or the script failed)" ;;
esac
if [ "$winver" = win98 ]; then way="Windows 98, ASPI through wnaspi32.dll"; else way="Windows 10, SCSI pass-through at D:"; fi
commands=$(wc -l <"$transcript")
writes=$(grep -c ' cdb=EA' "$transcript" || true)
log="$(comm -13 <(printf '%s\n' "$logs_before") <(ls "$job"/*.log 2>/dev/null || true) | tail -n 1)"

echo
echo "== TZ594K_for_ZEMO_V101.exe ${arguments[*]} under Wine reporting $way"
echo "exit code       $rc: $meaning"
echo "drive before    $before"
echo "drive after     $after"
echo "commands        $commands to the drive, $writes of them download writes ($transcript)"
# The last line of the times file holds the figures; a line before it may say how the program ended.
figures="$(tail -n 1 "$times" 2>/dev/null || true)"
if [[ "$figures" =~ ^[0-9.]+\ [0-9.]+\ [0-9.]+$ ]]; then
  read -r wall user system <<<"$figures"
  note=""
  [ "$screens" = 1 ] && note=", with the time you took to answer"
  awk -v w="$wall" -v u="$user" -v s="$system" -v note="$note" 'BEGIN {
    printf "wall time       %.1f s, from the program'\''s start under Wine to its exit%s\n", w, note
    printf "processor time  %.2f s (user %.2f s, system %.2f s): %.1f %% of the wall time, in the program'\''s own process\n",
           u + s, u, s, (w > 0 ? 100 * (u + s) / w : 0) }'
fi
if [ -n "$log" ]; then
  echo "result log      $log"
  sed 's/^/                /' "$log"
elif [ "$rc" = 0 ]; then
  echo "result log      none: the program writes none after a successful update"
else
  echo "result log      none written"
fi
