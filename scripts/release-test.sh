#!/usr/bin/env bash
# The release end to end, as a distributor and a rebuilder would check it:
#   scripts/release-test.sh [--commit REV] [--wine]
# Two clean clones of the commit (default HEAD) in two folders of different depth run
# scripts/release.sh: the first without a certificate, the second signing with a throwaway CA's
# code-signing certificate (given through the environment, its key behind a password file). The
# unsigned exes must be the same bytes, with the commit's time in the PE header and no symbols;
# the signature must verify against the throwaway CA and no other, fail after one changed byte,
# and come off again leaving the unsigned bytes; the signed release's SHA256SUMS.p7s must verify
# SHA256SUMS against the throwaway CA and no other, and fail after one changed byte; the zips must
# hold the exe, the user guides and the deployment guides as Windows reads them, and SHA256SUMS
# must hold for all. --wine also runs the smoke test of the
# signed exe under Wine (tests/e2e/smoke.sh: several minutes under emulation).
# Work folder: build/release-test/. Exit status 0 when every check holds.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
cd "$root"

rev=HEAD
wine=0
while [ $# -gt 0 ]; do
  case "$1" in
    --commit) rev="$2"; shift 2 ;;
    --wine) wine=1; shift ;;
    *) sed -n '3p' "$0" | sed 's/^#  *//' >&2; exit 2 ;;
  esac
done

scripts/release-deps.sh
commit="$(git rev-parse --verify "$rev^{commit}")"
if [ -n "$(git status --porcelain --untracked-files=normal)" ]; then
  echo "note: uncommitted changes in $root are not part of this test (it builds commit $commit)"
fi

name=TZ594K_for_ZEMO_V101
work="$root/build/release-test"
rm -rf "$work"
mkdir -p "$work"
began=$(date +%s)
stage_began=$began
stage() {
  local now
  now=$(date +%s)
  echo "-- $1 ($(( now - stage_began )) s)"
  stage_began=$now
}
failures=0
check() {
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
fails() { ! "$@"; }

# --- A throwaway CA, a code-signing certificate it issued, and an unrelated CA.
pki="$work/pki"
mkdir -p "$pki"
cat >"$pki/x509.cnf" <<'EOF'
[req]
distinguished_name = name
prompt = no
[name]
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[code]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
make_ca() {
  openssl req -x509 -newkey rsa:2048 -noenc -days 2 -subj "/CN=$2" -keyout "$pki/$1.key" -out "$pki/$1.pem" \
    -config "$pki/x509.cnf" -extensions ca 2>/dev/null
}
make_ca ca "Release Test CA"
make_ca other "Unrelated Test CA"
head -c 24 /dev/urandom | base64 >"$pki/pass.txt"
openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -aes-256-cbc -pass "file:$pki/pass.txt" \
  -out "$pki/code.key"
openssl req -new -key "$pki/code.key" -passin "file:$pki/pass.txt" -subj "/CN=Release Test Code Signing" \
  -config "$pki/x509.cnf" -out "$pki/code.csr"
openssl x509 -req -in "$pki/code.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial -days 2 \
  -extfile "$pki/x509.cnf" -extensions code -out "$pki/code.pem" 2>/dev/null
stage "throwaway certificates in $pki"

# --- Two clean clones of the commit, at different depths, each building its own release.
one="$work/one/tz594k"
two="$work/two/a/much/deeper/folder/tz594k"
for dir in "$one" "$two"; do
  mkdir -p "$(dirname "$dir")"
  git clone -q --no-checkout "$root" "$dir"
  git -C "$dir" checkout -q --detach "$commit"
done
stage "clones of $commit"
(cd "$one" && scripts/release.sh) | sed 's/^/  one: /'
stage "release in $one, unsigned"
(
  cd "$two"
  TZ594K_SIGN_CERT="$pki/code.pem" TZ594K_SIGN_KEY="$pki/code.key" TZ594K_SIGN_PASS_FILE="$pki/pass.txt" \
    TZ594K_SIGN_CA="$pki/ca.pem" scripts/release.sh
) | sed 's/^/  two: /'
stage "release in $two, signed"

out1="$one/build/release"
out2="$two/build/release"
unsigned1="$out1/unsigned/$name.exe"
unsigned2="$out2/unsigned/$name.exe"
signed="$out2/$name.exe"
sha() { sha256sum "$1" | cut -d' ' -f1; }

# --- The same bytes from both folders, as the linker was told to write them.
echo "unsigned exe, first folder:  $(stat -c %s "$unsigned1") bytes  sha256 $(sha "$unsigned1")"
echo "unsigned exe, second folder: $(stat -c %s "$unsigned2") bytes  sha256 $(sha "$unsigned2")"
check "both folders built the same unsigned bytes" cmp "$unsigned1" "$unsigned2"
# COFF header after the "PE\0\0" signature: machine, section count, time stamp, symbol table, symbols.
pe_field() {
  python3 - "$1" "$2" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
machine, sections, stamp, symbols_at, symbols = struct.unpack_from("<HHIII", data, pe + 4)
print({"machine": machine, "stamp": stamp, "symbols": symbols_at + symbols}[sys.argv[2]])
EOF
}
commit_time="$(git log -1 --format=%ct "$commit")"
check "the PE time stamp is the commit's time ($commit_time)" test "$(pe_field "$unsigned1" stamp)" = "$commit_time"
check "the exe is a 32-bit x86 program (machine 0x14c)" test "$(pe_field "$unsigned1" machine)" = 332
check "the exe carries no symbol table" test "$(pe_field "$unsigned1" symbols)" = 0

# --- The signature: good against its CA, not against another, broken by one byte, removable.
echo "signed exe:                  $(stat -c %s "$signed") bytes  sha256 $(sha "$signed")"
verify() { osslsigncode verify -in "$1" -CAfile "$2" >"$3" 2>&1; }
check "the signed exe verifies against the throwaway CA" verify "$signed" "$pki/ca.pem" "$work/verify-good.txt"
check "osslsigncode reports the signature ok" grep -q '^Signature verification: ok' "$work/verify-good.txt"
check "the signed exe does not verify against an unrelated CA" fails verify "$signed" "$pki/other.pem" "$work/verify-other.txt"
# flip_byte FILE AT: one bit of byte AT changes.
flip_byte() {
  python3 - "$1" "$2" <<'EOF'
import sys
path, at = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, "rb").read())
data[at] ^= 0x01
open(path, "wb").write(data)
EOF
}
tampered="$work/tampered.exe"
cp "$signed" "$tampered"
at=$(( $(stat -c %s "$unsigned1") / 2 ))
flip_byte "$tampered" "$at"
echo "tampered copy: byte $at changed, $(cmp -l "$signed" "$tampered" | wc -l) byte(s) differ"
check "one changed byte fails the verification" fails verify "$tampered" "$pki/ca.pem" "$work/verify-tampered.txt"
check "osslsigncode reports the digest mismatch" grep -q 'MISMATCH' "$work/verify-tampered.txt"
osslsigncode remove-signature -in "$signed" -out "$work/unsigned-again.exe" >/dev/null
check "the signed exe without its signature is the unsigned exe" cmp "$work/unsigned-again.exe" "$unsigned1"

