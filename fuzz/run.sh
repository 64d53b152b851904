#!/usr/bin/env bash
# Runs the fuzzers of build/fuzz for SECONDS each (all of them, or those named), starting from the
# seeds in fuzz/corpus/<target>. New inputs go to CORPUS_DIR/<target> (default: a fresh folder
# under build/fuzz/run), crashes to build/fuzz/findings/. Prints the executions of each target;
# exits non-zero when a fuzzer found a crash, a leak or a broken promise.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(identity_reply inquiry_reply switches bay_file image_file trace_reader); fi

bin=build/fuzz/fuzz
findings=build/fuzz/findings
corpus_root=${CORPUS_DIR:-build/fuzz/run}
mkdir -p "$findings"

# The longest input worth trying: a whole identity reply after the transport byte, a command line
# past the work area, a bay file with a few drives and their ROM lines, an image front with blocks.
max_len() {
  case "$1" in
    identity_reply) echo 4097 ;;
    inquiry_reply) echo 64 ;;
    switches) echo 4096 ;;
    bay_file) echo 8192 ;;
    image_file) echo 8192 ;;
    trace_reader) echo 16384 ;;
  esac
}

failed=0
for t in "${targets[@]}"; do
  work="$corpus_root/$t"
  if [ -z "${CORPUS_DIR:-}" ]; then rm -rf "$work"; fi
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=10 -rss_limit_mb=2048
           -print_final_stats=1 -artifact_prefix="$findings/$t-")
  if [ -f "fuzz/$t.dict" ]; then options+=(-dict="fuzz/$t.dict"); fi
  log="$corpus_root/$t.log"
  if "$bin/fuzz_$t" "${options[@]}" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cover=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | sed -E 's/.*(cov: [0-9]+ ft: [0-9]+ corp: [^ ]+).*/\1/' || true)
    printf 'fuzz %-15s %10s executions in %ss  %s\n' "$t" "$runs" "$seconds" "$cover"
  else
    failed=1
    echo "fuzz $t: FAILED (log: $log)"
    grep -E 'ERROR|broken promise|SUMMARY|Test unit written|^==[0-9]+==' "$log" | head -20 || true
  fi
done
exit $failed
