#!/usr/bin/env bash
# Our wnaspi32.dll under Wine (reporting Windows 98, where the program takes ASPI), driven by the
# program's own transport and command code: the drive's transcript must show each command with
# the CDB of the command table, an update (boot-mode command once, download, rewrite, download
# again, verify) must rewrite the drive's ROM and stay in its bay file, and without a bay file the
# DLL makes its default one beside itself. Requests the program gives up on are aborted and never
# written into afterwards; a bay that does not read is refused with its line and reason.
#   aspi_transcript.sh PROBE_EXE WNASPI32_DLL WINE_RUN
set -euo pipefail
probe="$1"
dll="$2"
run="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/default"
cp "$probe" "$dll" "$work/bin/"
cp "$probe" "$dll" "$work/default/"
exe="$work/bin/$(basename "$probe")"

# Wine's drive Z: is the Unix root. The probe prints through the C runtime's text mode (CR LF).
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

cat >"$work/bay.txt" <<'BAY'
drive at=0:0 firmware=1.00 tray=open rewrite-ms=300 verify-ms=200
BAY
export TZ594K_SIM="$(windows_path "$work/bay.txt")"
export TZ594K_SIM_TRANSCRIPT="$(windows_path "$work/transcript.txt")"

fail=0
# A transcript line as given, its data's digest aside; grep reads to the end, or sed would meet a
# closed pipe, which pipefail counts as a failure.
expect_line() {
  if sed -E 's/ digest=[0-9A-F]{16}$//' "$1" | grep -xF "$2" >/dev/null; then echo "ok: $2"; else echo "FAIL: no line '$2' in $1"; fail=1; fi
}

echo "== probe"
"$run" --winver win98 "$exe" | tr -d '\r' | tee "$work/probe.out"
expect_line "$work/probe.out" "inquiry: type 5 [KORVANTA] [BD-CMB TZ594KS  ] [1.00]"
expect_line "$work/probe.out" "probe: good"
expect_line "$work/transcript.txt" "0:0 cdb=120000002C00 dir=in len=44 status=00 moved=44"
expect_line "$work/transcript.txt" "0:0 cdb=ED00C40F1EB4103B7510003C dir=in len=4096 status=00 moved=4096"
expect_line "$work/transcript.txt" "0:0 cdb=ED010000000001000000003C dir=none len=0 status=00 moved=0"
expect_line "$work/transcript.txt" "0:0 cdb=EA0000000170000430000000 dir=out len=1072 status=00 moved=1072"
expect_line "$work/transcript.txt" "0:0 cdb=E80000000170000430000000 dir=in len=1072 status=00 moved=1072"

echo "== update"
: >"$work/transcript.txt"
"$run" --winver win98 "$exe" update | tr -d '\r' | tee "$work/update.out"
expect_line "$work/update.out" "download: complete"
expect_line "$work/update.out" "inquiry: [1.01]"
expect_line "$work/update.out" "probe: good"
expect_line "$work/transcript.txt" "0:0 cdb=F50000000000000000000080 dir=none len=0 status=00 moved=0"
expect_line "$work/transcript.txt" "0:0 cdb=F50000000000000000000040 dir=none len=0 status=00 moved=0"
# The probe's write, then the whole image twice: before the rewrite and before the verify.
writes=$(grep -c ' cdb=EA' "$work/transcript.txt" || true)
if [ "$writes" = 2195 ]; then echo "ok: 2195 download writes"; else echo "FAIL: $writes download writes"; fail=1; fi
boot=$(grep -c ' cdb=ED010000000001000000003C dir=none len=0 status=00 moved=0$' "$work/transcript.txt" || true)
if [ "$boot" = 1 ]; then echo "ok: one boot-mode command"; else echo "FAIL: $boot boot-mode commands"; fail=1; fi
if grep -q '^rom revision=1.01 ' "$work/bay.txt"; then echo "ok: the bay keeps the new ROM"; else echo "FAIL: bay:"; cat "$work/bay.txt"; fail=1; fi

echo "== next run"
"$run" --winver win98 "$exe" | tr -d '\r' | tee "$work/again.out"
expect_line "$work/again.out" "inquiry: type 5 [KORVANTA] [BD-CMB TZ594KS  ] [1.01]"

echo "== abort"
cat >"$work/abort-bay.txt" <<'BAY'
drive at=0:0 firmware=1.00 tray=closed disc=yes tray-ms=2000
fault kind=tur nth=1 action=hang
BAY
TZ594K_SIM="$(windows_path "$work/abort-bay.txt")" "$run" --winver win98 "$exe" abort | tr -d '\r' | tee "$work/abort.out"
expect_line "$work/abort.out" "hung request aborted: 2"
expect_line "$work/abort.out" "late request aborted: 2"
expect_line "$work/abort.out" "nothing written after the abort: 0"
expect_line "$work/abort.out" "inquiry: [KORVANTA]"
expect_line "$work/abort.out" "probe: good"

echo "== a bay that does not read"
printf 'drive at=0:0 firmware=1.00\ndrive at=0:0 firmware=0.90\n' >"$work/bad-bay.txt"
set +e
TZ594K_SIM="$(windows_path "$work/bad-bay.txt")" "$run" --winver win98 "$exe" load 2>"$work/bad.err" |
  tr -d '\r' | tee "$work/bad.out"
set -e
tr -d '\r' <"$work/bad.err" | grep wnaspi32 | tee "$work/bad.log" || true
expect_line "$work/bad.out" "aspi_load: -1"
expect_line "$work/bad.log" "wnaspi32: bay $(windows_path "$work/bad-bay.txt"): line 2: the address is taken by the drive of line 1"
if grep -q 'firmware=0.90' "$work/bad-bay.txt"; then echo "ok: the refused bay is left as it was"; else echo "FAIL: the refused bay changed"; fail=1; fi

echo "== default bay"
unset TZ594K_SIM TZ594K_SIM_TRANSCRIPT
"$run" --winver win98 "$work/default/$(basename "$probe")" | tr -d '\r' | tee "$work/default.out"
expect_line "$work/default.out" "probe: good"
expect_line "$work/default/tz594k-bay.txt" "drive at=0:0 firmware=1.00 tray=open"
exit $fail
