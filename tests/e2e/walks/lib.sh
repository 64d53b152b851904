# Shared by the walk scripts, which run the real exe under Wine beside simulated drives and operate
# its screens with ui_driver.exe as a user would. One Wine session (a persistent wineserver on the
# prefix of the other Wine tests) and one ui_driver.exe, taking its requests on a pipe, serve every
# run of a script: a look at a screen costs milliseconds, not a Wine process.
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
run="" run_pid="" run_language="$walk_language" run_bay="" run_started=0
# A command and its arguments put before `wine` when a run starts, for a walk whose program needs
# surroundings of its own (power.sh: a laptop's power supply in a mount namespace of its own). Such
# a run is started by Wine here, as launch_bare does.
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
  [ -n "$run_pid" ] && [ "$run_pid" != driver ] && kill -9 "$run_pid" 2>/dev/null
  driver_end
  # The prefix is the other Wine tests' too: they draw no desktop of the walks'.
  wine_settings '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"=-' || true
  wine_session_end
  wait 2>/dev/null
  # The prefix keeps no letters that lead into this session's folder.
  if [ "$transport" = pass-through ]; then
    : >"$work/no-drives.bay"
    attach "$work/no-drives.bay" >/dev/null 2>&1
  fi
  convert_pictures
}

# attach BAY: under pass-through, the bay's drives behind their letters of the prefix.
attach() {
  TZ594K_WINEPREFIX="$WINEPREFIX" TZ594K_NATIVE_BUILD="$native" "$wine_bay" "$1"
}

session_start() {
  rm -rf "$work"
  mkdir -p "$bin"
  rm -f "$out/$suite"-*.png "$out/$suite"-*.bmp
  cp "$exe" "$dll" "$bin/"
  # One prefix for every Wine test of a test run: the one scripts/wine-run.sh makes.
  export WINEPREFIX="${TZ594K_WALK_PREFIX:-${TZ594K_WINEPREFIX:-$root/build/wineprefix}}"
  export WINEDEBUG=-all WINEDLLOVERRIDES="wnaspi32=n;mscoree,mshtml="
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  unset TZ594K_SIM TZ594K_SIM_TRANSCRIPT
  . "$root/scripts/wine-lib.sh"
  local started=$SECONDS
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine_prefix_make || exit 1
  fi
  wine_prefix_fonts
  wine_session_start
  trap session_end EXIT
  # The Windows version, the display at 100 %, and a desktop of its own, so that screens are drawn
  # with their frames and captions as a user sees them: one import.
  wine_settings '[HKEY_CURRENT_USER\Software\Wine]' "\"Version\"=\"$winver\"" \
    '[HKEY_CURRENT_USER\Control Panel\Desktop]' '"LogPixels"=-' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="walks"' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"walks"="1024x768"'
  driver_start || exit 1
  echo "$suite: Wine session and screen driver ready in $((SECONDS - started)) s (Windows version $winver, $transport)"
}

# ---- the screen driver ----

# ui_driver.exe runs for the whole walk as a coprocess in the walk's language, in the program's
# folder; the programs it starts inherit its Linux environment, so that environment carries what
# the SG_IO library reads: the preload itself and, through a link repointed for every run, the
# run's transcript. The library finds each run's bay beside the drives' device files, which
# attach puts beside the bay; our wnaspi32.dll reads the bay and transcript the driver names in the
# program's Windows environment.
driver_start() {
  local env=(env $(language_env "$walk_language") TZ594K_SIM_TRANSCRIPT="$(windows_path "$work/live.transcript")")
  [ "$transport" = pass-through ] && env+=(LD_PRELOAD="$sgio_library")
  ln -sfn /dev/null "$work/live.transcript"
  coproc UI_DRIVER { cd "$bin" && exec "${env[@]}" wine "$driver" 2>>"$work/driver.err"; }
  driver_in=${UI_DRIVER[1]} driver_out=${UI_DRIVER[0]} driver_pid=$UI_DRIVER_PID
  # Its first answer comes once it runs.
  drv_wait=300 drv screens >/dev/null || { echo "$suite: the screen driver did not start: $(tail -n 3 "$work/driver.err")"; return 1; }
}
driver_end() {
  [ -n "${driver_pid:-}" ] || return 0
  exec {driver_in}>&- 2>/dev/null
  local limit=$((SECONDS + 20))
  while kill -0 "$driver_pid" 2>/dev/null && [ $SECONDS -lt $limit ]; do sleep 0.1; done
  kill -9 "$driver_pid" 2>/dev/null
  driver_pid=""
}

