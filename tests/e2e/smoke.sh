#!/usr/bin/env bash
# The real exe starts under Wine and ends with the exit code of its switches.
set -euo pipefail
exe="$1"
run="$2"
fail=0
expect() {
  local want="$1"; shift
  set +e
  "$run" "$@"
  local got=$?
  set -e
  if [ "$got" = "$want" ]; then echo "ok: exit $got for: ${*:2}"; else echo "FAIL: exit $got, wanted $want, for: ${*:2}"; fail=1; fi
}
# An unknown switch in silent mode: invalid option, no screen, exit code 7.
expect 7 "$exe" /AU /NOSUCH
# A duplicated switch: exit code 7 as well.
expect 7 "$exe" /AU /CO /CO
exit $fail
