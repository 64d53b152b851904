# Shared by the walk scripts, which run the real exe under Wine beside simulated drives and operate
# its screens with ui_driver.exe as a user would. One Wine session (a persistent wineserver on a
# prefix of the walks' own) serves every run of a script.
#
# A walk script is called as
#   SCRIPT --exe EXE --dll WNASPI32_DLL --driver UI_DRIVER --native NATIVE_BUILD --out FOLDER
#          [--winver V] [--language en|ja]
# FOLDER receives the screenshots (<suite>-<run>-<step>.png) and, in FOLDER/work/<suite>/, the bays,
# transcripts, driver output and program folder of every run. The native build holds the
# simulator's tool, which reads the bays, and the SG_IO library. V is the Windows version Wine
# reports (default win98, where the program takes ASPI and our wnaspi32.dll; on the NT family it
# takes pass-through, and scripts/wine-bay.sh puts the bay's drives behind their letters). The
# language is the one of the runs of scripts that walk one language (default en).

set -uo pipefail
walks_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$walks_dir/../../.." && pwd)"

exe="" dll="" driver="" native="" out="" winver="win98" walk_language=en language_given=0
walk_args=("$@")
while [ $# -gt 0 ]; do
  case "$1" in
    --exe) exe="$2"; shift 2 ;;
    --dll) dll="$2"; shift 2 ;;
    --driver) driver="$2"; shift 2 ;;
    --native) native="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --winver) winver="$2"; shift 2 ;;
    --language) walk_language="$2" language_given=1; shift 2 ;;
    *) echo "walks: unknown argument $1" >&2; exit 2 ;;
  esac
done
for need in exe dll driver native out; do
  [ -n "${!need}" ] || { echo "walks: --${need//_/-} missing" >&2; exit 2; }
done
sim_tool="$native/sim/tz594k-sim"
[ -x "$sim_tool" ] || { echo "walks: $sim_tool is missing: build the native preset first" >&2; exit 2; }
mkdir -p "$out"
exe="$(realpath "$exe")" dll="$(realpath "$dll")" driver="$(realpath "$driver")"
native="$(realpath "$native")" sim_tool="$(realpath "$sim_tool")" out="$(realpath "$out")"

# Screens need a display; CTest's runs already have one.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "${walk_args[@]}"
fi

# What the Windows version means for the program: its transport, and the system name and version
# its result log writes (as Wine reports them).
case "$winver" in
  win98) transport=aspi os_text="Windows98SE 4.10 (Build 2222)" ;;
  win95) transport=aspi os_text="Windows95 4.0 (Build 950)" ;;
  winme) transport=aspi os_text="WindowsME 4.90 (Build 3000)" ;;
  win2k) transport=pass-through os_text="Windows2000 5.0 (Build 2195)" ;;
  winxp) transport=pass-through os_text="WindowsXP 5.1 (Build 2600)" ;;
  # Later NT versions have no ASPI layer; the program takes pass-through there too.
  win7) transport=pass-through os_text="WindowsNT 6.1 (Build 7601)" ;;
  win8) transport=pass-through os_text="WindowsNT 6.2 (Build 9200)" ;;
  win10) transport=pass-through os_text="WindowsNT 10.0 (Build 18362)" ;;
  *) echo "walks: Windows version $winver not known here" >&2; exit 2 ;;
esac
case "$walk_language" in en | ja) ;; *) echo "walks: language en or ja" >&2; exit 2 ;; esac
skip_code=77
wine_bay="$root/scripts/wine-bay.sh"
sgio_library="$native/sgio/\$LIB/libtz594k-sgio.so"
# Where a drive's commands show in a transcript: its ASPI address, or its letter under pass-through.
if [ "$transport" = aspi ]; then at0="0:0" at1="0:1"; else at0="D:" at1="E:"; fi