# drv VERB ARGS [: VERB ARGS]...: one request to the driver in the run's language; the answer's
# lines on stdout, the reason of a failure on stderr. The answer is waited for a minute beyond the
# longest time the request names (drv_wait seconds when set).
drv() {
  local limit="${drv_wait:-60}" word reply
  for word in "$@"; do
    [[ $word =~ ^[0-9]{4,7}$ ]] && [ $((word / 1000 + 60)) -gt "$limit" ] && limit=$((word / 1000 + 60))
  done
  printf '%s\n' "--lang $run_language $*" >&"$driver_in" 2>/dev/null || { echo "ui_driver: not running" >&2; return 1; }
  while IFS= read -r -t "$limit" reply <&"$driver_out"; do
    if [[ $reply == "@@ "* ]]; then
      [ "${reply:3:1}" = 0 ] && return 0
      echo "ui_driver: ${reply:5}" >&2
      return 1
    fi
    printf '%s\n' "$reply"
  done
  echo "ui_driver: no answer within $limit s to: $*" >&2
  return 1
}

# bg_job FILE VERB ARGS...: VERB on a thread of the driver, its lines in FILE; prints the job's number.
bg_job() {
  local file="$1" line
  shift
  line="$(drv bg "$(windows_path "$file")" "$@")" || return 1
  echo "${line#job }"
}
# job_end FILE [SECONDS]: waits (default 200 s) until the job writing FILE has ended.
job_end() {
  local limit=$((SECONDS + ${2:-200}))
  until grep -q '^@@ ' "$1" 2>/dev/null || [ $SECONDS -gt $limit ]; do sleep 0.1; done
  grep -q '^@@ 0' "$1" 2>/dev/null
}

# ---- bays ----

