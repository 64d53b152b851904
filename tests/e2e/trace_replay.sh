#!/usr/bin/env bash
# The real exe writes a trace ("/AU /TRO") while it updates a simulated drive under Wine, and the
# trace replays: through the program on the emulated system of the native build (tz594k-replay),
# and under Wine again, the drive now played from the trace by our wnaspi32.dll (Windows 98) or the
# SG_IO library (Windows 10). Each replay ends with the recorded exit code and the same commands,
# and no drive meets a command it did not expect. A trace only watches: the replay under Wine runs
# without "/TRO", so it passes only when the run without the trace sends exactly the commands of
# the traced run; so does a replay of the golden trace of an update whose verify always fails.
#   trace_replay.sh EXE WNASPI32_DLL WINE_BAY NATIVE_BUILD WINVER
set -euo pipefail
exe="$1"
dll="$2"
wine_bay="$3"
native="$4"
export TZ594K_NATIVE_BUILD="$native"
winver="$5"
. "$(dirname "$0")/wine_work.sh"
mkdir -p "$work/record" "$work/replay"
for folder in record replay; do cp "$exe" "$dll" "$work/$folder/"; done
program="$(basename "$exe")"

run_in() {  # FOLDER BAY TRANSCRIPT SWITCHES...: the program silently, in FOLDER
  local folder="$1" bay="$2" transcript="$3"
  shift 3
  set +e
  (cd "$work/$folder" && "$wine_bay" --winver "$winver" --transcript "$transcript" "$bay" "$work/$folder/$program" "$@" \
    2>"$work/$folder/stderr.txt")
  rc=$?
  set -e
}

# replayed FOLDER WHAT RECORDED_RC: what the replay run in FOLDER ended with against its trace
replayed() {
  local folder="$1" what="$2" recorded_rc="$3"
  if [ "$rc" = "$recorded_rc" ]; then ok "$what: exit code $rc, as recorded"; else bad "$what: exit code $rc, recorded $recorded_rc"; fi
  if grep -q "replay mismatch" "$work/$folder/stderr.txt"; then
    bad "$what: $(grep "replay mismatch" "$work/$folder/stderr.txt")"
  else
    ok "$what: no command the drive did not expect"
  fi
  local check
  check="$("$native/sim/tz594k-sim" replay-check "$work/$folder/field.trace" "$work/$folder/transcript.txt" || true)"
  if [[ "$check" == same:* ]]; then ok "$what: the same commands ($check)"; else bad "$what: $check"; fi
}

echo "== the trace of an update on $winver"
printf 'drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\n' >"$work/record/bay.txt"
run_in record "$work/record/bay.txt" "$work/record/transcript.txt" /AU /TRO
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
  ok "its footer: result 0, exit code 0, the rewrite and the verify answered GOOD, nothing read afterwards"
else
  bad "its footer is not that of the update: $(grep -E '^(result|after|end) ' "$trace" | tr '\n' ' ')"
fi
check="$("$native/sim/tz594k-sim" replay-check "$trace" "$work/record/transcript.txt" || true)"
if [[ "$check" == same:* ]]; then ok "it holds what the drive received ($check)"; else bad "trace and transcript differ: $check"; fi

echo "== replayed on the emulated system"
if replayed="$("$native/tests/golden/tz594k-replay" "$trace")"; then
  ok "$(echo "$replayed" | head -n 1)"
else
  bad "native replay: $replayed"
fi

echo "== replayed under Wine on $winver, without the trace"
cp "$trace" "$work/replay/field.trace"
printf 'drive at=0:0 letter=D replay=field.trace\n' >"$work/replay/bay.txt"
run_in replay "$work/replay/bay.txt" "$work/replay/transcript.txt" /AU
replayed replay "the update" "$recorded_rc"

echo "== the golden trace of a verify that always fails, replayed under Wine on $winver without the trace"
case "$winver" in win98) golden=verify_failure ;; *) golden=verify_failure_pass_through ;; esac
mkdir -p "$work/verify"
cp "$exe" "$dll" "$work/verify/"
cp "$native/tests/golden/traces/$golden.trace" "$work/verify/field.trace"
printf 'drive at=0:0 letter=D replay=field.trace\n' >"$work/verify/bay.txt"
run_in verify "$work/verify/bay.txt" "$work/verify/transcript.txt" /AU
replayed verify "the failing verify" 6
exit $fail
