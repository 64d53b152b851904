#!/usr/bin/env bash
# Records the golden traces again: the real exe runs under Wine against simulated drives with
# "/AU /TRO", once for each case below, and the traces it writes replace those in
# tests/golden/traces.tar.xz, which the native suite replays on every run. Run it when a change of
# the program's traffic is meant; the native suite then passes again, and the archive's diff
# (tar -xJOf) shows what changed. Takes some minutes where 32-bit code is emulated.
#   record-golden.sh [CASE...]     (default: every case)
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

# name, Windows version, bay line(s) (\n between lines)
cases=(
  "success_aspi|win98|drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50"
  "success_pass_through|win10|drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50"
  "already_updated|win10|drive at=0:0 letter=D firmware=1.01 tray=open"
  "verify_failure|win98|drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\nfault kind=verify nth=1 times=10 action=check"
  "verify_failure_pass_through|win10|drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\nfault kind=verify nth=1 times=10 action=check"
  "rewrite_refused_twice|win10|drive at=0:0 letter=D firmware=1.00 tray=open rewrite-ms=300 verify-ms=200 tray-ms=50\nfault kind=rewrite nth=1 times=2 action=check"
)
wanted=("$@")

scripts/install-deps.sh
if [ "$(scripts/i386.sh mode)" = none ]; then
  echo "record-golden: this machine cannot run 32-bit programs, not even under emulation; nothing recorded" >&2
  exit 3
fi
cmake --preset native >/dev/null
cmake --build --preset native --target tz594k-sim tz594k_sgio tz594k-replay
cmake --preset windows >/dev/null
cmake --build --preset windows --target TZ594K_for_ZEMO_V101 wnaspi32

work="$root/build/golden"
rm -rf "$work"
mkdir -p "$work/traces"
archive="$root/tests/golden/traces.tar.xz"
if [ -f "$archive" ]; then tar -xJf "$archive" -C "$work/traces"; fi
export TZ594K_WINEPREFIX="$work/wineprefix"
export WINEPREFIX="$TZ594K_WINEPREFIX"
scripts/wine-run.sh --init
. scripts/wine-lib.sh
wine_session_start
trap 'wine_session_end || true' EXIT

for entry in "${cases[@]}"; do
  IFS='|' read -r name winver bay_lines <<<"$entry"
  if [ ${#wanted[@]} -gt 0 ] && [[ ! " ${wanted[*]} " == *" $name "* ]]; then continue; fi
  run="$work/$name"
  mkdir -p "$run"
  cp build/windows/TZ594K_for_ZEMO_V101.exe build/windows/wnaspi32.dll "$run/"
  printf '%b\n' "$bay_lines" >"$run/bay.txt"
  set +e
  # Silent runs write their trace into the current folder.
  (cd "$run" && "$root/scripts/wine-bay.sh" --winver "$winver" "$run/bay.txt" \
    "$run/TZ594K_for_ZEMO_V101.exe" /AU /TRO)
  rc=$?
  set -e
  trace="$(ls "$run"/TZ594K_for_ZEMO_V101-*.trace 2>/dev/null | head -n 1)"
  if [ -z "$trace" ] || ! grep -q '^end commands=' "$trace"; then
    echo "record-golden: $name: exit code $rc and no complete trace" >&2
    exit 1
  fi
  # The trace must replay on the emulated system before it may stand as golden.
  if ! build/native/tests/golden/tz594k-replay "$trace"; then
    echo "record-golden: $name: the trace does not replay natively" >&2
    exit 1
  fi
  cp "$trace" "$work/traces/$name.trace"
  printf '%-22s exit code %-4s %6s commands  %s\n' "$name" "$rc" "$(grep -c '^cmd ' "$trace")" \
    "$(grep '^result ' "$trace")"
done

tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -C "$work/traces" -cf - . | xz -9e >"$archive"
echo "record-golden: $(du -h "$archive" | cut -f1) in $archive"
