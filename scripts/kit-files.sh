#!/usr/bin/env bash
# Writes the fleet kit as the release zip carries it into a folder: install.cmd, detect.ps1 and
# collect.cmd from kit/, plain ASCII with CR LF line ends (cmd.exe reads labels reliably only
# then). scripts/release.sh packs them; the Wine kit test runs them from such a folder.
#   scripts/kit-files.sh FOLDER
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -eq 1 ] || { echo "usage: kit-files.sh FOLDER" >&2; exit 2; }
mkdir -p "$1"
for file in install.cmd detect.ps1 collect.cmd; do
  if LC_ALL=C grep -q $'[^\t -~]' "$root/kit/$file"; then
    echo "kit-files: kit/$file must be plain ASCII" >&2
    exit 1
  fi
  sed 's/\r$//; s/$/\r/' "$root/kit/$file" >"$1/$file"
done
