#!/usr/bin/env bash
# Builds a release of the program from the committed tree: the exe (optimised for size, stripped,
# its PE time stamp the commit's time, so that every clean clone of the commit gives the same
# bytes in any folder), optionally signed with Authenticode, a zip for the people who run it
# (the exe, the user guide and the fleet deployment guide, each in English and Japanese, the fleet
# kit, the trace reader tz594k-explain.exe and the sums of them all) and SHA256SUMS, which is signed
# too when the exe is (CMS, below).
#
#   scripts/release.sh [--out DIR] [--version TEXT]
#                      [--cert FILE --key FILE | --pkcs12 FILE] [--pass-file FILE]
#                      [--ca FILE] [--timestamp URL]
#
# Signing is done when a certificate is given, by option or by environment: TZ594K_SIGN_CERT and
# TZ594K_SIGN_KEY (PEM or DER), or TZ594K_SIGN_PKCS12; TZ594K_SIGN_PASS_FILE holds the key's
# password; TZ594K_SIGN_CA names the CA file the signature must verify against (without it the
# system's CA bundle is tried, and a chain it cannot verify is only reported); TZ594K_SIGN_TIMESTAMP
# names an RFC 3161 time stamp server, which is left out by default. Keys never belong in the tree.
#
# DIR (default build/release) receives:
#   TZ594K_for_ZEMO_V101.exe            the exe shipped in the zip: signed when a certificate was given
#   unsigned/TZ594K_for_ZEMO_V101.exe   the exe as built, the bytes every clean build reproduces
#   TZ594K_for_ZEMO_V101-VERSION.zip    the exe, README_EN.txt and DEPLOY_EN.txt (ASCII), README_JA.txt
#                                       and DEPLOY_JA.txt (code page 932), install.cmd, detect.ps1 and
#                                       collect.cmd (kit/, ASCII, CR LF), tz594k-explain.exe and
#                                       SHA256SUMS of those files
#   SHA256SUMS                          the zip and both exes (`sha256sum -c SHA256SUMS` in DIR)
#   SHA256SUMS.p7s                      when signing: a detached CMS signature (DER) of SHA256SUMS with
#                                       the exe's certificate and key, the certificate inside; check it with
#                                       openssl cms -verify -binary -inform DER -in SHA256SUMS.p7s
#                                         -content SHA256SUMS -CAfile CA.pem -purpose any -out /dev/null
#                                       (-purpose any: the certificate is for code signing, not e-mail)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
cd "$root"

name=TZ594K_for_ZEMO_V101
out="$root/build/release"
version=""
cert="${TZ594K_SIGN_CERT:-}"
key="${TZ594K_SIGN_KEY:-}"
pkcs12="${TZ594K_SIGN_PKCS12:-}"
pass_file="${TZ594K_SIGN_PASS_FILE:-}"
ca="${TZ594K_SIGN_CA:-}"
timestamp="${TZ594K_SIGN_TIMESTAMP:-}"

usage() { sed -n '7,9p' "$0" | sed 's/^#  *//' >&2; exit 2; }
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case "$1" in
    --out) out="$2" ;;
    --version) version="$2" ;;
    --cert) cert="$2" ;;
    --key) key="$2" ;;
    --pkcs12) pkcs12="$2" ;;
    --pass-file) pass_file="$2" ;;
    --ca) ca="$2" ;;
    --timestamp) timestamp="$2" ;;
    *) usage ;;
  esac
  shift 2
done
fail() { echo "release: $*" >&2; exit 1; }

sign=0
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || fail "give either --pkcs12 or --cert with --key, not both"
  [ -r "$pkcs12" ] || fail "cannot read the PKCS#12 file $pkcs12"
  sign=1
elif [ -n "$cert$key" ]; then
  if [ -z "$cert" ] || [ -z "$key" ]; then fail "signing needs both --cert and --key"; fi
  if [ ! -r "$cert" ] || [ ! -r "$key" ]; then fail "cannot read the certificate $cert or the key $key"; fi
  sign=1