suite="$(basename "$0" .sh)"
[ "$language_given" = 0 ] || suite="$suite-$walk_language"
work="$out/work/$suite"
bin="$work/bin"
program="TZ594K_for_ZEMO_V101.exe"
failures=0
run="" run_pid="" run_language=en run_bay="" run_started=0
# A command and its arguments put before `wine` when a run starts, for a walk whose program needs
# surroundings of its own (power.sh: a laptop's power supply in a mount namespace of its own).
run_wrapper=()

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# ---- reporting ----

ok() { echo "ok: $run: $*"; }
bad() {
  echo "FAIL: $run: $*"
  failures=$((failures + 1))
}
expect_eq() {  # WHAT GOT WANT
  if [ "$2" = "$3" ]; then ok "$1"; else bad "$1: got [$2], wanted [$3]"; fi
}
expect_match() {  # WHAT GOT EXTENDED_REGEX
  if [[ "$2" =~ $3 ]]; then ok "$1"; else bad "$1: got [$2], wanted /$3/"; fi
}
walks_end() {
  if [ "$failures" -eq 0 ]; then echo "$suite: every walk passed"; else echo "$suite: $failures failed checks"; fi
  [ "$failures" -eq 0 ]
}

# ---- the Wine session ----

session_end() {
  [ -n "$run_pid" ] && kill -9 "$run_pid" 2>/dev/null
  # The prefix is the other Wine tests' too: they draw no desktop of the walks'.
  wine_settings '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"=-' || true
  wine_session_end
  wait 2>/dev/null
  # The prefix keeps no letters that lead into this session's folder.
  if [ "$transport" = pass-through ]; then
    : >"$work/no-drives.bay"
    attach "$work/no-drives.bay" >/dev/null 2>&1
  fi
}

# attach BAY: under pass-through, the bay's drives behind their letters of the prefix.
attach() {
  TZ594K_WINEPREFIX="$WINEPREFIX" TZ594K_NATIVE_BUILD="$native" "$wine_bay" "$1"
}

session_start() {
  rm -rf "$work"
  mkdir -p "$bin"
  rm -f "$out/$suite"-*.png
  cp "$exe" "$dll" "$bin/"
  # One prefix for every Wine test of a test run: the one scripts/wine-run.sh makes.
  export WINEPREFIX="${TZ594K_WALK_PREFIX:-${TZ594K_WINEPREFIX:-$root/build/wineprefix}}"
  export WINEDEBUG=-all WINEDLLOVERRIDES="wnaspi32=n;mscoree,mshtml="
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  . "$root/scripts/wine-lib.sh"
  local started=$SECONDS
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine_prefix_make || exit 1
  fi
  wine_session_start
  trap session_end EXIT
  # The Windows version, and a desktop of its own, so that screens are drawn with their frames
  # and captions as a user sees them: one import.
  wine_settings '[HKEY_CURRENT_USER\Software\Wine]' "\"Version\"=\"$winver\"" \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="walks"' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"walks"="1024x768"'
  echo "$suite: Wine session ready in $((SECONDS - started)) s (Windows version $winver, $transport)"
}

# ---- bays ----

# bay NAME LINES...: a bay file of those lines; prints its path.
bay() {
  local file="$work/$1.bay"
  shift
  printf '%s\n' "$@" >"$file"
  echo "$file"
}

# drive_state BAY ADDRESS: what the simulator's tool says of the drive at that address, from its
# vendor on ("... revision=\"1.00\" rom=other").
drive_state() {
  "$sim_tool" show "$1" | awk -v a="$2" '$1 == a { sub(/^[^v]*vendor=/, "vendor="); print }'
}
expect_drive() {  # ADDRESS REVISION ROM [BAY]
  local state
  state="$(drive_state "${4:-$run_bay}" "$1")"
  expect_match "drive $1 holds firmware $2 ($3)" "$state" "revision=\"$2\" rom=$3\$"
}
# The drive was left as it was: its bay file is unchanged and nothing was downloaded to it.
expect_untouched() {
  if cmp -s "$work/$run.bay-before" "$run_bay"; then ok "bay file unchanged"; else bad "bay file changed"; fi
  local sent
  sent="$(grep -cE 'cdb=(EA|E8|F5)' "$work/$run.transcript" 2>/dev/null)"
  expect_eq "download, rewrite or verify commands sent" "${sent:-0}" 0
}
# count_commands REGEX: transcript lines of this run that match.
count_commands() { grep -cE "$1" "$work/$run.transcript" 2>/dev/null || true; }