# --- SHA256SUMS: every file it lists holds, and it names the shipped and the unsigned exe.
sums_of() { awk -v f="$2" '$2 == f { print $1 }' "$1/SHA256SUMS"; }
for out in "$out1" "$out2"; do
  check "sha256sum -c SHA256SUMS in $out" bash -c "cd '$out' && sha256sum --quiet -c SHA256SUMS"
  check "SHA256SUMS lists the zip, the exe and the unsigned exe" test "$(wc -l <"$out/SHA256SUMS")" = 3
done
check "SHA256SUMS of both folders agree on the unsigned exe" \
  test "$(sums_of "$out1" "unsigned/$name.exe")" = "$(sums_of "$out2" "unsigned/$name.exe")"
check "the signed release lists the signed exe" test "$(sums_of "$out2" "$name.exe")" = "$(sha "$signed")"
check "the unsigned release ships the unsigned exe" test "$(sums_of "$out1" "$name.exe")" = "$(sha "$unsigned1")"

# --- The signed sums: a detached CMS signature by the code-signing certificate, good against the
# throwaway CA, not against another, broken by one changed byte of SHA256SUMS.
sums_sig="$out2/SHA256SUMS.p7s"
verify_sums() {
  openssl cms -verify -binary -inform DER -in "$sums_sig" -content "$1" -CAfile "$2" -purpose any \
    -signer "$3.signer.pem" -out /dev/null >"$3" 2>&1
}
fingerprint() { openssl x509 -in "$1" -noout -fingerprint -sha256; }
check "the signed release has SHA256SUMS.p7s" test -s "$sums_sig"
check "the unsigned release has no SHA256SUMS.p7s" test ! -e "$out1/SHA256SUMS.p7s"
check "SHA256SUMS.p7s verifies SHA256SUMS against the throwaway CA" \
  verify_sums "$out2/SHA256SUMS" "$pki/ca.pem" "$work/sums-good.txt"
check "openssl reports the verification successful" grep -q '^CMS Verification successful' "$work/sums-good.txt"
check "the sums were signed by the code-signing certificate" \
  test "$(fingerprint "$work/sums-good.txt.signer.pem")" = "$(fingerprint "$pki/code.pem")"
check "SHA256SUMS.p7s does not verify against an unrelated CA" \
  fails verify_sums "$out2/SHA256SUMS" "$pki/other.pem" "$work/sums-other.txt"
cp "$out2/SHA256SUMS" "$work/SHA256SUMS.tampered"
at=$(( $(stat -c %s "$out2/SHA256SUMS") / 2 ))
flip_byte "$work/SHA256SUMS.tampered" "$at"
echo "tampered SHA256SUMS: byte $at changed, $(cmp -l "$out2/SHA256SUMS" "$work/SHA256SUMS.tampered" | wc -l) byte(s) differ"
check "one changed byte of SHA256SUMS fails the verification" \
  fails verify_sums "$work/SHA256SUMS.tampered" "$pki/ca.pem" "$work/sums-tampered.txt"
