#!/usr/bin/env bash
# Runs a test under Wine when this machine's way of running 32-bit programs allows it, and otherwise
# reports it skipped (exit code 77) with the reason:
#   tier.sh TIER [--session] COMMAND [ARGS...]
# TIER is "emulated" for the tests that also run where 32-bit code is emulated (today every one),
# "native" for any left out there. TZ594K_I386_MODE (native, emulated or none) is what
# scripts/i386.sh found; it is asked again when unset. --session keeps one wineserver on the
# test's prefix for all of the test's runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tier="$1"; shift
session=0
if [ "${1:-}" = --session ]; then session=1; shift; fi
mode="${TZ594K_I386_MODE:-$("$root/scripts/i386.sh" mode)}"
case "$mode" in
  native) ;;
  emulated)
    if [ "$tier" != emulated ]; then
      echo "skipped: left out where 32-bit programs run under qemu-i386 emulation"
      exit 77
    fi ;;
  *)
    echo "skipped: this machine cannot run 32-bit programs, not even under emulation, so Wine cannot run them"
    exit 77 ;;
esac
# The lane CTest gave the test ("id:N,slots:1"): a prefix and a display of the lane's own, so that
# the other lane's test runs beside it on the other core. Lane 0 keeps the prefix of a run
# without lanes.
lane="${CTEST_RESOURCE_GROUP_0_WINE:-}"
lane="${lane#id:}"
lane="${lane%%,*}"
if [ -n "$lane" ] && [ -z "${TZ594K_LANE:-}" ]; then
  export TZ594K_LANE="$lane"
  if [ "$lane" != 0 ]; then export TZ594K_WINEPREFIX="$root/build/wineprefix-lane$lane"; fi
  echo "wine lane $lane: prefix ${TZ594K_WINEPREFIX:-$root/build/wineprefix}"
  exec xvfb-run -a -n $((120 + 10 * lane)) -s "-screen 0 1024x768x24" "$0" "$tier" \
    $([ "$session" = 1 ] && echo --session) "$@"
fi
[ "$session" = 1 ] || exec "$@"

export WINEPREFIX="${TZ594K_WINEPREFIX:-$root/build/wineprefix}"
"$root/scripts/wine-run.sh" --init
. "$root/scripts/wine-lib.sh"
wine_session_start
set +e
"$@"
rc=$?
set -e
wine_session_end
exit $rc