# ---- runs ----

language_env() {
  if [ "$run_language" = ja ]; then echo "LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8"; else echo "LANG=C.UTF-8 LC_ALL=C.UTF-8"; fi
}

# launch RUN LANGUAGE BAY ARGS...: starts the program in its folder, in the background, in that
# language (ja: a Japanese locale, en: none), against that bay. ui_driver starts it, so that its
# whole exit code is known (a launcher reads 1001).
launch() {
  launch_with run "$@"
}
# launch_bare: the same, but the background process is the program's own, to be killed.
launch_bare() {
  launch_with bare "$@"
}
launch_with() {
  local how="$1"
  run="$2" run_language="$3" run_bay="$4"
  shift 4
  cp "$run_bay" "$work/$run.bay-before"
  rm -f "$bin"/*.log "$work/$run.transcript"
  echo "== $run ($run_language): $program $*"
  export TZ594K_SIM="$(windows_path "$run_bay")"
  export TZ594K_SIM_TRANSCRIPT="$(windows_path "$work/$run.transcript")"
  run_started=$(date +%s)
  local preload=""
  if [ "$transport" = pass-through ]; then
    attach "$run_bay" >/dev/null || bad "the bay's drives are not behind their letters"
    preload="LD_PRELOAD=$sgio_library"
  fi
  if [ "$how" = run ]; then
    (cd "$bin" && exec env $(language_env) $preload "${run_wrapper[@]}" wine "$driver" run "$program" "$@" >"$work/$run.out" 2>&1) &
  else
    (cd "$bin" && exec env $(language_env) $preload "${run_wrapper[@]}" wine "$program" "$@" >"$work/$run.out" 2>&1) &
  fi
  run_pid=$!
}

# finish WANTED_EXIT_CODE [SECONDS]: waits for the program and checks its exit code; a program
# still running after SECONDS (default 120) is killed.
finish() {
  local limit=$((SECONDS + ${2:-120}))
  while kill -0 "$run_pid" 2>/dev/null && [ $SECONDS -lt $limit ]; do sleep 0.1; done
  if kill -0 "$run_pid" 2>/dev/null; then
    kill -9 "$run_pid" 2>/dev/null
    wait "$run_pid" 2>/dev/null
    run_pid=""
    bad "still running after ${2:-120} s; killed"
    return 1
  fi
  wait "$run_pid"
  run_pid=""
  echo "time: $run: $(($(date +%s) - run_started)) s"
  local code
  code="$(tr -d '\r' <"$work/$run.out" | sed -n 's/^exit code //p')"
  expect_eq "exit code" "${code:-none}" "$1"
}

# A walk that lost its way: the program is ended so that the next one starts clean.
abandon() {
  bad "walk abandoned: $*"
  [ -n "$run_pid" ] && kill -9 "$run_pid" 2>/dev/null && wait "$run_pid" 2>/dev/null
  run_pid=""
  return 1
}

# drv VERB ARGS...: ui_driver in the run's language; its output on stdout.
drv() { env $(language_env) wine "$driver" --lang "$run_language" "$@"; }

# shot STEP: the whole screen as $out/<suite>-<run>-<step>.png.
shot() {
  local name="$suite-$run-$1.png"
  sleep 0.2  # the screen's last paint
  if import -window root "$out/$name" 2>/dev/null; then echo "shot: $name"; else bad "no screenshot $1"; fi
}

# wait_screen ROLE [MS]: waits for the screen; prints its window ("#N").
wait_screen() {
  local line
  line="$(drv wait "$@")" || return 1
  echo "${line##* }"
}

# expect_text ROLE ID WANTED: the control's text (line breaks written \n).
expect_text() {
  local got
  got="$(drv text "$1" "$2")" || { bad "$1: control $2 not read"; return 1; }
  expect_eq "$1: control $2" "$got" "$3"
}

# screens_during: starts a watcher of the program's screens before the run; screens_seen ends it
# once the run has ended and leaves the roles it saw in `seen`, blank-separated.
screens_during() {
  watched="$work/$run-screens"
  rm -f "$watched.done"
  drv quiet "$(windows_path "$watched.done")" 180000 >"$watched" &
  watcher=$!
  local limit=$((SECONDS + 30))
  until grep -q watching "$watched" 2>/dev/null || [ $SECONDS -gt $limit ]; do sleep 0.05; done
}
screens_seen() {
  : >"$watched.done"
  wait $watcher
  seen="$(tr -d '\r' <"$watched" | sed -n 's/^shown: \([a-z_]*\) .*/\1/p' | sort -u | tr '\n' ' ')"
}

