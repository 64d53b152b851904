# Shared by the scripts that run our programs under Wine: making a prefix, registry settings in one
# import, and a wineserver kept for a whole session of runs. Sourced; WINEPREFIX must be set.

# Where qemu-i386 emulates 32-bit code, a Wine process starts some four times faster when qemu
# takes 64 KiB as its host page size: Wine reserves its address space in 64 KiB pieces, and qemu
# searches its page map for each of them. Nothing reads the variable where the code runs natively.
export QEMU_PAGESIZE="${QEMU_PAGESIZE:-65536}"

# Wine's tools are taken as 64-bit programs where Wine has them: a 64-bit prefix serves our 32-bit
# programs as well, and the 64-bit tools start in about a second even where 32-bit code is emulated.
if [ -x /usr/lib/wine/wine64 ]; then wine_tools=/usr/lib/wine/wine64; else wine_tools=wine; fi

# wine_settings LINE...: imports the lines (a .reg file's sections and values) in one go.
wine_settings() {
  local file
  file="$(mktemp --suffix=.reg)"
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '%s\r\n' "$@"
  } | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$file"
  WINEDEBUG=-all "$wine_tools" regedit /S "Z:${file//\//\\}" >/dev/null 2>&1
  local rc=$?
  rm -f "$file"
  return $rc
}

# wine_prefix_fonts: Wine draws the caption's buttons (the close box) with Marlett, from Debian's
# fonts-wine; this Wine does not look in that package's folder, only in the prefix's Fonts folder.
wine_prefix_fonts() {
  local font=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -f "$font" ] && [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ] && cp "$font" "$fonts/"
  return 0
}

# wine_prefix_make: a new prefix in WINEPREFIX, with the screens' template font; says why when
# Wine could not make it.
wine_prefix_make() {
  mkdir -p "$WINEPREFIX"
  local log="$WINEPREFIX.boot.log"
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine_tools" wineboot -i >"$log" 2>&1 || true
  # The template font of the screens, drawn with a Japanese font Debian ships.
  wine_settings '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' '"ＭＳ ゴシック"="IPAGothic"' || true
  wineserver -w
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: the prefix $WINEPREFIX was not made; wineboot said:" >&2
    tail -n 5 "$log" | sed 's/^/  /' >&2
    return 1
  fi
  rm -f "$log"
}

# wine_session_start / wine_session_end: one wineserver for the runs between them, so that no run
# waits for a server to start or end. wine-run.sh then leaves it running after each program.
wine_session_start() {
  wineserver -p
  export TZ594K_WINE_SESSION=1
}
wine_session_end() {
  wineserver -k 2>/dev/null || true
  unset TZ594K_WINE_SESSION
}