check "openssl reports the content verify error" grep -q 'content verify error' "$work/sums-tampered.txt"

# --- The zips: the shipped exe and the guides, in the encodings Windows Notepad reads.
exit_codes="$(awk '/^## Exit codes/ { on = 1; next } /^## / { on = 0 } on && /^\| [0-9]+ \|/ { print $2 }' \
  "$one/README.md")"
check "README.md lists exit codes" test -n "$exit_codes"
zip_check() {
  local out="$1" exe="$2" label="$3"
  local zips=("$out"/"$name"-*.zip)
  check "$label: one zip, TZ594K_for_ZEMO_V101-<version>.zip" test ${#zips[@]} = 1 -a -f "${zips[0]}"
  local unpacked="$work/unpacked-$label"
  rm -rf "$unpacked" && mkdir -p "$unpacked"
  unzip -q "${zips[0]}" -d "$unpacked"
  check "$label: the zip holds the exe, the four guides, the kit, the trace reader and SHA256SUMS, nothing else" \
    test "$(unzip -Z1 "${zips[0]}" | LC_ALL=C sort | tr '\n' ' ')" = \
    "DEPLOY_EN.txt DEPLOY_JA.txt README_EN.txt README_JA.txt SHA256SUMS $name.exe collect.cmd detect.ps1 install.cmd tz594k-explain.exe "
  check "$label: the exe in the zip is the shipped one" cmp "$unpacked/$name.exe" "$exe"
  check "$label: the zip's SHA256SUMS holds for every other file in it" \
    bash -c "cd '$unpacked' && tr -d '\r' <SHA256SUMS >'$work/inner-sums-$label' && sha256sum --quiet -c '$work/inner-sums-$label' &&
      test \$(wc -l <'$work/inner-sums-$label') = 9"
  local kit
  for kit in install.cmd detect.ps1 collect.cmd; do
    check "$label: $kit ends every line with CR LF" fails grep -qv $'\r$' "$unpacked/$kit"
    check "$label: $kit is the repository's kit/$kit" cmp <(tr -d '\r' <"$unpacked/$kit") "$one/kit/$kit"
  done
  check "$label: tz594k-explain.exe is a Windows console program" \
    bash -c "file '$unpacked/tz594k-explain.exe' | grep -q 'PE32 executable (console)'"
  local guide from
  for guide in README_EN.txt:docs/guide/README_EN.txt DEPLOY_EN.txt:docs/deploy.md; do
    from="${guide#*:}" guide="${guide%%:*}"
    check "$label: $guide ends every line with CR LF" fails grep -qv $'\r$' "$unpacked/$guide"
    check "$label: $guide is plain ASCII" fails env LC_ALL=C grep -q $'[^\t\r -~]' "$unpacked/$guide"
    check "$label: $guide is the repository's $from" cmp <(tr -d '\r' <"$unpacked/$guide") "$one/$from"
  done
  for guide in README_JA.txt:docs/guide/README_JA.txt DEPLOY_JA.txt:docs/deploy_ja.md; do
    from="${guide#*:}" guide="${guide%%:*}"
    check "$label: $guide ends every line with CR LF" fails grep -qv $'\r$' "$unpacked/$guide"
    check "$label: $guide reads as code page 932 and is the repository's $from" \
      cmp <(iconv -f CP932 -t UTF-8 "$unpacked/$guide" | tr -d '\r') "$one/$from"
  done
  local code missing=""
  for code in $exit_codes; do
    for guide in README_EN.txt README_JA.txt; do
      grep -qE "^ +$code  " "$unpacked/$guide" || missing="$missing $guide:$code"
    done
    # The deployment guides give each code a row of a table.
    for guide in DEPLOY_EN.txt DEPLOY_JA.txt; do
      grep -qE "^\| $code \|" "$unpacked/$guide" || missing="$missing $guide:$code"
    done
  done
  check "$label: every guide explains every exit code of README.md${missing:+ (missing$missing)}" test -z "$missing"
}
zip_check "$out1" "$unsigned1" unsigned
zip_check "$out2" "$signed" signed
for guide in README_EN.txt README_JA.txt DEPLOY_EN.txt DEPLOY_JA.txt; do
  check "both zips carry the same $guide" cmp "$work/unpacked-unsigned/$guide" "$work/unpacked-signed/$guide"
done
stage "checks"

# --- The signed exe still starts and answers its switches under Wine.
if [ "$wine" = 1 ]; then
  check "the signed exe passes the smoke test under Wine" \
    "$one/tests/e2e/smoke.sh" "$work/unpacked-signed/$name.exe" "$root/scripts/wine-run.sh"
  stage "smoke test of the signed exe under Wine"
else
  echo "(the signed exe's smoke test under Wine is left out: --wine runs it)"
fi

echo "release test: $failures failure(s), $(( $(date +%s) - began )) s in all"
[ "$failures" = 0 ]