# bay NAME LINES...: a bay file of those lines; prints its path. Each bay has a folder of its own,
# where its drives' device files go under pass-through and the SG_IO library looks for it.
bay() {
  local file="$work/bays/$1/tz594k-bay.txt"
  shift
  mkdir -p "$(dirname "$file")"
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

# language_env [LANGUAGE]: the locale of a run in that language (default the run's): ja, a Japanese
# one, which gives the program its Japanese code page; en, none.
language_env() {
  if [ "${1:-$run_language}" = ja ]; then echo "LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8"; else echo "LANG=C.UTF-8 LC_ALL=C.UTF-8"; fi
}

# launch RUN LANGUAGE BAY ARGS...: starts the program in its folder, in that language, against that
# bay. The driver starts it, so that its whole exit code is known (a launcher reads 1001); its runs
# take the walk's language, the driver's own.
launch() {
  launch_with run "$@"
}
# launch_bare: the same, but started by Wine here, so that the program's own process is there to
# be killed (run_pid).
launch_bare() {
  launch_with bare "$@"
}
launch_with() {
  local how="$1"
  run="$2" run_language="$3" run_bay="$4"
  shift 4
  cp "$run_bay" "$work/$run.bay-before"
  rm -f "$bin"/*.log
  : >"$work/$run.transcript"
  ln -sfn "$work/$run.transcript" "$work/live.transcript"
  echo "== $run ($run_language): $program $*"
  local sim=(TZ594K_SIM="$(windows_path "$run_bay")" TZ594K_SIM_TRANSCRIPT="$(windows_path "$work/$run.transcript")")
  run_started=$(date +%s)
  local preload=()
  if [ "$transport" = pass-through ]; then
    attach "$run_bay" >/dev/null || bad "the bay's drives are not behind their letters"
    preload=(LD_PRELOAD="$sgio_library")
  fi
  if [ "$how" = run ] && [ ${#run_wrapper[@]} -eq 0 ]; then
    [ "$run_language" = "$walk_language" ] || bad "a run in $run_language, but the driver starts programs in $walk_language"
    run_pid=""
    drv start "${sim[@]}" "$program" "$@" >/dev/null && run_pid=driver
  else
    (cd "$bin" && exec env $(language_env) "${preload[@]}" "${sim[@]}" "${run_wrapper[@]}" wine "$program" "$@" >"$work/$run.out" 2>&1) &
    run_pid=$!
  fi
}

# finish WANTED_EXIT_CODE [SECONDS]: waits for the program and checks its exit code; a program
# still running after SECONDS (default 120) is killed. A program Wine started here ends with the
# low eight bits of its exit code, all a Unix exit status holds.
finish() {
  local seconds="${2:-120}" code
  if [ -z "$run_pid" ]; then
    bad "no program started"
    return 1
  elif [ "$run_pid" = driver ]; then
    if ! code="$(drv exit $((seconds * 1000)))"; then
      drv kill >/dev/null 2>&1
      run_pid=""
      bad "still running after $seconds s; killed"
      return 1
    fi
    code="${code#exit code }"
  else
    local limit=$((SECONDS + seconds))
    while kill -0 "$run_pid" 2>/dev/null && [ $SECONDS -lt $limit ]; do sleep 0.1; done
    if kill -0 "$run_pid" 2>/dev/null; then
      kill -9 "$run_pid" 2>/dev/null
      wait "$run_pid" 2>/dev/null
      run_pid=""
      bad "still running after $seconds s; killed"
      return 1
    fi
    wait "$run_pid"
    code=$?
  fi
  run_pid=""
  echo "time: $run: $(($(date +%s) - run_started)) s"
  expect_eq "exit code" "$code" "$1"
}

# A walk that lost its way: the program is ended so that the next one starts clean.
abandon() {
  bad "walk abandoned: $*"
  if [ "$run_pid" = driver ]; then
    drv kill >/dev/null 2>&1
  elif [ -n "$run_pid" ]; then
    kill -9 "$run_pid" 2>/dev/null && wait "$run_pid" 2>/dev/null
  fi
  run_pid=""
  return 1
}

# shot STEP [ROLE]: the desktop as $out/<suite>-<run>-<step>.png. With ROLE, taken once that screen
# has painted every text and button it holds, and checked against the catalogue: a screen that
# stays blank, lacks a button, shows another language or another text fails the walk, the
# picture named.
pictures=()
shot() {
  local name="$suite-$run-$1" why
  local file="$out/$name.bmp"
  if [ -n "${2:-}" ]; then
    why="$(drv shot "$2" "$(windows_path "$file")" 2>&1 >/dev/null)" || bad "picture $name.png: ${why#ui_driver: }"
  else
    why="$(drv snap "$(windows_path "$file")" 2>&1 >/dev/null)" || bad "picture $name.png: ${why#ui_driver: }"
  fi
  [ -f "$file" ] && pictures+=("$file") && echo "shot: $name.png"
}
convert_pictures() {
  local bmp
  for bmp in "${pictures[@]}"; do
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  done
  pictures=()
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

# screens_during: starts a watch of the program's screens before the run; screens_seen ends it
# once the run has ended and leaves the roles it saw in `seen`, blank-separated.
screens_during() {
  watched="$work/$run-screens"
  rm -f "$watched"
  watcher_job="$(bg_job "$watched" quiet 900000)" || bad "no watch of the screens"
  local limit=$((SECONDS + 30))
  until grep -q watching "$watched" 2>/dev/null || [ $SECONDS -gt $limit ]; do sleep 0.05; done
}
screens_seen() {
  drv stop "$watcher_job" >/dev/null
  job_end "$watched" 30 || true  # fails when a screen showed: the lines say which
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
