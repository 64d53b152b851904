#!/usr/bin/env bash
# The real exe writes a trace ("/AU /TRO") while it updates a simulated drive under Wine, and the
# trace replays: through the program on the emulated system of the native build (tz594k-replay),
# and under Wine again, the drive now played from the trace by our wnaspi32.dll (Windows 98) or the
# SG_IO library (Windows 10). Each replay ends with the recorded exit code and the same commands,
# and no drive meets a command it did not expect. A trace only watches: the same update without
# "/TRO", and an update whose verify always fails with and without it, send the same commands.
#   trace_replay.sh EXE WNASPI32_DLL WINE_BAY NATIVE_BUILD WINVER
set -euo pipefail
exe="$1"
dll="$2"
wine_bay="$3"
native="$4"
export TZ594K_NATIVE_BUILD="$native"
winver="$5"
. "$(dirname "$0")/wine_work.sh"
mkdir -p "$work/record" "$work/replay" "$work/plain"
for folder in record replay plain; do cp "$exe" "$dll" "$work/$folder/"; done
program="$(basename "$exe")"

run_in() {  # FOLDER BAY TRANSCRIPT [SWITCHES]: the program silently, with its trace unless told, in FOLDER
  set +e
  (cd "$work/$1" && "$wine_bay" --winver "$winver" --transcript "$3" "$2" "$work/$1/$program" ${4:-/AU /TRO} \
    2>"$work/$1/stderr.txt")
  rc=$?
  set -e
}

# same_commands WHAT TRACED_TRANSCRIPT PLAIN_TRANSCRIPT: the two runs sent the same commands in the
# same order. Identity reads carry a key taken from the clock's seconds and minutes (CDB bytes 2 to
# 5 and 7 to 8), the one place where two runs may differ; everything else is compared byte by byte.
same_commands() {
  local key='s/^(\S+ cdb=ED00)[0-9A-F]{8}(10)[0-9A-F]{4}/\1........\2..../'
  if diff <(sed -E "$key" "$2") <(sed -E "$key" "$3") >"$work/commands.diff"; then
    ok "$1: the traced run sent the $(wc -l <"$2") commands of the plain run"
  else
    bad "$1: the traced run sent other commands than the plain run:"
    head -n 6 "$work/commands.diff" | sed 's/^/    /'
  fi
}

echo "== the trace of an update on $winver"
printf 'drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\n' >"$work/record/bay.txt"
run_in record "$work/record/bay.txt" "$work/record/transcript.txt"
recorded_rc=$rc
if [ "$rc" = 0 ]; then ok "exit code 0"; else bad "exit code $rc, wanted 0"; fi
trace="$(ls "$work"/record/TZ594K_for_ZEMO_V101-*.trace 2>/dev/null | head -n 1)"
if [ -z "$trace" ]; then
  bad "no trace beside the program"
  exit 1
fi
ok "trace $(basename "$trace"): $(grep -c '^cmd ' "$trace") commands"
if grep -q '^result code=0 message="" exit=0 ' "$trace" && grep -q '^after at=.* read=no rewrite=good verify=good' "$trace" &&
  grep -q '^end commands=' "$trace"; then
  ok "its footer: result 0, exit code 0, the rewrite and the verify answered GOOD, nothing read after"
else
  bad "its footer is not that of the update: $(grep -E '^(result|after|end) ' "$trace" | tr '\n' ' ')"
fi
check="$("$native/sim/tz594k-sim" replay-check "$trace" "$work/record/transcript.txt" || true)"
if [[ "$check" == same:* ]]; then ok "it holds what the drive received ($check)"; else bad "trace and transcript differ: $check"; fi
printf 'drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\n' >"$work/plain/bay.txt"
run_in plain "$work/plain/bay.txt" "$work/plain/transcript.txt" /AU
if [ "$rc" = 0 ]; then ok "without the trace: exit code 0"; else bad "without the trace: exit code $rc, wanted 0"; fi
same_commands "the update" "$work/record/transcript.txt" "$work/plain/transcript.txt"

echo "== replayed on the emulated system"
if replayed="$("$native/tests/golden/tz594k-replay" "$trace")"; then
  ok "$(echo "$replayed" | head -n 1)"
else
  bad "native replay: $replayed"
fi

echo "== replayed under Wine on $winver"
cp "$trace" "$work/replay/field.trace"
printf 'drive at=0:0 letter=D replay=field.trace\n' >"$work/replay/bay.txt"
run_in replay "$work/replay/bay.txt" "$work/replay/transcript.txt"
if [ "$rc" = "$recorded_rc" ]; then ok "exit code $rc, as recorded"; else bad "exit code $rc, recorded $recorded_rc"; fi
if grep -q "replay mismatch" "$work/replay/stderr.txt"; then
  bad "$(grep "replay mismatch" "$work/replay/stderr.txt")"
else
  ok "no command the drive did not expect"
fi
check="$("$native/sim/tz594k-sim" replay-check "$work/replay/field.trace" "$work/replay/transcript.txt" || true)"
if [[ "$check" == same:* ]]; then ok "the same commands ($check)"; else bad "$check"; fi

echo "== a verify that always fails on $winver, with the trace and without"
verify_fails='drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50
fault kind=verify nth=1 times=10 action=check'
for folder in record plain; do
  rm -f "$work/$folder"/*.trace
  printf '%s\n' "$verify_fails" >"$work/$folder/verify-bay.txt"
done
run_in record "$work/record/verify-bay.txt" "$work/record/verify-transcript.txt"
if [ "$rc" = 6 ]; then ok "with the trace: exit code 6"; else bad "with the trace: exit code $rc, wanted 6"; fi
trace="$(ls "$work"/record/TZ594K_for_ZEMO_V101-*.trace 2>/dev/null | head -n 1)"
if [ -n "$trace" ] && grep -q '^after at=.* read=no rewrite=good verify=check' "$trace"; then
  ok "its footer: the verify's CHECK CONDITION, nothing read after"
else
  bad "its footer: $(grep -E '^(result|after|end) ' "${trace:-/dev/null}" | tr '\n' ' ')"
fi
run_in plain "$work/plain/verify-bay.txt" "$work/plain/verify-transcript.txt" /AU
if [ "$rc" = 6 ]; then ok "without the trace: exit code 6"; else bad "without the trace: exit code $rc, wanted 6"; fi
same_commands "the failing verify" "$work/record/verify-transcript.txt" "$work/plain/verify-transcript.txt"
exit $fail
