#!/usr/bin/env bash
# The fleet kit as a tool runs it: the release's install.cmd, started by Wine's cmd.exe from a
# folder laid out as the unpacked zip, beside simulated drives, once per transport (pass-through
# under Windows 10, ASPI under Windows 98). One cmd.exe walks the whole table:
#   current     a drive at 1.01, tray closed: detection only (INQUIRY), tray closed, answer 0
#   old         a drive at 1.00, tray closed: updated, answer 0, log and trace in the kit folder
#   again       the same computer again: INQUIRY only, answer 0
#   other-level a drive at 0.80: no tray moves, answer 1707, the stop file written
#   stopped     the same computer again: nothing sent at all, answer 1707
#   no-drive    another maker's drive only: INQUIRY only, answer 1707
#   battery     a drive at 1.00 on a laptop's battery (root only: a power supply of ours in a mount
#               namespace): the update sends nothing, answer 1618 (ASPI only: the silent power
#               check comes before the search, whatever the transport)
#   verify      a drive whose verify always fails: answer 1603, the stop file written (pass-through;
#               its ten downloads cost minutes under emulation, so ASPI takes instead:)
#   prepare     a drive that refuses the boot-mode command: exit code 5, answer 1603, the stop file
# Then the release's trace reader, tz594k-explain.exe, reads the last case's trace in the same
# cmd.exe and must say what the native tz594k-sim explain says of it.
#   kit.sh EXE WNASPI32_DLL WINE_BAY NATIVE_BUILD KIT_FILES_SCRIPT EXPLAIN_EXE [WINVER...]
# (KIT_FILES_SCRIPT: scripts/kit-files.sh, which writes the kit as the release packs it;
# WINVER: win10, win98 or both, the default)
set -euo pipefail
exe="$1"
dll="$2"
wine_bay="$3"
export TZ594K_NATIVE_BUILD="$4"
sim_tool="$4/sim/tz594k-sim"
explain_exe="$6"
. "$(dirname "$0")/wine_work.sh"
kit_files="$work/kit"
"$5" "$kit_files"
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# A laptop's power supply as Linux shows it, which Wine reads; switched by the table itself.
power=0
if [ "$(id -u)" = 0 ] && unshare -m --propagation private sh -c 'mount --bind /tmp /sys/class/power_supply' 2>/dev/null; then
  power=1
fi
supply_state() {  # FOLDER AC_ONLINE BATTERY_STATUS
  mkdir -p "$1/AC" "$1/BAT0"
  echo "$2" >"$1/AC/online"
  echo Mains >"$1/AC/type"
  echo Battery >"$1/BAT0/type"
  echo "$3" >"$1/BAT0/status"
  echo 1 >"$1/BAT0/present"
  echo 40 >"$1/BAT0/capacity"
}

fast="rewrite-ms=300 verify-ms=200"
cases=()
declare -A line=(
  [current]="drive at=0:0 letter=D firmware=1.01 tray=closed"
  [old]="drive at=0:0 letter=D firmware=1.00 tray=closed $fast"
  [other-level]="drive at=0:0 letter=D firmware=0.80 tray=closed"
  [no-drive]="drive at=0:0 letter=D vendor=OTHERCO product=\"DVD WRITER\" tray=closed"
  [battery]="drive at=0:0 letter=D firmware=1.00 tray=closed $fast"
  [verify]="drive at=0:0 letter=D firmware=1.00 tray=open $fast
fault kind=verify nth=1 times=1000 action=check sense=0E/1D/00"
  [prepare]="drive at=0:0 letter=D firmware=1.00 tray=open $fast
fault kind=prepare nth=1 times=1000 action=check"
)
# Each case's bay and kit folder; "again" and "stopped" are the computer of the case before them.
declare -A bay_of=([again]=old [stopped]=other-level)
declare -A want=([current]=0 [old]=0 [again]=0 [other-level]=1707 [stopped]=1707 [no-drive]=1707 [battery]=1618 [verify]=1603 [prepare]=1603)

