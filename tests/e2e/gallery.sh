#!/usr/bin/env bash
# The screens under Wine, from the real exe's resources.
#   gallery.sh check GALLERY EXE WINE_RUN          every template holds what its screen needs
#   gallery.sh shots GALLERY EXE WINE_RUN FOLDER   a PNG of every screen in both languages, in FOLDER
# Pictures are taken on a virtual desktop, so frames and captions are drawn as a user sees them;
# the Japanese screens run under a Japanese locale (ANSI code page 932).
set -euo pipefail
mode="$1" gallery="$2" exe="$3" run="$4"
windows_path() { echo "Z:${1//\//\\}"; }

if [ "$mode" = check ]; then
  exec "$run" "$gallery" check "$(windows_path "$exe")"
fi

folder="$5"
mkdir -p "$folder"
# The progress screen runs a real update: our ASPI layer with its simulated drives beside the gallery.
cp "$(dirname "$exe")/wnaspi32.dll" "$(dirname "$gallery")/"
rm -f "$folder"/*.png "$folder"/*.bmp "$folder"/shots-*.log
fail=0
for language in 1 2; do
  flags=()
  [ "$language" = 1 ] && flags=(--japanese)
  # A screen of its own, tall enough for the detailed version screen.
  xvfb-run -a -s "-screen 0 1280x1024x24" "$run" "${flags[@]}" explorer /desktop=tz594k_gallery,1280x1024 \
    "$(windows_path "$gallery")" shots "$language" "$(windows_path "$exe")" "$(windows_path "$folder")" || true
  log="$folder/shots-$language.log"
  if [ ! -f "$log" ]; then echo "FAIL: no pictures taken for language $language"; fail=1; continue; fi
  tr -d '\r' <"$log"
  tail -n 1 "$log" | tr -d '\r' | grep -qx done || fail=1
done
for bmp in "$folder"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
count=$(find "$folder" -name '*.png' | wc -l)
echo "$count pictures in $folder"
# Every screen of the catalogue: 18 in each language, and the three with one template.
[ "$count" -eq 39 ] || { echo "FAIL: wanted 39 pictures"; fail=1; }
exit $fail
