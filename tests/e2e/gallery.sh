#!/usr/bin/env bash
# The screens under Wine, from the real exe's resources.
#   gallery.sh check GALLERY EXE WINE_RUN          every template holds what its screen needs
#   gallery.sh shots GALLERY EXE WINE_RUN FOLDER   a PNG of every screen in both languages, in FOLDER
#                                                  at 100 % and in FOLDER/144dpi at 150 %
# Pictures are taken on a virtual desktop, so frames and captions are drawn as a user sees them;
# the Japanese screens run under a Japanese locale (ANSI code page 932). Each picture's screen is
# checked at its scale: the logo spans the width, every control stands inside, no text is cut.
set -euo pipefail
mode="$1" gallery="$2" exe="$3" run="$4"
# The Wine prefix scripts/wine-run.sh runs the gallery in.
prefix="${TZ594K_WINEPREFIX:-$(cd "$(dirname "$run")/.." && pwd)/build/wineprefix}"
windows_path() { echo "Z:${1//\//\\}"; }

if [ "$mode" = check ]; then
  exec "$run" "$gallery" check "$(windows_path "$exe")"
fi

folder="$5"
mkdir -p "$folder"
# The progress screen runs a real update: our ASPI layer with its simulated drives beside the gallery.
cp "$(dirname "$exe")/wnaspi32.dll" "$(dirname "$gallery")/"
fail=0
for dpi in 96 144; do
  out="$folder"
  [ "$dpi" = 96 ] || out="$folder/${dpi}dpi"
  mkdir -p "$out"
  rm -f "$out"/*.png "$out"/*.bmp "$out"/shots-*.log
  for language in 1 2; do
    flags=(--dpi "$dpi")
    [ "$language" = 1 ] && flags+=(--japanese)
    log="$out/shots-$language.log"
    # Now and then (some runs in ten here) Wine's desktop comes up under emulation but the gallery
    # never gets to its first screen. Such a run is ended after seven minutes, with the prefix's
    # processes, and tried once more; a run that took any picture is never repeated.
    for attempt in 1 2; do
      rm -f "$log"
      # A screen of its own, tall enough for the detailed version screen at 150 %.
      timeout -k 10 420 xvfb-run -a -s "-screen 0 1600x1400x24" "$run" "${flags[@]}" \
        explorer /desktop=tz594k_gallery,1600x1400 \
        "$(windows_path "$gallery")" shots "$language" "$(windows_path "$exe")" "$(windows_path "$out")" || true
      [ -s "$log" ] && break
      WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
      echo "$dpi dpi: language $language: the gallery never reached its first screen (attempt $attempt)"
    done
    if [ ! -f "$log" ]; then echo "FAIL: no pictures taken for language $language at $dpi dpi"; fail=1; continue; fi
    tr -d '\r' <"$log" | sed "s/^/$dpi dpi: /"
    tail -n 1 "$log" | tr -d '\r' | grep -qx done || fail=1
  done
  for bmp in "$out"/*.bmp; do
    [ -e "$bmp" ] || continue
    convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  count=$(find "$out" -maxdepth 1 -name '*.png' | wc -l)
  echo "$count pictures in $out"
  # Every screen of the catalogue: 18 in each language, and the three with one template.
  [ "$count" -eq 39 ] || { echo "FAIL: wanted 39 pictures at $dpi dpi"; fail=1; }
done
exit $fail
