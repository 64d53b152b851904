#!/usr/bin/env bash
# The program's discovery code under Wine reporting Windows 98 (so ASPI is taken), scanning the
# simulated drives of a bay through our wnaspi32.dll: every drive must be classified as the native
# tests classify the same bay, and the transcript must show the probe's commands.
#   discovery_scan.sh SCAN_EXE WNASPI32_DLL WINE_RUN BAY_FILE
set -euo pipefail
scan="$1"
dll="$2"
run="$3"
bay_source="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$scan" "$dll" "$work/"
# The bay's letters mean nothing to ASPI; the file is the native tests' own.
cp "$bay_source" "$work/bay.txt"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
export TZ594K_SIM="$(windows_path "$work/bay.txt")"
export TZ594K_SIM_TRANSCRIPT="$(windows_path "$work/transcript.txt")"

fail=0
# A transcript line as given, its data's digest aside; grep reads to the end, or sed would meet a
# closed pipe, which pipefail counts as a failure.
expect_line() {
  if sed -E 's/ digest=[0-9A-F]{16}$//' "$1" | grep -xF -- "$2" >/dev/null; then echo "ok: $2"; else echo "FAIL: no line '$2' in $1"; fail=1; fi
}
expect_match() {
  if grep -qE -- "$2" "$1"; then echo "ok: /$2/"; else echo "FAIL: nothing matches /$2/ in $1"; fail=1; fi
}

set +e
"$run" --winver win98 "$work/$(basename "$scan")" | tr -d '\r' | tee "$work/scan.out"
rc=${PIPESTATUS[0]}
set -e
[ "$rc" = 0 ] || { echo "FAIL: exit code $rc"; fail=1; }
o="$work/scan.out"
t="$work/transcript.txt"
expect_line "$o" "os class 4, transport aspi"
expect_line "$o" "scan 0, selection 6"
expect_line "$o" "0:0 [KORVANTA] [BD-CMB TZ594KS  ] [1.00] identity [TZ594KS-BDC-0001] [1.00] status 6"
expect_line "$o" "0:1 [KORVANTA] [BD-CMB TZ594KS  ] [1.01] identity [TZ594KS-BDC-0001] [1.01] status 5"
expect_line "$o" "0:2 [KORVANTA] [BD-CMB TZ594KS  ] [1.00] identity [TZ594KR-BDC-0001] [1.00] status 9"
expect_line "$o" "0:3 [OTHERVND] [DVD-ROM XX100   ] [1.00] identity [????????????????] [????] status 1"
expect_line "$o" "1:0 [KORVANTA] [BD-CMB TZ594KS  ] [1.00] identity [TZ594KS-BDC-0001] [1.00] status 6"
expect_line "$o" "1:1 [KORVANTA] [BD-CMB TZ594KS  ] [0.90] identity [TZ594KS-BDC-0001] [0.90] status 6"
expect_line "$o" "1:2 [KORVANTA] [BD-CMB TZ594KS  ] [1.00] identity [TZ594KS-BDC-0001] [1.00] status 6"
# The probe of the first drive: five TEST UNIT READY, INQUIRY, the tray query, the identity read.
[ "$(grep -c '^0:0 cdb=000000000000 ' "$t")" = 5 ] && echo "ok: five TEST UNIT READY" || { echo "FAIL: TEST UNIT READY count"; fail=1; }
expect_line "$t" "0:0 cdb=120000002C00 dir=in len=44 status=00 moved=44"
# GET EVENT STATUS NOTIFICATION is a 10-byte CDB to ASPI.
expect_line "$t" "0:0 cdb=4A010000100000000800 dir=in len=8 status=00 moved=8"
expect_match "$t" '^0:0 cdb=ED00[0-9A-F]{8}10[0-9A-F]{4}10003C dir=in len=4096 status=00 moved=4096 digest=[0-9A-F]{16}$'
# The foreign drive is asked nothing beyond INQUIRY.
[ -z "$(grep '^0:3 cdb=ED' "$t")" ] && echo "ok: no identity read of the foreign drive" || { echo "FAIL: foreign drive read"; fail=1; }
# The unreadable tray: both queries refused, then the identity read all the same.
expect_match "$t" '^1:0 cdb=4A.* status=02 sense=05/20/00 moved=0 digest=[0-9A-F]{16}$'
expect_match "$t" '^1:0 cdb=FC.* status=02'
# The busy identity: three 2C/00 answers, then the block.
[ "$(grep -c '^1:1 cdb=ED.* sense=05/2C/00 moved=0 ' "$t")" = 3 ] && echo "ok: three busy answers" || { echo "FAIL: busy answers"; fail=1; }
# Addresses with no drive answer nothing and are passed over.
[ -z "$(grep '^2:0 ' "$t")" ] && echo "ok: empty addresses send nothing to a drive" || { echo "FAIL: 2:0"; fail=1; }
exit $fail
