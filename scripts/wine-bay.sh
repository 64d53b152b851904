#!/usr/bin/env bash
# Puts the simulated drives of a bay behind drive letters of the Wine prefix and, given a program,
# runs it there and returns its exit code.
#   wine-bay.sh [--winver win98|winxp|win7|win10] [--japanese] [--transcript FILE] BAY [PROGRAM [ARGS...]]
# Every drive of the bay with letter=X gets a device file tz594k-drive-X beside the bay file and
# the prefix's device link x:: to it (and a root folder x: when the prefix has none); links left by
# an earlier bay go. The program runs with the SG_IO library preloaded, which answers Wine's
# pass-through requests on those files from the bay, and with TZ594K_SIM naming the bay for our
# wnaspi32.dll (Windows 98 takes ASPI; XP, 7 and 10 take pass-through). --transcript names the
# file that receives one line per command. The prefix is scripts/wine-run.sh's (TZ594K_WINEPREFIX
# overrides it); the simulator's tool and library come from the native build (TZ594K_NATIVE_BUILD,
# default build/native).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
native="${TZ594K_NATIVE_BUILD:-$root/build/native}"
sim_tool="$native/sim/tz594k-sim"
sgio_dir="$native/sgio"

usage() {
  echo "usage: wine-bay.sh [--winver win98|winxp|win7|win10] [--japanese] [--transcript FILE] BAY [PROGRAM [ARGS...]]" >&2
  exit 2
}
run_args=()
transcript=""
while [ $# -gt 0 ]; do
  case "$1" in
    --winver)
      case "${2:-}" in win98 | winxp | win7 | win10) ;; *) usage ;; esac
      run_args+=(--winver "$2"); shift 2 ;;
    --japanese) run_args+=(--japanese); shift ;;
    --transcript) transcript="$2"; shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || usage
bay="$(realpath "$1")"; shift
[ -f "$bay" ] || { echo "wine-bay: no bay file $bay" >&2; exit 2; }
[ -x "$sim_tool" ] || { echo "wine-bay: $sim_tool is missing: build the native preset first" >&2; exit 2; }
[ -f "$sgio_dir/lib/i386-linux-gnu/libtz594k-sgio.so" ] ||
  { echo "wine-bay: the SG_IO library is missing in $sgio_dir: build the native preset first" >&2; exit 2; }

# The tool reads the bay as the simulator does, so a bay it refuses stops here; its lines start
# with the drive's addresses ("0:0 D: vendor=...").
shown="$("$sim_tool" show "$bay")"
letters="$(printf '%s\n' "$shown" | sed 's/ vendor=.*//' | tr ' ' '\n' | sed -n 's/^\([C-Z]\):$/\1/p')"

WINEPREFIX="${TZ594K_WINEPREFIX:-$root/build/wineprefix}"
"$here/wine-run.sh" --init
devices="$WINEPREFIX/dosdevices"
folder="$(dirname "$bay")"

# Links of an earlier bay lead to device files or root folders of ours.
for link in "$devices"/*; do
  [ -L "$link" ] || continue
  case "$(basename "$(readlink "$link")")" in
    tz594k-drive-[C-Z] | tz594k-root-[C-Z]) rm -f "$link" ;;
  esac
done
for letter in $letters; do
  lower="$(printf '%s' "$letter" | tr 'A-Z' 'a-z')"
  device="$folder/tz594k-drive-$letter"
  [ -f "$device" ] || : >"$device"
  ln -sfn "$device" "$devices/$lower::"
  # The letter needs a root as well; C: and Z: keep the prefix's own.
  if [ ! -e "$devices/$lower:" ]; then
    mkdir -p "$folder/tz594k-root-$letter"
    ln -sfn "$folder/tz594k-root-$letter" "$devices/$lower:"
  fi
done

[ $# -ge 1 ] || exit 0
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
export TZ594K_SIM="$(windows_path "$bay")"
if [ -n "$transcript" ]; then
  : >>"$transcript"
  export TZ594K_SIM_TRANSCRIPT="$(windows_path "$(realpath "$transcript")")"
fi
# $LIB makes the loader take the copy of the process's own kind: lib/i386-linux-gnu for the 32-bit
# program, lib/x86_64-linux-gnu for Wine's 64-bit helpers.
export LD_PRELOAD="$sgio_dir/\$LIB/libtz594k-sgio.so${LD_PRELOAD:+ $LD_PRELOAD}"
exec "$here/wine-run.sh" "${run_args[@]}" "$@"
