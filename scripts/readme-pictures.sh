#!/usr/bin/env bash
# Refreshes the README's pictures in docs/screens/ from a screen gallery run.
#   scripts/readme-pictures.sh [--run] [GALLERY]
# GALLERY defaults to build/windows/gallery/. --run first builds both presets and runs the gallery
# (under Wine, several minutes). The pictures keep the gallery's pixels (shrinking a screen of small
# text only blurs it); they lose their metadata, so an unchanged screen leaves the file unchanged.
set -euo pipefail
cd "$(dirname "$0")/.."

run=0
if [ "${1:-}" = --run ]; then run=1; shift; fi
gallery="${1:-build/windows/gallery}"

if [ "$run" = 1 ]; then
  scripts/install-deps.sh
  cmake --preset native >/dev/null && cmake --build --preset native -j2
  cmake --preset windows >/dev/null && cmake --build --preset windows -j2
  xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows -R '^screen_gallery$'
fi

# Gallery picture (<template id>_<role>) and its name under docs/screens/: the English notice, the
# progress screen part-way through a real update, the success screen, and the Japanese start
# confirmation with its comparison of the drive's firmware and the carried one; the battery screen.
pictures=(
  "192_notice notice"
  "205_progress progress"
  "201_success success"
  "141_start_confirmation start_confirmation_ja"
  "295_on_battery on_battery"
)
mkdir -p docs/screens
for row in "${pictures[@]}"; do
  read -r from to <<<"$row"
  src="$gallery/$from.png"
  [ -f "$src" ] || { echo "no $src: run the screen gallery first (or give --run)" >&2; exit 1; }
  convert "$src" -strip -define png:exclude-chunks=date,time -define png:compression-level=9 "docs/screens/$to.png"
  echo "docs/screens/$to.png  $(identify -format '%wx%h' "docs/screens/$to.png")  $(stat -c %s "docs/screens/$to.png") bytes"
done