table() {  # WINVER
  local winver="$1" t="$work/$1" last=verify
  [ "$winver" = win10 ] || last=prepare
  cases=(current old again other-level stopped no-drive)
  # A silent run looks at the power before it searches the drives, on either transport: the
  # battery case runs once, over ASPI, as the power walk does.
  [ "$winver" = win10 ] || cases+=(battery)
  cases+=("$last")
  mkdir -p "$t/zip" "$t/bays"
  cp "$exe" "$t/zip/"
  cp "$kit_files"/install.cmd "$kit_files"/detect.ps1 "$kit_files"/collect.cmd "$t/zip/"
  local cmd="$t/table.cmd" c b
  # Every program a cmd.exe starts inherits the Unix environment Wine started cmd.exe with (the
  # SG_IO library reads its bay there), so each case plays on one live bay and transcript: the
  # table copies the case's bay in before install.cmd and both out after it.
  local live="$t/live/tz594k-bay.txt" live_transcript="$t/live.transcript"
  mkdir -p "$t/live"
  : >"$live_transcript"
  w() { windows_path "$1"; }
  printf '@echo off\r\n' >"$cmd"
  for c in "${cases[@]}"; do
    b="${bay_of[$c]:-$c}"
    if [ -z "${bay_of[$c]:-}" ]; then
      mkdir -p "$t/bays/$b" "$t/dir-$b"
      printf '%s\n' "${line[$c]}" >"$t/bays/$b/tz594k-bay.txt"
      # Under ASPI the program takes the layer from its own folder, where the kit puts it.
      [ "$winver" != win98 ] || cp "$dll" "$t/dir-$b/"
    fi
    if [ "$c" = battery ]; then
      [ "$power" = 1 ] || continue
      printf 'copy /y %s %s >nul\r\n' "$(w "$t/on-battery/AC/online")" "$(w "$t/supply/AC/online")" \
        "$(w "$t/on-battery/BAT0/status")" "$(w "$t/supply/BAT0/status")" >>"$cmd"
    fi
    printf 'copy /y %s %s >nul\r\ncopy /y %s %s >nul\r\ntype nul >%s\r\nset "TZ594K_DIR=%s"\r\n' \
      "$(w "$t/bays/$b/tz594k-bay.txt")" "$(w "$live")" "$(w "$live")" "$(w "$t/$c.bay-before")" \
      "$(w "$live_transcript")" "$(w "$t/dir-$b")" >>"$cmd"
    # The stopped case runs as a tool runs it, in a cmd.exe of its own whose exit code is the whole
    # answer; the others are called, which saves a Wine process each: Wine's cmd.exe gives a called
    # batch's nonzero "exit /b" code back as 1, so their answers are read from the line install.cmd
    # keeps in its log for each run (the value it exits with). The redirection goes first:
    # "echo x 0>>file" would take the 0 as a handle number.
    local how=call
    [ "$c" != stopped ] || how="cmd /c"
    printf '%s %s\r\n>>%s echo %s %%ERRORLEVEL%%\r\ncopy /y %s %s >nul\r\n' "$how" "$(w "$t/zip/install.cmd")" \
      "$(w "$t/answers.txt")" "$c" "$(w "$t/dir-$b/TZ594K-kit.log")" "$(w "$t/$c.kit-log")" >>"$cmd"
    printf 'copy /y %s %s >nul\r\ncopy /y %s %s >nul\r\n' "$(w "$live")" "$(w "$t/bays/$b/tz594k-bay.txt")" \
      "$(w "$live_transcript")" "$(w "$t/$c.transcript")" >>"$cmd"
    if [ "$c" = battery ]; then
      printf 'copy /y %s %s >nul\r\n' "$(w "$t/on-mains/AC/online")" "$(w "$t/supply/AC/online")" \
        "$(w "$t/on-mains/BAT0/status")" "$(w "$t/supply/BAT0/status")" >>"$cmd"
    fi
  done
  cp "$t/bays/current/tz594k-bay.txt" "$live"
  # The optional collect.cmd: the last case's folder to a "share".
  mkdir -p "$t/share"
  printf 'set "TZ594K_DIR=%s"\r\ncall %s %s\r\n>>%s echo collect %%ERRORLEVEL%%\r\n' "$(windows_path "$t/dir-$last")" \
    "$(windows_path "$t/zip/collect.cmd")" "$(windows_path "$t/share")" "$(windows_path "$t/answers.txt")" >>"$cmd"
  cp "$explain_exe" "$t/zip/"
  printf 'for %%%%f in (%s\\*.trace) do %s "%%%%f" >%s\r\n' "$(windows_path "$t/dir-$last")" \
    "$(windows_path "$t/zip/$(basename "$explain_exe")")" "$(windows_path "$t/explain.txt")" >>"$cmd"
  supply_state "$t/supply" 1 Charging
  supply_state "$t/on-mains" 1 Charging
  supply_state "$t/on-battery" 0 Discharging
  local wrap=()
  [ "$power" = 0 ] || wrap=(unshare -m --propagation private sh -c 'mount --bind "$0" /sys/class/power_supply && exec "$@"' "$t/supply")
  echo "== $winver: install.cmd for each case, from one cmd.exe"
  local started=$SECONDS
  set +e
  (cd "$t" && timeout 1200 "${wrap[@]}" "$wine_bay" --winver "$winver" --transcript "$live_transcript" "$live" \
    cmd /c "$(windows_path "$cmd")")
  set -e
  echo "time: $winver: $((SECONDS - started)) s"
  [ "$power" = 1 ] || [ "$winver" = win10 ] || echo "skipped: $winver battery: playing a laptop's power supply needs root and a mount namespace"
  local inquiry_only='^[^ ]+ cdb=12[0-9A-F]+ dir=in len=[0-9]+ status=00( |$)'
  for c in "${cases[@]}"; do
    [ "$c" != battery ] || [ "$power" = 1 ] || continue
    b="${bay_of[$c]:-$c}"
    local got tr="$t/$c.transcript" bay="$t/bays/$b/tz594k-bay.txt"
    local code logged
    code="$(tr -d '\r' <"$t/answers.txt" | awk -v c="$c" '$1 == c { print $2 }')"
    logged="$(tr -d '\r' <"$t/$c.kit-log" 2>/dev/null | tail -n 1 | sed -n 's/.* answer \([0-9]*\): .*/\1/p')"
    if [ "$c" = stopped ]; then
      got="$code"
      [ "$logged" = "$code" ] || bad "$winver $c: exit code $code, but the kit log says $logged"
    else
      got="$logged"
      # A called batch's code: 0, or 1 for any other.
      [ "$code" = "$([ "$logged" = 0 ] && echo 0 || echo 1)" ] || bad "$winver $c: exit code $code, but the kit log says $logged"
    fi
    if [ "$got" = "${want[$c]}" ]; then ok "$winver $c: answer $got"; else bad "$winver $c: answer [$got], wanted ${want[$c]}"; fi
    case "$c" in
      current | again | no-drive | battery)
        if [ -s "$tr" ] && ! grep -qvE "$inquiry_only" "$tr"; then
          ok "$winver $c: INQUIRY and no other command"
        else
          bad "$winver $c: the drive received:"; sed 's/^/    /' "$tr" | head -5
        fi ;;
      stopped)
        if [ ! -s "$tr" ]; then ok "$winver $c: no command sent"; else bad "$winver $c: $(wc -l <"$tr") commands sent"; fi ;;
    esac
    case "$c" in
      current | again | other-level | stopped | no-drive | battery)
        if cmp -s "$bay" "$t/$c.bay-before"; then ok "$winver $c: bay unchanged, tray closed"; else bad "$winver $c: the bay changed"; fi ;;
    esac
    case "$c" in
      old)
        if "$sim_tool" show "$bay" | grep -q 'revision="1.01" rom=image$'; then ok "$winver $c: drive holds the image"; else bad "$winver $c: drive not updated"; fi
        if grep -ls '^result code=0 message="" exit=0' "$t/dir-$b"/*.trace >/dev/null 2>&1; then
          ok "$winver $c: the trace of the update in the kit folder"
        else
          bad "$winver $c: no trace of a successful update in $t/dir-$b"
        fi ;;
      other-level | stopped | verify | prepare)
        if grep -qs "^answer ${want[$c]} " "$t/dir-$b/TZ594K-stop.txt"; then
          ok "$winver $c: stop file: $(tr -d '\r' <"$t/dir-$b/TZ594K-stop.txt")"
        else
          bad "$winver $c: no stop file with answer ${want[$c]}"
        fi ;;
    esac
    if [ "$c" = verify ] || [ "$c" = prepare ]; then
      if ls "$t/dir-$b"/*.log "$t/dir-$b"/*.trace >/dev/null 2>&1; then ok "$winver $c: log and trace in the kit folder"; else bad "$winver $c: log or trace missing"; fi
    fi
  done
  local traces=("$t/dir-$last"/*.trace)
  if [ -f "${traces[0]}" ] && [ -s "$t/explain.txt" ] &&
    cmp -s <(tr -d '\r' <"$t/explain.txt") <("$sim_tool" explain "${traces[0]}"); then
    ok "$winver tz594k-explain.exe: $(grep '^ROM' "$t/explain.txt" | tr -d '\r' | cut -c14-60)..., as the native tool says"
  else
    bad "$winver tz594k-explain.exe: its explanation differs from the native tool's or is missing:"
    tr -d '\r' <"$t/explain.txt" 2>/dev/null | head -12 | sed 's/^/    /'
  fi
  local collected=("$t/share"/*/)
  got="$(tr -d '\r' <"$t/answers.txt" | awk '$1 == "collect" { print $2 }')"
  if [ "$got" = 0 ] && [ ${#collected[@]} = 1 ] && [ -d "${collected[0]}" ] &&
    ls "${collected[0]}"*.trace "${collected[0]}"*.log "${collected[0]}"TZ594K-stop.txt >/dev/null 2>&1; then
    ok "$winver collect.cmd: log, trace and stop file in $(basename "${collected[0]}") on the share"
  else
    bad "$winver collect.cmd: answer [$got], share holds: $(cd "$t/share" && find . -type f | head -5 | tr '\n' ' ')"
  fi
}

shift 6
[ $# -gt 0 ] || set -- win10 win98
for winver in "$@"; do table "$winver"; done
exit $fail
