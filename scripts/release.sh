#!/usr/bin/env bash
# Builds a release of the program from the committed tree: the exe (optimised for size, stripped,
# its PE time stamp the commit's time, so that every clean clone of the commit gives the same
# bytes in any folder), optionally signed with Authenticode, a zip for the people who run it
# (the exe and the guide in English and Japanese) and SHA256SUMS.
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
#   TZ594K_for_ZEMO_V101-VERSION.zip    the exe, README_EN.txt (ASCII) and README_JA.txt (code page 932)
#   SHA256SUMS                          the zip and both exes (`sha256sum -c SHA256SUMS` in DIR)
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

rm -rf "$out/unsigned" "$out/package" "$out/$name.exe" "$out/SHA256SUMS" "$out"/"$name"-*.zip
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
LC_ALL=C grep -q $'[^\t -~]' docs/guide/README_EN.txt && fail "docs/guide/README_EN.txt must be plain ASCII"
sed 's/$/\r/' docs/guide/README_EN.txt >"$package/README_EN.txt"
iconv -f UTF-8 -t CP932 docs/guide/README_JA.txt | sed 's/$/\r/' >"$package/README_JA.txt" ||
  fail "docs/guide/README_JA.txt does not convert to code page 932"
files=("$name.exe" README_JA.txt README_EN.txt)
(
  cd "$package"
  chmod 0644 "${files[@]}"
  touch -d "@$SOURCE_DATE_EPOCH" "${files[@]}"
  zip -X -q -9 "$out/$name-$version.zip" "${files[@]}"
)
rm -rf "$package"

(
  cd "$out"
  sha256sum "$name-$version.zip" "$name.exe" "unsigned/$name.exe" >SHA256SUMS
)

size() { stat -c %s "$1"; }
hash() { sha256sum "$1" | cut -d' ' -f1; }
echo "release $version of commit $commit (time stamp $SOURCE_DATE_EPOCH), built in $(( $(date +%s) - start )) s"
echo "unsigned exe  $(size "$out/unsigned/$name.exe") bytes  sha256 $(hash "$out/unsigned/$name.exe")"
if [ "$sign" = 1 ]; then
  echo "signed exe    $(size "$shipped") bytes  sha256 $(hash "$shipped")"
else
  echo "signed exe    none: no certificate given"
fi
echo "zip           $(size "$out/$name-$version.zip") bytes  sha256 $(hash "$out/$name-$version.zip")"
echo "in            $out"
