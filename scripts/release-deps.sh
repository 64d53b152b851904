#!/usr/bin/env bash
# What the release and its test need beyond the build's own tools: the Authenticode signer, the
# zipper and its reader, and openssl for the test's throwaway certificates.
# Idempotent: quiet when everything is there; installs as root or with sudo otherwise.
set -euo pipefail

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
need=()
for p in osslsigncode zip unzip openssl git; do
  have_pkg "$p" || need+=("$p")
done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
echo "release-deps: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