fi
[ -z "$pass_file" ] || [ -r "$pass_file" ] || fail "cannot read the password file $pass_file"
[ -z "$ca" ] || [ -r "$ca" ] || fail "cannot read the CA file $ca"
# Resolve the paths given before the build changes folders.
abs() { [ -z "$1" ] || echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
cert="$(abs "$cert")" key="$(abs "$key")" pkcs12="$(abs "$pkcs12")" pass_file="$(abs "$pass_file")" ca="$(abs "$ca")"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

scripts/install-deps.sh
scripts/release-deps.sh

# The exe must be the commit's: local changes would give bytes nobody else can rebuild.
[ -z "$(git status --porcelain --untracked-files=normal)" ] ||
  fail "the work tree has uncommitted changes; a release is built from a commit (commit or stash them)"
commit="$(git rev-parse HEAD)"
# The linker writes this into the PE header instead of the time of the build.
SOURCE_DATE_EPOCH="$(git log -1 --format=%ct "$commit")"
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
if [ -z "$version" ]; then
  if tag="$(git describe --tags --exact-match --match 'v*' "$commit" 2>/dev/null)"; then
    version="${tag#v}"
  else
    # The version Windows shows in the file's properties, and which commit it was built from.
    file_version="$(sed -n 's/.*VALUE "FileVersion", "\([^"]*\)".*/\1/p' res/tz594k.rc)"
    [ -n "$file_version" ] || fail "no FileVersion in res/tz594k.rc"
    version="$file_version-g$(git rev-parse --short=12 "$commit")"
  fi
fi
case "$version" in *[!A-Za-z0-9._+-]*|"") fail "version '$version' is not usable in a file name" ;; esac

start=$(date +%s)
build="$root/build/windows-release"
rm -rf "$build"
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release -j "${TZ594K_JOBS:-2}" >/dev/null
built="$build/$name.exe"
[ -f "$built" ] || fail "the build left no $built"

rm -rf "$out/unsigned" "$out/package" "$out/$name.exe" "$out/SHA256SUMS" "$out/SHA256SUMS.p7s" "$out"/"$name"-*.zip
mkdir -p "$out/unsigned"
cp "$built" "$out/unsigned/$name.exe"
shipped="$out/$name.exe"
if [ "$sign" = 1 ]; then
  args=(sign -h sha256 -n "F/W Loader TZ594K for ZEMO V1.01")
  if [ -n "$pkcs12" ]; then args+=(-pkcs12 "$pkcs12"); else args+=(-certs "$cert" -key "$key"); fi
  [ -z "$pass_file" ] || args+=(-readpass "$pass_file")
  [ -z "$timestamp" ] || args+=(-ts "$timestamp")
  osslsigncode "${args[@]}" -in "$out/unsigned/$name.exe" -out "$shipped" >/dev/null ||
    fail "osslsigncode could not sign the exe"
  verify=(verify -in "$shipped")
  [ -z "$ca" ] || verify+=(-CAfile "$ca")
  if ! osslsigncode "${verify[@]}" >"$out/verify.txt" 2>&1; then
    [ -z "$ca" ] || { cat "$out/verify.txt" >&2; fail "the signed exe does not verify against $ca"; }
    echo "release: the signature's chain does not verify against the system's CA bundle (give --ca); see $out/verify.txt" >&2
  fi
  # The signature only adds to the file: taken off again, it must leave the built bytes.
  osslsigncode remove-signature -in "$shipped" -out "$out/unsigned/check.exe" >/dev/null
  cmp -s "$out/unsigned/check.exe" "$out/unsigned/$name.exe" || fail "the signed exe without its signature differs from the built one"
  rm -f "$out/unsigned/check.exe"
else
  cp "$out/unsigned/$name.exe" "$shipped"
fi

# The zip: fixed times, modes and order, no extra fields, so that the same exe gives the same zip.
package="$out/package"
mkdir -p "$package"
cp "$shipped" "$package/$name.exe"
# Windows Notepad of every version the program supports reads ASCII and, on a Japanese system,
# code page 932; both with CR LF line ends.
english() {
  LC_ALL=C grep -q $'[^\t -~]' "$1" && fail "$1 must be plain ASCII"
  sed 's/$/\r/' "$1" >"$package/$2"
}
japanese() {
  # A pipe would hide a conversion failure behind the status of sed.
  iconv -f UTF-8 -t CP932 "$1" >"$package/$2.cp932" || fail "$1 does not convert to code page 932"
  sed 's/$/\r/' "$package/$2.cp932" >"$package/$2"
  rm -f "$package/$2.cp932"
}
english docs/guide/README_EN.txt README_EN.txt
japanese docs/guide/README_JA.txt README_JA.txt
english docs/deploy.md DEPLOY_EN.txt
japanese docs/deploy_ja.md DEPLOY_JA.txt
# The fleet kit (install.cmd, detect.ps1, collect.cmd) and the trace reader for support staff.
scripts/kit-files.sh "$package"
explain="$build/sim/tz594k-explain.exe"
[ -f "$explain" ] || fail "the build left no $explain"
cp "$explain" "$package/"
files=("$name.exe" README_JA.txt README_EN.txt DEPLOY_JA.txt DEPLOY_EN.txt install.cmd detect.ps1 collect.cmd
  tz594k-explain.exe)
(
  cd "$package"
  # The sums inside the zip, which the guides tell the user to check (certutil -hashfile FILE SHA256).
  sha256sum "${files[@]}" | sed 's/$/\r/' >SHA256SUMS
  files+=(SHA256SUMS)
  chmod 0644 "${files[@]}"
  touch -d "@$SOURCE_DATE_EPOCH" "${files[@]}"
  zip -X -q -9 "$out/$name-$version.zip" "${files[@]}"
)
rm -rf "$package"

(
  cd "$out"
  sha256sum "$name-$version.zip" "$name.exe" "unsigned/$name.exe" >SHA256SUMS
)

# The sums are signed with the exe's certificate and key, so that whoever trusts the exe's
# signature can trust the zip's sum as well. CMS takes neither a PKCS#12 file nor one password file
# read twice, so the key is re-wrapped for it in a private folder under a password of its own.
if [ "$sign" = 1 ]; then
  keys="$(mktemp -d)"
  trap 'rm -rf "$keys"' EXIT
  chmod 700 "$keys"
  head -c 32 /dev/urandom | base64 >"$keys/pass"
  p12_pass=(-passin pass:)
  [ -z "$pass_file" ] || p12_pass=(-passin "file:$pass_file")
  if [ -n "$pkcs12" ]; then
    openssl pkcs12 -in "$pkcs12" "${p12_pass[@]}" -nocerts -passout "file:$keys/pass" -out "$keys/key.pem" 2>/dev/null &&
      openssl pkcs12 -in "$pkcs12" "${p12_pass[@]}" -clcerts -nokeys -out "$keys/cert.pem" 2>/dev/null &&
      openssl pkcs12 -in "$pkcs12" "${p12_pass[@]}" -cacerts -nokeys -out "$keys/chain.pem" 2>/dev/null ||
      fail "openssl cannot read the PKCS#12 file $pkcs12"
  else
    key_pass=(-passin pass:)
    [ -z "$pass_file" ] || key_pass=(-passin "file:$pass_file")
    openssl pkey -in "$key" "${key_pass[@]}" -aes-256-cbc -passout "file:$keys/pass" -out "$keys/key.pem" 2>/dev/null ||
      fail "openssl cannot read the key $key"
    # The first certificate signs; any further ones in the file are its chain.
    openssl x509 -in "$cert" -out "$keys/cert.pem" 2>/dev/null || fail "openssl cannot read the certificate $cert"
    awk '/-----BEGIN CERTIFICATE-----/ { n++ } n > 1' "$cert" >"$keys/chain.pem"
  fi
  chain=()
  ! grep -q 'BEGIN CERTIFICATE' "$keys/chain.pem" || chain=(-certfile "$keys/chain.pem")
  openssl cms -sign -binary -md sha256 -in "$out/SHA256SUMS" -signer "$keys/cert.pem" -inkey "$keys/key.pem" \
    -passin "file:$keys/pass" "${chain[@]}" -outform DER -out "$out/SHA256SUMS.p7s" ||
    fail "openssl could not sign SHA256SUMS"
  rm -rf "$keys"
  trap - EXIT
  cms_verify=(openssl cms -verify -binary -inform DER -in "$out/SHA256SUMS.p7s" -content "$out/SHA256SUMS" -purpose any
    -out /dev/null)
  [ -z "$ca" ] || cms_verify+=(-CAfile "$ca")
  if ! "${cms_verify[@]}" >"$out/verify-sums.txt" 2>&1; then
    [ -z "$ca" ] || { cat "$out/verify-sums.txt" >&2; fail "the signature of SHA256SUMS does not verify against $ca"; }
    echo "release: the chain of SHA256SUMS.p7s does not verify against the system's CA bundle (give --ca); see $out/verify-sums.txt" >&2
  fi
fi

size() { stat -c %s "$1"; }
hash() { sha256sum "$1" | cut -d' ' -f1; }
echo "release $version of commit $commit (time stamp $SOURCE_DATE_EPOCH), built in $(( $(date +%s) - start )) s"
echo "unsigned exe  $(size "$out/unsigned/$name.exe") bytes  sha256 $(hash "$out/unsigned/$name.exe")"
if [ "$sign" = 1 ]; then
  echo "signed exe    $(size "$shipped") bytes  sha256 $(hash "$shipped")"
  echo "signed sums   SHA256SUMS.p7s, $(size "$out/SHA256SUMS.p7s") bytes (CMS, DER, detached)"
else
  echo "signed exe    none: no certificate given"
fi
echo "zip           $(size "$out/$name-$version.zip") bytes  sha256 $(hash "$out/$name-$version.zip")"
echo "in            $out"