# ---- result logs ----

# The one log the run left beside the program; empty when there is none or more than one.
run_log() {
  local logs=("$bin"/TZ594K_for_ZEMO_V101-*.log)
  [ -e "${logs[0]}" ] && [ ${#logs[@]} -eq 1 ] && echo "${logs[0]}"
}
expect_no_log() {
  local logs=("$bin"/*.log)
  if [ -e "${logs[0]}" ]; then bad "a log was written: ${logs[*]}"; else ok "no log written"; fi
}

# expect_log DRIVE_LINE RESULT_TAG MESSAGE: the run's log, named by its time and holding its seven
# lines: date and time (those of its name, give or take a second), system, program, drive, result
# and message, each ended by CR LF.
expect_log() {
  local log
  log="$(run_log)"
  if [ -z "$log" ]; then
    bad "no single log beside the program: $(ls "$bin")"
    return 1
  fi
  local name stamp
  name="$(basename "$log")"
  stamp="${name#TZ594K_for_ZEMO_V101-}"
  stamp="${stamp%.log}"
  expect_match "log name" "$name" '^TZ594K_for_ZEMO_V101-[0-9]{14}\.log$'
  local named
  named=$(date -d "${stamp:0:8} ${stamp:8:2}:${stamp:10:2}:${stamp:12:2}" +%s 2>/dev/null || echo 0)
  if [ "$named" -ge $((run_started - 1)) ] && [ "$named" -le $(($(date +%s) + 1)) ]; then
    ok "log named by the time of the run"
  else
    bad "log time stamp $stamp is not the time of the run"
  fi
  local crlf lines
  crlf=$(grep -c $'\r$' "$log")
  lines=$(wc -l <"$log")
  expect_eq "log lines ended by CR LF" "$crlf/$lines" "7/7"
  mapfile -t l < <(tr -d '\r' <"$log")
  expect_eq "log line 1" "${l[0]:-}" "Date = ${stamp:0:4}.${stamp:4:2}.${stamp:6:2}"
  local at written
  at="${l[1]#Time = }"
  written=$(date -d "${stamp:0:8} $at" +%s 2>/dev/null || echo 0)
  if [[ "${l[1]:-}" =~ ^Time\ =\ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] && [ $((written - named)) -ge 0 ] &&
    [ $((written - named)) -le 1 ]; then
    ok "log line 2: ${l[1]}"
  else
    bad "log line 2: [${l[1]:-}] against the name's $stamp"
  fi
  expect_eq "log line 3" "${l[2]:-}" "OSVer = $os_text"
  expect_eq "log line 4" "${l[3]:-}" "HostLoaderVer = TZ594K_for_ZEMO_V1.01"
  expect_eq "log line 5" "${l[4]:-}" "Drive = $1"
  expect_eq "log line 6" "${l[5]:-}" "Result = $2"
  expect_eq "log line 7" "${l[6]:-}" "Message = $3"
}

# The drive line of a log for the drive at ASPI address H:T, letter X under pass-through.
log_drive() {  # H T LETTER REVISION
  local where
  if [ "$transport" = aspi ]; then where="Adapter/Target[$1 $2]"; else where="LogicalDriveName[$3:]"; fi
  echo "$where Vendor[KORVANTA] Product[BD-CMB TZ594KS  ] Revision[$4]"
}
