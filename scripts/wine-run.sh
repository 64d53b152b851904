#!/usr/bin/env bash
# Runs a Windows program of ours under Wine and returns its exit code.
#   wine-run.sh [--winver win98|winxp|win7|win10] [--japanese] [--dpi N] PROGRAM [ARGS...]
#   wine-run.sh --init      (only makes the prefix, when it is missing)
# --dpi: the display's scale in dots per inch (96 is 100 %, 144 is 150 %); 96 without it.
# TZ594K_RUN_TIMES=FILE: the program's wall, user and system seconds go to FILE.
# The Wine prefix lives in the build folder (TZ594K_WINEPREFIX overrides it). Without a display the
# script runs itself inside xvfb-run. scripts/wine-bay.sh puts simulated drives behind drive letters.
# Wine's own tools (wineboot, regedit) run as 64-bit programs: where 32-bit code is emulated, each
# 32-bit process costs minutes to start, and only our programs need to be 32-bit. Where a caller
# keeps a wineserver alive across its runs (TZ594K_WINE_SESSION=1, see wine_session_start), the
# script leaves the server running after the program ends.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
. "$here/wine-lib.sh"

winver=""
japanese=0
dpi=""
init_only=0
while [ $# -gt 0 ]; do
  case "$1" in
    --winver) winver="$2"; shift 2 ;;
    --japanese) japanese=1; shift ;;
    --dpi) dpi="$2"; shift 2 ;;
    --init) init_only=1; shift ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || [ "$init_only" = 1 ] || { echo "usage: wine-run.sh [--winver V] [--japanese] PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX="${TZ594K_WINEPREFIX:-$root/build/wineprefix}"
[ "$init_only" = 1 ] && [ -f "$WINEPREFIX/system.reg" ] && exit 0

if [ -z "${DISPLAY:-}" ]; then
  args=()
  [ -n "$winver" ] && args+=(--winver "$winver")
  [ "$japanese" = 1 ] && args+=(--japanese)
  [ -n "$dpi" ] && args+=(--dpi "$dpi")
  [ "$init_only" = 1 ] && args+=(--init)
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "${args[@]}" "$@"
fi

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-wnaspi32=n;mscoree,mshtml=}"
if [ "$japanese" = 1 ]; then export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8; else export LANG=C.UTF-8 LC_ALL=C.UTF-8; fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine_prefix_make || exit 3
fi
wine_prefix_fonts
[ "$init_only" = 1 ] && exit 0
version='"Version"=-'
[ -n "$winver" ] && version="\"Version\"=\"$winver\""
scale='"LogPixels"=-'
[ -n "$dpi" ] && scale="$(printf '"LogPixels"=dword:%08x' "$dpi")"
wine_settings '[HKEY_CURRENT_USER\Software\Wine]' "$version" '' '[HKEY_CURRENT_USER\Control Panel\Desktop]' "$scale"

program="$1"; shift
set +e
if [ -n "${TZ594K_RUN_TIMES:-}" ]; then
  # The program's process is the one `wine` becomes: the shell's `time` of it gives its wall time
  # and the processor time it used (user and system, in seconds), without Wine's server and helpers.
  TIMEFORMAT='%3R %3U %3S'
  exec 4>&2
  { time wine "$program" "$@" 2>&4 4>&-; } 2>"$TZ594K_RUN_TIMES"
  rc=$?
  exec 4>&-
else
  wine "$program" "$@"
  rc=$?
fi
set -e
[ "${TZ594K_WINE_SESSION:-}" = 1 ] || wineserver -w
exit $rc
